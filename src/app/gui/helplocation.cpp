// SPDX-License-Identifier: GPL-3.0-or-later
#include "helplocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace quillon {

QString findHelpFile(const QString& programDir)
{
    const QString name = QStringLiteral("QuillonHelp.html");
    const QDir bin(programDir);
    const QStringList candidates{
        bin.filePath(QStringLiteral("../share/quillon/help/") + name),
        bin.filePath(QStringLiteral("help/") + name),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate))
            return QFileInfo(candidate).canonicalFilePath();
    }
    return QDir::cleanPath(candidates.front());
}

} // namespace quillon
