// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo in the main window, the caption's modified mark, and the question before a
// modified set-up is replaced.

#include "guifixture.h"
#include "support/testsupport.h"

#include "files/setupfiles.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QFileInfo>

namespace quillon::test {
namespace {

class Undo : public GuiFixture {
protected:
    QAction* item(const char* name) const { return window->menuItem(name); }
    QString shown(const char* name) const { return item(name)->text().replace("&&", "\x01").remove('&').replace("\x01", "&"); }
    QString missingSidMessage() const { return window->held().fields.values().text(Field::MissingSidMessage); }
    // A set-up file whose missing-SID message is text.
    QString setupFile(const QString& name, const QString& text) const
    {
        SetupValues values = defaultSetupValues();
        values.setText(Field::MissingSidMessage, text);
        exportSetupText(dir.filePath(name), values);
        return dir.filePath(name);
    }
};

TEST_F(Undo, windowEditsAreUndoneAndRedoneAStepAtATimeFromTheMenuAndTheKeys)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->toolbarButtonClicked(10);
    typeInto("Windows", "missingSidMessage", "STUDIO"); // six keys, one step
    window->toolbarButtonClicked(12);
    control<QCheckBox>("Controls", "gpi1Blink")->click();
    EXPECT_EQ(shown("editUndo"), "Undo Program GPI #1: Blink MSG/SID");
    EXPECT_FALSE(item("editRedo")->isEnabled());

    item("editUndo")->trigger();
    EXPECT_FALSE(control<QCheckBox>("Controls", "gpi1Blink")->isChecked());
    EXPECT_EQ(missingSidMessage(), "STUDIO");
    EXPECT_EQ(shown("editUndo"), "Undo SID Window: Missing SID Message");
    EXPECT_EQ(shown("editRedo"), "Redo Program GPI #1: Blink MSG/SID");

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "NO AVM");
    EXPECT_FALSE(item("editUndo")->isEnabled());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Y, Qt::ControlModifier);
    item("editRedo")->trigger();
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "STUDIO");
    EXPECT_TRUE(control<QCheckBox>("Controls", "gpi1Blink")->isChecked());
    EXPECT_FALSE(item("editRedo")->isEnabled());
}

TEST_F(Undo, theCaptionIsMarkedWhileTheSetupDiffersFromTheOneLastSaved)
{
    typeInto("Windows", "missingSidMessage", "STUDIO");
    EXPECT_EQ(window->windowTitle(), "Quillon*");
    item("editUndo")->trigger();
    EXPECT_EQ(window->windowTitle(), "Quillon");
    item("editRedo")->trigger();
    EXPECT_EQ(window->windowTitle(), "Quillon*");

    dialogs.nextAnswer = dir.filePath("Studio.kxd");
    window->toolbarButtonClicked(3);
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
    typeInto("Windows", "missingSidMessage", "STUDIO 4");
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio*");
    typeInto("Windows", "missingSidMessage", "STUDIO"); // as saved again
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");

    item("editResetConfiguration")->trigger();
    EXPECT_EQ(missingSidMessage(), "NO AVM");
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio*");
    EXPECT_EQ(shown("editUndo"), "Undo Reset Configuration");
    item("editUndo")->trigger();
    EXPECT_EQ(missingSidMessage(), "STUDIO");
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
}

TEST_F(Undo, undoingAnOpenOrACloseBringsBackTheSetupAndItsName)
{
    typeInto("Windows", "missingSidMessage", "STUDIO");
    dialogs.nextAnswer = dir.filePath("Studio.kxd");
    window->toolbarButtonClicked(3);
    dialogs.nextAnswer = setupFile("Other.kxd", "OTHER");
    window->toolbarButtonClicked(1);
    ASSERT_EQ(missingSidMessage(), "OTHER");
    EXPECT_EQ(shown("editUndo"), "Undo Open Other.kxd");

    item("editUndo")->trigger();
    EXPECT_EQ(missingSidMessage(), "STUDIO");
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
    dialogs.nextAnswer.reset();
    window->toolbarButtonClicked(3); // Save proposes the set-up's own name, not the other file's
    EXPECT_EQ(dialogs.questions.back().proposedName, "Studio.kxd");

    item("editRedo")->trigger();
    EXPECT_EQ(missingSidMessage(), "OTHER");
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Other");

    window->toolbarButtonClicked(2);
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Unsaved");
    item("editUndo")->trigger();
    EXPECT_EQ(missingSidMessage(), "OTHER");
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Other");
}

// Each row edits the set-up opened from Studio.kxd, runs a command that would replace it and
// answers the question so.
TEST_F(Undo, aCommandThatWouldReplaceAModifiedSetupAsksFirst)
{
    const QString studio = setupFile("Studio.kxd", "STUDIO");
    const QString other = setupFile("Other.kxd", "OTHER");
    const struct {
        const char* command;
        std::function<void()> run;
        ReplaceAnswer answer;
        QString held; // what the set-up holds afterwards
    } rows[] = {
        {"open", [&] { dialogs.nextAnswer = other; window->toolbarButtonClicked(1); }, ReplaceAnswer::Cancel, "EDITED"},
        {"open", [&] { dialogs.nextAnswer = other; window->toolbarButtonClicked(1); }, ReplaceAnswer::Discard, "OTHER"},
        {"recent file", [&] { dialogs.nextAnswer = dir.filePath("Kept.kxd"); window->menuItem("fileRecent1")->trigger(); },
         ReplaceAnswer::Save, "STUDIO"},
        {"drop", [&] {
             QMimeData data;
             data.setUrls({QUrl::fromLocalFile(other)});
             QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(window.get(), &enter);
             QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(window.get(), &drop);
         }, ReplaceAnswer::Cancel, "EDITED"},
        {"get", [&] { window->toolbarButtonClicked(6); }, ReplaceAnswer::Cancel, "EDITED"},
        {"get", [&] { dialogs.nextAnswer.reset(); window->toolbarButtonClicked(6); }, ReplaceAnswer::Save, "EDITED"},
        {"get", [&] { window->toolbarButtonClicked(6); }, ReplaceAnswer::Discard, "EDITED"},
        {"close file", [&] { window->toolbarButtonClicked(2); }, ReplaceAnswer::Cancel, "EDITED"},
        {"close file", [&] { window->toolbarButtonClicked(2); }, ReplaceAnswer::Discard,
         defaultSetupValues().text(Field::MissingSidMessage)},
    };
    for (const auto& row : rows) {
        const std::string name = std::string(row.command) + " answered " + std::to_string(int(row.answer));
        window.reset();
        window = std::make_unique<MainWindow>(services());
        window->openFromCommandLine({studio});
        messages.clear();
        dialogs.kinds.clear();
        replaceQuestions = 0;
        replaceAnswer = row.answer;
        row.run(); // unmodified: no question
        QTest::qWait(20); // a Get's answer comes once it has ended
        EXPECT_EQ(replaceQuestions, 0) << name;
        window->openFromCommandLine({studio});
        messages.clear();
        dialogs.kinds.clear();

        typeInto("Windows", "missingSidMessage", "EDITED");
        row.run();
        QTest::qWait(20);
        EXPECT_EQ(replaceQuestions, 1) << name;
        EXPECT_EQ(lastQuestion, ReplaceQuestion) << name;
        EXPECT_EQ(missingSidMessage(), row.held) << name;
        const bool saveAsked = row.answer == ReplaceAnswer::Save;
        EXPECT_EQ(!dialogs.kinds.isEmpty() && dialogs.kinds.first() == "save", saveAsked) << name;
        const bool getRan = messages.contains("Current com port selection is not valid");
        EXPECT_EQ(getRan, QString(row.command) == "get" && row.answer == ReplaceAnswer::Discard) << name;
        if (row.answer == ReplaceAnswer::Cancel)
            EXPECT_TRUE(dialogs.kinds.isEmpty() && messages.isEmpty()) << name;
    }
    // The Save before the recent file kept the edits.
    EXPECT_EQ(readSetupFile(dir.filePath("Kept.kxd")).values.text(Field::MissingSidMessage), "EDITED");
}

// Exit, and closing the window by its title bar, ask as a Get or an Open asks: Cancel keeps the
// program running with the edits, Save saves them first, Discard lets them go.
TEST_F(Undo, exitAndClosingTheWindowAskBeforeAModifiedSetupIsLost)
{
    const auto exit = [&] { window->menuItem("fileExit")->trigger(); };
    const auto titleBar = [&] { window->close(); };
    const struct {
        const char* how;
        std::function<void()> close;
        ReplaceAnswer answer;
        bool closes;
    } rows[] = {
        {"exit", exit, ReplaceAnswer::Cancel, false},
        {"exit", exit, ReplaceAnswer::Save, true},
        {"exit", exit, ReplaceAnswer::Discard, true},
        {"title bar", titleBar, ReplaceAnswer::Cancel, false},
        {"title bar", titleBar, ReplaceAnswer::Discard, true},
    };
    for (const auto& row : rows) {
        const std::string name = std::string(row.how) + " answered " + std::to_string(int(row.answer));
        window = std::make_unique<MainWindow>(services());
        window->show();
        QSignalSpy shutDown(window.get(), &quillon::MainWindow::shutDown);
        typeInto("Windows", "missingSidMessage", "EDITED");
        const QString kept = dir.filePath(QStringLiteral("Kept%1.kxd").arg(int(row.answer)));
        dialogs.nextAnswer = kept;
        replaceQuestions = 0;
        replaceAnswer = row.answer;
        row.close();
        QApplication::processEvents();
        EXPECT_EQ(replaceQuestions, 1) << name;
        EXPECT_EQ(lastQuestion, ClosingQuestion) << name;
        EXPECT_EQ(shutDown.count(), row.closes ? 1 : 0) << name;
        EXPECT_EQ(window->isVisible(), !row.closes) << name;
        EXPECT_EQ(QFileInfo::exists(kept), row.answer == ReplaceAnswer::Save) << name;
    }
}

} // namespace
} // namespace quillon::test
