// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/appstate.h"
#include "app/core/cardsession.h"
#include "aboutdialog.h"
#include "backupchooser.h"
#include "comparewindow.h"
#include "guioperatorui.h"
#include "portassignmentdialog.h"
#include "link/linkobserver.h"
#include "link/portcatalogue.h"
#include "link/portdoctor.h"
#include "app/core/settingsstore.h"
#include "setup/heldsetup.h"
#include "setup/cardsetup.h"

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QStyle;
class QToolBar;

class QTimer;

namespace quillon {

class CardLink;
class FileDialogs;
class LinkClock;
class LinkTimer;
class PortManager;
class SerialControl;
class SettingsWindow;
class ControlSettingsWindow;
class CompareWindow;
class CardsWindow;
class ProgressDialog;
class StopSignals;
struct ComparedSetup;

// What the main window talks to outside itself; anything left empty is the real thing.
struct ShellServices {
    SettingsStore* settings = nullptr;  // the user's settings store
    SerialControl* serial = nullptr;    // the serial ports of the "Ports" section
    PortCatalogue* catalogue = nullptr; // the serial ports present (QSerialPortInfo)
    LinkClock* clock = nullptr;         // the Qt event loop's timers
    FileDialogs* fileDialogs = nullptr; // the desktop's file dialogs
    MessageSink messages;               // non-blocking message boxes
    ReplaceQuestionSink replaceQuestion; // Save, Discard or Cancel before a modified set-up goes
    std::function<bool(const QUrl&)> openUrl; // QDesktopServices
};

// The main window: menu bar, toolbar and status bar over the area in which the five settings
// windows show. It owns the application state and the card session, starts the program and
// shuts it down.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(ShellServices services = {});
    ~MainWindow() override;

    // Commands.
    void toolbarButtonClicked(int number); // 1..12 from the left; 4 and 7 are separators
    void showSettingsWindow(const QString& key);
    void closeActiveSettingsWindow(); // Set-up > "Close Settings Window", Ctrl+F4
    void markWindowOn(const QString& key);
    void markWindowOff(const QString& key);
    // The kind of set-up held has been shown: the settings windows apply to a SID set-up only.
    void heldKindShown();
    void exitCommand();
    void closeFileCommand(); // toolbar "Close File", File > New and Close
    // A logout or a stop signal: the window closes without asking about a modified set-up.
    void closeWithoutAsking()
    {
        leaving_ = true;
        close();
    }
    // From now on SIGTERM and SIGINT (a logout, Ctrl+C) close the window as closeWithoutAsking()
    // does, through its shut-down: the connection ends with its SYN.
    void closeOnStopSignals();
    void helpContents();
    void helpAbout();
    void openLogFolder(); // Help > "Open Log Folder"
    // Opens the set-up file the program was started with, as File > Open would.
    void openFromCommandLine(const QStringList& arguments); // without the program's name
    void compareWithFile();
    void compareWithCard();
    // Tools > Cards...: the card inventory and the work over many cards.
    void cardsCommand();
    void exportReport();
    // Shows the settings window that holds the setting, its control focused.
    void showSetting(Field field);
    void portAssignment(); // Options > "Port Assignment..."
    // File > Open Backup...: the backup chooser, once a modified set-up may be replaced.
    void openBackupCommand();

    // The help manual: installed with the program, else in the source tree.
    static QString helpFile();

    // Parts, for the operator-interface glue and for tests.
    AppState& appState() { return *app_; }
    HeldSetup& held() { return held_; }
    CardLink& link() { return session_->link(); }
    CardSession& session() { return *session_; }
    // Tools > Send and Get Configuration: the whole operation, with the safety net the Options
    // menu chose.
    void sendCommand();
    void getCommand();
    bool operationRunning() const;
    PortManager& ports() { return *ports_; }
    QAction* toolbarButton(int number) const;
    QAction* menuItem(const QString& name) const;
    QLabel* statusPanel(int panel) const;
    SettingsWindow* settingsWindow(const QString& key) const;
    QMdiSubWindow* settingsSubWindow(const QString& key) const;
    ControlSettingsWindow* controlSettings() const;
    ProgressDialog* progressDialog(bool create);
    AboutDialog* aboutBox() const { return about_; }
    CompareWindow* compareWindow() const { return compare_; }
    bool comparingWithCard() const { return comparingWithCard_; }
    PortAssignmentDialog* portAssignmentDialog() const { return assignment_; }
    BackupChooser* backupChooser() const { return backupChooser_; }
    CardsWindow* cardsWindow() const;
    QMdiArea* mdiArea() const { return mdi_; }
    QToolBar* toolbar() const { return toolbar_; }

    // The size of the normal state: 427 pixels by 2.43 toolbar heights.
    QSize stripSize() const;

Q_SIGNALS:
    // The window has been closed and everything it started is stopped.
    void shutDown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void startOperation(bool send);
    void operationStage(OperationStage stage, bool done);
    void showCounters();
    void followImageFrame(int command, int baud);
    struct Window {
        QString key;
        const char* menuItem;
        QPointer<SettingsWindow> form;
        QPointer<QMdiSubWindow> sub;
    };

    void buildMenus();
    void buildFileExtras(QMenu* file, QAction* exit);
    void buildEditMenu(QMenu* edit);
    void endGet(bool replaced);
    void refreshRecentFiles();
    void showComparison(const QString& otherName, const ComparedSetup& other);
    void operationFinished(const OperationResult& result);
    void holdOperationMessages();
    void answerOperation(const QString& backupPath, bool comparison);
    void placeBesideSettings(QWidget* other);
    // The control that holds a setting, and the key of its window.
    QWidget* settingControl(Field field, QString* windowKey = nullptr) const;
    void buildToolbar();
    void buildStatusBar();
    void createSettingsWindows();
    void addSettingsWindow(const QString& key, SettingsWindow* form);
    void refreshOptionsMenu();
    void setFrameLogging(bool on);
    void probePortsWhenClosed();
    void hideSettingsWindows();
    void maximiseSettingsWindows();
    void placeRestored(QMdiSubWindow* sub, int slot);
    void applySizeRule();
    void destroyWindows(); // about box, settings windows and progress dialog, in shut-down order
    Window* window(const QString& key);
    const Window* window(const QString& key) const;
    QAction* addItem(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut = {});

    std::unique_ptr<SettingsStore> ownStore_;
    SettingsStore& store_;
    SystemPortCatalogue systemCatalogue_;
    PortCatalogue* catalogue_;
    SystemPortDoctor doctor_;
    std::unique_ptr<SerialControl> ownSerial_;
    std::unique_ptr<LinkClock> ownClock_;
    std::unique_ptr<FileDialogs> ownDialogs_;
    SerialControl* serial_;
    LinkClock* clock_;
    FileDialogs* dialogs_;
    std::function<bool(const QUrl&)> openUrl_;
    HeldSetup held_;
    std::unique_ptr<PortManager> ports_;
    std::unique_ptr<LinkObserver> imageFrames_;   // moves its bar along the image frame
    GuiOperatorUi ui_;
    std::unique_ptr<CardSession> session_;
    std::unique_ptr<LinkTimer> answer_; // shows an operation's one answer once it has ended
    std::unique_ptr<AppState> app_;

    QMdiArea* mdi_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    std::array<QAction*, 13> buttons_{};
    std::array<QLabel*, 4> panels_{};
    std::array<Window, 5> windows_;
    QPointer<ProgressDialog> progress_;
    QPointer<AboutDialog> about_;
    QPointer<CompareWindow> compare_;
    bool comparingWithCard_ = false; // the running operation reads the card to compare it
    std::array<QAction*, 4> recentItems_{};
    QAction* recentSeparator_ = nullptr;
    QPointer<PortAssignmentDialog> assignment_;
    QPointer<BackupChooser> backupChooser_;
    QPointer<CardsWindow> cards_;
    bool getting_ = false; // a Get runs that may replace the set-up
    std::unique_ptr<QStyle> subWindowStyle_;
    bool arrangingWindows_ = false;
    bool closed_ = false;
    bool leaving_ = false; // Exit was confirmed: the close asks nothing more
    std::unique_ptr<StopSignals> stopSignals_;
};

} // namespace quillon
