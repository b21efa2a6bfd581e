#include "frmwinconfig.h"

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

constexpr Field Horizontal[] = {Field::tHor0, Field::tHor1, Field::tHor2, Field::tHor3,
                                Field::tHor4, Field::tHor5, Field::tHor6};
constexpr Field Vertical[] = {Field::tVer0, Field::tVer1, Field::tVer2, Field::tVer3,
                              Field::tVer4, Field::tVer5, Field::tVer6};
constexpr Field On[] = {Field::oOn0, Field::oOn1, Field::oOn2, Field::oOn3};
constexpr Field Off[] = {Field::oOff0, Field::oOff1, Field::oOff2, Field::oOff3};

} // namespace

frmWinConfig::frmWinConfig(CardSetup& setup, QWidget* parent)
    : SettingsForm(QStringLiteral("Win"), QStringLiteral("Set-up Windows"), setup, parent)
{
    setObjectName(QStringLiteral("frmWinConfig"));
    // Not offered to the operator: the audio window's state, bar mode and position, the source
    // ID window's state and the missing-SID message's position. They only come from the
    // defaults, a card or a file.
    auto* audio = audioWindow();
    auto* noSid = messageFrame(QStringLiteral("Frame3"), QStringLiteral("NO SID"), 6);
    for (QWidget* hidden : {static_cast<QWidget*>(audio), static_cast<QWidget*>(noSid)}) {
        hidden->setEnabled(false); // out of the focus chain too
        hidden->hide();
    }

    auto* left = new QVBoxLayout;
    left->addWidget(audio);
    left->addWidget(windowFrame(QStringLiteral("fTCWin"), QStringLiteral("Time Code Window"), 2, false));
    left->addWidget(windowFrame(QStringLiteral("fStatusWin"), QStringLiteral("Status Window"), 3, true));
    auto* windows = new QHBoxLayout;
    windows->addLayout(left);
    windows->addWidget(sidWindow());

    auto* messages = new QHBoxLayout;
    messages->addWidget(messageFrame(QStringLiteral("Frame1"), QStringLiteral("GPI #1"), 4));
    messages->addWidget(messageFrame(QStringLiteral("Frame2"), QStringLiteral("GPI #2"), 5));
    messages->addWidget(noSid);
    messages->addStretch();

    auto* content = new QVBoxLayout;
    content->addLayout(windows);
    content->addLayout(messages);

    setPageContent(content);
}

QLayout* frmWinConfig::positionBoxes(int index)
{
    const auto horizontal = numberBox(indexed("tHor", index), indexed("udHor", index),
                                      Horizontal[index], true);
    const auto vertical = numberBox(indexed("tVer", index), indexed("udVer", index),
                                    Vertical[index], true);
    checkRangeOnLeaving(horizontal.box, Horizontal[index]);
    checkRangeOnLeaving(vertical.box, Vertical[index]);
    auto* horizontalLabel = label(indexed("Label4", index), QStringLiteral("Horizontal"));
    auto* verticalLabel = label(indexed("Label5", index), QStringLiteral("Vertical"));
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

QGroupBox* frmWinConfig::positionFrame(int index)
{
    auto* position = frame(indexed("fPosition", index), QStringLiteral("Window Position"));
    position->setLayout(positionBoxes(index));
    return position;
}

QGroupBox* frmWinConfig::pairFrame(const QString& name, const QString& caption,
                                   QRadioButton* first, QRadioButton* second)
{
    auto* pair = frame(name, caption);
    auto* column = new QVBoxLayout(pair);
    column->addWidget(first);
    column->addWidget(second);
    return pair;
}

QGroupBox* frmWinConfig::stateFrame(int index, bool offFirst)
{
    auto* on = optionButton(indexed("oOn", index), QStringLiteral("On"), On[index]);
    auto* off = optionButton(indexed("oOff", index), QStringLiteral("Off"), Off[index]);
    const QString name = indexed("fState", index);
    const QString caption = QStringLiteral("Window State");
    return offFirst ? pairFrame(name, caption, off, on) : pairFrame(name, caption, on, off);
}

QGroupBox* frmWinConfig::windowFrame(const QString& name, const QString& caption, int index,
                                     bool offFirst)
{
    auto* window = frame(name, caption);
    auto* row = new QHBoxLayout(window);
    row->addWidget(positionFrame(index));
    row->addWidget(stateFrame(index, offFirst));
    return window;
}

QGroupBox* frmWinConfig::audioWindow()
{
    auto* window = frame(QStringLiteral("fAudioWin"), QStringLiteral("Audio Window"));
    auto* row = new QHBoxLayout(window);
    row->addWidget(positionFrame(0));
    row->addWidget(stateFrame(0, false));
    row->addWidget(pairFrame(QStringLiteral("fBarMode"), QStringLiteral("Bar Mode"),
                             optionButton(QStringLiteral("oVU"), QStringLiteral("VU"), Field::oVU),
                             optionButton(QStringLiteral("oPPM"), QStringLiteral("PPM"), Field::oPPM)));
    return window;
}

QGroupBox* frmWinConfig::sidWindow()
{
    auto* window = frame(QStringLiteral("fSIDWin"), QStringLiteral("SID Window"));
    auto* state = stateFrame(1, true);
    state->setEnabled(false);
    state->hide();
    auto* missingMode = pairFrame(
        indexed("fState", 4), QStringLiteral("Missing SID Mode"),
        optionButton(QStringLiteral("oSIDNotDis"), QStringLiteral("Disable"), Field::oSIDNotDis),
        optionButton(QStringLiteral("oSIDNotEn"), QStringLiteral("Enable"), Field::oSIDNotEn));
    auto* messageLabel = label(indexed("Label1", 2), QStringLiteral("Missing SID Message"));
    auto* message = textBox(QStringLiteral("tSIDNot"), Field::tSIDNot);
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

QGroupBox* frmWinConfig::messageFrame(const QString& name, const QString& caption, int index)
{
    auto* message = frame(name, caption);
    message->setLayout(positionBoxes(index));
    return message;
}

} // namespace quillon
