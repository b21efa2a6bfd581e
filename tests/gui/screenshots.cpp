// Draws the main window and each settings window into PNG files for the README:
//   quillon-screenshots OUTPUT_FOLDER
// It uses a settings store of its own whose ports name no device, so it touches no serial port.

#include "app/gui/mdiform1.h"
#include "forms/settingsform.h"
#include "link/settingsstore.h"

#include <QApplication>
#include <QDir>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QToolBar>

namespace {

bool save(QWidget* widget, const QDir& folder, const QString& name)
{
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    if (!widget->grab().save(path)) {
        QTextStream(stderr) << "could not write " << path << "\n";
        return false;
    }
    QTextStream(stdout) << path << "\n";
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: quillon-screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path()))
        return 1;
    quillon::SettingsStore store;
    for (int port = 1; port <= 4; ++port)
        store.setValue("Ports", QStringLiteral("Com%1").arg(port), config.filePath(QStringLiteral("none%1").arg(port)));

    quillon::ShellServices services;
    services.messages = [](const QString&, const QString&) {};
    quillon::MDIForm1 window(services);
    window.show();
    bool ok = save(&window, folder, QStringLiteral("main-window.png"));

    const std::vector<std::pair<int, QString>> shows{
        {8, "audio.png"}, {9, "source-id.png"}, {10, "windows.png"}, {11, "colors.png"}, {12, "controls.png"}};
    const char* keys[] = {"Audio", "AVM", "Win", "Colors", "Controls"};
    for (const auto& [button, name] : shows) {
        window.toolbarButtonClicked(button);
        // Without a window manager a maximised window keeps its size: give it the room the
        // settings window asks for.
        const QSize form = window.settingsForm(QString::fromLatin1(keys[button - 8]))->sizeHint();
        const int bars = window.menuBar()->sizeHint().height() + window.toolbar()->sizeHint().height()
                         + window.statusBar()->sizeHint().height();
        window.resize(std::max(form.width() + 8, 427), form.height() + bars + 8);
        ok = save(&window, folder, name) && ok;
    }

    window.helpAbout();
    ok = save(window.aboutBox(), folder, QStringLiteral("about.png")) && ok;
    window.close();
    return ok ? 0 : 1;
}
