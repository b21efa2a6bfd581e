// SPDX-License-Identifier: GPL-3.0-or-later
#include "backups.h"

#include "../../files/setupfiles.h"
#include "../../files/setupnames.h"
#include "../../setup/heldsetup.h"
#include "../../setup/setupimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>

namespace quillon {

namespace {

const QString TimeFormat = QStringLiteral("yyyyMMdd-HHmmss");
const QString UnknownSerial = QStringLiteral("0000000000");

QString cannotWrite(const QString& folder, const QString& cause)
{
    return QStringLiteral("The card's set-up could not be backed up in %1: %2")
        .arg(QDir::toNativeSeparators(folder), cause);
}

// The bytes a backup file holds, or the reason there are none.
std::optional<QByteArray> fileContent(const QByteArray& image, CardType kind, QString* refusal)
{
    if (kind == CardType::AVM)
        return image;
    *refusal = sidImageRefusal(image);
    if (!refusal->isEmpty())
        return std::nullopt;
    return setupText(decodeSidImage(image, defaultSetupValues()));
}

// A file holds exactly content; read no further than that, whatever the file is.
bool holdsExactly(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != content.size())
        return false;
    return file.read(content.size() + 1) == content;
}

bool newerFirst(const BackupEntry& a, const BackupEntry& b)
{
    return a.time != b.time ? a.time > b.time : a.clash > b.clash;
}

} // namespace

QString backupBaseName(CardType kind, const QByteArray& serial, const QDateTime& time)
{
    const QString serialText =
        serial.size() == 5 ? QString::fromLatin1(serial.toHex().toUpper()) : UnknownSerial;
    return QStringLiteral("%1-%2-%3").arg(cardTypeName(kind), serialText, time.toString(TimeFormat));
}

std::optional<BackupEntry> parseBackupName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(SID|AVM)-([0-9A-F]{10})-([0-9]{8}-[0-9]{6})(?:-([1-9][0-9]{0,5}))?\.(kxd|kxm)$)"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    BackupEntry entry;
    entry.kind = match.captured(1) == QLatin1String("AVM") ? CardType::AVM : CardType::SID;
    if (setupExtension(entry.kind) != u'.' + match.captured(5))
        return std::nullopt;
    entry.serial = match.captured(2);
    entry.time = QDateTime::fromString(match.captured(3), TimeFormat);
    if (!entry.time.isValid())
        return std::nullopt;
    if (!match.captured(4).isEmpty()) {
        entry.clash = match.captured(4).toInt();
        if (entry.clash < 2)
            return std::nullopt; // the first file of a second has no suffix
    }
    entry.path = fileName;
    return entry;
}

BackupFolder::BackupFolder(QString folder, int keepDays, Clock now)
    : folder_(std::move(folder)), keepDays_(keepDays), now_(std::move(now))
{
}

QString BackupFolder::freePath(const QString& baseName, const QString& extension) const
{
    const QDir dir(folder_);
    QString path = dir.filePath(baseName + extension);
    for (int clash = 2; QFileInfo::exists(path); ++clash)
        path = dir.filePath(QStringLiteral("%1-%2%3").arg(baseName, QString::number(clash), extension));
    return path;
}

BackupResult BackupFolder::write(const QByteArray& image, const QByteArray& cardSerial)
{
    const CardType kind = image.size() > SidImageSize ? CardType::AVM : CardType::SID;
    QString refusal;
    const std::optional<QByteArray> content = fileContent(image, kind, &refusal);
    if (!content)
        return {{}, cannotWrite(folder_, refusal)};
    if (!QDir().mkpath(folder_))
        return {{}, cannotWrite(folder_, QStringLiteral("the folder cannot be created."))};

    const QString baseName = backupBaseName(kind, cardSerial, now_().toLocalTime());
    if (const std::optional<QString> same = sameAsNewest(kind, baseName.section(u'-', 1, 1), *content)) {
        prune();
        return {*same, {}, true};
    }
    const QString path = freePath(baseName, setupExtension(kind));
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile can lose a failed write (disk full) in its final flush
    // and commit a cut-off file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(*content) != content->size()) {
        const QString cause = file.errorString(); // before cancelling, which replaces it
        file.cancelWriting();
        return {{}, cannotWrite(folder_, cause + u'.')};
    }
    if (!file.commit())
        return {{}, cannotWrite(folder_, file.errorString() + u'.')};
    prune();
    return {path, {}};
}

std::optional<QString> BackupFolder::sameAsNewest(CardType kind, const QString& serial, const QByteArray& content) const
{
    for (const BackupEntry& entry : list(serial)) {
        if (entry.kind != kind)
            continue;
        if (holdsExactly(entry.path, content))
            return entry.path;
        return std::nullopt; // only the newest counts: the card may have held another set-up since an older one
    }
    return std::nullopt;
}

QList<BackupEntry> BackupFolder::list(const QString& serial) const
{
    QList<BackupEntry> entries;
    const QDir dir(folder_);
    for (const QString& name : dir.entryList(QDir::Files)) {
        std::optional<BackupEntry> entry = parseBackupName(name);
        if (!entry || (!serial.isEmpty() && entry->serial.compare(serial, Qt::CaseInsensitive) != 0))
            continue;
        entry->path = dir.filePath(name);
        entries << *entry;
    }
    std::sort(entries.begin(), entries.end(), newerFirst);
    return entries;
}

QStringList BackupFolder::prune() const
{
    const QDateTime oldestKept = now_().toLocalTime().addDays(-keepDays_);
    QMap<QString, int> seen; // per card: backups met so far, newest first
    QStringList deleted;
    for (const BackupEntry& entry : list()) {
        const int rank = ++seen[cardTypeName(entry.kind) + entry.serial];
        if (rank <= BackupsKeptPerCard || entry.time > oldestKept)
            continue;
        if (QFile::remove(entry.path))
            deleted << entry.path;
    }
    return deleted;
}

} // namespace quillon
