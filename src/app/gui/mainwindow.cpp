#include "mainwindow.h"

#include "forms/audiosettingswindow.h"
#include "forms/coloursettingswindow.h"
#include "forms/controlsettingswindow.h"
#include "forms/progressdialog.h"
#include "forms/sourceidsettingswindow.h"
#include "forms/onscreensettingswindow.h"
#include "aboutdialog.h"
#include "helplocation.h"
#include "link/cardlink.h"
#include "link/portmanager.h"
#include "link/qtlinkclock.h"
#include "link/qtserialcontrol.h"
#include "link/tracefile.h"
#include "qtfiledialogs.h"
#include "setup/setupimage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProxyStyle>
#include <QScopedValueRollback>
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
constexpr int PanelTwips = 2000;

struct ButtonInfo {
    int number;
    const char* key; // nullptr: separator
    const char* tooltip;
};
constexpr std::array<ButtonInfo, 12> Buttons{{
    {1, "open", "Open File"},
    {2, "close", "Close File"},
    {3, "save", "Save File"},
    {4, nullptr, nullptr},
    {5, "send", "Send Card Set-up"},
    {6, "get", "Get Card Set-up"},
    {7, nullptr, nullptr},
    {8, "audio", "Audio Set-up"},
    {9, "sid", "SID Set-up"},
    {10, "windows", "Windows Set-up"},
    {11, "colors", "Color Set-up"},
    {12, "controls", "GPI Set-up"},
}};

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

} // namespace

MainWindow::MainWindow(ShellServices services)
    : ownSerial_(services.serial ? nullptr : std::make_unique<QtSerialControl>(store_)),
      ownClock_(services.clock ? nullptr : std::make_unique<QtLinkClock>()),
      serial_(services.serial ? services.serial : ownSerial_.get()),
      clock_(services.clock ? services.clock : ownClock_.get()),
      openUrl_(services.openUrl ? services.openUrl
                                : [](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      ports_(std::make_unique<PortManager>(*serial_, store_)),
      trace_(std::make_unique<TraceFile>(TraceFile::defaultPath(store_))),
      ui_(*this, services.messages ? services.messages
                                   : [this](const QString& text, const QString& detail) {
                                         showMessageBox(this, text, detail);
                                     }),
      link_(std::make_unique<CardLink>(*serial_, *clock_, *ports_, held_, ui_, *trace_)),
      app_(std::make_unique<AppState>(held_, ui_, store_)),
      subWindowStyle_(std::make_unique<SubWindowStyle>())
{
    if (!services.fileDialogs)
        ownDialogs_ = std::make_unique<QtFileDialogs>(this);
    dialogs_ = services.fileDialogs ? services.fileDialogs : ownDialogs_.get();

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

    link_->currentFileName = [this] { return app_->currentFileName(); };
    app_->beforeDefaults = [this] { hideSettingsWindows(); };
    app_->afterDefaults = [this] { maximiseSettingsWindows(); };

    createSettingsWindows();
    app_->loadDefaults();
    resetSetupImage(held_);
    ports_->onMenusChanged = [this] { refreshOptionsMenu(); };
    ports_->start();
    refreshOptionsMenu();
    qApp->installEventFilter(this);
}

// Ctrl+X and Ctrl+Z are Get and Send everywhere in the program, text boxes included, where Qt
// would otherwise take them for cut and undo.
bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool ours = widget && widget->window() == this;
        for (const char* name : {"toolsSendConfiguration", "toolsGetConfiguration"}) {
            if (ours && menuItem(QString::fromLatin1(name))->shortcut() == pressed) {
                event->ignore();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    // The link stops first (it may still report to the windows), then the windows go while
    // the set-up they show still exists.
    if (!closed_)
        link_->shutdown();
    closed_ = true;
    destroyWindows();
    link_.reset();
}

// ---- building ------------------------------------------------------------------------------

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
    auto notOffered = [](QAction* item) {
        item->setEnabled(false);
        return item;
    };

    QMenu* file = menu("fileMenu", QStringLiteral("File"));
    connect(notOffered(addItem(file, "fileNew", QStringLiteral("New"), QKeySequence(Qt::CTRL | Qt::Key_N))),
            &QAction::triggered, this, [this] { app_->newSetup(); });
    connect(addItem(file, "fileOpen", QStringLiteral("Open"), QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, [this] { app_->openFileFromDisk(*dialogs_); });
    connect(addItem(file, "fileSave", QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S)),
            &QAction::triggered, this, [this] { app_->saveFileToDisk(*dialogs_); });
    connect(notOffered(addItem(file, "fileClose", QStringLiteral("Close"), QKeySequence(Qt::CTRL | Qt::Key_C))),
            &QAction::triggered, this, [this] { app_->newSetup(); });
    connect(addItem(file, "fileExit", QStringLiteral("Exit"), QKeySequence(Qt::Key_F3)),
            &QAction::triggered, this, &MainWindow::exitCommand);

    QMenu* edit = menu("editMenu", QStringLiteral("Edit"));
    notOffered(edit->menuAction());
    connect(notOffered(addItem(edit, "editResetConfiguration", QStringLiteral("Reset Configuration"))),
            &QAction::triggered, this, [this] { app_->resetConfiguration(); });

    QMenu* tools = menu("toolsMenu", QStringLiteral("Tools"));
    connect(addItem(tools, "toolsSendConfiguration", QStringLiteral("Send Configuration"), QKeySequence(Qt::CTRL | Qt::Key_Z)),
            &QAction::triggered, this, [this] { link_->sendConfiguration(); });
    connect(addItem(tools, "toolsGetConfiguration", QStringLiteral("Get Configuration"), QKeySequence(Qt::CTRL | Qt::Key_X)),
            &QAction::triggered, this, [this] { link_->getConfiguration(); });

    QMenu* options = menu("optionsMenu", QStringLiteral("Options"));
    options->setToolTipsVisible(true);
    for (int port = 1; port <= 4; ++port) {
        const QByteArray name = "optionsCom" + QByteArray::number(port);
        QAction* item = addItem(options, name.constData(), QStringLiteral("Com%1").arg(port));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, port] {
            ports_->clickComItem(port);
            refreshOptionsMenu();
        });
    }
    QMenu* speed = options->addMenu(QStringLiteral("Speed"));
    speed->setObjectName(QStringLiteral("speedMenu"));
    speed->menuAction()->setObjectName(QStringLiteral("speedMenu"));
    QAction* slow = addItem(speed, "speedSnailSlow", QStringLiteral("Snail Slow"));
    QAction* turbo = addItem(speed, "speedTurbo", QStringLiteral("Turbo"));
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

    QMenu* setup = menu("setupMenu", QStringLiteral("Set-up"));
    notOffered(setup->menuAction());
    const std::array<std::pair<const char*, const char*>, 5> setupItems{{
        {"setupAudio", "Audio"}, {"setupSourceId", "SID"}, {"setupWindows", "Windows"},
        {"setupColours", "Colors"}, {"setupControls", "Controls"}}};
    const std::array<const char*, 5> keys{"Audio", "SourceId", "Windows", "Colors", "Controls"};
    for (size_t i = 0; i < setupItems.size(); ++i) {
        QAction* item = notOffered(addItem(setup, setupItems[i].first,
                                           QString::fromLatin1(setupItems[i].second)));
        item->setCheckable(true);
        const QString key = QString::fromLatin1(keys[i]);
        connect(item, &QAction::triggered, this, [this, key] { showSettingsWindow(key); });
    }

    QMenu* help = menu("helpMenu", QStringLiteral("Help"));
    connect(addItem(help, "helpContents", QStringLiteral("Contents")), &QAction::triggered, this,
            &MainWindow::helpContents);
    connect(addItem(help, "helpAbout", QStringLiteral("About")), &QAction::triggered, this,
            &MainWindow::helpAbout);
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
            button->setToolTip(QString::fromLatin1(info.tooltip));
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

void MainWindow::addSettingsWindow(const QString& key, SettingsWindow* form)
{
    Window* entry = window(key);
    QMdiSubWindow* sub = mdi_->addSubWindow(form);
    sub->setObjectName(form->objectName() + QStringLiteral("Frame"));
    // Closing a settings window hides it: it and the set-up it shows live for the whole run.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->setWindowIcon(windowIcon());
    sub->setStyle(subWindowStyle_.get());
    sub->hide();
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
    connect(controls, &ControlSettingsWindow::openPortClicked, this, [this] { link_->openPort(); });
    connect(controls, &ControlSettingsWindow::closePortClicked, this, [this] { link_->closePort(); });
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
}

// ---- the settings windows ------------------------------------------------------------------

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
    markWindowOn(key);
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
        case 2: app_->newSetup(); break;
        case 3: app_->saveFileToDisk(*dialogs_); break;
        case 5: link_->sendConfiguration(); break;
        case 6: link_->getConfiguration(); break;
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

void MainWindow::exitCommand()
{
    link_->endTransfer(EndReason::Completed);
    // Pending events run first; the close then follows from the event loop, not from here.
    QTimer::singleShot(0, this, &QWidget::close);
}

QString MainWindow::helpFile()
{
    return findHelpFile(QCoreApplication::applicationDirPath(), QStringLiteral(QUILLON_SOURCE_DIR));
}

void MainWindow::helpContents()
{
    openUrl_(QUrl::fromLocalFile(helpFile()));
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

ProgressDialog* MainWindow::progressDialog(bool create)
{
    if (!progress_ && create && !closed_) {
        progress_ = new ProgressDialog(this);
        connect(progress_, &ProgressDialog::cancelClicked, this, [this] {
            link_->cancel();
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
    event->accept();
    if (closed_)
        return;
    closed_ = true;
    link_->shutdown();
    destroyWindows();
    Q_EMIT shutDown();
}

void MainWindow::destroyWindows()
{
    delete about_.data();
    for (const char* key : {"Audio", "Colors", "Controls"})
        delete settingsSubWindow(QString::fromLatin1(key));
    delete progress_.data();
    for (const char* key : {"SourceId", "Windows"})
        delete settingsSubWindow(QString::fromLatin1(key));
}

} // namespace quillon
