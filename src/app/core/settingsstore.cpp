// SPDX-License-Identifier: GPL-3.0-or-later
#include "settingsstore.h"

#include <QSettings>
#include <QStandardPaths>
#include <memory>

namespace quillon {

namespace {

const QString File = QStringLiteral("File");
const QString Ports = QStringLiteral("Ports");
const QString Trace = QStringLiteral("Trace");
const QString Transfer = QStringLiteral("Transfer");
const QString Backups = QStringLiteral("Backups");
const QString Recent = QStringLiteral("RecentFiles");
constexpr int DefaultKeepDays = 365;
constexpr int RecentLimit = 4;

QString dataFolder() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); }

// The stored spelling of key in the current group: the key itself when present, else the
// first key that differs only in letter case; empty when there is none.
QString storedKey(const QSettings& settings, const QString& key)
{
    if (settings.contains(key))
        return key;
    const QStringList keys = settings.childKeys();
    for (const QString& k : keys) {
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return k;
    }
    return {};
}

QString flag(bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); }

} // namespace

SettingsStore::SettingsStore(QString path) : path_(std::move(path)) {}

// Opened afresh for each access, so that every program and window sees the others' changes.
static std::unique_ptr<QSettings> open(const QString& path, const QString& section)
{
    auto settings = path.isEmpty()
        ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                                      QStringLiteral("Quillon"))
        : std::make_unique<QSettings>(path, QSettings::IniFormat);
    settings->beginGroup(section);
    return settings;
}

QString SettingsStore::value(const QString& section, const QString& key, const QString& fallback) const
{
    const auto settings = open(path_, section);
    const QString stored = storedKey(*settings, key);
    return stored.isEmpty() ? fallback : settings->value(stored).toString();
}

bool SettingsStore::contains(const QString& section, const QString& key) const
{
    return !storedKey(*open(path_, section), key).isEmpty();
}

void SettingsStore::setValue(const QString& section, const QString& key, const QString& value)
{
    const auto settings = open(path_, section);
    // One value per key whatever its letter case: drop the other spellings first.
    for (QString stored = storedKey(*settings, key); !stored.isEmpty(); stored = storedKey(*settings, key))
        settings->remove(stored);
    settings->setValue(key, value);
}

QString SettingsStore::lastFolder() const { return value(File, QStringLiteral("load"), QStringLiteral("C:\\windows")); }
void SettingsStore::setLastFolder(const QString& folder) { setValue(File, QStringLiteral("load"), folder); }
QString SettingsStore::chosenPort() const { return value(File, QStringLiteral("Comm"), QStringLiteral("1")); }
void SettingsStore::setChosenPort(int port) { setValue(File, QStringLiteral("Comm"), QString::number(port)); }
QString SettingsStore::speed() const { return value(File, QStringLiteral("Speed"), QStringLiteral("1")); }
void SettingsStore::setSpeed(bool turbo) { setValue(File, QStringLiteral("Speed"), turbo ? QStringLiteral("1") : QStringLiteral("0")); }

QString SettingsStore::portDevice(int port) const
{
    if (port < 1 || port > 4)
        return {};
#if defined(Q_OS_WIN)
    const QString fallback = QStringLiteral("COM%1").arg(port);
#elif defined(Q_OS_MACOS)
    const QString fallback = QStringLiteral("/dev/cu.serial%1").arg(port);
#else
    const QString fallback = QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
    return value(Ports, QStringLiteral("Com%1").arg(port), fallback);
}

bool SettingsStore::portAssigned(int port) const { return contains(Ports, QStringLiteral("Com%1").arg(port)); }
void SettingsStore::setPortDevice(int port, const QString& device) { setValue(Ports, QStringLiteral("Com%1").arg(port), device); }

QString SettingsStore::tracePath() const
{
    const QString configured = value(Trace, QStringLiteral("Path"));
    if (!configured.isEmpty())
        return configured;
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Out.bin");
#else
    return dataFolder() + QStringLiteral("/Quillon/Out.bin");
#endif
}

bool SettingsStore::frameLog() const { return value(Trace, QStringLiteral("FrameLog")).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0; }
void SettingsStore::setFrameLog(bool on) { setValue(Trace, QStringLiteral("FrameLog"), flag(on)); }

// Only an explicit "false" turns an option off: a missing or garbled value keeps the safety net.
bool SettingsStore::backupBeforeSend() const { return value(Transfer, QStringLiteral("BackupBeforeSend")).trimmed().compare(QLatin1String("false"), Qt::CaseInsensitive) != 0; }
void SettingsStore::setBackupBeforeSend(bool on) { setValue(Transfer, QStringLiteral("BackupBeforeSend"), flag(on)); }
bool SettingsStore::verifyAfterSend() const { return value(Transfer, QStringLiteral("VerifyAfterSend")).trimmed().compare(QLatin1String("false"), Qt::CaseInsensitive) != 0; }
void SettingsStore::setVerifyAfterSend(bool on) { setValue(Transfer, QStringLiteral("VerifyAfterSend"), flag(on)); }

QString defaultBackupFolder() { return dataFolder() + QStringLiteral("/Quillon/backups"); }

QString SettingsStore::backupFolder() const
{
    const QString folder = value(Backups, QStringLiteral("Folder")).trimmed();
    return folder.isEmpty() ? defaultBackupFolder() : folder;
}

int SettingsStore::backupKeepDays() const
{
    bool ok = false;
    const int days = value(Backups, QStringLiteral("KeepDays")).trimmed().toInt(&ok);
    return ok && days >= 0 ? days : DefaultKeepDays;
}

QStringList SettingsStore::recentFiles() const
{
    QStringList files;
    for (int i = 1; i <= RecentLimit; ++i) {
        const QString path = value(Recent, QStringLiteral("File%1").arg(i));
        if (!path.isEmpty() && !files.contains(path))
            files << path;
    }
    return files;
}

void SettingsStore::setRecentFiles(const QStringList& files)
{
    for (int i = 1; i <= RecentLimit; ++i)
        setValue(Recent, QStringLiteral("File%1").arg(i), files.value(i - 1));
}

} // namespace quillon
