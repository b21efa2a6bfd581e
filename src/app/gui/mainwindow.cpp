// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "forms/audiosettingswindow.h"
#include "forms/coloursettingswindow.h"
#include "forms/controlsettingswindow.h"
#include "forms/progressdialog.h"
#include "app/core/linkpresenter.h"
#include "forms/sourceidsettingswindow.h"
#include "forms/onscreensettingswindow.h"
#include "aboutdialog.h"
#include "backupchooser.h"
#include "helplocation.h"
#include "portassignmentdialog.h"
#include "link/cardlink.h"
#include "app/core/portmanager.h"
#include "app/core/stopsignals.h"
#include "link/qtlinkclock.h"
#include "link/routedserialcontrol.h"
#include "link/framelog.h"
#include "qtfiledialogs.h"
#include "setup/setupimage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <cmath>
#include <exception>

// The toolbar images live in the library; a static library's resources are registered by hand.
static void registerImages()
{
    Q_INIT_RESOURCE(quillon);
}

namespace quillon {

namespace {

constexpr int StripWidth = 427;
constexpr double StripToolbarHeights = 2.43;

// The Set-up menu's items in the order markWindowOn clears them.
constexpr std::array<const char*, 5> SetupMenuClearOrder{"setupWindows", "setupColours", "setupControls",
                                                          "setupAudio", "setupSourceId"};

// A maximised settings window keeps its own title bar, so the main window's caption stays the
// program's own and the window's buttons stay on the window.
class SubWindowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Workspace_FillSpaceOnMaximize)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Tells of every data frame the host sends, with its command and the line's speed.
class ImageFrameWatch : public LinkObserver {
public:
    explicit ImageFrameWatch(std::function<void(int command, int baud)> told) : told_(std::move(told)) {}
    void connectionOpened() override { baud_ = 9600; }
    void speedChanged(int baud) override { baud_ = baud; }
    void frameSent(const QByteArray& frame, PacketKind kind) override
    {
        if (kind == PacketKind::Data)
            told_(packetCommand(packetOfSentFrame(frame, kind)), baud_);
    }

private:
    std::function<void(int, int)> told_;
    int baud_ = 9600;
};

} // namespace

MainWindow::MainWindow(ShellServices services)
    : ownStore_(services.settings ? nullptr : std::make_unique<SettingsStore>()),
      store_(services.settings ? *services.settings : *ownStore_),
      catalogue_(services.catalogue ? services.catalogue : &systemCatalogue_),
      doctor_(*catalogue_),
      ownSerial_(services.serial ? nullptr : std::make_unique<RoutedSerialControl>(store_, catalogue_)),
      ownClock_(services.clock ? nullptr : std::make_unique<QtLinkClock>()),
      serial_(services.serial ? services.serial : ownSerial_.get()),
      clock_(services.clock ? services.clock : ownClock_.get()),
      openUrl_(services.openUrl ? services.openUrl
                                : [](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      ports_(std::make_unique<PortManager>(*serial_, store_)),
      imageFrames_(std::make_unique<ImageFrameWatch>([this](int command, int baud) { followImageFrame(command, baud); })),
      ui_(*this, services.messages ? services.messages
                                   : [this](const OperatorMessage& message) { showMessageBox(this, message); },
          services.replaceQuestion),
      session_(std::make_unique<CardSession>(*serial_, *ports_, held_, ui_, store_, clock_)),
      answer_(clock_->createTimer()),
      app_(std::make_unique<AppState>(held_, ui_, store_)),
      subWindowStyle_(std::make_unique<SubWindowStyle>())
{
    if (!services.fileDialogs)
        ownDialogs_ = std::make_unique<QtFileDialogs>(this);
    dialogs_ = services.fileDialogs ? services.fileDialogs : ownDialogs_.get();
    app_->setFileDialogs(dialogs_);

    registerImages();
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(StartCaption);
    setWindowIcon(QIcon(QStringLiteral(":/images/quillon.svg")));
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("mdiArea"));
    mdi_->setMinimumSize(1, 1); // the strip leaves the area next to no room
    setCentralWidget(mdi_);
    buildMenus();
    buildToolbar();
    buildStatusBar();
    resize(stripSize());

    session_->presenter().fileName = [this] { return app_->currentFileName(); };
    session_->link().addObserver(imageFrames_.get());
    connect(session_.get(), &CardSession::countersChanged, this, &MainWindow::showCounters);
    setFrameLogging(store_.frameLog());
    connect(&session_->operation(), &CardOperation::stageChanged, this, &MainWindow::operationStage);
    connect(&session_->operation(), &CardOperation::finished, this, &MainWindow::operationFinished);
    app_->beforeDefaults = [this] { hideSettingsWindows(); };
    app_->afterDefaults = [this] { maximiseSettingsWindows(); };

    createSettingsWindows();
    app_->loadDefaults();
    resetSetupImage(held_);
    app_->startAfresh();
    ports_->onMenusChanged = [this] { refreshOptionsMenu(); };
    ports_->start();
    refreshOptionsMenu();
}

MainWindow::~MainWindow()
{
    // The history empties itself as it goes; the Edit menu need not follow.
    disconnect(&app_->history().stack(), nullptr, this, nullptr);
    // The link stops first (it may still report to the windows), then the windows go while
    // the set-up they show still exists.
    if (!closed_)
        session_->shutdown();
    closed_ = true;
    destroyWindows();
    session_.reset();
}

// ---- the settings windows ------------------------------------------------------------------

void MainWindow::addSettingsWindow(const QString& key, SettingsWindow* form)
{
    Window* entry = window(key);
    QMdiSubWindow* sub = mdi_->addSubWindow(form);
    sub->setObjectName(form->objectName() + QStringLiteral("Frame"));
    // Closing a settings window hides it: it and the set-up it shows live for the whole run.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->setWindowIcon(windowIcon());
    sub->setStyle(subWindowStyle_.get());
    // Ctrl+F4 is the main window's, which closes whichever settings window is in front.
    for (QAction* action : sub->systemMenu()->actions()) {
        QList<QKeySequence> keys = action->shortcuts();
        if (keys.removeAll(QKeySequence(Qt::CTRL | Qt::Key_F4)) > 0)
            action->setShortcuts(keys);
    }
    sub->hide();
    placeRestored(sub, static_cast<int>(entry - windows_.data()));
    // Restored, a window has room for what it shows now (the line over an AVM set-up).
    connect(sub, &QMdiSubWindow::windowStateChanged, this, [sub](Qt::WindowStates, Qt::WindowStates now) {
        if (!(now & (Qt::WindowMaximized | Qt::WindowMinimized)))
            sub->resize(sub->size().expandedTo(sub->sizeHint()));
    });
    entry->form = form;
    entry->sub = sub;
    connect(form, &SettingsWindow::windowOn, this, &MainWindow::markWindowOn);
    connect(form, &SettingsWindow::windowOff, this, &MainWindow::markWindowOff);
    form->load();
}

void MainWindow::createSettingsWindows()
{
    windows_ = {{{QStringLiteral("Audio"), "setupAudio", {}, {}},
                 {QStringLiteral("SourceId"), "setupSourceId", {}, {}},
                 {QStringLiteral("Windows"), "setupWindows", {}, {}},
                 {QStringLiteral("Colors"), "setupColours", {}, {}},
                 {QStringLiteral("Controls"), "setupControls", {}, {}}}};
    CardSetup& setup = held_.fields;
    addSettingsWindow(QStringLiteral("Colors"), new ColourSettingsWindow(setup));
    auto* controls = new ControlSettingsWindow(setup);
    addSettingsWindow(QStringLiteral("Controls"), controls);
    connect(controls, &ControlSettingsWindow::openPortClicked, this, [this] {
        ports_->probeChosenPort();
        session_->openPort();
    });
    connect(controls, &ControlSettingsWindow::closePortClicked, this, [this] { link().closePort(); });
    addSettingsWindow(QStringLiteral("SourceId"), new SourceIdSettingsWindow(setup));
    addSettingsWindow(QStringLiteral("Windows"), new OnScreenSettingsWindow(setup));
    addSettingsWindow(QStringLiteral("Audio"), new AudioSettingsWindow(setup));

    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        if (arrangingWindows_)
            return;
        for (Window& w : windows_) {
            if (sub && w.sub == sub && w.form)
                w.form->activate();
        }
    });
}

MainWindow::Window* MainWindow::window(const QString& key)
{
    for (Window& w : windows_) {
        if (w.key == key)
            return &w;
    }
    return nullptr;
}

const MainWindow::Window* MainWindow::window(const QString& key) const
{
    return const_cast<MainWindow*>(this)->window(key);
}

// The defaults hide the windows in this order, and leave each maximised for its next showing.
static const std::array<const char*, 5> DefaultsOrder{"Colors", "Controls", "SourceId", "Windows", "Audio"};

void MainWindow::hideSettingsWindows()
{
    for (const char* key : DefaultsOrder) {
        if (QMdiSubWindow* sub = settingsSubWindow(QString::fromLatin1(key)))
            SettingsWindow::hideSubWindow(sub);
    }
}

void MainWindow::placeRestored(QMdiSubWindow* sub, int slot)
{
    // Never smaller than its layout needs, and each window a title bar further down and
    // right than the one before it in the toolbar, so restored windows never hide each other.
    sub->ensurePolished();
    sub->setMinimumSize(sub->minimumSizeHint());
    const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 6;
    sub->setGeometry(QRect(QPoint(slot * step, slot * step), sub->sizeHint()));
}

void MainWindow::maximiseSettingsWindows()
{
    // A sub-window shows itself to change its state; that showing is no activation.
    const QScopedValueRollback quiet(arrangingWindows_, true);
    for (const char* key : DefaultsOrder) {
        if (QMdiSubWindow* sub = settingsSubWindow(QString::fromLatin1(key))) {
            const bool wasVisible = sub->isVisible();
            sub->setWindowState(sub->windowState() | Qt::WindowMaximized);
            if (!wasVisible)
                SettingsWindow::hideSubWindow(sub);
        }
    }
}

void MainWindow::showSettingsWindow(const QString& key)
{
    const Window* w = window(key);
    if (!w || !w->sub || !w->form)
        return;
    // The windows show inside the client area, which the normal strip leaves no room for.
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        showMaximized();
    w->form->show();
    w->sub->show();
    w->sub->raise();
    mdi_->setActiveSubWindow(w->sub);
    w->form->takeFocus();
    markWindowOn(key);
}

void MainWindow::closeActiveSettingsWindow()
{
    QMdiSubWindow* sub = mdi_->activeSubWindow();
    if (!sub || !sub->isVisible())
        return;
    sub->close();
    // The window behind it comes to the front, so the key closes one window after another.
    const QList<QMdiSubWindow*> stack = mdi_->subWindowList(QMdiArea::StackingOrder);
    for (auto next = stack.crbegin(); next != stack.crend(); ++next) {
        if ((*next)->isVisible()) {
            for (const Window& w : windows_) {
                if (w.sub == *next)
                    showSettingsWindow(w.key);
            }
            return;
        }
    }
}

void MainWindow::heldKindShown()
{
    const bool apply = held_.loadedCardType != CardType::AVM;
    for (const Window& w : windows_) {
        if (!w.form || !w.sub || w.form->settingsApply() == apply)
            continue;
        w.form->setSettingsApply(apply);
        w.sub->setMinimumSize(w.sub->minimumSizeHint());
        if (!w.sub->isMaximized()) // a restored window makes room for the line at its top
            w.sub->resize(w.sub->size().expandedTo(w.sub->sizeHint()));
    }
}

void MainWindow::markWindowOn(const QString& key)
{
    for (const char* name : SetupMenuClearOrder)
        menuItem(QString::fromLatin1(name))->setChecked(false);
    if (const Window* w = window(key))
        menuItem(QString::fromLatin1(w->menuItem))->setChecked(true);
}

void MainWindow::markWindowOff(const QString& key)
{
    if (const Window* w = window(key))
        menuItem(QString::fromLatin1(w->menuItem))->setChecked(false);
}

// ---- commands ------------------------------------------------------------------------------

void MainWindow::toolbarButtonClicked(int number)
{
    // A failing toolbar command is dropped; the toolbar stays usable.
    try {
        switch (number) {
        case 1: app_->openFileFromDisk(*dialogs_); break;
        case 2: closeFileCommand(); break;
        case 3: app_->saveFileToDisk(*dialogs_); break;
        case 5: sendCommand(); break;
        case 6: getCommand(); break;
        case 8: showSettingsWindow(QStringLiteral("Audio")); break;
        case 9: showSettingsWindow(QStringLiteral("SourceId")); break;
        case 10: showSettingsWindow(QStringLiteral("Windows")); break;
        case 11: showSettingsWindow(QStringLiteral("Colors")); break;
        case 12: showSettingsWindow(QStringLiteral("Controls")); break;
        default: break; // the separators and anything else
        }
    } catch (const std::exception& e) {
        qWarning("Toolbar button %d: %s", number, e.what());
    }
}

// A modified set-up is saved first if the operator wants; Cancel keeps the program running.
void MainWindow::exitCommand()
{
    app_->whenReplacing([this] {
        leaving_ = true;
        link().endTransfer(EndReason::Completed);
        // Pending events run first; the close then follows from the event loop, not from here.
        QTimer::singleShot(0, this, &QWidget::close);
    }, ClosingQuestion);
}

// Toolbar "Close File" (and File > New and Close): the defaults replace the set-up held.
void MainWindow::closeFileCommand()
{
    app_->whenReplacing([this] { app_->newSetup(); });
}

QString MainWindow::helpFile()
{
    return findHelpFile(QCoreApplication::applicationDirPath());
}

void MainWindow::helpContents()
{
    openUrl_(QUrl::fromLocalFile(helpFile()));
}

// The folder of the frame log and the trace file, in the desktop's file manager.
void MainWindow::openLogFolder()
{
    const QString folder = QFileInfo(FrameLog::pathNextTo(session_->trace().path())).absolutePath();
    QDir().mkpath(folder); // before the first connection it may not be there yet
    if (!openUrl_(QUrl::fromLocalFile(folder)))
        ui_.tell(QStringLiteral("The log folder %1 could not be shown: no file manager answered.")
                     .arg(QDir::toNativeSeparators(folder)),
                 MessageSeverity::Warning);
}

void MainWindow::helpAbout()
{
    if (!about_)
        about_ = new AboutDialog(ui_, this);
    about_->setAttribute(Qt::WA_DeleteOnClose);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void MainWindow::portAssignment()
{
    if (!assignment_) {
        assignment_ = new PortAssignmentDialog(*catalogue_, doctor_, store_, this);
        assignment_->setAttribute(Qt::WA_DeleteOnClose);
        // The Com items follow the new assignment: each is offered when its device opens.
        connect(assignment_, &QDialog::accepted, this, &MainWindow::probePortsWhenClosed);
    }
    assignment_->open();
    assignment_->raise();
    assignment_->activateWindow();
}

// ---- parts ---------------------------------------------------------------------------------

QAction* MainWindow::toolbarButton(int number) const
{
    return number >= 1 && number <= 12 ? buttons_[number] : nullptr;
}

QAction* MainWindow::menuItem(const QString& name) const
{
    return findChild<QAction*>(name);
}

QLabel* MainWindow::statusPanel(int panel) const
{
    return panel >= 1 && panel <= 3 ? panels_[panel] : nullptr;
}

SettingsWindow* MainWindow::settingsWindow(const QString& key) const
{
    const Window* w = window(key);
    return w ? w->form.data() : nullptr;
}

QMdiSubWindow* MainWindow::settingsSubWindow(const QString& key) const
{
    const Window* w = window(key);
    return w ? w->sub.data() : nullptr;
}

ControlSettingsWindow* MainWindow::controlSettings() const
{
    return qobject_cast<ControlSettingsWindow*>(settingsWindow(QStringLiteral("Controls")));
}

// ---- Get and Send as whole operations -------------------------------------------------------

void MainWindow::startOperation(bool send)
{
    comparingWithCard_ = false;
    holdOperationMessages();
    // The operation this one replaces ends without telling.
    if (getting_)
        endGet(false);
    if (!send) {
        getting_ = true;
        app_->getStarted();
    }
    if (ProgressDialog* dialog = progressDialog(true)) {
        QStringList stages;
        for (OperationStage stage : operationStages(send, session_->options(send)))
            stages << operationStageText(stage, send);
        dialog->beginOperation(stages);
    }
    ports_->probeChosenPort();
    send ? session_->send() : session_->get();
}

void MainWindow::operationFinished(const OperationResult& result)
{
    answerOperation(session_->operation().backupPath(), comparingWithCard_);
    if (ProgressDialog* dialog = progressDialog(false)) {
        dialog->endOperation();
        dialog->hide();
    }
    if (getting_)
        endGet(result.succeeded);
    if (std::exchange(comparingWithCard_, false) && result.succeeded) {
        // "Card 4B58343031", as its backups name it.
        const QByteArray serial = session_->link().state().cardSerial;
        showComparison(serial.size() == 5 ? QStringLiteral("Card ") + QString::fromLatin1(serial.toHex().toUpper())
                                          : QStringLiteral("the card"),
                       comparedSetupOfImage(session_->operation().receivedImage(), held_.fields.values()));
    }
}

void MainWindow::showCounters()
{
    if (ProgressDialog* dialog = progressDialog(false); dialog && dialog->inOperation())
        dialog->setCounters(countersText(session_->operationCounters())); // not reset per connection
}

// The bar follows the frame that carries the image: the host's when it sends one, the card's
// from the host's request for it.
void MainWindow::followImageFrame(int command, int baud)
{
    ProgressDialog* dialog = progressDialog(false);
    if (!dialog || !dialog->inOperation())
        return;
    const int frameBytes = int(held_.setupImage.size()) + 10; // STX, header, command, CRC, ETX
    if (command == host::SetupData || command == host::GetRequest)
        dialog->followFrame(frameBytes, baud);
}

void MainWindow::sendCommand() { startOperation(true); }

// A Get replaces the set-up held: a modified one is saved first if the operator wants.
void MainWindow::getCommand()
{
    app_->whenReplacing([this] {
        if (!closed_)
            startOperation(false);
    });
}

// A Get that succeeded has replaced the set-up: one undo step, and the set-up counts as got.
void MainWindow::endGet(bool replaced)
{
    getting_ = false;
    app_->getEnded(replaced);
}

// An operation's messages make one answer when it has ended. The last operation's answer, if it
// still waits for its turn, is shown first: the two never mix.
void MainWindow::holdOperationMessages()
{
    if (answer_->isActive()) {
        answer_->stop();
        answer_->onTimeout();
    }
    ui_.holdMessages();
}

// The operation's answer shows once what its end still tells in the same turn (a Cancel's word on
// a set-up that may have arrived after all) is in.
void MainWindow::answerOperation(const QString& backupPath, bool comparison)
{
    const QString backup = backupPath.isEmpty()
        ? QString()
        : QStringLiteral("Backup of the card's set-up: ") + QDir::toNativeSeparators(backupPath);
    // A Compare's answer is its window: only what went wrong is told besides.
    const MessageSeverity quiet = comparison ? MessageSeverity::Information : MessageSeverity::None;
    answer_->onTimeout = [this, backup, quiet] {
        if (!closed_)
            ui_.releaseMessages(backup, quiet);
    };
    answer_->start(0);
}

bool MainWindow::operationRunning() const { return session_ && session_->operation().running(); }

void MainWindow::operationStage(OperationStage stage, bool done)
{
    ProgressDialog* dialog = progressDialog(false);
    if (!dialog || !dialog->inOperation())
        return;
    const int index = int(session_->operation().stages().indexOf(stage));
    if (index < 0)
        return;
    if (done) {
        dialog->completeStage(index);
        return;
    }
    // How long the card takes to write its flash nobody can tell: the bar is busy meanwhile.
    dialog->startStage(index, stage == OperationStage::WritingToFlash);
}

ProgressDialog* MainWindow::progressDialog(bool create)
{
    if (!progress_ && create && !closed_) {
        progress_ = new ProgressDialog(this);
        connect(progress_, &ProgressDialog::cancelClicked, this, [this] {
            session_->cancel();
            ui_.focusMainWindow();
        });
    }
    return progress_;
}

// ---- size and shut-down --------------------------------------------------------------------

QSize MainWindow::stripSize() const
{
    const int height = qRound(StripToolbarHeights * toolbar_->sizeHint().height());
    // Never lower than the menu bar, toolbar and status bar need.
    return QSize(StripWidth, std::max(height, minimumSizeHint().height()));
}

void MainWindow::applySizeRule()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    if (size() != stripSize())
        resize(stripSize());
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    applySizeRule();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        applySizeRule();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closed by its title bar or the window manager: a modified set-up is asked about, as Exit
    // asks. The answer closes the window again, from the event loop (Qt ignores a close from
    // inside its own close).
    if (!closed_ && !leaving_ && app_->modified()) {
        event->ignore();
        app_->whenReplacing([this] {
            leaving_ = true;
            QTimer::singleShot(0, this, &QWidget::close);
        }, ClosingQuestion);
        return;
    }
    event->accept();
    if (closed_)
        return;
    closed_ = true;
    comparingWithCard_ = false;
    answer_->stop();
    ui_.dropHeldMessages();
    session_->shutdown();
    destroyWindows();
    Q_EMIT shutDown();
}

void MainWindow::closeOnStopSignals()
{
    if (!stopSignals_) // one at a time: a second would take the first one's handlers for the system's
        stopSignals_ = std::make_unique<StopSignals>([this](int) { closeWithoutAsking(); });
}

void MainWindow::destroyWindows()
{
    delete about_.data();
    delete compare_.data();
    delete assignment_.data();
    delete backupChooser_.data();
    for (const char* key : {"Audio", "Colors", "Controls"})
        delete settingsSubWindow(QString::fromLatin1(key));
    delete progress_.data();
    for (const char* key : {"SourceId", "Windows"})
        delete settingsSubWindow(QString::fromLatin1(key));
}

} // namespace quillon
