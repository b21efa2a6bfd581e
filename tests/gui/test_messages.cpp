// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's message boxes: one at a time, never holding up the caller, each as wide as
// its texts need.

#include "app/gui/guioperatorui.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

namespace quillon::test {
namespace {

TEST(MessageBox, opensWithoutWaitingTitledQuillonOkOnlyAndOneAtATimeInOrder)
{
    QWidget parent;
    parent.show();
    // Both calls return at once: a message never holds up its caller.
    showMessageBox(&parent, {"Unsaved Transferred.", {}, {}});
    showMessageBox(&parent, {"Error during save, save aborted!", "The folder does not exist.", "Found: nothing"});
    QList<QMessageBox*> boxes = parent.findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    QMessageBox* first = boxes[0];
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle(), "Quillon");
    EXPECT_EQ(first->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(first->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(first->text(), "Unsaved Transferred.");
    // Wide enough for its title beside a window manager's buttons, however short the text.
    // (Windows draws the title itself, beside its own buttons.)
#ifndef Q_OS_WIN
    EXPECT_GE(first->width(), first->fontMetrics().averageCharWidth() * 30);
#endif

    first->button(QMessageBox::Ok)->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    boxes = parent.findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0]->isVisible());
    EXPECT_EQ(boxes[0]->text(), "Error during save, save aborted!");
    EXPECT_EQ(boxes[0]->informativeText(), "The folder does not exist.");
    EXPECT_EQ(boxes[0]->detailedText(), "Found: nothing");
    boxes[0]->button(QMessageBox::Ok)->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    EXPECT_TRUE(parent.findChildren<QMessageBox*>().isEmpty());
}

// Opens one message and returns its box, shown.
QMessageBox* shown(QWidget* parent, const OperatorMessage& message)
{
    showMessageBox(parent, message);
    const QList<QMessageBox*> boxes = parent->findChildren<QMessageBox*>();
    return boxes.size() == 1 && boxes[0]->isVisible() ? boxes[0] : nullptr;
}

// A label shows its text whole: on one line as wide as the text, or wrapped into lines its
// height holds.
void expectWhole(const QLabel* label, const QString& text)
{
    ASSERT_NE(label, nullptr);
    const int unwrapped = label->fontMetrics().boundingRect(QRect(), 0, text).width();
    if (label->wordWrap())
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << text.toStdString();
    else
        EXPECT_GE(label->contentsRect().width(), unwrapped) << text.toStdString();
}

TEST(MessageBox, sizesToItsTextsWrappedAtAReadableWidthAndNeverNarrowerThanItsTitle)
{
    const QString lateCancel = "The card had already received the set-up when the Send was cancelled: it may hold "
                               "the new set-up now. Its previous set-up is kept in /home/operator/.local/share/"
                               "Quillon/backups/SID-4B58343031-20261208-101500.kxd.";
    QStringList differences; // a card that stored half the set-up differently
    for (int gpi = 1; gpi <= 2; ++gpi) {
        for (const char* setting : {"Display Message", "Blink MSG/SID", "Text Off (GPIs Excluded)", "Message Text"})
            differences << QStringLiteral("Set-up Controls, Program GPI #%1: %2: sent on, read back off").arg(gpi).arg(setting);
    }
    const struct {
        const char* what;
        OperatorMessage message;
        bool wraps;
    } rows[] = {
        {"short", {"Port Closed", {}, {}}, false},
        {"cut before", {"Current com port selection is not valid", {}, "Com1: /dev/ttyUSB0 does not exist."}, false},
        {"nothing was sent", {"The card on the line is an AVM card; the set-up to send is a SID set-up. Nothing was sent.", {}, {}}, true},
        {"long", {lateCancel, {}, {}}, true},
        {"long reason", {"Error during save, save aborted!", "The folder /home/operator/Set-ups/Studio 4/Archive does not "
                         "exist, or cannot be written: Permission denied.", {}}, false},
        {"list in the details", {"The card holds a different set-up than was sent.", {}, differences.join('\n')}, false},
        {"markup is text", {"File <b>Studio</b> could not be read", {}, {}}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QWidget parent;
        parent.show();
        QMessageBox* box = shown(&parent, row.message);
        ASSERT_NE(box, nullptr);
        const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        expectWhole(label, row.message.text);
        // As given, never read as markup.
        EXPECT_EQ(QAccessible::queryAccessibleInterface(const_cast<QLabel*>(label))->text(QAccessible::Name), row.message.text);
#ifndef Q_OS_WIN // Qt's message box on Windows wraps by Windows' rules
        EXPECT_EQ(label->height() >= 2 * label->fontMetrics().lineSpacing(), row.wraps); // on one line, or more
#endif
        EXPECT_LE(box->width(), box->fontMetrics().averageCharWidth() * 110);
        EXPECT_GE(box->width(), messageBoxTitleWidth(box));
        if (!row.message.detail.isEmpty())
            expectWhole(box->findChild<QLabel*>("qt_msgbox_informativelabel"), row.message.detail);
        if (!row.message.findings.isEmpty()) {
            // Shown, each item of the list a line of its own, none of them scrolled away.
            box->buttons().constLast()->click();
            auto* details = box->findChild<QTextEdit*>();
            ASSERT_NE(details, nullptr);
            ASSERT_TRUE(QTest::qWaitFor([&] { return details->isVisible(); }));
            EXPECT_EQ(details->toPlainText(), row.message.findings);
            EXPECT_LE(details->document()->size().height(), details->viewport()->height());
            EXPECT_EQ(details->document()->lineCount(), row.message.findings.count('\n') + 1);
        }
        box->button(QMessageBox::Ok)->click();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }
}

} // namespace
} // namespace quillon::test
