// SPDX-License-Identifier: GPL-3.0-or-later
#include "settingsstore.h"

#include <QSettings>
#include <QStringList>

namespace quillon {

namespace {

QSettings openStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                     QStringLiteral("Quillon"));
}

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

} // namespace

QString SettingsStore::value(const QString& section, const QString& key, const QString& fallback) const
{
    QSettings settings = openStore();
    settings.beginGroup(section);
    const QString stored = storedKey(settings, key);
    return stored.isEmpty() ? fallback : settings.value(stored).toString();
}

bool SettingsStore::contains(const QString& section, const QString& key) const
{
    QSettings settings = openStore();
    settings.beginGroup(section);
    return !storedKey(settings, key).isEmpty();
}

void SettingsStore::setValue(const QString& section, const QString& key, const QString& value)
{
    QSettings settings = openStore();
    settings.beginGroup(section);
    // One value per key whatever its letter case: drop the other spellings first.
    for (QString stored = storedKey(settings, key); !stored.isEmpty(); stored = storedKey(settings, key))
        settings.remove(stored);
    settings.setValue(key, value);
}

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
    return value(QStringLiteral("Ports"), QStringLiteral("Com%1").arg(port), fallback);
}

} // namespace quillon
