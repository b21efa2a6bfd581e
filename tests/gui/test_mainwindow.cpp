#include "guifixture.h"

#include "link/cardlink.h"
#include "link/portmanager.h"
#include "setup/setupimage.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>

namespace quillon::test {
namespace {

using MainWindow = GuiFixture;

// ---- start-up ------------------------------------------------------------------------------

TEST_F(MainWindow, freshStartShowsThePlainCaptionPanelsAndAudioMark)
{
    EXPECT_EQ(window->windowTitle(), "Quillon");
    EXPECT_EQ(panel(1), "SID Config Loaded");
    EXPECT_EQ(panel(2), "");
    EXPECT_EQ(panel(3), "None");
    EXPECT_EQ(checkedSetupItems(), QStringList{"mnuAudio"});
    EXPECT_EQ(window->appState().CurrentFileName(), "Unsaved");
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindow, freshStartHoldsTheDefaultsInEveryWindow)
{
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
    EXPECT_EQ(control<QLineEdit>("Win", "tSIDNot")->text(), "NO AVM");
    EXPECT_EQ(control<QLineEdit>("Controls", "tGPIText(1)")->text(), "REPLAY");
    EXPECT_EQ(control<QLineEdit>("AVM", "tPesa(1)")->text(), "11");
    EXPECT_EQ(control<QLineEdit>("Colors", "Text1(2)")->text(), "-56");
    EXPECT_EQ(control<QComboBox>("Audio", "cLevel")->currentText(), "14dBu  -10dB");
}

TEST_F(MainWindow, settingsWindowsStartHiddenAndMaximised)
{
    window->show();
    for (const char* key : WindowKeys) {
        QMdiSubWindow* sub = window->settingsWindow(key);
        ASSERT_NE(sub, nullptr) << key;
        EXPECT_FALSE(sub->isVisible()) << key;
        EXPECT_TRUE(sub->windowState() & Qt::WindowMaximized) << key;
        EXPECT_EQ(window->settingsForm(key)->windowKey(), key);
    }
}

TEST_F(MainWindow, statusPanelsAreAtLeastTwoThousandTwipsWide)
{
    const int twips2000 = qRound(2000 * window->logicalDpiX() / 1440.0);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(window->statusPanel(n)->minimumWidth(), twips2000);
}

// ---- menus ---------------------------------------------------------------------------------

struct MenuRow {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
    bool offered;
};

TEST_F(MainWindow, menuTreeHasTheCaptionsShortcutsAndAvailability)
{
    const std::vector<MenuRow> rows{
        {"mnuFileNew", "New", QKeySequence("Ctrl+N"), false},
        {"mnuFileOpen", "Open", QKeySequence("Ctrl+O"), true},
        {"mnuFileSave", "Save", QKeySequence("Ctrl+S"), true},
        {"mnuFileClose", "Close", QKeySequence("Ctrl+C"), false},
        {"mnuFileExit", "Exit", QKeySequence("F3"), true},
        {"mnuEditReset", "Reset Configuration", {}, false},
        {"mnuToolsSend", "Send Configuration", QKeySequence("Ctrl+Z"), true},
        {"mnuToolsGet", "Get Configuration", QKeySequence("Ctrl+X"), true},
        {"mnuSlow", "Snail Slow", {}, true},
        {"mnuTurbo", "Turbo", {}, true},
        {"mnuAudio", "Audio", {}, false},
        {"mnuSID", "SID", {}, false},
        {"mnuWindows", "Windows", {}, false},
        {"mnuColors", "Colors", {}, false},
        {"mnuControls", "Controls", {}, false},
        {"mnuHelpContents", "Contents", {}, true},
        {"mnuHelpAbout", "About", {}, true},
    };
    for (const MenuRow& row : rows) {
        QAction* item = window->menuItem(row.name);
        ASSERT_NE(item, nullptr) << row.name;
        EXPECT_EQ(item->text(), row.caption) << row.name;
        EXPECT_EQ(item->shortcut(), row.shortcut) << row.name;
        EXPECT_EQ(item->isEnabled(), row.offered) << row.name;
    }

    QStringList bar;
    for (QAction* menu : window->menuBar()->actions())
        bar << menu->text() + (menu->isEnabled() ? "" : " (not offered)");
    EXPECT_EQ(bar, QStringList({"File", "Edit (not offered)", "Tools", "Options",
                                "Set-up (not offered)", "Help"}));

    QStringList options;
    for (QAction* item : window->findChild<QMenu*>("mnuOptions")->actions())
        options << item->text();
    EXPECT_EQ(options, QStringList({"Com1", "Com2", "Com3", "Com4", "Speed"}));
}

TEST_F(MainWindow, optionsMenuFollowsThePortModel)
{
    // No port of this test's store can be opened: every Com item is greyed and none marked.
    for (int port = 1; port <= 4; ++port) {
        QAction* item = window->menuItem(QStringLiteral("mnuOptionsCom%1").arg(port));
        EXPECT_FALSE(item->isEnabled());
        EXPECT_FALSE(item->isChecked());
        EXPECT_EQ(item->toolTip(), window->ports().comItem(port).device);
        EXPECT_FALSE(item->toolTip().isEmpty());
    }
    SettingsStore().setValue("File", "Speed", "1");
    window->menuItem("mnuSlow")->trigger();
    EXPECT_TRUE(checked("mnuSlow"));
    EXPECT_FALSE(checked("mnuTurbo"));
    EXPECT_EQ(SettingsStore().value("File", "Speed"), "0");
    window->menuItem("mnuSlow")->trigger(); // already marked: stays so
    EXPECT_TRUE(checked("mnuSlow"));
    window->menuItem("mnuTurbo")->trigger();
    EXPECT_TRUE(checked("mnuTurbo"));
    EXPECT_FALSE(checked("mnuSlow"));
}

TEST_F(MainWindow, newAndCloseShortcutsDoNothingWhileOtherShortcutsWork)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->held().fields.setText(Field::tSIDNot, "EDITED");

    QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(window->held().fields.values().text(Field::tSIDNot), "EDITED");
    EXPECT_EQ(window->windowTitle(), "Quillon");

    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier); // Save is offered
    EXPECT_EQ(dialogs.kinds, QStringList{"save"});
}

// ---- toolbar -------------------------------------------------------------------------------

TEST_F(MainWindow, toolbarHasTwelveButtonsWithKeysAndTooltips)
{
    const std::vector<std::pair<const char*, const char*>> buttons{
        {"open", "Open File"}, {"close", "Close File"}, {"save", "Save File"}, {nullptr, nullptr},
        {"send", "Send Card Set-up"}, {"get", "Get Card Set-up"}, {nullptr, nullptr},
        {"audio", "Audio Set-up"}, {"sid", "SID Set-up"}, {"windows", "Windows Set-up"},
        {"colors", "Color Set-up"}, {"controls", "GPI Set-up"}};
    ASSERT_EQ(window->toolbar()->actions().size(), 12);
    for (int number = 1; number <= 12; ++number) {
        QAction* button = window->toolbarButton(number);
        ASSERT_EQ(button, window->toolbar()->actions().at(number - 1)) << number;
        const auto& [key, tooltip] = buttons[number - 1];
        EXPECT_EQ(button->isSeparator(), key == nullptr) << number;
        if (key) {
            EXPECT_EQ(button->property("key").toString(), key);
            EXPECT_EQ(button->toolTip(), tooltip);
            EXPECT_FALSE(button->icon().isNull()) << key;
        }
    }
}

TEST_F(MainWindow, separatorsAndUnknownButtonNumbersDoNothing)
{
    window->held().fields.setText(Field::tSIDNot, "EDITED");
    const SetupValues before = window->held().fields.values();
    for (int number : {0, 4, 7, 13, -1})
        window->toolbarButtonClicked(number);
    EXPECT_EQ(window->held().fields.values(), before);
    EXPECT_EQ(window->windowTitle(), "Quillon");
    EXPECT_TRUE(dialogs.kinds.isEmpty());
    EXPECT_EQ(checkedSetupItems(), QStringList{"mnuAudio"});
    for (const char* key : WindowKeys)
        EXPECT_FALSE(window->settingsWindow(key)->isVisible());
}

TEST_F(MainWindow, toolbarButtonsDispatchByNumber)
{
    window->show();
    window->toolbarButtonClicked(1);
    window->toolbarButtonClicked(3);
    EXPECT_EQ(dialogs.kinds, QStringList({"open", "save"}));

    const std::vector<std::pair<int, QString>> shows{
        {8, "mnuAudio"}, {9, "mnuSID"}, {10, "mnuWindows"}, {11, "mnuColors"}, {12, "mnuControls"}};
    for (const auto& [number, item] : shows) {
        window->toolbarButton(number)->trigger();
        EXPECT_EQ(checkedSetupItems(), QStringList{item}) << number;
        EXPECT_TRUE(window->settingsWindow(WindowKeys[number - 8])->isVisible()) << number;
        EXPECT_EQ(window->mdiArea()->activeSubWindow(), window->settingsWindow(WindowKeys[number - 8]));
    }
}

TEST_F(MainWindow, closeButtonRestoresDefaultsAndNamesTheSetupUnsaved)
{
    window->show();
    window->toolbarButtonClicked(10);
    typeInto("Win", "tSIDNot", "EDITED");
    ASSERT_EQ(window->held().fields.values().text(Field::tSIDNot), "EDITED");

    window->toolbarButton(2)->trigger();

    EXPECT_EQ(control<QLineEdit>("Win", "tSIDNot")->text(), "NO AVM");
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Unsaved");
    EXPECT_EQ(panel(1), "SID Config Loaded");
    for (const char* key : WindowKeys) {
        EXPECT_FALSE(window->settingsWindow(key)->isVisible()) << key;
        EXPECT_TRUE(window->settingsWindow(key)->windowState() & Qt::WindowMaximized) << key;
    }
}

TEST_F(MainWindow, resetConfigurationRestoresDefaultsOnly)
{
    window->toolbarButtonClicked(2);
    window->held().fields.setText(Field::tSIDNot, "EDITED");
    window->toolbarButtonClicked(8);
    window->appState().ResetConfiguration(); // its menu item is not offered
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Unsaved");
    EXPECT_FALSE(window->settingsWindow("Audio")->isVisible());
}

TEST_F(MainWindow, getWithoutAUsablePortSaysSoAndOffersTheButtonsAgain)
{
    window->toolbarButtonClicked(6);
    QApplication::processEvents();
    EXPECT_TRUE(messages.contains("Current com port selection is not valid"));
    EXPECT_TRUE(window->toolbarButton(5)->isEnabled());
    EXPECT_TRUE(window->toolbarButton(6)->isEnabled());
}

// ---- the Set-up menu's marks ---------------------------------------------------------------

TEST_F(MainWindow, setWindowOnMarksOnlyTheKeysItemAndKeysAreExact)
{
    const std::vector<std::pair<QString, QStringList>> rows{
        {"Audio", {"mnuAudio"}}, {"AVM", {"mnuSID"}}, {"Win", {"mnuWindows"}},
        {"Colors", {"mnuColors"}}, {"Controls", {"mnuControls"}},
        {"SID", {}}, {"audio", {}}, {"", {}}};
    for (const auto& [key, marked] : rows) {
        window->SetWindowOn("Controls");
        window->SetWindowOn(key);
        EXPECT_EQ(checkedSetupItems(), marked) << key.toStdString();
    }
}

TEST_F(MainWindow, setWindowOffClearsOnlyItsOwnMark)
{
    window->SetWindowOn("AVM");
    window->SetWindowOff("Audio");
    EXPECT_EQ(checkedSetupItems(), QStringList{"mnuSID"});
    window->SetWindowOff("SID"); // not a key
    EXPECT_EQ(checkedSetupItems(), QStringList{"mnuSID"});
    window->SetWindowOff("AVM");
    EXPECT_TRUE(checkedSetupItems().isEmpty());
}

TEST_F(MainWindow, closingASettingsWindowHidesItAndClearsOnlyItsMark)
{
    window->show();
    window->toolbarButtonClicked(8);
    window->toolbarButtonClicked(9);
    window->held().fields.setText(Field::tVITC0, "15");
    ASSERT_EQ(checkedSetupItems(), QStringList{"mnuSID"});
    QPointer<SettingsForm> audio = window->settingsForm("Audio");

    window->settingsWindow("Audio")->close(); // not the marked one
    EXPECT_EQ(checkedSetupItems(), QStringList{"mnuSID"});
    EXPECT_FALSE(window->settingsWindow("Audio")->isVisible());
    EXPECT_FALSE(audio.isNull());

    window->settingsWindow("AVM")->close();
    EXPECT_FALSE(checked("mnuSID"));
    EXPECT_FALSE(window->settingsWindow("AVM")->isVisible());

    window->toolbarButtonClicked(9); // shown again, with what it held
    EXPECT_TRUE(window->settingsWindow("AVM")->isVisible());
    EXPECT_EQ(control<QLineEdit>("AVM", "tVITC(0)")->text(), "15");
    EXPECT_EQ(checkedSetupItems(), QStringList{"mnuSID"});
}

TEST_F(MainWindow, keysNeverReachASettingTheOperatorCannotSee)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const SetupValues before = window->held().fields.values();
    auto pressUpTwice = [] {
        for (int i = 0; i < 2; ++i) {
            if (QWidget* focused = QApplication::focusWidget())
                QTest::keyClick(focused, Qt::Key_Up);
        }
    };

    // The Windows window opens with the focus in a control the operator can see.
    window->toolbarButtonClicked(10);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(focused->isVisible()) << focused->objectName().toStdString();
    EXPECT_NE(focused, control("Win", "tHor(0)"));

    // Closing a window, or Close File, takes the focus out of the windows it hides.
    window->toolbarButtonClicked(9);
    control("AVM", "tVITC(1)")->setFocus();
    window->settingsWindow("AVM")->close();
    EXPECT_FALSE(window->settingsWindow("AVM")->isAncestorOf(QApplication::focusWidget()));
    pressUpTwice();
    EXPECT_EQ(window->held().fields.values().text(Field::tVITC1), before.text(Field::tVITC1));

    window->toolbarButtonClicked(8);
    control("Audio", "tB1Right(0)")->setFocus();
    window->toolbarButtonClicked(2);
    pressUpTwice();
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
}

TEST_F(MainWindow, getAndSendShortcutsWorkInsideATextBox)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->toolbarButtonClicked(11 + 1); // Controls
    auto* text = control<QLineEdit>("Controls", "tGPIText(0)");
    text->setFocus();
    QTest::keyClick(text, Qt::Key_X, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_TRUE(messages.contains("Current com port selection is not valid"));
    EXPECT_EQ(text->text(), "RECORD"); // not cut
}

// ---- size ----------------------------------------------------------------------------------

TEST_F(MainWindow, normalStateKeepsTheStripSize)
{
    window->show();
    const QSize strip(427, qRound(2.43 * window->toolbar()->sizeHint().height()));
    EXPECT_EQ(window->stripSize().width(), 427);
    EXPECT_EQ(window->stripSize().height(), std::max(strip.height(), window->minimumSizeHint().height()));
    EXPECT_EQ(window->size(), window->stripSize());

    window->resize(900, 700); // a drag of the border
    EXPECT_EQ(window->size(), window->stripSize());
}

TEST_F(MainWindow, maximisedKeepsTheMaximisedSizeAndRestoringGivesTheStripAgain)
{
    window->show();
    window->showMaximized();
    QApplication::processEvents();
    EXPECT_GT(window->width(), 427);
    window->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(window->size(), window->stripSize());
}

TEST_F(MainWindow, showingASettingsWindowFromTheStripMaximisesTheMainWindow)
{
    window->show();
    ASSERT_FALSE(window->isMaximized());
    window->toolbarButtonClicked(11);
    EXPECT_TRUE(window->isMaximized());
    QMdiSubWindow* colors = window->settingsWindow("Colors");
    EXPECT_TRUE(colors->isVisible());
    QApplication::processEvents();
    EXPECT_TRUE(colors->isMaximized());
    EXPECT_EQ(colors->size(), window->mdiArea()->viewport()->size()); // it fills the area
    EXPECT_EQ(window->windowTitle(), "Quillon"); // and leaves the caption alone
}

// ---- help, exit ----------------------------------------------------------------------------

TEST_F(MainWindow, helpContentsOpensTheManual)
{
    window->menuItem("mnuHelpContents")->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened.front().isLocalFile());
    EXPECT_TRUE(opened.front().toLocalFile().endsWith("/QuillonHelp.html"));
    EXPECT_TRUE(QFileInfo::exists(opened.front().toLocalFile()));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindow, exitEndsTheTransferThenClosesFromTheEventLoop)
{
    window->show();
    window->toolbarButtonClicked(8);
    window->helpAbout();
    QSignalSpy shutDown(window.get(), &MDIForm1::shutDown);
    QPointer<QMdiSubWindow> audio = window->settingsWindow("Audio");
    QPointer<QWidget> about = window->aboutBox();

    window->menuItem("mnuFileExit")->trigger();
    EXPECT_EQ(panel(2), "Port Closed 7"); // EndTransfer has run
    EXPECT_TRUE(window->isVisible());   // the close waits for the event loop
    EXPECT_EQ(shutDown.count(), 0);

    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(shutDown.count(), 1);
    EXPECT_TRUE(audio.isNull());
    EXPECT_TRUE(about.isNull());
    EXPECT_FALSE(window->link().portOpen());
    EXPECT_TRUE(messages.isEmpty()); // nothing is asked
}

TEST_F(MainWindow, closingTheWindowTwiceShutsDownOnce)
{
    window->show();
    QSignalSpy shutDown(window.get(), &MDIForm1::shutDown);
    window->close();
    window->close();
    EXPECT_EQ(shutDown.count(), 1);
}

} // namespace
} // namespace quillon::test

namespace quillon::test {
namespace {

TEST(MessageBox, opensWithoutWaitingTitledQuillonOkOnlyAndOneAtATimeInOrder)
{
    QWidget parent;
    parent.show();
    // Both calls return at once: a message never holds up its caller.
    showMessageBox(&parent, "Unsaved Transferred.", "");
    showMessageBox(&parent, "Error during save, save aborted!", "The folder does not exist.");
    QList<QMessageBox*> boxes = parent.findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    QMessageBox* first = boxes[0];
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle(), "Quillon");
    EXPECT_EQ(first->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(first->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(first->text(), "Unsaved Transferred.");

    first->button(QMessageBox::Ok)->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    boxes = parent.findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0]->isVisible());
    EXPECT_EQ(boxes[0]->text(), "Error during save, save aborted!");
    EXPECT_EQ(boxes[0]->informativeText(), "The folder does not exist.");
    boxes[0]->button(QMessageBox::Ok)->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    EXPECT_TRUE(parent.findChildren<QMessageBox*>().isEmpty());
}

} // namespace
} // namespace quillon::test
