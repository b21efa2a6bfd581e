// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "link/framelog.h"

#include "app/core/portmanager.h"
#include "link/cardlink.h"

#include <QAction>
#include <QDir>
#include <QTimer>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QUndoStack>

namespace quillon {

namespace {

constexpr int PanelTwips = 2000;

struct ButtonInfo {
    int number;
    const char* key; // nullptr: separator
    const char* tooltip;
    const char* setupItem = nullptr; // the Set-up menu's item for the same window
};
constexpr std::array<ButtonInfo, 12> Buttons{{
    {1, "open", "Open File"},
    {2, "close", "Close File"},
    {3, "save", "Save File"},
    {4, nullptr, nullptr},
    {5, "send", "Send Card Set-up"},
    {6, "get", "Get Card Set-up"},
    {7, nullptr, nullptr},
    {8, "audio", "Audio Set-up", "setupAudio"},
    {9, "sid", "SID Set-up", "setupSourceId"},
    {10, "windows", "Windows Set-up", "setupWindows"},
    {11, "colors", "Color Set-up", "setupColours"},
    {12, "controls", "GPI Set-up", "setupControls"},
}};

} // namespace

// The menu bar, the toolbar and the status bar, and the Options menu's marks.

QAction* MainWindow::addItem(QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& shortcut)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setShortcut(shortcut);
    return item;
}

void MainWindow::buildMenus()
{
    auto menu = [this](const char* name, const QString& caption) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    // Items that are not offered are there, greyed, so nothing can choose them.
    // Access keys (&) underline a letter of each caption and are unique within their menu.
    auto notOffered = [](QAction* item) {
        item->setEnabled(false);
        return item;
    };

    QMenu* file = menu("fileMenu", QStringLiteral("&File"));
    connect(notOffered(addItem(file, "fileNew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N))),
            &QAction::triggered, this, &MainWindow::closeFileCommand);
    connect(addItem(file, "fileOpen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, [this] { app_->openFileFromDisk(*dialogs_); });
    connect(addItem(file, "fileOpenBackup", QStringLiteral("Open &Backup...")),
            &QAction::triggered, this, &MainWindow::openBackupCommand);
    connect(addItem(file, "fileSave", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S)),
            &QAction::triggered, this, [this] { app_->saveFileToDisk(*dialogs_); });
    connect(notOffered(addItem(file, "fileClose", QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_C))),
            &QAction::triggered, this, &MainWindow::closeFileCommand);
    QAction* exit = addItem(file, "fileExit", QStringLiteral("E&xit"), QKeySequence(Qt::Key_F3));
    connect(exit, &QAction::triggered, this, &MainWindow::exitCommand);
    buildFileExtras(file, exit);

    QMenu* edit = menu("editMenu", QStringLiteral("&Edit"));
    buildEditMenu(edit);
    connect(addItem(edit, "editResetConfiguration", QStringLiteral("&Reset Configuration")),
            &QAction::triggered, this, [this] { app_->resetConfiguration(); });

    QMenu* tools = menu("toolsMenu", QStringLiteral("&Tools"));
    connect(addItem(tools, "toolsSendConfiguration", QStringLiteral("&Send Configuration"), QKeySequence(Qt::CTRL | Qt::Key_Z)),
            &QAction::triggered, this, [this] { sendCommand(); });
    connect(addItem(tools, "toolsGetConfiguration", QStringLiteral("&Get Configuration"), QKeySequence(Qt::CTRL | Qt::Key_X)),
            &QAction::triggered, this, [this] { getCommand(); });
    tools->addSeparator();
    connect(addItem(tools, "toolsCompareWithFile", QStringLiteral("&Compare With File...")), &QAction::triggered,
            this, &MainWindow::compareWithFile);
    connect(addItem(tools, "toolsCompareWithCard", QStringLiteral("Compare With C&ard")), &QAction::triggered,
            this, &MainWindow::compareWithCard);
    tools->addSeparator();
    connect(addItem(tools, "toolsCards", QStringLiteral("Car&ds...")), &QAction::triggered, this, &MainWindow::cardsCommand);

    QMenu* options = menu("optionsMenu", QStringLiteral("&Options"));
    options->setToolTipsVisible(true);
    for (int port = 1; port <= 4; ++port) {
        const QByteArray name = "optionsCom" + QByteArray::number(port);
        QAction* item = addItem(options, name.constData(), QStringLiteral("Com&%1").arg(port));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, port] {
            ports_->clickComItem(port);
            refreshOptionsMenu();
        });
    }
    QMenu* speed = options->addMenu(QStringLiteral("&Speed"));
    speed->setObjectName(QStringLiteral("speedMenu"));
    speed->menuAction()->setObjectName(QStringLiteral("speedMenu"));
    QAction* slow = addItem(speed, "speedSnailSlow", QStringLiteral("Snail &Slow"));
    QAction* turbo = addItem(speed, "speedTurbo", QStringLiteral("&Turbo"));
    for (QAction* item : {slow, turbo})
        item->setCheckable(true);
    connect(slow, &QAction::triggered, this, [this] {
        ports_->clickSlow();
        refreshOptionsMenu();
    });
    connect(turbo, &QAction::triggered, this, [this] {
        ports_->clickTurbo();
        refreshOptionsMenu();
    });
    options->addSeparator();
    connect(addItem(options, "optionsPortAssignment", QStringLiteral("&Port Assignment...")),
            &QAction::triggered, this, &MainWindow::portAssignment);
    QAction* logFrames = addItem(options, "optionsLogFrames", QStringLiteral("&Log Frames"));
    logFrames->setCheckable(true);
    // Where the file is: the maintainer asks for it, and Help > Open Log Folder shows it.
    logFrames->setToolTip(QStringLiteral("Writes every frame of each Get or Send (backup read, send and verify) to %1")
                              .arg(QDir::toNativeSeparators(FrameLog::pathNextTo(session_->trace().path()))));
    connect(logFrames, &QAction::triggered, this, [this](bool on) {
        setFrameLogging(on);
        store_.setFrameLog(on);
    });

    options->addSeparator();
    QAction* backup = addItem(options, "optionsBackupBeforeSend", QStringLiteral("&Back Up Card Before Send"));
    QAction* verify = addItem(options, "optionsVerifyAfterSend", QStringLiteral("&Verify After Send"));
    for (QAction* item : {backup, verify})
        item->setCheckable(true);
    connect(backup, &QAction::triggered, this, [this](bool on) { store_.setBackupBeforeSend(on); });
    connect(verify, &QAction::triggered, this, [this](bool on) { store_.setVerifyAfterSend(on); });

    // Each settings window has a key of its own, in the toolbar's order, and Ctrl+F4 closes the
    // one in front: the windows can be used without a mouse.
    QMenu* setup = menu("setupMenu", QStringLiteral("&Set-up"));
    const std::array<std::pair<const char*, const char*>, 5> setupItems{{
        {"setupAudio", "&Audio"}, {"setupSourceId", "&SID"}, {"setupWindows", "&Windows"},
        {"setupColours", "&Colors"}, {"setupControls", "C&ontrols"}}};
    const std::array<const char*, 5> keys{"Audio", "SourceId", "Windows", "Colors", "Controls"};
    for (size_t i = 0; i < setupItems.size(); ++i) {
        QAction* item = addItem(setup, setupItems[i].first, QString::fromLatin1(setupItems[i].second),
                                QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + int(i))));
        item->setCheckable(true);
        const QString key = QString::fromLatin1(keys[i]);
        connect(item, &QAction::triggered, this, [this, key] { showSettingsWindow(key); });
    }
    setup->addSeparator();
    QAction* close = addItem(setup, "setupCloseWindow", QStringLiteral("C&lose Settings Window"),
                             QKeySequence(Qt::CTRL | Qt::Key_F4));
    connect(close, &QAction::triggered, this, &MainWindow::closeActiveSettingsWindow);

    QMenu* help = menu("helpMenu", QStringLiteral("&Help"));
    connect(addItem(help, "helpContents", QStringLiteral("&Contents")), &QAction::triggered, this,
            &MainWindow::helpContents);
    connect(addItem(help, "helpOpenLogFolder", QStringLiteral("Open &Log Folder")), &QAction::triggered, this,
            &MainWindow::openLogFolder);
    connect(addItem(help, "helpAbout", QStringLiteral("&About")), &QAction::triggered, this,
            &MainWindow::helpAbout);
}

// Undo and Redo. Ctrl+Z is Send Configuration, so Undo is Alt+Backspace; Redo is Ctrl+Y, not
// Ctrl+Shift+Z, which a finger slipping off Shift would make a Send.
void MainWindow::buildEditMenu(QMenu* edit)
{
    QAction* undo = addItem(edit, "editUndo", QStringLiteral("&Undo"), QKeySequence(Qt::ALT | Qt::Key_Backspace));
    QAction* redo = addItem(edit, "editRedo", QStringLiteral("Re&do"), QKeySequence(Qt::CTRL | Qt::Key_Y));
    edit->addSeparator();
    SetupHistory& history = app_->history();
    connect(undo, &QAction::triggered, this, [&history] { history.undo(); });
    connect(redo, &QAction::triggered, this, [&history] { history.redo(); });
    auto named = [](const QString& command, const QString& step) {
        QString shown = step;
        return step.isEmpty() ? command : command + u' ' + shown.replace(u'&', QStringLiteral("&&"));
    };
    auto refresh = [&history, undo, redo, named] {
        const QUndoStack& stack = history.stack();
        undo->setEnabled(stack.canUndo());
        undo->setText(named(QStringLiteral("&Undo"), stack.canUndo() ? stack.undoText() : QString()));
        redo->setEnabled(stack.canRedo());
        redo->setText(named(QStringLiteral("Re&do"), stack.canRedo() ? stack.redoText() : QString()));
    };
    connect(&history.stack(), &QUndoStack::indexChanged, this, refresh);
    connect(&history.stack(), &QUndoStack::undoTextChanged, this, refresh);
    connect(&history.stack(), &QUndoStack::redoTextChanged, this, refresh);
    connect(&history.stack(), &QUndoStack::canUndoChanged, this, refresh);
    connect(&history.stack(), &QUndoStack::canRedoChanged, this, refresh);
    refresh();
}

void MainWindow::buildToolbar()
{
    toolbar_ = addToolBar(QStringLiteral("Toolbar1"));
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setIconSize(QSize(24, 24));
    toolbar_->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu); // the bars cannot be hidden
    for (const ButtonInfo& info : Buttons) {
        QAction* button;
        if (!info.key) {
            button = toolbar_->addSeparator();
        } else {
            const QString key = QString::fromLatin1(info.key);
            button = toolbar_->addAction(QIcon(QStringLiteral(":/images/%1.svg").arg(key)),
                                         QString::fromLatin1(info.tooltip));
            button->setObjectName(key);
            QString tooltip = QString::fromLatin1(info.tooltip);
            if (info.setupItem) { // "Audio Set-up (Ctrl+1)"
                const QKeySequence shortcut = menuItem(QString::fromLatin1(info.setupItem))->shortcut();
                tooltip += QStringLiteral(" (%1)").arg(shortcut.toString(QKeySequence::NativeText));
            }
            button->setToolTip(tooltip);
        }
        button->setProperty("key", info.key ? QString::fromLatin1(info.key) : QString());
        button->setProperty("number", info.number);
        const int number = info.number;
        connect(button, &QAction::triggered, this, [this, number] { toolbarButtonClicked(number); });
        buttons_[info.number] = button;
    }
}

void MainWindow::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(false); // the size is the program's, not the operator's
    const int width = qRound(PanelTwips * logicalDpiX() / 1440.0);
    const std::array<QString, 4> start{QString(), QStringLiteral("SID Config Loaded"), QString(),
                                       QStringLiteral("None")};
    for (int panel = 1; panel <= 3; ++panel) {
        auto* label = new QLabel(start[panel], bar);
        label->setObjectName(QStringLiteral("statusPanel%1").arg(panel));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The minimum width also keeps a long text from widening the window: it is cut at
        // the panel's edge.
        label->setMinimumWidth(width);
        bar->addWidget(label, panel == 3 ? 1 : 0);
        panels_[panel] = label;
    }
}

void MainWindow::refreshOptionsMenu()
{
    for (int port = 1; port <= 4; ++port) {
        const PortManager::ComItem& model = ports_->comItem(port);
        QAction* item = menuItem(QStringLiteral("optionsCom%1").arg(port));
        item->setEnabled(model.enabled);
        item->setChecked(model.checked);
        item->setToolTip(model.device); // a status tip would blank the status panels
    }
    menuItem(QStringLiteral("speedSnailSlow"))->setChecked(ports_->slowChecked());
    menuItem(QStringLiteral("speedTurbo"))->setChecked(ports_->turboChecked());
    menuItem(QStringLiteral("optionsBackupBeforeSend"))->setChecked(store_.backupBeforeSend());
    menuItem(QStringLiteral("optionsVerifyAfterSend"))->setChecked(store_.verifyAfterSend());
}

// The frame log goes next to the trace file, from the next connection on.
void MainWindow::setFrameLogging(bool on)
{
    session_->setFrameLogging(on);
    menuItem(QStringLiteral("optionsLogFrames"))->setChecked(on);
}

// Discovery opens and closes the ports, so it waits for a connection to end.
void MainWindow::probePortsWhenClosed()
{
    if (closed_)
        return;
    if (session_->busy()) {
        QTimer::singleShot(250, this, &MainWindow::probePortsWhenClosed);
        return;
    }
    ports_->start();
    refreshOptionsMenu();
}

} // namespace quillon
