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
    EXPECT_EQ(child<QComboBox>(&audio, "cLevel")->currentText(), "14dBu  -10dB");
    EXPECT_EQ(child<QComboBox>(&audio, "cGroup")->currentText(), "1");
    EXPECT_TRUE(child<QRadioButton>(&audio, "oStereo")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(&audio, "oMono")->isChecked());
    EXPECT_EQ(child<QLineEdit>(&audio, "tA1Left(0)")->text(), "0");
    EXPECT_EQ(child<QComboBox>(&sid, "cStandard")->currentText(), "Auto");
    EXPECT_EQ(child<QLineEdit>(&sid, "tPesa(1)")->text(), "11");
    EXPECT_EQ(child<UpDown>(&sid, "udPesa(1)")->value(), 11);
    EXPECT_EQ(child<QLineEdit>(&win, "tSIDNot")->text(), "NO AVM");
    EXPECT_EQ(child<QLineEdit>(&win, "tHor(1)")->text(), "22");
    EXPECT_EQ(child<UpDown>(&win, "udHor(1)")->value(), 22);
    EXPECT_EQ(child<QLineEdit>(&controls, "tGPIText(0)")->text(), "RECORD");
    EXPECT_EQ(child<QCheckBox>(&controls, "cGPI2(0)")->checkState(), Qt::Checked);
    const char* valueBoxes[] = {"160", "111", "-56", "-82", "84", "64"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(child<QLineEdit>(&colors, qPrintable(QStringLiteral("Text1(%1)").arg(i)))->text(),
                  valueBoxes[i]);
}

TEST_F(BindingTest, controlsFollowEveryChangeOfTheSetup)
{
    const SetupValues changed = everyFieldChanged();
    setup.setValues(changed);
    expectControlsShow(changed);
    EXPECT_EQ(child<QLineEdit>(&colors, "Text1(2)")->text(), "127");

    LoadDefaultConfig(setup);
    expectControlsShow(setup.values());
}

TEST_F(BindingTest, anOptionGroupMayShowNeitherButton)
{
    setup.setOption(Field::oVU, false);
    setup.setOption(Field::oPPM, false);
    EXPECT_FALSE(child<QRadioButton>(&win, "oVU")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(&win, "oPPM")->isChecked());

    setup.setOption(Field::oVU, true);
    EXPECT_TRUE(child<QRadioButton>(&win, "oVU")->isChecked());
}

TEST_F(BindingTest, clickingAnOptionButtonSetsItAndClearsItsPartner)
{
    showActive(&audio);
    auto* mono = child<QRadioButton>(&audio, "oMono");
    clickBox(mono);
    EXPECT_TRUE(setup.values().option(Field::oMono));
    EXPECT_FALSE(setup.values().option(Field::oStereo));
    EXPECT_FALSE(child<QRadioButton>(&audio, "oStereo")->isChecked());

    // Clicking the button that is on leaves it on.
    clickBox(mono);
    EXPECT_TRUE(mono->isChecked());
    EXPECT_TRUE(setup.values().option(Field::oMono));

    // From a group showing neither button, a click turns one on.
    setup.setOption(Field::oLRSwapNo, false);
    clickBox(child<QRadioButton>(&audio, "oLRSwapYES"));
    EXPECT_TRUE(setup.values().option(Field::oLRSwapYES));
}

TEST_F(BindingTest, checkBoxesToggleBetweenOnAndOffAndAreIndependent)
{
    showActive(&controls);
    auto* blink = child<QCheckBox>(&controls, "cGPI1(1)");
    auto* textOff = child<QCheckBox>(&controls, "cGPI1(2)");
    clickBox(blink);
    clickBox(textOff);
    EXPECT_EQ(setup.values().check(Field::cGPI1_0), 1);
    EXPECT_EQ(setup.values().check(Field::cGPI1_1), 1);
    EXPECT_EQ(setup.values().check(Field::cGPI1_2), 1);

    clickBox(blink);
    EXPECT_EQ(setup.values().check(Field::cGPI1_1), 0);
    EXPECT_EQ(blink->checkState(), Qt::Unchecked);

    // A grey box shows as such; the operator's click makes it plainly on, and the next one off.
    setup.setCheck(Field::cGPI2_1, 2);
    auto* grey = child<QCheckBox>(&controls, "cGPI2(1)");
    EXPECT_EQ(grey->checkState(), Qt::PartiallyChecked);
    clickBox(grey);
    EXPECT_EQ(setup.values().check(Field::cGPI2_1), 1);
    clickBox(grey);
    EXPECT_EQ(setup.values().check(Field::cGPI2_1), 0);
    EXPECT_EQ(grey->checkState(), Qt::Unchecked);
}

TEST_F(BindingTest, choosingAListItemSetsTheChoice)
{
    showActive(&audio);
    auto* level = child<QComboBox>(&audio, "cLevel");
    level->setFocus();
    QTest::keyClick(level, Qt::Key_Down);
    EXPECT_EQ(setup.values().choice(Field::cLevel), 11);
    EXPECT_EQ(level->currentText(), "13dBu  -11dB");
}

TEST_F(BindingTest, typedTextGoesIntoTheSetupAtOnce)
{
    showActive(&win);
    auto* message = child<QLineEdit>(&win, "tSIDNot");
    message->setFocus();
    message->end(false);
    QTest::keyClicks(message, "!");
    EXPECT_EQ(setup.values().text(Field::tSIDNot), "NO AVM!");

    // The set-up's own change of the text shows without disturbing anything else.
    setup.setText(Field::tSIDNot, QStringLiteral("LOST"));
    EXPECT_EQ(message->text(), "LOST");
}

TEST_F(BindingTest, slidersSetTheLevelAndShowItInTheirValueBox)
{
    showActive(&colors);
    auto* brightness = child<QSlider>(&colors, "Slider1(0)");
    brightness->setFocus();
    QTest::keyClick(brightness, Qt::Key_Right);
    EXPECT_EQ(setup.values().level(Field::Slider1_0), 161);
    EXPECT_EQ(child<QLineEdit>(&colors, "Text1(0)")->text(), "161");
    QTest::keyClick(brightness, Qt::Key_PageUp);
    EXPECT_EQ(setup.values().level(Field::Slider1_0), 166);

    // "Text Brightness" cannot go below 120; "Operating Region" goes down to -128.
    QTest::keyClick(brightness, Qt::Key_Home);
    EXPECT_EQ(child<QLineEdit>(&colors, "Text1(0)")->text(), "120");
    auto* operating = child<QSlider>(&colors, "Slider1(2)");
    operating->setFocus();
    QTest::keyClick(operating, Qt::Key_Home);
    EXPECT_EQ(child<QLineEdit>(&colors, "Text1(2)")->text(), "-128");
    EXPECT_EQ(setup.values().level(Field::Slider1_2), -128);

    setup.setLevel(Field::Slider1_5, 200);
    EXPECT_EQ(child<QLineEdit>(&colors, "Text1(5)")->text(), "200");
}

TEST_F(BindingTest, spinnersWriteTheirValueIntoTheBuddyAndStopAtTheirLimits)
{
    struct Case {
        SettingsForm* form;
        const char* spinner;
        const char* box;
        Field field;
        int low, high;
    };
    const Case cases[] = {
        {&audio, "udA1Left(0)", "tA1Left(0)", Field::tA1Left0, -128, 127},
        {&audio, "udB1Right(0)", "tB1Right(0)", Field::tB1Right0, -128, 127},
        {&win, "udHor(2)", "tHor(2)", Field::tHor2, 0, 39},
        {&win, "udVer(5)", "tVer(5)", Field::tVer5, 0, 19},
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
    auto* box = child<QLineEdit>(&win, "tHor(3)");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Up);
    QTest::keyClick(box, Qt::Key_Up);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(setup.values().text(Field::tHor3), "13");
}

TEST_F(BindingTest, aSpinnerFollowsTheBuddysValueWithinItsLimits)
{
    auto* spinner = child<UpDown>(&win, "udVer(2)");
    const struct {
        const char* text;
        int spinner;
    } rows[] = {{"15", 15}, {"25", 19}, {"abc", 0}, {"7.5", 8}, {"", 0}, {"-3", 0}};
    for (const auto& row : rows) {
        setup.setText(Field::tVer2, QLatin1String(row.text));
        EXPECT_EQ(spinner->value(), row.spinner) << row.text;
        EXPECT_EQ(child<QLineEdit>(&win, "tVer(2)")->text(), QLatin1String(row.text)); // shown as it is
    }
    // A step from a value its arrows cannot reach starts at their end, not from an old value.
    setup.setText(Field::tVer2, QStringLiteral("25"));
    spinner->stepBy(-1);
    EXPECT_EQ(setup.values().text(Field::tVer2), "18");
}

} // namespace
} // namespace quillon::testing
