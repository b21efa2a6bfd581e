// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "mainwindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // --help and --version answer before Qt looks for a display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    if (const std::optional<QString> answer = quillon::earlyAnswer(args)) {
        std::fputs(answer->toLocal8Bit().constData(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(QUILLON_APP_ID)); // its menu entry and icon
    QApplication::setQuitOnLastWindowClosed(false); // the main window's shut-down ends the run

    quillon::MainWindow window;
    QObject::connect(&window, &quillon::MainWindow::shutDown, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // A logout or Ctrl+C ends the program as closing its window does, without a question that
    // nobody may be there to answer.
    window.closeOnStopSignals();
    window.show();
    // "quillon Studio.kxd": the set-up file to start with (Qt's own options are taken out).
    QStringList files = QCoreApplication::arguments().mid(1);
    files.removeIf([](const QString& arg) { return arg.startsWith(u'-'); });
    window.openFromCommandLine(files);
    return app.exec();
}
