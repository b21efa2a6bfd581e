// SPDX-License-Identifier: GPL-3.0-or-later
#include "sourceidsettingswindow.h"

#include "updown.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

QGroupBox* withButtons(QGroupBox* frame, QRadioButton* first, QRadioButton* second)
{
    auto* row = new QHBoxLayout(frame);
    row->addWidget(first);
    row->addWidget(second);
    row->addStretch();
    return frame;
}

} // namespace

SourceIdSettingsWindow::SourceIdSettingsWindow(CardSetup& setup, QWidget* parent)
    : SettingsWindow(QStringLiteral("SourceId"), QStringLiteral("Set-up Source ID"), setup, parent)
{
    setObjectName(QStringLiteral("sourceIdSettingsWindow"));
    auto* standardRow = new QHBoxLayout;
    auto* standardLabel = label(QStringLiteral("videoStandardLabel"), QStringLiteral("Video Standard"));
    // "cStandard": what the box has always shown before a set-up reaches it.
    auto* standard = editableChoiceList(QStringLiteral("videoStandard"), Field::VideoStandard,
                                        QStringLiteral("cStandard"));
    captionOf(standardLabel, standard);
    standardRow->addWidget(standardLabel);
    standardRow->addWidget(standard);
    standardRow->addStretch();

    auto* lines = new QHBoxLayout;
    lines->addWidget(lineFrame("sidLine525", QStringLiteral("SID Line 525"), Field::SidLine525Vitc, Field::SidLine525Pesa));
    lines->addWidget(lineFrame("sidLine625", QStringLiteral("SID Line 625"), Field::SidLine625Vitc, Field::SidLine625Pesa));

    auto* modes = new QHBoxLayout;
    modes->addWidget(withButtons(
        frame(QStringLiteral("compositeDisplayFrame"), QStringLiteral("Composite Display Mode")),
        optionButton(QStringLiteral("compositeBlackWhite"), QStringLiteral("B/W"), Field::CompositeBlackWhite),
        optionButton(QStringLiteral("compositeColour"), QStringLiteral("Color"), Field::CompositeColour)));
    modes->addWidget(withButtons(
        frame(QStringLiteral("ntscPedestalFrame"), QStringLiteral("NTSC setup pedestal")),
        optionButton(QStringLiteral("ntscPedestalOff"), QStringLiteral("Off"), Field::NtscPedestalOff),
        optionButton(QStringLiteral("ntscPedestalOn"), QStringLiteral("On"), Field::NtscPedestalOn)));

    auto* content = new QVBoxLayout;
    content->addLayout(standardRow);
    content->addWidget(displayFrame());
    content->addLayout(lines);
    content->addLayout(modes);

    setPageContent(content);
}

void SourceIdSettingsWindow::load()
{
    Q_EMIT windowOn(windowKey());
}

void SourceIdSettingsWindow::activate()
{
    setupSidLines();
    SettingsWindow::activate();
}

void SourceIdSettingsWindow::setupSidLines()
{
    changeSetup(Field::SidLine525Vitc, [](SetupValues& v) { v.setupSidLines(); });
}

QWidget* SourceIdSettingsWindow::displayFrame()
{
    auto* display = frame(QStringLiteral("displayFrame"), QStringLiteral("Display"));
    auto* outputs = new QHBoxLayout(display);
    outputs->addWidget(withButtons(
        frame(QStringLiteral("sdiOutputFrame"), QStringLiteral("SDI Output")),
        optionButton(QStringLiteral("sdiOutputSid"), QStringLiteral("SID"), Field::SdiOutputSid),
        optionButton(QStringLiteral("sdiOutputSidAudio"), QStringLiteral("SID + Audio"), Field::SdiOutputSidAudio)));
    outputs->addWidget(withButtons(
        frame(QStringLiteral("compositeOutputFrame"), QStringLiteral("Composite Output")),
        optionButton(QStringLiteral("compositeOutputSid"), QStringLiteral("SID"), Field::CompositeOutputSid),
        optionButton(QStringLiteral("compositeOutputSidAudio"), QStringLiteral("SID + Audio"), Field::CompositeOutputSidAudio)));
    return display;
}

QWidget* SourceIdSettingsWindow::lineFrame(const char* name, const QString& caption, Field vitc, Field pesa)
{
    const QString stem = QLatin1String(name);
    const QString vitcName = stem + QStringLiteral("Vitc");
    const QString pesaName = stem + QStringLiteral("Pesa");
    auto* lines = frame(stem + QStringLiteral("Frame"), caption);
    auto* grid = new QGridLayout(lines);
    const QString vitcCaption = QStringLiteral("VITC");
    const QString pesaCaption = QStringLiteral("PESA");
    const auto vitcBox = numberBox(vitcName, vitcName + QStringLiteral("Spinner"), vitcCaption, vitc, true);
    const auto pesaBox = numberBox(pesaName, pesaName + QStringLiteral("Spinner"), pesaCaption, pesa, true);
    auto* vitcLabel = label(vitcName + QStringLiteral("Label"), vitcCaption);
    auto* pesaLabel = label(pesaName + QStringLiteral("Label"), pesaCaption);
    vitcLabel->setBuddy(vitcBox.box);
    pesaLabel->setBuddy(pesaBox.box);
    grid->addWidget(vitcLabel, 0, 0);
    grid->addLayout(vitcBox.row, 0, 1);
    grid->addWidget(pesaLabel, 1, 0);
    grid->addLayout(pesaBox.row, 1, 1);
    grid->setColumnStretch(2, 1);
    return lines;
}

} // namespace quillon
