// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../link/portselection.h"

#include <QString>
#include <QStringList>

namespace quillon {

// The per-user settings shared by every program of the product, a typed accessor for each key.
// Made without a path it is the user's own store (QSettings for organisation and application
// "Quillon": $XDG_CONFIG_HOME/Quillon/Quillon.conf on Linux, the registry on Windows); made on
// a path, that INI file alone (tests, tools). Key names are compared without regard to letter
// case, as the program has always expected: reading "load" finds a value stored as "Load".
class SettingsStore : public ComPortNames {
public:
    explicit SettingsStore(QString path = {});

    // [File] "load": the folder of the last set-up file; "C:\windows" before there is one.
    QString lastFolder() const;
    void setLastFolder(const QString& folder);
    // [File] "Comm": the Options menu's port as stored ("1" when none); "Speed" likewise.
    QString chosenPort() const;
    void setChosenPort(int port);
    QString speed() const;
    void setSpeed(bool turbo); // "1" Turbo, "0" Snail Slow

    // [Ports] "Com1".."Com4": the device port 1..4 stands for; "COM1".."COM4" on Windows,
    // "/dev/ttyS0".."/dev/ttyS3" on Linux unless assigned.
    QString portDevice(int port) const override;
    bool portAssigned(int port) const;
    void setPortDevice(int port, const QString& device);

    // [Trace] "Path": the trace file, else "C:\Out.bin" on Windows and "Out.bin" in the per-user
    // data folder elsewhere; "FrameLog": whether frames.log is written next to it.
    QString tracePath() const;
    bool frameLog() const;
    void setFrameLog(bool on);

    // [Transfer] "BackupBeforeSend", "VerifyAfterSend": the Send's safety net, on unless turned
    // off (only an explicit "false" turns it off).
    bool backupBeforeSend() const;
    void setBackupBeforeSend(bool on);
    bool verifyAfterSend() const;
    void setVerifyAfterSend(bool on);

    // [Backups] "Folder": where backups go, else "Quillon/backups" under the per-user data
    // folder; "KeepDays": a whole number of days, 0 or more, else 365.
    QString backupFolder() const;
    int backupKeepDays() const;

    // [RecentFiles] "File1".."File4": full paths, newest first.
    QStringList recentFiles() const;
    void setRecentFiles(const QStringList& files);

    // Any key as text, for tests and tools that must store what the accessors never would.
    QString value(const QString& section, const QString& key, const QString& fallback = {}) const;
    bool contains(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);

private:
    QString path_;
};

// "Quillon/backups" under the per-user data folder.
QString defaultBackupFolder();

} // namespace quillon
