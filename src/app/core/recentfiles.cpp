// SPDX-License-Identifier: GPL-3.0-or-later
#include "recentfiles.h"

#include "../../link/settingsstore.h"

#include <QFileInfo>

namespace quillon {

namespace {
const QString Section = QStringLiteral("RecentFiles");

QString keyOf(int index)
{
    return QStringLiteral("File%1").arg(index + 1);
}

QString fullPath(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}
} // namespace

QStringList RecentFiles::files() const
{
    QStringList files;
    for (int i = 0; i < Limit; ++i) {
        const QString path = store_.value(Section, keyOf(i));
        if (!path.isEmpty() && !files.contains(path))
            files << path;
    }
    return files;
}

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

void RecentFiles::store(const QStringList& files)
{
    for (int i = 0; i < Limit; ++i)
        store_.setValue(Section, keyOf(i), files.value(i));
}

} // namespace quillon
