// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../setup/cardtype.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace quillon {

inline constexpr int DefaultBackupKeepDays = 365;
inline constexpr int BackupsKeptPerCard = 20;

// One backup file, as its name tells it.
struct BackupEntry {
    QString path;     // full path
    CardType kind = CardType::SID;
    QString serial;   // the card's serial, 10 upper-case hex digits
    QDateTime time;   // local time, to the second
    int clash = 1;    // 1, or the -2, -3 ... suffix of a name taken twice in one second
};

// "SID-4B58343031-20240501-140322" (no extension) for a card's serial and a time; a serial
// that is not 5 bytes long (the card never sent one) reads as ten zeros.
QString backupBaseName(CardType kind, const QByteArray& serial, const QDateTime& time);
// The entry a file name stands for, or nothing when this program did not make the name.
std::optional<BackupEntry> parseBackupName(const QString& fileName);

// The outcome of writing one backup: the file written (or the newest backup of the card, when
// it already held the same set-up), or a message for the operator that names the folder and
// the cause.
struct BackupResult {
    QString path;
    QString error;
    bool unchanged = false; // path is an earlier backup with the same content; nothing was written
    bool ok() const { return error.isEmpty(); }
};

// The backup folder: writes what a card held, lists what is there, and thins it out.
class BackupFolder {
public:
    using Clock = std::function<QDateTime()>;

    explicit BackupFolder(QString folder, int keepDays = DefaultBackupKeepDays,
                          Clock now = [] { return QDateTime::currentDateTime(); });

    const QString& folder() const { return folder_; }

    // Writes a set-up image received from a card (byte 0 the command 24): a SID set-up (at
    // most 89 bytes) as a SID set-up file of its decoded settings, an AVM image byte for byte.
    // The file is written whole or not at all and never replaces another; afterwards the old
    // backups are thinned out. When the newest backup of the same card already holds exactly
    // this, it is kept and named instead, and nothing is written.
    BackupResult write(const QByteArray& image, const QByteArray& cardSerial);

    // The backups in the folder, newest first; serial, if given, keeps one card's alone.
    QList<BackupEntry> list(const QString& serial = {}) const;

    // Deletes backups older than the days to keep, except the 20 newest of each card; touches
    // no file whose name this program did not make. Returns the paths deleted.
    QStringList prune() const;

private:
    std::optional<QString> sameAsNewest(CardType kind, const QString& serial, const QByteArray& content) const;
    QString freePath(const QString& baseName, const QString& extension) const;

    QString folder_;
    int keepDays_;
    Clock now_;
};

} // namespace quillon
