// SPDX-License-Identifier: GPL-3.0-or-later
// The windows show the set-up, and the operator's edits go into it.
#include "formfixture.h"

#include "forms/updown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSlider>

namespace quillon::testing {
namespace {

Qt::CheckState expectedState(int check)
{
    return check == 1 ? Qt::Checked : check == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

class BindingTest : public FormsTest {
protected:
    // Every field's control shows the value the set-up holds.
    void expectControlsShow(const SetupValues& values)
    {
        for (const FieldInfo& info : allFields()) {
            const Field f = info.field;
            SCOPED_TRACE(info.name);
            switch (info.kind) {
            case FieldKind::Choice:
                ASSERT_NE(controlOf<QComboBox>(f), nullptr);
                EXPECT_EQ(controlOf<QComboBox>(f)->currentIndex(), values.choice(f));
                break;
            case FieldKind::Option:
                ASSERT_NE(controlOf<QRadioButton>(f), nullptr);
                EXPECT_EQ(controlOf<QRadioButton>(f)->isChecked(), values.option(f));
                break;
            case FieldKind::Check:
                ASSERT_NE(controlOf<QCheckBox>(f), nullptr);
                EXPECT_EQ(controlOf<QCheckBox>(f)->checkState(), expectedState(values.check(f)));
                break;
            case FieldKind::Number:
            case FieldKind::Text:
                ASSERT_NE(controlOf<QLineEdit>(f), nullptr);
                EXPECT_EQ(controlOf<QLineEdit>(f)->text(), values.text(f));
                break;
            case FieldKind::Level:
                ASSERT_NE(controlOf<QSlider>(f), nullptr);
                EXPECT_EQ(controlOf<QSlider>(f)->value(), values.level(f));
                break;
            }
        }
    }

    // A set-up in which every field differs from the defaults.
    SetupValues everyFieldChanged() const
    {
        SetupValues v = setup.values();
        for (const FieldInfo& info : allFields()) {
            const Field f = info.field;
            switch (info.kind) {
            case FieldKind::Choice: v.setChoice(f, info.items.size() == 3 ? 0 : 1); break;
            case FieldKind::Option: if (!v.option(f)) v.setOption(f, true); break;
            case FieldKind::Check: v.setCheck(f, v.check(f) == 1 ? 2 : 1); break;
            case FieldKind::Level: v.setLevel(f, info.range.max); break;
            default: break;
            }
        }
        // After the standard, which resets the line numbers.
        for (const FieldInfo& info : allFields()) {
            if (info.kind == FieldKind::Number)
                v.setText(info.field, QStringLiteral("17"));
            if (info.kind == FieldKind::Text)
                v.setText(info.field, QStringLiteral("CHANGED"));
        }
        return v;
    }
};

TEST_F(BindingTest, everyFieldHasAControlNamedAfterItShowingTheDefaults)
{
    expectControlsShow(setup.values());
}

TEST_F(BindingTest, defaultsReadAsTheWindowsShowThem)
{
    EXPECT_EQ(child<QComboBox>(&audio, "peakLevel")->currentText(), "14dBu  -10dB");
    EXPECT_EQ(child<QComboBox>(&audio, "audioGroup")->currentText(), "1");
    EXPECT_TRUE(child<QRadioButton>(&audio, "outputStereo")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(&audio, "outputMono")->isChecked());
    EXPECT_EQ(child<QLineEdit>(&audio, "fineAdjustChannel1")->text(), "0");
    EXPECT_EQ(child<QComboBox>(&sid, "videoStandard")->currentText(), "Auto");
    EXPECT_EQ(child<QLineEdit>(&sid, "sidLine625Pesa")->text(), "11");
    EXPECT_EQ(child<UpDown>(&sid, "sidLine625PesaSpinner")->value(), 11);
    EXPECT_EQ(child<QLineEdit>(&win, "missingSidMessage")->text(), "NO AVM");
    EXPECT_EQ(child<QLineEdit>(&win, "sidWindowHorizontal")->text(), "22");
    EXPECT_EQ(child<UpDown>(&win, "sidWindowHorizontalSpinner")->value(), 22);
    EXPECT_EQ(child<QLineEdit>(&controls, "gpi1Text")->text(), "RECORD");
    EXPECT_EQ(child<QCheckBox>(&controls, "gpi2DisplayMessage")->checkState(), Qt::Checked);
    const std::pair<const char*, const char*> valueBoxes[] = {
        {"textBrightnessValue", "160"}, {"barBorderBrightnessValue", "111"},
        {"operatingRegionValue", "-56"}, {"warningRegionValue", "-82"},
        {"errorRegionValue", "84"}, {"grey2Value", "64"}};
    for (const auto& [name, value] : valueBoxes)
        EXPECT_EQ(child<QLineEdit>(&colors, name)->text(), value);
}

TEST_F(BindingTest, controlsFollowEveryChangeOfTheSetup)
{
    const SetupValues changed = everyFieldChanged();
    setup.setValues(changed);
    expectControlsShow(changed);
    EXPECT_EQ(child<QLineEdit>(&colors, "operatingRegionValue")->text(), "127");

    loadDefaults(setup);
    expectControlsShow(setup.values());
}

TEST_F(BindingTest, anOptionGroupMayShowNeitherButton)
{
    setup.setOption(Field::AudioBarVu, false);
    setup.setOption(Field::AudioBarPpm, false);
    EXPECT_FALSE(child<QRadioButton>(&win, "audioBarVu")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(&win, "audioBarPpm")->isChecked());

    setup.setOption(Field::AudioBarVu, true);
    EXPECT_TRUE(child<QRadioButton>(&win, "audioBarVu")->isChecked());
}

TEST_F(BindingTest, clickingAnOptionButtonSetsItAndClearsItsPartner)
{
    showActive(&audio);
    auto* mono = child<QRadioButton>(&audio, "outputMono");
    clickBox(mono);
    EXPECT_TRUE(setup.values().option(Field::OutputMono));
    EXPECT_FALSE(setup.values().option(Field::OutputStereo));
    EXPECT_FALSE(child<QRadioButton>(&audio, "outputStereo")->isChecked());

    // Clicking the button that is on leaves it on.
    clickBox(mono);
    EXPECT_TRUE(mono->isChecked());
    EXPECT_TRUE(setup.values().option(Field::OutputMono));

    // From a group showing neither button, a click turns one on.
    setup.setOption(Field::ChannelSwapNo, false);
    clickBox(child<QRadioButton>(&audio, "channelSwapYes"));
    EXPECT_TRUE(setup.values().option(Field::ChannelSwapYes));
}

TEST_F(BindingTest, checkBoxesToggleBetweenOnAndOffAndAreIndependent)
{
    showActive(&controls);
    auto* blink = child<QCheckBox>(&controls, "gpi1Blink");
    auto* textOff = child<QCheckBox>(&controls, "gpi1TextOff");
    clickBox(blink);
    clickBox(textOff);
    EXPECT_EQ(setup.values().check(Field::Gpi1DisplayMessage), 1);
    EXPECT_EQ(setup.values().check(Field::Gpi1Blink), 1);
    EXPECT_EQ(setup.values().check(Field::Gpi1TextOff), 1);

    clickBox(blink);
    EXPECT_EQ(setup.values().check(Field::Gpi1Blink), 0);
    EXPECT_EQ(blink->checkState(), Qt::Unchecked);

    // A grey box shows as such; the operator's click makes it plainly on, and the next one off.
    setup.setCheck(Field::Gpi2Blink, 2);
    auto* grey = child<QCheckBox>(&controls, "gpi2Blink");
    EXPECT_EQ(grey->checkState(), Qt::PartiallyChecked);
    clickBox(grey);
    EXPECT_EQ(setup.values().check(Field::Gpi2Blink), 1);
    clickBox(grey);
    EXPECT_EQ(setup.values().check(Field::Gpi2Blink), 0);
    EXPECT_EQ(grey->checkState(), Qt::Unchecked);
}

TEST_F(BindingTest, choosingAListItemSetsTheChoice)
{
    showActive(&audio);
    auto* level = child<QComboBox>(&audio, "peakLevel");
    level->setFocus();
    QTest::keyClick(level, Qt::Key_Down);
    EXPECT_EQ(setup.values().choice(Field::PeakLevel), 11);
    EXPECT_EQ(level->currentText(), "13dBu  -11dB");
}

TEST_F(BindingTest, typedTextGoesIntoTheSetupAtOnce)
{
    showActive(&win);
    auto* message = child<QLineEdit>(&win, "missingSidMessage");
    message->setFocus();
    message->end(false);
    QTest::keyClicks(message, "!");
    EXPECT_EQ(setup.values().text(Field::MissingSidMessage), "NO AVM!");

    // The set-up's own change of the text shows without disturbing anything else.
    setup.setText(Field::MissingSidMessage, QStringLiteral("LOST"));
    EXPECT_EQ(message->text(), "LOST");
}

TEST_F(BindingTest, slidersSetTheLevelAndShowItInTheirValueBox)
{
    showActive(&colors);
    auto* brightness = child<QSlider>(&colors, "textBrightness");
    brightness->setFocus();
    QTest::keyClick(brightness, Qt::Key_Right);
    EXPECT_EQ(setup.values().level(Field::TextBrightness), 161);
    EXPECT_EQ(child<QLineEdit>(&colors, "textBrightnessValue")->text(), "161");
    QTest::keyClick(brightness, Qt::Key_PageUp);
    EXPECT_EQ(setup.values().level(Field::TextBrightness), 166);

    // "Text Brightness" cannot go below 120; "Operating Region" goes down to -128.
    QTest::keyClick(brightness, Qt::Key_Home);
    EXPECT_EQ(child<QLineEdit>(&colors, "textBrightnessValue")->text(), "120");
    auto* operating = child<QSlider>(&colors, "operatingRegion");
    operating->setFocus();
    QTest::keyClick(operating, Qt::Key_Home);
    EXPECT_EQ(child<QLineEdit>(&colors, "operatingRegionValue")->text(), "-128");
    EXPECT_EQ(setup.values().level(Field::OperatingRegion), -128);

    setup.setLevel(Field::Grey2, 200);
    EXPECT_EQ(child<QLineEdit>(&colors, "grey2Value")->text(), "200");
}

TEST_F(BindingTest, spinnersWriteTheirValueIntoTheBuddyAndStopAtTheirLimits)
{
    struct Case {
        SettingsWindow* form;
        const char* spinner;
        const char* box;
        Field field;
        int low, high;
    };
    const Case cases[] = {
        {&audio, "fineAdjustChannel1Spinner", "fineAdjustChannel1", Field::FineAdjustChannel1, -128, 127},
        {&audio, "fineAdjustChannel2Spinner", "fineAdjustChannel2", Field::FineAdjustChannel2, -128, 127},
        {&win, "timeCodeWindowHorizontalSpinner", "timeCodeWindowHorizontal", Field::TimeCodeWindowHorizontal, 0, 39},
        {&win, "gpi2MessageVerticalSpinner", "gpi2MessageVertical", Field::Gpi2MessageVertical, 0, 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spinner);
        auto* spinner = child<UpDown>(c.form, c.spinner);
        spinner->stepBy(1);
        EXPECT_EQ(child<QLineEdit>(c.form, c.box)->text(), setup.values().text(c.field));
        spinner->stepBy(1000);
        EXPECT_EQ(setup.values().text(c.field), QString::number(c.high));
        spinner->stepBy(1);
        EXPECT_EQ(setup.values().text(c.field), QString::number(c.high));
        spinner->stepBy(-1000);
        EXPECT_EQ(setup.values().text(c.field), QString::number(c.low));
        EXPECT_EQ(child<QLineEdit>(c.form, c.box)->text(), QString::number(c.low));
    }
}

TEST_F(BindingTest, arrowKeysInANumberBoxStepItsSpinner)
{
    showActive(&win);
    auto* box = child<QLineEdit>(&win, "statusWindowHorizontal");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Up);
    QTest::keyClick(box, Qt::Key_Up);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(setup.values().text(Field::StatusWindowHorizontal), "13");
}

TEST_F(BindingTest, aSpinnerFollowsTheBuddysValueWithinItsLimits)
{
    auto* spinner = child<UpDown>(&win, "timeCodeWindowVerticalSpinner");
    const struct {
        const char* text;
        int spinner;
    } rows[] = {{"15", 15}, {"25", 19}, {"abc", 0}, {"7.5", 8}, {"", 0}, {"-3", 0}};
    for (const auto& row : rows) {
        setup.setText(Field::TimeCodeWindowVertical, QLatin1String(row.text));
        EXPECT_EQ(spinner->value(), row.spinner) << row.text;
        EXPECT_EQ(child<QLineEdit>(&win, "timeCodeWindowVertical")->text(), QLatin1String(row.text)); // shown as it is
    }
    // A step from a value its arrows cannot reach starts at their end, not from an old value.
    setup.setText(Field::TimeCodeWindowVertical, QStringLiteral("25"));
    spinner->stepBy(-1);
    EXPECT_EQ(setup.values().text(Field::TimeCodeWindowVertical), "18");
}

} // namespace
} // namespace quillon::testing
