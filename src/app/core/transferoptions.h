// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace quillon {

class SettingsStore;

// The Options menu's safety net for a Send, remembered in section "Transfer" as true or false.
// Both are on unless turned off.
struct TransferOptions {
    bool backupBeforeSend = true; // "BackupBeforeSend": read the card and keep a backup first
    bool verifyAfterSend = true;  // "VerifyAfterSend": read the set-up back and compare
};

TransferOptions transferOptions(const SettingsStore& store);
void setBackupBeforeSend(SettingsStore& store, bool on);
void setVerifyAfterSend(SettingsStore& store, bool on);

} // namespace quillon
