// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

class SettingsStore;

// The set-up files last opened or saved, newest first, at most four; kept in the settings store
// under [RecentFiles] File1..File4 as full paths.
class RecentFiles {
public:
    static constexpr int Limit = 4;

    explicit RecentFiles(SettingsStore& store) : store_(store) {}

    QStringList files() const;
    void add(const QString& path);    // to the top; an older entry of the same file goes
    void remove(const QString& path);

private:
    void store(const QStringList& files);

    SettingsStore& store_;
};

} // namespace quillon
