// SPDX-License-Identifier: GPL-3.0-or-later
// The Source ID window: the standard's choice and the line spinners' limits.
#include "formfixture.h"

#include "forms/updown.h"

#include <QComboBox>
#include <QSignalSpy>

namespace quillon::testing {
namespace {

const char* const LineBoxes[] = {"sidLine525Vitc", "sidLine525Pesa", "sidLine625Vitc", "sidLine625Pesa"};

class SidFormTest : public FormsTest {
protected:
    QStringList lineTexts(QWidget* window)
    {
        QStringList texts;
        for (const char* box : LineBoxes)
            texts << child<QLineEdit>(window, box)->text();
        return texts;
    }
    // The line spinners' limits, in the order of LineBoxes; with boxes inside them, each
    // spinner at its box's value.
    void expectLineLimits(QWidget* window, bool boxesInRange)
    {
        const std::tuple<const char*, int, int> limits[] = {
            {"sidLine525VitcSpinner", 10, 32}, {"sidLine525PesaSpinner", 10, 21}, {"sidLine625VitcSpinner", 6, 32}, {"sidLine625PesaSpinner", 7, 22}};
        for (int i = 0; i < 4; ++i) {
            const auto& [name, low, high] = limits[i];
            auto* spinner = child<UpDown>(window, name);
            EXPECT_EQ(spinner->minimum(), low) << name;
            EXPECT_EQ(spinner->maximum(), high) << name;
            if (boxesInRange) {
                EXPECT_EQ(spinner->value(), child<QLineEdit>(window, LineBoxes[i])->text().toInt())
                    << name;
            }
        }
    }
};

TEST_F(SidFormTest, choosing625ResetsTheLinesAndSetsTheSpinnerLimits)
{
    // A window over a set-up that no standard has been chosen for yet.
    CardSetup fresh;
    SourceIdSettingsWindow window(fresh);
    auto* standard = child<QComboBox>(&window, "videoStandard");
    EXPECT_EQ(standard->currentText(), "cStandard");
    EXPECT_EQ(child<UpDown>(&window, "sidLine625VitcSpinner")->minimum(), 10);
    EXPECT_EQ(child<UpDown>(&window, "sidLine625VitcSpinner")->maximum(), 20);

    showActive(&window);
    standard->setFocus();
    QTest::keyClick(standard, Qt::Key_Down); // "525"
    QTest::keyClick(standard, Qt::Key_Down); // "625"
    EXPECT_EQ(fresh.values().choice(Field::VideoStandard), 1);
    EXPECT_EQ(standard->currentText(), "625");
    EXPECT_EQ(lineTexts(&window), QStringList({"20", "21", "20", "21"}));
    expectLineLimits(&window, true);
}

TEST_F(SidFormTest, choosingTheCurrentStandardAgainResetsTheLines)
{
    setup.setText(Field::SidLine625Pesa, QStringLiteral("15"));
    showActive(&sid);
    auto* standard = child<QComboBox>(&sid, "videoStandard");
    standard->setFocus();
    QTest::keyClick(standard, Qt::Key_Up);   // "625"
    setup.setText(Field::SidLine625Pesa, QStringLiteral("15"));
    QTest::keyClick(standard, Qt::Key_Down); // "Auto"
    EXPECT_EQ(lineTexts(&sid), QStringList({"20", "21", "20", "21"}));
}

TEST_F(SidFormTest, activationHoldsThe525VitcLineToTenToTwenty)
{
    const struct {
        int standard;
        const char* vitc;
        const char* after;
    } cases[] = {{0, "25", "20"}, {0, "9", "20"}, {0, "15", "15"}, {0, "20", "20"},
                 {1, "25", "25"}, {2, "9", "9"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.standard) + " with VITC " + c.vitc);
        setup.edit([&](SetupValues& v) {
            v.setChoice(Field::VideoStandard, c.standard);
            v.setText(Field::SidLine525Vitc, QLatin1String(c.vitc));
        });
        QSignalSpy on(&sid, &SettingsWindow::windowOn);
        sid.activate();
        EXPECT_EQ(child<QLineEdit>(&sid, "sidLine525Vitc")->text(), QLatin1String(c.after));
        EXPECT_EQ(setup.values().text(Field::SidLine525Vitc), QLatin1String(c.after));
        ASSERT_EQ(on.count(), 1);
        EXPECT_EQ(on.at(0).at(0).toString(), "SourceId");
    }
    expectLineLimits(&sid, false);
}

TEST_F(SidFormTest, typingInTheStandardBoxChoosesNothing)
{
    setup.edit([](SetupValues& v) {
        v.setText(Field::SidLine525Vitc, QStringLiteral("12"));
        v.setText(Field::SidLine625Pesa, QStringLiteral("13"));
    });
    const SetupValues before = setup.values();
    showActive(&sid);
    auto* standard = child<QComboBox>(&sid, "videoStandard");
    standard->setFocus();
    standard->lineEdit()->selectAll();
    QTest::keyClicks(standard, "625");
    QTest::keyClick(standard, Qt::Key_Return);
    EXPECT_EQ(standard->currentText(), "Auto"); // the box shows what the set-up holds
    standard->lineEdit()->selectAll();
    QTest::keyClicks(standard, "PAL");
    QTest::keyClick(standard, Qt::Key_Tab);
    EXPECT_FALSE(standard->hasFocus());
    EXPECT_EQ(standard->currentText(), "Auto");

    EXPECT_TRUE(setup.values() == before);
    EXPECT_EQ(standard->currentIndex(), 2);
    EXPECT_EQ(standard->count(), 3);
    EXPECT_EQ(lineTexts(&sid), QStringList({"12", "11", "10", "13"}));
}

TEST_F(SidFormTest, lineSpinnersStopAtTheLimitsOfTheStandardsLines)
{
    sid.activate();
    auto* pesa625 = child<UpDown>(&sid, "sidLine625PesaSpinner");
    pesa625->stepBy(100);
    EXPECT_EQ(setup.values().text(Field::SidLine625Pesa), "22");
    pesa625->stepBy(-100);
    EXPECT_EQ(setup.values().text(Field::SidLine625Pesa), "7");

    // The line boxes are changed with the spinners only.
    auto* box = child<QLineEdit>(&sid, "sidLine625Pesa");
    EXPECT_TRUE(box->isReadOnly());
    showActive(&sid);
    box->setFocus();
    QTest::keyClicks(box, "9");
    EXPECT_EQ(setup.values().text(Field::SidLine625Pesa), "7");
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(setup.values().text(Field::SidLine625Pesa), "8");
}

} // namespace
} // namespace quillon::testing
