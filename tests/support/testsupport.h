// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers the test suites share.

#include <QByteArray>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace testsupport {

// Keeps a run's settings and files (backups, traces) apart from the user's. Linux: in dir, by
// the XDG variables, before anything reads them. Windows: in Qt's test-mode folders, emptied
// first; the settings are in the registry of the throw-away Wine prefix the tests run in.
inline void useOwnUserFolders(const QTemporaryDir& dir)
{
#ifdef Q_OS_WIN
    (void)dir;
    QStandardPaths::setTestModeEnabled(true);
    for (auto location : {QStandardPaths::GenericDataLocation, QStandardPaths::GenericConfigLocation})
        QDir(QStandardPaths::writableLocation(location)).removeRecursively();
#else
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit()); // the backups' default home
#endif
}

// A file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A text file's contents with its line ends as "\n" (Windows writes "\r\n"); empty when it
// cannot be read.
inline QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll()) : QString();
}

inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

// Runs the event loop until done() holds or limitMs has passed; true when it held.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 2000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

#ifdef Q_OS_UNIX
// A pseudo-terminal whose slave side stands in for a serial device; the master stays open.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master_));
    }
    ~PseudoTerminal()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    QString slave; // empty when none could be made
private:
    int master_ = -1;
};
#endif

} // namespace testsupport
