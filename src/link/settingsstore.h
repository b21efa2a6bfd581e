// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace quillon {

// The per-user settings store shared by every executable of the product: QSettings for
// organisation and application "Quillon" ($XDG_CONFIG_HOME/Quillon/Quillon.conf on Linux).
// Key names are compared without regard to letter case, as the program has always expected:
// reading "load" finds a value stored as "Load".
class SettingsStore {
public:
    QString value(const QString& section, const QString& key, const QString& fallback = {}) const;
    bool contains(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);

    // The device port 1..4 stands for: section "Ports", keys "Com1".."Com4"; defaults
    // "COM1".."COM4" on Windows, "/dev/ttyS0".."/dev/ttyS3" on Linux.
    QString portDevice(int port) const;
};

} // namespace quillon
