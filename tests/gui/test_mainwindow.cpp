// SPDX-License-Identifier: GPL-3.0-or-later
#include "guifixture.h"

#include "link/cardlink.h"
#include "app/core/portmanager.h"
#include "setup/setupimage.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>
#include <csignal>

namespace quillon::test {
namespace {

using MainWindow = GuiFixture;

// A menu entry's caption as the operator reads it: the access key's "&" only underlines.
QString visible(const QAction* entry)
{
    return QString(entry->text()).remove(QLatin1Char('&'));
}

// ---- start-up ------------------------------------------------------------------------------

TEST_F(MainWindow, freshStartShowsThePlainCaptionPanelsAndAudioMark)
{
    EXPECT_EQ(window->windowTitle(), "Quillon");
    EXPECT_EQ(panel(1), "SID Config Loaded");
    EXPECT_EQ(panel(2), "");
    EXPECT_EQ(panel(3), "None");
    EXPECT_EQ(checkedSetupItems(), QStringList{"setupAudio"});
    EXPECT_EQ(window->appState().currentFileName(), "Unsaved");
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindow, freshStartHoldsTheDefaultsInEveryWindow)
{
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "NO AVM");
    EXPECT_EQ(control<QLineEdit>("Controls", "gpi2Text")->text(), "REPLAY");
    EXPECT_EQ(control<QLineEdit>("SourceId", "sidLine625Pesa")->text(), "11");
    EXPECT_EQ(control<QLineEdit>("Colors", "operatingRegionValue")->text(), "-56");
    EXPECT_EQ(control<QComboBox>("Audio", "peakLevel")->currentText(), "14dBu  -10dB");
}

TEST_F(MainWindow, settingsWindowsStartHiddenAndMaximised)
{
    window->show();
    for (const char* key : WindowKeys) {
        QMdiSubWindow* sub = window->settingsSubWindow(key);
        ASSERT_NE(sub, nullptr) << key;
        EXPECT_FALSE(sub->isVisible()) << key;
        EXPECT_TRUE(sub->windowState() & Qt::WindowMaximized) << key;
        EXPECT_EQ(window->settingsWindow(key)->windowKey(), key);
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
        {"fileNew", "New", QKeySequence("Ctrl+N"), false},
        {"fileOpen", "Open", QKeySequence("Ctrl+O"), true},
        {"fileOpenBackup", "Open Backup...", {}, true},
        {"fileSave", "Save", QKeySequence("Ctrl+S"), true},
        {"fileClose", "Close", QKeySequence("Ctrl+C"), false},
        {"fileExit", "Exit", QKeySequence("F3"), true},
        {"editUndo", "Undo", QKeySequence("Alt+Backspace"), false}, // nothing to undo yet
        {"editRedo", "Redo", QKeySequence("Ctrl+Y"), false},
        {"editResetConfiguration", "Reset Configuration", {}, true},
        {"toolsSendConfiguration", "Send Configuration", QKeySequence("Ctrl+Z"), true},
        {"toolsGetConfiguration", "Get Configuration", QKeySequence("Ctrl+X"), true},
        {"speedSnailSlow", "Snail Slow", {}, true},
        {"speedTurbo", "Turbo", {}, true},
        {"optionsBackupBeforeSend", "Back Up Card Before Send", {}, true},
        {"optionsVerifyAfterSend", "Verify After Send", {}, true},
        {"optionsPortAssignment", "Port Assignment...", {}, true},
        {"setupAudio", "Audio", QKeySequence("Ctrl+1"), true},
        {"setupSourceId", "SID", QKeySequence("Ctrl+2"), true},
        {"setupWindows", "Windows", QKeySequence("Ctrl+3"), true},
        {"setupColours", "Colors", QKeySequence("Ctrl+4"), true},
        {"setupControls", "Controls", QKeySequence("Ctrl+5"), true},
        {"setupCloseWindow", "Close Settings Window", QKeySequence("Ctrl+F4"), true},
        {"helpContents", "Contents", {}, true},
        {"helpOpenLogFolder", "Open Log Folder", {}, true},
        {"helpAbout", "About", {}, true},
    };
    for (const MenuRow& row : rows) {
        QAction* item = window->menuItem(row.name);
        ASSERT_NE(item, nullptr) << row.name;
        EXPECT_EQ(visible(item), row.caption) << row.name;
        EXPECT_EQ(item->shortcut(), row.shortcut) << row.name;
        EXPECT_EQ(item->isEnabled(), row.offered) << row.name;
    }

    QStringList bar;
    for (QAction* menu : window->menuBar()->actions())
        bar << visible(menu) + (menu->isEnabled() ? "" : " (not offered)");
    EXPECT_EQ(bar, QStringList({"File", "Edit", "Tools", "Options", "Set-up", "Help"}));

    QStringList options;
    for (QAction* item : window->findChild<QMenu*>("optionsMenu")->actions())
        options << (item->isSeparator() ? "-" : visible(item));
    EXPECT_EQ(options, QStringList({"Com1", "Com2", "Com3", "Com4", "Speed", "-", "Port Assignment...", "Log Frames", "-",
                                    "Back Up Card Before Send", "Verify After Send"}));
}

TEST_F(MainWindow, everyMenuEntryHasAnAccessKeyOfItsOwnWithinItsMenu)
{
    std::vector<QList<QAction*>> menus{window->menuBar()->actions()};
    for (QMenu* menu : window->findChildren<QMenu*>())
        menus.push_back(menu->actions());
    for (const QList<QAction*>& entries : menus) {
        QSet<QKeySequence> keys;
        for (QAction* entry : entries) {
            if (entry->isSeparator())
                continue;
            const QKeySequence key = QKeySequence::mnemonic(entry->text());
            EXPECT_FALSE(key.isEmpty()) << visible(entry).toStdString();
            EXPECT_FALSE(keys.contains(key)) << visible(entry).toStdString();
            keys.insert(key);
        }
    }
}

TEST_F(MainWindow, optionsMenuFollowsThePortModel)
{
    // No port of this test's store can be opened: every Com item is greyed and none marked.
    for (int port = 1; port <= 4; ++port) {
        QAction* item = window->menuItem(QStringLiteral("optionsCom%1").arg(port));
        EXPECT_FALSE(item->isEnabled());
        EXPECT_FALSE(item->isChecked());
        EXPECT_EQ(item->toolTip(), window->ports().comItem(port).device);
        EXPECT_FALSE(item->toolTip().isEmpty());
    }
    settings.setValue("File", "Speed", "1");
    window->menuItem("speedSnailSlow")->trigger();
    EXPECT_TRUE(checked("speedSnailSlow"));
    EXPECT_FALSE(checked("speedTurbo"));
    EXPECT_EQ(settings.value("File", "Speed"), "0");
    window->menuItem("speedSnailSlow")->trigger(); // already marked: stays so
    EXPECT_TRUE(checked("speedSnailSlow"));
    window->menuItem("speedTurbo")->trigger();
    EXPECT_TRUE(checked("speedTurbo"));
    EXPECT_FALSE(checked("speedSnailSlow"));
}

TEST_F(MainWindow, sendSafetyItemsStartCheckedAndAreRememberedForTheNextStart)
{
    const struct {
        const char* item;
        const char* key;
    } rows[] = {{"optionsBackupBeforeSend", "BackupBeforeSend"}, {"optionsVerifyAfterSend", "VerifyAfterSend"}};
    for (const auto& row : rows) {
        settings.setValue("Transfer", row.key, "");
        window.reset();
        window = std::make_unique<quillon::MainWindow>(services());
        EXPECT_TRUE(checked(row.item)) << row.item;
        window->menuItem(row.item)->trigger();
        EXPECT_FALSE(checked(row.item)) << row.item;
        EXPECT_EQ(settings.value("Transfer", row.key), "false");

        window.reset();
        window = std::make_unique<quillon::MainWindow>(services());
        EXPECT_FALSE(checked(row.item)) << row.item;
        window->menuItem(row.item)->trigger();
        EXPECT_EQ(settings.value("Transfer", row.key), "true");
    }
}

TEST_F(MainWindow, newAndCloseShortcutsDoNothingWhileOtherShortcutsWork)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->held().fields.setText(Field::MissingSidMessage, "EDITED");

    QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(window->held().fields.values().text(Field::MissingSidMessage), "EDITED");
    EXPECT_EQ(window->windowTitle(), "Quillon*"); // the edit's mark, nothing more

    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier); // Save is offered
    EXPECT_EQ(dialogs.kinds, QStringList{"save"});
}

// ---- toolbar -------------------------------------------------------------------------------

TEST_F(MainWindow, toolbarHasTwelveButtonsWithKeysAndTooltips)
{
    const std::vector<std::pair<const char*, const char*>> buttons{
        {"open", "Open File"}, {"close", "Close File"}, {"save", "Save File"}, {nullptr, nullptr},
        {"send", "Send Card Set-up"}, {"get", "Get Card Set-up"}, {nullptr, nullptr},
        {"audio", "Audio Set-up (Ctrl+1)"}, {"sid", "SID Set-up (Ctrl+2)"}, {"windows", "Windows Set-up (Ctrl+3)"},
        {"colors", "Color Set-up (Ctrl+4)"}, {"controls", "GPI Set-up (Ctrl+5)"}};
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
    window->held().fields.setText(Field::MissingSidMessage, "EDITED");
    const SetupValues before = window->held().fields.values();
    for (int number : {0, 4, 7, 13, -1})
        window->toolbarButtonClicked(number);
    EXPECT_EQ(window->held().fields.values(), before);
    EXPECT_EQ(window->windowTitle(), "Quillon*");
    EXPECT_TRUE(dialogs.kinds.isEmpty());
    EXPECT_EQ(checkedSetupItems(), QStringList{"setupAudio"});
    for (const char* key : WindowKeys)
        EXPECT_FALSE(window->settingsSubWindow(key)->isVisible());
}

TEST_F(MainWindow, toolbarButtonsDispatchByNumber)
{
    window->show();
    window->toolbarButtonClicked(1);
    window->toolbarButtonClicked(3);
    EXPECT_EQ(dialogs.kinds, QStringList({"open", "save"}));

    const std::vector<std::pair<int, QString>> shows{
        {8, "setupAudio"}, {9, "setupSourceId"}, {10, "setupWindows"}, {11, "setupColours"}, {12, "setupControls"}};
    for (const auto& [number, item] : shows) {
        window->toolbarButton(number)->trigger();
        EXPECT_EQ(checkedSetupItems(), QStringList{item}) << number;
        EXPECT_TRUE(window->settingsSubWindow(WindowKeys[number - 8])->isVisible()) << number;
        EXPECT_EQ(window->mdiArea()->activeSubWindow(), window->settingsSubWindow(WindowKeys[number - 8]));
    }
}

TEST_F(MainWindow, closeButtonRestoresDefaultsAndNamesTheSetupUnsaved)
{
    window->show();
    window->toolbarButtonClicked(10);
    typeInto("Windows", "missingSidMessage", "EDITED");
    ASSERT_EQ(window->held().fields.values().text(Field::MissingSidMessage), "EDITED");

    window->toolbarButton(2)->trigger();

    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "NO AVM");
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Unsaved");
    EXPECT_EQ(panel(1), "SID Config Loaded");
    for (const char* key : WindowKeys) {
        EXPECT_FALSE(window->settingsSubWindow(key)->isVisible()) << key;
        EXPECT_TRUE(window->settingsSubWindow(key)->windowState() & Qt::WindowMaximized) << key;
    }
}

TEST_F(MainWindow, resetConfigurationRestoresDefaultsOnly)
{
    window->toolbarButtonClicked(2);
    window->held().fields.setText(Field::MissingSidMessage, "EDITED");
    window->toolbarButtonClicked(8);
    window->appState().resetConfiguration(); // its menu item is not offered
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Unsaved");
    EXPECT_FALSE(window->settingsSubWindow("Audio")->isVisible());
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
        {"Audio", {"setupAudio"}}, {"SourceId", {"setupSourceId"}}, {"Windows", {"setupWindows"}},
        {"Colors", {"setupColours"}}, {"Controls", {"setupControls"}},
        {"SID", {}}, {"audio", {}}, {"", {}}};
    for (const auto& [key, marked] : rows) {
        window->markWindowOn("Controls");
        window->markWindowOn(key);
        EXPECT_EQ(checkedSetupItems(), marked) << key.toStdString();
    }
}

TEST_F(MainWindow, setWindowOffClearsOnlyItsOwnMark)
{
    window->markWindowOn("SourceId");
    window->markWindowOff("Audio");
    EXPECT_EQ(checkedSetupItems(), QStringList{"setupSourceId"});
    window->markWindowOff("SID"); // not a key
    EXPECT_EQ(checkedSetupItems(), QStringList{"setupSourceId"});
    window->markWindowOff("SourceId");
    EXPECT_TRUE(checkedSetupItems().isEmpty());
}

TEST_F(MainWindow, closingASettingsWindowHidesItAndClearsOnlyItsMark)
{
    window->show();
    window->toolbarButtonClicked(8);
    window->toolbarButtonClicked(9);
    window->held().fields.setText(Field::SidLine525Vitc, "15");
    ASSERT_EQ(checkedSetupItems(), QStringList{"setupSourceId"});
    QPointer<SettingsWindow> audio = window->settingsWindow("Audio");

    window->settingsSubWindow("Audio")->close(); // not the marked one
    EXPECT_EQ(checkedSetupItems(), QStringList{"setupSourceId"});
    EXPECT_FALSE(window->settingsSubWindow("Audio")->isVisible());
    EXPECT_FALSE(audio.isNull());

    window->settingsSubWindow("SourceId")->close();
    EXPECT_FALSE(checked("setupSourceId"));
    EXPECT_FALSE(window->settingsSubWindow("SourceId")->isVisible());

    window->toolbarButtonClicked(9); // shown again, with what it held
    EXPECT_TRUE(window->settingsSubWindow("SourceId")->isVisible());
    EXPECT_EQ(control<QLineEdit>("SourceId", "sidLine525Vitc")->text(), "15");
    EXPECT_EQ(checkedSetupItems(), QStringList{"setupSourceId"});
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
    EXPECT_NE(focused, control("Windows", "audioWindowHorizontal"));

    // Closing a window, or Close File, takes the focus out of the windows it hides.
    window->toolbarButtonClicked(9);
    control("SourceId", "sidLine625Vitc")->setFocus();
    window->settingsSubWindow("SourceId")->close();
    EXPECT_FALSE(window->settingsSubWindow("SourceId")->isAncestorOf(QApplication::focusWidget()));
    pressUpTwice();
    EXPECT_EQ(window->held().fields.values().text(Field::SidLine625Vitc), before.text(Field::SidLine625Vitc));

    window->toolbarButtonClicked(8);
    control("Audio", "fineAdjustChannel2")->setFocus();
    window->toolbarButtonClicked(2);
    pressUpTwice();
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
}

// Inside a box the operator types in, the editing keys edit and nothing goes to the card;
// elsewhere Ctrl+Z and Ctrl+X send and get (here: to no usable port, which says so).
TEST_F(MainWindow, editingKeysEditInsideATextBoxAndSendAndGetElsewhere)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QString notValid = "Current com port selection is not valid";
    const struct {
        const char* what;
        const char* window;
        const char* control;
        Qt::Key key;
        const char* textAfter; // the box's text after the key; nullptr: the command ran
    } rows[] = {
        {"undo in a text box", "Controls", "gpi1Text", Qt::Key_Z, "RECORD"},
        {"cut in a text box", "Controls", "gpi1Text", Qt::Key_X, ""},
        {"cut in a list's edit field", "SourceId", "videoStandard", Qt::Key_X, ""},
        {"send from a read-only box", "SourceId", "sidLine525Vitc", Qt::Key_Z, nullptr},
        {"get from a check box", "Controls", "gpi1Blink", Qt::Key_X, nullptr},
        {"get from a list", "Audio", "peakLevel", Qt::Key_X, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        messages.clear();
        QApplication::setActiveWindow(window.get()); // from the progress window of the last row
        window->showSettingsWindow(row.window);
        QWidget* control = this->control(row.window, row.control);
        ASSERT_NE(control, nullptr);
        if (auto* list = qobject_cast<QComboBox*>(control); list && list->isEditable())
            control = list->lineEdit();
        control->setFocus();
        ASSERT_TRUE(control->hasFocus());
        auto* box = qobject_cast<QLineEdit*>(control);
        if (box && !box->isReadOnly()) {
            QTest::keyClicks(box, "ON AIR");
            box->selectAll();
        }
        QTest::keyClick(control, row.key, Qt::ControlModifier);
        QApplication::processEvents();
        if (row.textAfter) {
            EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
            EXPECT_EQ(box->text(), row.textAfter);
        } else {
            EXPECT_EQ(messages, QStringList{notValid});
        }
    }
    // The set-up follows the box: undo took the typing back.
    EXPECT_EQ(window->held().fields.values().text(Field::Gpi1Text), "");
}

TEST_F(MainWindow, eachSettingsWindowHasAKeyAndCtrlF4ClosesTheOneInFront)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QStringList marks{"setupAudio", "setupSourceId", "setupWindows", "setupColours", "setupControls"};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(Qt::Key_1 + i), Qt::ControlModifier);
        QMdiSubWindow* sub = window->settingsSubWindow(WindowKeys[i]);
        EXPECT_TRUE(sub->isVisible()) << WindowKeys[i];
        EXPECT_EQ(window->mdiArea()->activeSubWindow(), sub) << WindowKeys[i];
        EXPECT_EQ(checkedSetupItems(), QStringList{marks[i]});
        ASSERT_TRUE(sub->isAncestorOf(QApplication::focusWidget())) << "the keys go to " << WindowKeys[i];
    }
    for (int i = 4; i >= 0; --i) {
        QMdiSubWindow* front = window->mdiArea()->activeSubWindow();
        ASSERT_NE(front, nullptr) << i;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4, Qt::ControlModifier);
        EXPECT_FALSE(front->isVisible()) << i;
    }
    for (const char* key : WindowKeys)
        EXPECT_FALSE(window->settingsSubWindow(key)->isVisible()) << key;
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
    QMdiSubWindow* colors = window->settingsSubWindow("Colors");
    EXPECT_TRUE(colors->isVisible());
    QApplication::processEvents();
    EXPECT_TRUE(colors->isMaximized());
    EXPECT_EQ(colors->size(), window->mdiArea()->viewport()->size()); // it fills the area
    EXPECT_EQ(window->windowTitle(), "Quillon"); // and leaves the caption alone
}

TEST_F(MainWindow, restoredSettingsWindowsCascadeAtLeastAtTheirLayoutsSize)
{
    window->show();
    QPoint previous(-1, -1);
    for (const char* key : WindowKeys) {
        SCOPED_TRACE(key);
        window->showSettingsWindow(key);
        QMdiSubWindow* sub = window->settingsSubWindow(key);
        SettingsWindow* form = window->settingsWindow(key);
        QApplication::processEvents();
        ASSERT_TRUE(sub->isMaximized());
        const auto* page = form->findChild<QWidget*>("page");
        ASSERT_NE(page, nullptr);
        const QSize maximisedPage = page->size();

        sub->showNormal();
        QApplication::processEvents();
        EXPECT_EQ(page->size(), maximisedPage); // maximised, the controls kept their natural size
        EXPECT_GE(form->width(), form->minimumSizeHint().width());
        EXPECT_GE(form->height(), form->minimumSizeHint().height());
        EXPECT_GT(sub->x(), previous.x()); // each a step further down and right
        EXPECT_GT(sub->y(), previous.y());
        previous = sub->pos();
    }
    auto* caption = control<QLabel>("Colors", "barBorderBrightnessCaption");
    EXPECT_GE(caption->height(), caption->heightForWidth(caption->width()));
}

// ---- help, exit ----------------------------------------------------------------------------

TEST_F(MainWindow, helpContentsOpensTheManualAndOpenLogFolderTheFrameLogsFolder)
{
    window->menuItem("helpContents")->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened.front().isLocalFile());
    EXPECT_TRUE(opened.front().toLocalFile().endsWith("/QuillonHelp.html"));
    EXPECT_TRUE(QFileInfo::exists(opened.front().toLocalFile()));

    // The folder the Log Frames item's tooltip names, made if it is not there yet.
    settings.setValue("Trace", "Path", dir.filePath("logs/Out.bin"));
    window = std::make_unique<quillon::MainWindow>(services());
    const QString log = QDir::toNativeSeparators(dir.filePath("logs/frames.log"));
    EXPECT_TRUE(window->menuItem("optionsLogFrames")->toolTip().endsWith(" to " + log));
    window->menuItem("helpOpenLogFolder")->trigger();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened.back(), QUrl::fromLocalFile(dir.filePath("logs")));
    EXPECT_TRUE(QFileInfo(dir.filePath("logs")).isDir());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindow, exitEndsTheTransferThenClosesFromTheEventLoop)
{
    window->show();
    window->toolbarButtonClicked(8);
    window->helpAbout();
    QSignalSpy shutDown(window.get(), &quillon::MainWindow::shutDown);
    QPointer<QMdiSubWindow> audio = window->settingsSubWindow("Audio");
    QPointer<QWidget> about = window->aboutBox();

    window->menuItem("fileExit")->trigger();
    EXPECT_EQ(panel(2), "Port Closed 7"); // endTransfer has run
    EXPECT_TRUE(window->isVisible());   // the close waits for the event loop
    EXPECT_EQ(shutDown.count(), 0);

    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(shutDown.count(), 1);
    EXPECT_TRUE(audio.isNull());
    EXPECT_TRUE(about.isNull());
    EXPECT_FALSE(window->link().portOpen());
    EXPECT_TRUE(messages.isEmpty()); // nothing is asked
    EXPECT_EQ(replaceQuestions, 0); // the set-up is as it started
}

TEST_F(MainWindow, closingTheWindowTwiceShutsDownOnce)
{
    window->show();
    QSignalSpy shutDown(window.get(), &quillon::MainWindow::shutDown);
    window->close();
    window->close();
    EXPECT_EQ(shutDown.count(), 1);
}

#if defined(QUILLON_APP) && defined(Q_OS_LINUX)
// Whether the process has handlers of its own for both signals yet, as Linux shows it.
bool catchesSigtermAndSigint(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const quint64 both = (quint64(1) << (SIGTERM - 1)) | (quint64(1) << (SIGINT - 1));
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) & both) == both;
    return false;
}

// The program itself ends on SIGTERM and SIGINT through its shut-down, not killed by them.
TEST(Program, endsNormallyOnSigtermAndSigint)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        QTemporaryDir home;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QUILLON_APP));
        ASSERT_TRUE(program.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return catchesSigtermAndSigint(program.processId()); }, 20000)) << signal;
        ::kill(program.processId(), signal);
        ASSERT_TRUE(program.waitForFinished(5000)) << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(program.exitCode(), 0) << signal;
    }
}
#endif

} // namespace
} // namespace quillon::test
