// SPDX-License-Identifier: GPL-3.0-or-later
#include "recentfiles.h"

#include "settingsstore.h"

#include <QFileInfo>

namespace quillon {

namespace {
QString fullPath(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}
} // namespace

QStringList RecentFiles::files() const { return store_.recentFiles(); }

void RecentFiles::add(const QString& path)
{
    QStringList list = files();
    list.removeAll(fullPath(path));
    list.prepend(fullPath(path));
    store(list.mid(0, Limit));
}

void RecentFiles::remove(const QString& path)
{
    QStringList list = files();
    if (list.removeAll(fullPath(path)))
        store(list);
}

void RecentFiles::store(const QStringList& files) { store_.setRecentFiles(files); }

} // namespace quillon
