// SPDX-License-Identifier: GPL-3.0-or-later
#include "transferoptions.h"

#include "../../link/settingsstore.h"

namespace quillon {

namespace {

const QString Section = QStringLiteral("Transfer");
const QString BackupKey = QStringLiteral("BackupBeforeSend");
const QString VerifyKey = QStringLiteral("VerifyAfterSend");

// Only an explicit "false" turns an option off: a missing or garbled value keeps the safety net.
bool readOption(const SettingsStore& store, const QString& key)
{
    return store.value(Section, key).trimmed().compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
}

void writeOption(SettingsStore& store, const QString& key, bool on)
{
    store.setValue(Section, key, on ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace

TransferOptions transferOptions(const SettingsStore& store)
{
    return {readOption(store, BackupKey), readOption(store, VerifyKey)};
}

void setBackupBeforeSend(SettingsStore& store, bool on) { writeOption(store, BackupKey, on); }
void setVerifyAfterSend(SettingsStore& store, bool on) { writeOption(store, VerifyKey, on); }

} // namespace quillon
