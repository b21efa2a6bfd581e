// SPDX-License-Identifier: GPL-3.0-or-later
// The inventory's file: read bounded, written whole or not at all.

#include "inventory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillon {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

// What a path names when that is neither a regular file nor nothing: opening a device or a
// pipe could block, and reading one might never end.
QString otherThanAFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    return info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a device, pipe or socket");
}

QString cannotRead(const QString& path, const QString& why)
{
    return QStringLiteral("Could not read the card inventory \"%1\": %2.").arg(native(path), why);
}

QString cannotWrite(const QString& path, const QString& why)
{
    return QStringLiteral("Could not write the card inventory \"%1\": %2. The file was left as it was.").arg(native(path), why);
}

} // namespace

QString defaultInventoryPath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Quillon/cards.ini"));
}

InventoryFile readInventory(const QString& path)
{
    InventoryFile result;
    result.path = path;
    const QFileInfo info(path);
    result.exists = info.exists();
    if (!result.exists)
        return result;
    if (const QString other = otherThanAFile(path); !other.isEmpty()) {
        result.error = cannotRead(path, QStringLiteral("it is %1, not a regular file").arg(other));
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = cannotRead(path, file.errorString());
        return result;
    }
    const QByteArray text = file.read(Inventory::MaxBytes + 1);
    if (text.size() > Inventory::MaxBytes) {
        result.error = cannotRead(path, QStringLiteral("it is larger than %1 KiB, and an inventory of a "
                                                       "thousand cards takes about 200 KiB")
                                            .arg(Inventory::MaxBytes / 1024));
        return result;
    }
    if (file.error() != QFileDevice::NoError) {
        result.error = cannotRead(path, file.errorString());
        return result;
    }
    result.inventory = Inventory::parse(text);
    return result;
}

QString writeInventory(const QString& path, const Inventory& inventory)
{
    // The file may be a link into a repository: write where it points, keep the link.
    const QFileInfo link(path);
    const QString target = link.isSymLink() ? link.canonicalFilePath() : path;
    if (target.isEmpty())
        return cannotWrite(path, QStringLiteral("it is a link to a file that does not exist"));
    if (const QString other = otherThanAFile(target); !other.isEmpty())
        return cannotWrite(path, QStringLiteral("it is %1, not a regular file").arg(other));
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        return cannotWrite(path, QStringLiteral("the folder \"%1\" could not be made").arg(native(folder)));
    const QByteArray text = inventory.text();
    QSaveFile file(target);
    // Unbuffered, so that a short write (a full disk) shows in write()'s count.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return cannotWrite(path, file.errorString());
    const qint64 written = file.write(text);
    if (written != text.size()) {
        const QString why = written < 0 ? file.errorString()
                                        : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                                              .arg(QString::number(written), QString::number(text.size()));
        file.cancelWriting();
        return cannotWrite(path, why);
    }
    if (!file.commit())
        return cannotWrite(path, file.errorString());
    return {};
}

QString referencePath(const InventoryCard& card, const QString& inventoryPath)
{
    if (card.reference.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(inventoryPath).absoluteDir().absoluteFilePath(card.reference));
}

} // namespace quillon
