// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/progressdialog.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace quillon {
namespace {

class ProgressTest : public ::testing::Test {
protected:
    template <typename T>
    T* part(const char* name)
    {
        auto* found = dialog.findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    ProgressDialog dialog;
};

TEST_F(ProgressTest, showsItsCaptionsAndIsNotModal)
{
    EXPECT_EQ(dialog.windowTitle(), "Progress (Please Wait)");
    EXPECT_EQ(part<QPushButton>("cancelButton")->text(), "Cancel");
    dialog.showForTransfer();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(part<QLabel>("stageLabel")->text(), "Connecting to the card"); // what happens, no placeholder
    EXPECT_EQ(part<QProgressBar>("progressBar")->value(), 0);
    // Named for a screen reader.
    EXPECT_EQ(part<QProgressBar>("progressBar")->accessibleName(), "Transfer progress");
    EXPECT_EQ(part<QWidget>("stageList")->accessibleName(), "Stages");
}

TEST_F(ProgressTest, theBarMovesThroughTheFourStagesAndStartsOverForTheNextTransfer)
{
    dialog.showForTransfer();
    auto* bar = part<QProgressBar>("progressBar");
    QStringList texts;
    int last = bar->value();
    for (int stage = 1; stage <= ProgressDialog::StageCount; ++stage) {
        dialog.setStage(stage);
        EXPECT_GT(bar->value(), last);
        last = bar->value();
        texts << part<QLabel>("stageLabel")->text();
    }
    EXPECT_EQ(bar->value(), bar->maximum());
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), 4);

    dialog.showForTransfer();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(part<QLabel>("stageLabel")->text(), "Connecting to the card");
}

// The stages of an operation are text with a mark each, nothing to click; the bar is busy while
// the card writes its flash; the next connection finds the dialog where and as it was.
TEST_F(ProgressTest, anOperationMarksItsStagesAndKeepsTheDialogsPlaceAndSize)
{
    dialog.beginOperation({"Reading the card (backup)", "Sending the set-up", "Writing to flash", "Verifying"});
    auto* list = part<QWidget>("stageList");
    EXPECT_TRUE(list->findChildren<QAbstractButton*>().isEmpty());
    EXPECT_TRUE(list->findChildren<QAbstractItemView*>().isEmpty());
    EXPECT_TRUE(list->isVisible());
    dialog.startStage(0);
    dialog.completeStage(0);
    dialog.startStage(1);
    EXPECT_EQ(dialog.stageLines(), QStringList({"[x] Reading the card (backup)", "[>] Sending the set-up",
                                                "[ ] Writing to flash", "[ ] Verifying"}));
    QStringList read; // what a screen reader says of each row: its mark, then its text
    for (QLabel* label : list->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || label->text().size() == 1)
            read << label->accessibleName();
        else
            read.last() += " " + label->text();
    }
    EXPECT_EQ(read, QStringList({"done Reading the card (backup)", "in progress Sending the set-up",
                                 "to come Writing to flash", "to come Verifying"}));

    auto* bar = part<QProgressBar>("progressBar");
    dialog.completeStage(1);
    dialog.startStage(2, true);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 0); // busy
    dialog.completeStage(2);
    EXPECT_GT(bar->maximum(), 0);

    QApplication::processEvents();
    const QRect area = dialog.screen()->availableGeometry();
    dialog.move(area.topLeft() + QPoint(40, 30)); // where the operator put it
    QApplication::processEvents();
    const QPoint place = dialog.pos();
    const int width = dialog.width();
    dialog.showForTransfer(); // the read-back's connection
    dialog.startStage(3);
    dialog.setCounters("Frames sent 1234, received 1201\nRetransmissions 12, NACKs 3, CRC errors 7\nLast failure: "
                       "the card did not acknowledge frame 4 within 100 ms and no retransmission was answered");
    QApplication::processEvents();
    EXPECT_EQ(dialog.pos(), place);
    EXPECT_EQ(dialog.width(), width);
    auto* counters = part<QLabel>("countersLabel");
    EXPECT_GE(counters->height(), counters->heightForWidth(counters->width())); // wrapped, whole
}

TEST_F(ProgressTest, cancelReportsOnceAndHidesTheDialogAndItsButton)
{
    dialog.showForTransfer();
    QSignalSpy cancelled(&dialog, &ProgressDialog::cancelClicked);
    auto* cancel = part<QPushButton>("cancelButton");
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(cancel->isVisibleTo(&dialog));

    // Shown again for the next transfer, with the button back.
    dialog.showForTransfer();
    EXPECT_TRUE(cancel->isVisible());
}

TEST_F(ProgressTest, escapeCancelsWhileCancelIsOfferedAndOnlyHidesOtherwise)
{
    dialog.showForTransfer();
    QSignalSpy cancelled(&dialog, &ProgressDialog::cancelClicked);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(dialog.isVisible());

    dialog.show(); // shown without a fresh start: the button stays hidden
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ProgressTest, isCentredOnTheScreen)
{
    dialog.showForTransfer();
    const QRect screen = dialog.screen()->geometry();
    const QPoint offset = dialog.frameGeometry().center() - screen.center();
    EXPECT_LE(std::abs(offset.x()), 2);
    EXPECT_LE(std::abs(offset.y()), 2);
}

} // namespace
} // namespace quillon
