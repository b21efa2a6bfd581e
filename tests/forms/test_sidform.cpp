// The Source ID window: the standard's choice and the line spinners' limits.
#include "formfixture.h"

#include "forms/updown.h"

#include <QComboBox>
#include <QSignalSpy>

namespace quillon::testing {
namespace {

const char* const LineBoxes[] = {"tVITC(0)", "tPesa(0)", "tVITC(1)", "tPesa(1)"};

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
            {"udVITC(0)", 10, 32}, {"udPesa(0)", 10, 21}, {"udVITC(1)", 6, 32}, {"udPesa(1)", 7, 22}};
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
    frmSIDConfig window(fresh);
    auto* standard = child<QComboBox>(&window, "cStandard");
    EXPECT_EQ(standard->currentText(), "cStandard");
    EXPECT_EQ(child<UpDown>(&window, "udVITC(1)")->minimum(), 10);
    EXPECT_EQ(child<UpDown>(&window, "udVITC(1)")->maximum(), 20);

    showActive(&window);
    standard->setFocus();
    QTest::keyClick(standard, Qt::Key_Down); // "525"
    QTest::keyClick(standard, Qt::Key_Down); // "625"
    EXPECT_EQ(fresh.values().choice(Field::cStandard), 1);
    EXPECT_EQ(standard->currentText(), "625");
    EXPECT_EQ(lineTexts(&window), QStringList({"20", "21", "20", "21"}));
    expectLineLimits(&window, true);
}

TEST_F(SidFormTest, choosingTheCurrentStandardAgainResetsTheLines)
{
    setup.setText(Field::tPesa1, QStringLiteral("15"));
    showActive(&sid);
    auto* standard = child<QComboBox>(&sid, "cStandard");
    standard->setFocus();
    QTest::keyClick(standard, Qt::Key_Up);   // "625"
    setup.setText(Field::tPesa1, QStringLiteral("15"));
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
            v.setChoice(Field::cStandard, c.standard);
            v.setText(Field::tVITC0, QLatin1String(c.vitc));
        });
        QSignalSpy on(&sid, &SettingsForm::windowOn);
        sid.activate();
        EXPECT_EQ(child<QLineEdit>(&sid, "tVITC(0)")->text(), QLatin1String(c.after));
        EXPECT_EQ(setup.values().text(Field::tVITC0), QLatin1String(c.after));
        ASSERT_EQ(on.count(), 1);
        EXPECT_EQ(on.at(0).at(0).toString(), "AVM");
    }
    expectLineLimits(&sid, false);
}

TEST_F(SidFormTest, typingInTheStandardBoxChoosesNothing)
{
    setup.edit([](SetupValues& v) {
        v.setText(Field::tVITC0, QStringLiteral("12"));
        v.setText(Field::tPesa1, QStringLiteral("13"));
    });
    const SetupValues before = setup.values();
    showActive(&sid);
    auto* standard = child<QComboBox>(&sid, "cStandard");
    standard->setFocus();
    standard->lineEdit()->selectAll();
    QTest::keyClicks(standard, "625");
    QTest::keyClick(standard, Qt::Key_Return);
    EXPECT_EQ(standard->currentText(), "625");
    QTest::keyClick(standard, Qt::Key_Tab);
    EXPECT_FALSE(standard->hasFocus());

    EXPECT_TRUE(setup.values() == before);
    EXPECT_EQ(standard->currentIndex(), 2);
    EXPECT_EQ(standard->count(), 3);
    EXPECT_EQ(lineTexts(&sid), QStringList({"12", "11", "10", "13"}));
}

TEST_F(SidFormTest, lineSpinnersStopAtTheLimitsOfTheStandardsLines)
{
    sid.activate();
    auto* pesa625 = child<UpDown>(&sid, "udPesa(1)");
    pesa625->stepBy(100);
    EXPECT_EQ(setup.values().text(Field::tPesa1), "22");
    pesa625->stepBy(-100);
    EXPECT_EQ(setup.values().text(Field::tPesa1), "7");

    // The line boxes are changed with the spinners only.
    auto* box = child<QLineEdit>(&sid, "tPesa(1)");
    EXPECT_TRUE(box->isReadOnly());
    showActive(&sid);
    box->setFocus();
    QTest::keyClicks(box, "9");
    EXPECT_EQ(setup.values().text(Field::tPesa1), "7");
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(setup.values().text(Field::tPesa1), "8");
}

} // namespace
} // namespace quillon::testing
