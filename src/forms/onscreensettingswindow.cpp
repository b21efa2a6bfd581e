// SPDX-License-Identifier: GPL-3.0-or-later
#include "onscreensettingswindow.h"

#include "updown.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

constexpr Field Horizontal[] = {Field::AudioWindowHorizontal, Field::SidWindowHorizontal, Field::TimeCodeWindowHorizontal, Field::StatusWindowHorizontal,
                                Field::Gpi1MessageHorizontal, Field::Gpi2MessageHorizontal, Field::NoSidMessageHorizontal};
constexpr Field Vertical[] = {Field::AudioWindowVertical, Field::SidWindowVertical, Field::TimeCodeWindowVertical, Field::StatusWindowVertical,
                              Field::Gpi1MessageVertical, Field::Gpi2MessageVertical, Field::NoSidMessageVertical};
constexpr Field On[] = {Field::AudioWindowOn, Field::SidWindowOn, Field::TimeCodeWindowOn, Field::StatusWindowOn};
constexpr Field Off[] = {Field::AudioWindowOff, Field::SidWindowOff, Field::TimeCodeWindowOff, Field::StatusWindowOff};
// The stem of the controls' names for each on-screen item: "timeCodeWindow" + "Horizontal".
constexpr const char* Items[] = {"audioWindow", "sidWindow", "timeCodeWindow", "statusWindow",
                                 "gpi1Message", "gpi2Message", "noSidMessage"};

QString nameOf(int index, const char* part)
{
    return QLatin1String(Items[index]) + QLatin1String(part);
}

} // namespace

OnScreenSettingsWindow::OnScreenSettingsWindow(CardSetup& setup, QWidget* parent)
    : SettingsWindow(QStringLiteral("Windows"), QStringLiteral("Set-up Windows"), setup, parent)
{
    setObjectName(QStringLiteral("onScreenSettingsWindow"));
    // Not offered to the operator: the audio window's state, bar mode and position, the source
    // ID window's state and the missing-SID message's position. They only come from the
    // defaults, a card or a file.
    auto* audio = audioWindow();
    auto* noSid = messageFrame(QStringLiteral("NO SID"), 6);
    for (QWidget* hidden : {static_cast<QWidget*>(audio), static_cast<QWidget*>(noSid)}) {
        hidden->setEnabled(false); // out of the focus chain too
        hidden->hide();
    }

    auto* left = new QVBoxLayout;
    left->addWidget(audio);
    left->addWidget(windowFrame(QStringLiteral("Time Code Window"), 2, false));
    left->addWidget(windowFrame(QStringLiteral("Status Window"), 3, true));
    auto* windows = new QHBoxLayout;
    windows->addLayout(left);
    windows->addWidget(sidWindow());

    auto* messages = new QHBoxLayout;
    messages->addWidget(messageFrame(QStringLiteral("GPI #1"), 4));
    messages->addWidget(messageFrame(QStringLiteral("GPI #2"), 5));
    messages->addWidget(noSid);
    messages->addStretch();

    auto* content = new QVBoxLayout;
    content->addLayout(windows);
    content->addLayout(messages);

    setPageContent(content);
}

QLayout* OnScreenSettingsWindow::positionBoxes(int index)
{
    const QString horizontalCaption = QStringLiteral("Horizontal");
    const QString verticalCaption = QStringLiteral("Vertical");
    const auto horizontal = numberBox(nameOf(index, "Horizontal"), nameOf(index, "HorizontalSpinner"),
                                      horizontalCaption, Horizontal[index], true);
    const auto vertical = numberBox(nameOf(index, "Vertical"), nameOf(index, "VerticalSpinner"),
                                    verticalCaption, Vertical[index], true);
    checkRangeOnLeaving(horizontal.box, Horizontal[index]);
    checkRangeOnLeaving(vertical.box, Vertical[index]);
    auto* horizontalLabel = label(nameOf(index, "HorizontalLabel"), horizontalCaption);
    auto* verticalLabel = label(nameOf(index, "VerticalLabel"), verticalCaption);
    horizontalLabel->setBuddy(horizontal.box);
    verticalLabel->setBuddy(vertical.box);

    auto* grid = new QGridLayout;
    grid->addWidget(horizontalLabel, 0, 0);
    grid->addLayout(horizontal.row, 0, 1);
    grid->addWidget(verticalLabel, 1, 0);
    grid->addLayout(vertical.row, 1, 1);
    grid->setColumnStretch(2, 1);
    return grid;
}

QGroupBox* OnScreenSettingsWindow::positionFrame(int index)
{
    auto* position = frame(nameOf(index, "PositionFrame"), QStringLiteral("Window Position"));
    position->setLayout(positionBoxes(index));
    return position;
}

QGroupBox* OnScreenSettingsWindow::pairFrame(const QString& name, const QString& caption,
                                   QRadioButton* first, QRadioButton* second)
{
    auto* pair = frame(name, caption);
    auto* column = new QVBoxLayout(pair);
    column->addWidget(first);
    column->addWidget(second);
    return pair;
}

QGroupBox* OnScreenSettingsWindow::stateFrame(int index, bool offFirst)
{
    auto* on = optionButton(nameOf(index, "On"), QStringLiteral("On"), On[index]);
    auto* off = optionButton(nameOf(index, "Off"), QStringLiteral("Off"), Off[index]);
    const QString name = nameOf(index, "StateFrame");
    const QString caption = QStringLiteral("Window State");
    return offFirst ? pairFrame(name, caption, off, on) : pairFrame(name, caption, on, off);
}

QGroupBox* OnScreenSettingsWindow::windowFrame(const QString& caption, int index, bool offFirst)
{
    auto* window = frame(nameOf(index, "Frame"), caption);
    auto* row = new QHBoxLayout(window);
    row->addWidget(positionFrame(index));
    row->addWidget(stateFrame(index, offFirst));
    return window;
}

QGroupBox* OnScreenSettingsWindow::audioWindow()
{
    auto* window = frame(nameOf(0, "Frame"), QStringLiteral("Audio Window"));
    auto* row = new QHBoxLayout(window);
    row->addWidget(positionFrame(0));
    row->addWidget(stateFrame(0, false));
    row->addWidget(pairFrame(QStringLiteral("audioBarModeFrame"), QStringLiteral("Bar Mode"),
                             optionButton(QStringLiteral("audioBarVu"), QStringLiteral("VU"), Field::AudioBarVu),
                             optionButton(QStringLiteral("audioBarPpm"), QStringLiteral("PPM"), Field::AudioBarPpm)));
    return window;
}

QGroupBox* OnScreenSettingsWindow::sidWindow()
{
    auto* window = frame(nameOf(1, "Frame"), QStringLiteral("SID Window"));
    auto* state = stateFrame(1, true);
    state->setEnabled(false);
    state->hide();
    auto* missingMode = pairFrame(
        QStringLiteral("missingSidModeFrame"), QStringLiteral("Missing SID Mode"),
        optionButton(QStringLiteral("missingSidDisable"), QStringLiteral("Disable"), Field::MissingSidDisable),
        optionButton(QStringLiteral("missingSidEnable"), QStringLiteral("Enable"), Field::MissingSidEnable));
    auto* messageLabel = label(QStringLiteral("missingSidMessageLabel"), QStringLiteral("Missing SID Message"));
    auto* message = textBox(QStringLiteral("missingSidMessage"), Field::MissingSidMessage);
    messageLabel->setBuddy(message);

    auto* row = new QHBoxLayout;
    row->addWidget(positionFrame(1));
    row->addWidget(state);
    row->addWidget(missingMode);
    auto* column = new QVBoxLayout(window);
    column->addLayout(row);
    column->addWidget(messageLabel);
    column->addWidget(message);
    column->addStretch();
    return window;
}

QGroupBox* OnScreenSettingsWindow::messageFrame(const QString& caption, int index)
{
    auto* message = frame(nameOf(index, "Frame"), caption);
    message->setLayout(positionBoxes(index));
    return message;
}

} // namespace quillon
