// SPDX-License-Identifier: GPL-3.0-or-later
// What a box holds when the operator leaves it, and how much may be typed into it.
#include "formfixture.h"

#include <QGroupBox>

namespace quillon::testing {
namespace {

class ChecksTest : public FormsTest {
protected:
    // Replaces the box's text by typing, as the operator does.
    static void retype(QLineEdit* box, const QString& text)
    {
        box->setFocus(Qt::TabFocusReason);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }
};

TEST_F(ChecksTest, fineAdjustBoxesAreCheckedWhenTheOperatorLeavesThem)
{
    showActive(&audio);
    const struct {
        const char* typed;
        const char* left;
    } cases[] = {{"200", "127"}, {"-300", "-128"}, {"12abc", "12"}, {"", "0"},
                 {"3.5", "3.5"}, {"+7", "7"},      {"007", "7"}};
    for (const auto& [boxName, field] : {std::pair{"fineAdjustChannel1", Field::FineAdjustChannel1},
                                         std::pair{"fineAdjustChannel2", Field::FineAdjustChannel2}}) {
        auto* box = child<QLineEdit>(&audio, boxName);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(boxName) + " typed " + c.typed);
            retype(box, QLatin1String(c.typed));
            EXPECT_EQ(setup.values().text(field), QLatin1String(c.typed)); // unchecked while typing
            enterAndLeave(box);
            EXPECT_EQ(box->text(), QLatin1String(c.left));
            EXPECT_EQ(setup.values().text(field), QLatin1String(c.left));
        }
    }
}

TEST_F(ChecksTest, theSecondChannelPairIsNeverOfferedSoItsValuesStay)
{
    showActive(&audio);
    setup.setText(Field::FineAdjustA2, QStringLiteral("300"));
    setup.setText(Field::FineAdjustB2, QStringLiteral("x"));
    for (const char* name : {"fineAdjustA2Frame", "fineAdjustB2Frame"}) {
        auto* frame = child<QGroupBox>(&audio, name);
        EXPECT_FALSE(frame->isVisible()) << name;
        EXPECT_FALSE(frame->isEnabled()) << name;
    }
    EXPECT_FALSE(child<QLineEdit>(&audio, "fineAdjustA2")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(&audio, "fineAdjustB2")->isEnabled());

    // Tabbing all the way round the window never enters them.
    child<QLineEdit>(&audio, "fineAdjustChannel1")->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(setup.values().text(Field::FineAdjustA2), "300");
    EXPECT_EQ(setup.values().text(Field::FineAdjustB2), "x");
}

TEST_F(ChecksTest, positionsAreCheckedWhenTheOperatorLeavesTheirBox)
{
    showActive(&win);
    const struct {
        const char* box;
        Field field;
        const char* written;
        const char* left;
    } cases[] = {
        {"statusWindowHorizontal", Field::StatusWindowHorizontal, "45", "39"},  {"statusWindowVertical", Field::StatusWindowVertical, "25", "25"},
        {"statusWindowVertical", Field::StatusWindowVertical, "31", "29"},  {"timeCodeWindowHorizontal", Field::TimeCodeWindowHorizontal, "-4", "0"},
        {"gpi1MessageVertical", Field::Gpi1MessageVertical, "abc", "0"},  {"gpi2MessageHorizontal", Field::Gpi2MessageHorizontal, "39.5", "39"},
        {"sidWindowHorizontal", Field::SidWindowHorizontal, "007", "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.box) + " holding " + c.written);
        setup.setText(c.field, QLatin1String(c.written)); // written by a file or a card
        enterAndLeave(child<QLineEdit>(&win, c.box));
        EXPECT_EQ(setup.values().text(c.field), QLatin1String(c.left));
        EXPECT_EQ(child<QLineEdit>(&win, c.box)->text(), QLatin1String(c.left));
    }
}

TEST_F(ChecksTest, aPopupOverTheBoxIsNotLeavingIt)
{
    showActive(&audio);
    auto* box = child<QLineEdit>(&audio, "fineAdjustChannel1");
    retype(box, QStringLiteral("500"));
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(box, &popup);
    EXPECT_EQ(setup.values().text(Field::FineAdjustChannel1), "500");
}

TEST_F(ChecksTest, typingStopsAtTheMessageLengthButALongerTextIsKept)
{
    showActive(&controls);
    auto* gpiText = child<QLineEdit>(&controls, "gpi1Text");
    retype(gpiText, QStringLiteral("ABCDEFGHIJKLMNOP")); // 16 characters
    EXPECT_EQ(setup.values().text(Field::Gpi1Text), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(gpiText->text(), "ABCDEFGHIJKLMNO");

    // Typing in the middle of a full box refuses the character and leaves the rest alone.
    gpiText->setCursorPosition(3);
    QTest::keyClicks(gpiText, "z");
    EXPECT_EQ(setup.values().text(Field::Gpi1Text), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(gpiText->cursorPosition(), 3);

    // A longer text from a file is shown whole, kept, and may only get shorter.
    const QString fromFile = QStringLiteral("A MESSAGE OF TWENTY FOUR");
    setup.setText(Field::Gpi2Text, fromFile);
    auto* other = child<QLineEdit>(&controls, "gpi2Text");
    EXPECT_EQ(other->text(), fromFile);
    other->setFocus();
    other->end(false);
    QTest::keyClicks(other, "X");
    EXPECT_EQ(setup.values().text(Field::Gpi2Text), fromFile);
    QTest::keyClick(other, Qt::Key_Backspace);
    EXPECT_EQ(setup.values().text(Field::Gpi2Text), fromFile.chopped(1));

    showActive(&win);
    auto* missing = child<QLineEdit>(&win, "missingSidMessage");
    retype(missing, QStringLiteral("123456789012345678901"));
    EXPECT_EQ(setup.values().text(Field::MissingSidMessage), "12345678901234567890");
}

} // namespace
} // namespace quillon::testing
