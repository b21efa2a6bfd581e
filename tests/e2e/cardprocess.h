// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/testsupport.h"

// kx40-sim and quillon-cli as child processes, each test in a folder of its own.

#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QCoreApplication>

namespace e2e {

using testsupport::waitFor;

// A test's own folder, also its settings folder.
class Workspace {
public:
    QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        return env;
    }

private:
    QTemporaryDir dir_;
};

// A simulated card on a pseudo-terminal; the device path is ready once started() returns true.
class SimulatedCardProcess {
public:
    // name: the device's link in the workspace.
    explicit SimulatedCardProcess(const Workspace& ws, const QString& name = QStringLiteral("kx40"))
        : device(ws.path(name))
    {
        process_.setProcessEnvironment(ws.environment());
        process_.setProcessChannelMode(QProcess::MergedChannels); // --verbose logs on stderr
    }
    ~SimulatedCardProcess() { stop(); }

    bool start(const QStringList& options)
    {
        launch(options);
        return ready();
    }
    // start() in two steps, so that many cards start at once.
    void launch(const QStringList& options)
    {
        process_.start(QStringLiteral(KX40_SIM_PATH), QStringList{QStringLiteral("--link"), device} + options);
    }
    bool ready()
    {
        return waitFor([this] {
            collect();
            return lines_.contains(device) || process_.state() == QProcess::NotRunning;
        }, 15000) && lines_.contains(device);
    }
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(1000);
    }
    // What it printed on stdout so far, a line an entry.
    QStringList lines()
    {
        collect();
        return lines_;
    }
    bool said(const QString& line, int limitMs = 10000)
    {
        return waitFor([&] { return lines().contains(line); }, limitMs);
    }
    int exitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }

    const QString device;

private:
    void collect()
    {
        pending_ += process_.readAllStandardOutput();
        for (qsizetype end; (end = pending_.indexOf('\n')) >= 0; pending_.remove(0, end + 1))
            lines_ << QString::fromLocal8Bit(pending_.left(end));
    }

    QProcess process_;
    QByteArray pending_;
    QStringList lines_;
};

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs quillon-cli to its end (the event loop keeps turning, for an in-process card).
inline CliResult runCli(const Workspace& ws, const QStringList& args, int limitMs = 30000)
{
    QProcess cli;
    cli.setProcessEnvironment(ws.environment());
    cli.start(QStringLiteral(QUILLON_CLI_PATH), args);
    waitFor([&] { return cli.state() == QProcess::NotRunning; }, limitMs);
    if (cli.state() != QProcess::NotRunning) {
        cli.kill();
        cli.waitForFinished(1000);
        return {-1, {}, QStringLiteral("quillon-cli did not finish")};
    }
    return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
            QString::fromLocal8Bit(cli.readAllStandardOutput()), QString::fromLocal8Bit(cli.readAllStandardError())};
}

} // namespace e2e
