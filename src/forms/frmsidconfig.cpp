#include "frmsidconfig.h"

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

frmSIDConfig::frmSIDConfig(CardSetup& setup, QWidget* parent)
    : SettingsForm(QStringLiteral("AVM"), QStringLiteral("Set-up Source ID"), setup, parent)
{
    setObjectName(QStringLiteral("frmSIDConfig"));
    auto* standardRow = new QHBoxLayout;
    auto* standardLabel = label(QStringLiteral("Label1"), QStringLiteral("Video Standard"));
    auto* standard = editableChoiceList(QStringLiteral("cStandard"), Field::cStandard);
    if (standard->currentIndex() < 0)
        standard->setEditText(QStringLiteral("cStandard"));
    standardLabel->setBuddy(standard);
    standardRow->addWidget(standardLabel);
    standardRow->addWidget(standard);
    standardRow->addStretch();

    auto* lines = new QHBoxLayout;
    lines->addWidget(lineFrame(0, QStringLiteral("SID Line 525"), Field::tVITC0, Field::tPesa0));
    lines->addWidget(lineFrame(1, QStringLiteral("SID Line 625"), Field::tVITC1, Field::tPesa1));

    auto* modes = new QHBoxLayout;
    modes->addWidget(withButtons(
        frame(QStringLiteral("fCompDisp"), QStringLiteral("Composite Display Mode")),
        optionButton(QStringLiteral("oCompDispBW"), QStringLiteral("B/W"), Field::oCompDispBW),
        optionButton(QStringLiteral("oCompDispColor"), QStringLiteral("Color"), Field::oCompDispColor)));
    modes->addWidget(withButtons(
        frame(QStringLiteral("fNTSC"), QStringLiteral("NTSC setup pedestal")),
        optionButton(QStringLiteral("oNTSCspOff"), QStringLiteral("Off"), Field::oNTSCspOff),
        optionButton(QStringLiteral("oNTSCspOn"), QStringLiteral("On"), Field::oNTSCspOn)));

    auto* content = new QVBoxLayout;
    content->addLayout(standardRow);
    content->addWidget(displayFrame());
    content->addLayout(lines);
    content->addLayout(modes);

    setPageContent(content);
}

void frmSIDConfig::load()
{
    Q_EMIT windowOn(windowKey());
}

void frmSIDConfig::activate()
{
    SetupSidLines();
    SettingsForm::activate();
}

void frmSIDConfig::SetupSidLines()
{
    changeSetup(Field::tVITC0, [](SetupValues& v) { v.setupSidLines(); });
}

QWidget* frmSIDConfig::displayFrame()
{
    auto* display = frame(QStringLiteral("fDisplay"), QStringLiteral("Display"));
    auto* outputs = new QHBoxLayout(display);
    outputs->addWidget(withButtons(
        frame(QStringLiteral("fSDIWin"), QStringLiteral("SDI Output")),
        optionButton(indexed("oSID", 0), QStringLiteral("SID"), Field::oSID0),
        optionButton(indexed("oSIDwA", 0), QStringLiteral("SID + Audio"), Field::oSIDwA0)));
    outputs->addWidget(withButtons(
        frame(QStringLiteral("fCompWin"), QStringLiteral("Composite Output")),
        optionButton(indexed("oSID", 1), QStringLiteral("SID"), Field::oSID1),
        optionButton(indexed("oSIDwA", 1), QStringLiteral("SID + Audio"), Field::oSIDwA1)));
    return display;
}

QWidget* frmSIDConfig::lineFrame(int index, const QString& caption, Field vitc, Field pesa)
{
    auto* lines = frame(indexed("fSIDLine", index), caption);
    auto* grid = new QGridLayout(lines);
    const auto vitcBox = numberBox(indexed("tVITC", index), indexed("udVITC", index), vitc, true);
    const auto pesaBox = numberBox(indexed("tPesa", index), indexed("udPesa", index), pesa, true);
    auto* vitcLabel = label(indexed("Label2", index), QStringLiteral("VITC"));
    auto* pesaLabel = label(indexed("Label3", index), QStringLiteral("PESA"));
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
