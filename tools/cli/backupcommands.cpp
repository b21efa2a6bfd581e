// SPDX-License-Identifier: GPL-3.0-or-later
// backups: what the backup folder holds.

#include "cliterminal.h"
#include "commands.h"

#include "app/core/backups.h"
#include "app/core/settingsstore.h"

#include <QDir>
#include <QRegularExpression>
#include <optional>

namespace quillon {

namespace {

struct BackupArgs {
    QString card;
    QString folder;
};

std::optional<BackupArgs> parseBackupArgs(const QStringList& args, QString* error)
{
    BackupArgs parsed;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        QString* target = arg == QLatin1String("--card") ? &parsed.card
            : arg == QLatin1String("--backup-dir")       ? &parsed.folder
                                                         : nullptr;
        if (!target) {
            *error = arg.startsWith(u'-') ? QStringLiteral("unknown option %1").arg(arg)
                                          : QStringLiteral("unexpected argument %1").arg(arg);
            return std::nullopt;
        }
        if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
            *error = arg + QStringLiteral(" needs a value");
            return std::nullopt;
        }
        *target = args[++i];
    }
    static const QRegularExpression serial(QStringLiteral("^[0-9A-Fa-f]{10}$"));
    if (!parsed.card.isEmpty() && !serial.match(parsed.card).hasMatch()) {
        *error = QStringLiteral("--card takes a card's serial as 10 hexadecimal digits, such as 4B58343031");
        return std::nullopt;
    }
    return parsed;
}

int runBackups(const QStringList& args, const QString& usage)
{
    QString error;
    const auto parsed = parseBackupArgs(args, &error);
    if (!parsed) {
        printLine(stderr, QStringLiteral("quillon-cli: ") + error);
        printLine(stderr, QStringLiteral("usage: quillon-cli ") + usage);
        return ExitUsage;
    }
    const QString folder = parsed->folder.isEmpty() ? SettingsStore().backupFolder() : parsed->folder;
    const QList<BackupEntry> entries = BackupFolder(folder).list(parsed->card);
    if (entries.isEmpty())
        printLine(stderr, QStringLiteral("No backups in %1").arg(QDir::toNativeSeparators(folder)));
    for (const BackupEntry& entry : entries) {
        printLine(stdout, QStringLiteral("%1  %2  %3  %4")
                              .arg(entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                   cardTypeName(entry.kind), entry.serial,
                                   QDir::toNativeSeparators(entry.path)));
    }
    return ExitOk;
}

} // namespace

std::vector<CliCommand> backupCommands()
{
    const QString usage = QStringLiteral("backups [--card SERIAL] [--backup-dir DIR]");
    const QString summary = QStringLiteral(
        "Lists the backups of the set-ups read from cards, newest first: time, kind, card serial, "
        "file. --card keeps one card's (its serial as 10 hexadecimal digits); --backup-dir lists DIR "
        "instead of the backup folder.");
    return {{QStringLiteral("backups"), usage, summary, [usage](const QStringList& args) {
                 return runBackups(args, usage);
             }}};
}

} // namespace quillon
