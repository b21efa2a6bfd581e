// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/progressdialog.h"

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
    EXPECT_EQ(part<QLabel>("stageLabel")->text(), "Loading");
    EXPECT_EQ(part<QPushButton>("cancelButton")->text(), "Cancel");
    dialog.showForTransfer();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(part<QProgressBar>("progressBar")->value(), 0);
}

TEST_F(ProgressTest, theBarMovesThroughTheFourStagesAndStartsOverForTheNextTransfer)
{
    dialog.showForTransfer();
    auto* bar = part<QProgressBar>("progressBar");
    QStringList texts;
    int last = bar->value();
    for (int stage = 1; stage <= ProgressDialog::StageCount; ++stage) {
        dialog.setStage(stage, QStringLiteral("stage %1").arg(stage));
        EXPECT_GT(bar->value(), last);
        last = bar->value();
        texts << part<QLabel>("stageLabel")->text();
    }
    EXPECT_EQ(bar->value(), bar->maximum());
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), 4);

    dialog.showForTransfer();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(part<QLabel>("stageLabel")->text(), "Loading");
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
