// SPDX-License-Identifier: GPL-3.0-or-later
// cards: the inventory of the facility's cards.

#include "cardargs.h"
#include "cliterminal.h"
#include "commands.h"

#include "app/core/fleetreport.h"
#include "app/core/inventory.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <optional>

namespace quillon {

namespace {

QString inventoryPath(const CardArgs& args)
{
    return args.has("--inventory") ? args.value("--inventory") : defaultInventoryPath();
}

// The file's skipped entries, as an editor finds them: FILE:LINE: text.
void reportProblems(const InventoryFile& file)
{
    const QString name = QDir::toNativeSeparators(file.path);
    for (const InventoryProblem& problem : file.inventory.problems())
        printLine(stderr, QStringLiteral("%1:%2: %3").arg(name, QString::number(problem.line), problem.text));
    if (file.inventory.moreProblems() > 0)
        printLine(stderr, QStringLiteral("%1: %2 more problems").arg(name, QString::number(file.inventory.moreProblems())));
}

// The inventory to change, its problems told; nothing when it cannot be read.
std::optional<InventoryFile> readForChange(const QString& path)
{
    InventoryFile file = readInventory(path);
    if (!file.ok()) {
        failed(file.error);
        return std::nullopt;
    }
    reportProblems(file);
    return file;
}

// A reference is kept relative to the inventory when it lies in the inventory's folder, so
// that both can move together (a repository); else as an absolute path.
QString referenceFor(const QString& given, const QString& inventory)
{
    const QString absolute = QFileInfo(given).absoluteFilePath();
    const QString relative = QFileInfo(inventory).absoluteDir().relativeFilePath(absolute);
    return relative.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(relative) ? absolute : relative;
}

// Fills the card's kind and serial from what the card on its port reports; false after saying
// why (no answer, or the card is not what --kind or --serial said).
bool probe(InventoryCard& card)
{
    const std::optional<CardResult> found = probeCard(card);
    if (!found)
        return false;
    const auto article = [](CardType kind) { return kind == CardType::AVM ? QStringLiteral("an AVM") : QStringLiteral("a SID"); };
    if (card.kind && *card.kind != *found->kind) {
        failed(QStringLiteral("the card on %1 is %2 card, not %3 card as --kind says; nothing was added")
                   .arg(card.port, article(*found->kind), article(*card.kind)));
        return false;
    }
    if (!card.serial.isEmpty() && card.serial != found->serial) {
        failed(QStringLiteral("the card on %1 reports serial %2, not %3 as --serial says; nothing was added")
                   .arg(card.port, found->serial, card.serial));
        return false;
    }
    card.kind = found->kind;
    card.serial = found->serial;
    printLine(stdout, QStringLiteral("The card on %1 is %2 card with serial %3").arg(card.port, article(*found->kind), card.serial));
    return true;
}

int runAdd(const CardArgs& args, const QString& usage)
{
    if (args.words.size() != 1)
        return usageError(usage, QStringLiteral("cards add takes one card name"));
    if (!args.has("--port"))
        return usageError(usage, QStringLiteral("cards add needs --port PORT"));
    const QString path = inventoryPath(args);
    InventoryCard card;
    card.name = args.words.first().trimmed();
    card.port = args.value("--port");
    if (args.has("--kind")) {
        card.kind = cardTypeFromText(args.value("--kind"));
        if (!card.kind)
            return usageError(usage, QStringLiteral("--kind is sid or avm"));
    }
    if (args.has("--serial")) {
        card.serial = normalisedSerial(args.value("--serial")).value_or(QString());
        if (card.serial.isEmpty())
            return usageError(usage, QStringLiteral("--serial takes the card's serial as 10 hexadecimal digits, such as 4B58343031"));
    }
    for (const QString& groups : args.has("--group") ? args.values.at(QStringLiteral("--group")) : QStringList()) {
        for (const QString& group : groups.split(u',', Qt::SkipEmptyParts)) {
            if (!card.inGroup(group.trimmed()))
                card.groups << group.trimmed();
        }
    }
    if (args.has("--reference"))
        card.reference = referenceFor(args.value("--reference"), path);
    card.location = args.value("--location").trimmed();
    if (const QString problem = inventoryCardProblem(card); !problem.isEmpty())
        return usageError(usage, problem);

    std::optional<InventoryFile> file = readForChange(path);
    if (!file)
        return ExitFailed;
    if (const int line = file->inventory.sectionLine(card.name); line > 0)
        return failed(QStringLiteral("a card named \"%1\" is already in %2, on line %3; remove it first")
                          .arg(card.name, QDir::toNativeSeparators(path), QString::number(line)));
    if (args.flag("--probe") && !probe(card))
        return ExitFailed;
    if (const QString problem = file->inventory.put(card); !problem.isEmpty())
        return failed(problem);
    if (const QString error = writeInventory(path, file->inventory); !error.isEmpty())
        return failed(error);
    const QString reference = referencePath(card, path);
    if (!reference.isEmpty() && !QFileInfo(reference).isFile())
        printLine(stderr, QStringLiteral("quillon-cli: note: the reference set-up \"%1\" is not there (yet)").arg(QDir::toNativeSeparators(reference)));
    printLine(stdout, QStringLiteral("Added card \"%1\" to %2").arg(card.name, QDir::toNativeSeparators(path)));
    return ExitOk;
}

int runRemove(const CardArgs& args, const QString& usage)
{
    if (args.words.size() != 1)
        return usageError(usage, QStringLiteral("cards remove takes one card name"));
    const QString path = inventoryPath(args);
    std::optional<InventoryFile> file = readForChange(path);
    if (!file)
        return ExitFailed;
    const QString& given = args.words.first().trimmed();
    const InventoryCard* card = file->inventory.find(given);
    const QString name = card ? card->name : given; // as the file spells it
    if (file->inventory.remove(name) == 0)
        return failed(QStringLiteral("no card named \"%1\" in %2").arg(name, QDir::toNativeSeparators(path)));
    if (const QString error = writeInventory(path, file->inventory); !error.isEmpty())
        return failed(error);
    printLine(stdout, QStringLiteral("Removed card \"%1\" from %2").arg(name, QDir::toNativeSeparators(path)));
    return ExitOk;
}

QByteArray listJson(const InventoryFile& file)
{
    QJsonArray cards;
    for (const InventoryCard& card : file.inventory.cards()) {
        cards.append(QJsonObject{
            {QStringLiteral("name"), card.name},
            {QStringLiteral("port"), card.port},
            {QStringLiteral("kind"), card.kind ? cardTypeName(*card.kind) : QString()},
            {QStringLiteral("serial"), card.serial},
            {QStringLiteral("groups"), QJsonArray::fromStringList(card.groups)},
            {QStringLiteral("reference"), referencePath(card, file.path)},
            {QStringLiteral("location"), card.location},
            {QStringLiteral("line"), card.line},
        });
    }
    QJsonArray problems;
    for (const InventoryProblem& problem : file.inventory.problems())
        problems.append(QJsonObject{{QStringLiteral("line"), problem.line}, {QStringLiteral("message"), problem.text}});
    return QJsonDocument(QJsonObject{{QStringLiteral("inventory"), QDir::toNativeSeparators(file.path)},
                                     {QStringLiteral("cards"), cards},
                                     {QStringLiteral("problems"), problems}})
        .toJson(QJsonDocument::Indented);
}

QStringList listTable(const Inventory& inventory)
{
    QList<QStringList> cells{{QStringLiteral("card"), QStringLiteral("port"), QStringLiteral("kind"), QStringLiteral("serial"),
                              QStringLiteral("groups"), QStringLiteral("reference"), QStringLiteral("location")}};
    const auto orDash = [](const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    for (const InventoryCard& card : inventory.cards()) {
        cells.append({card.name, card.port, orDash(card.kind ? cardTypeName(*card.kind) : QString()), orDash(card.serial),
                      orDash(card.groups.join(u',')), orDash(card.reference), card.location});
    }
    return alignedColumns(cells);
}

// Exits 1 when an entry was skipped, so that a check of the file can rely on it.
int runList(const CardArgs& args, const QString& usage)
{
    if (!args.words.isEmpty())
        return usageError(usage, QStringLiteral("unexpected argument %1").arg(args.words.first()));
    const InventoryFile file = readInventory(inventoryPath(args));
    if (!file.ok())
        return failed(file.error);
    reportProblems(file);
    if (args.flag("--json")) {
        const QByteArray json = listJson(file);
        std::fwrite(json.constData(), 1, std::size_t(json.size()), stdout);
    } else if (file.inventory.cards().isEmpty()) {
        printLine(stderr, QStringLiteral("No cards in %1%2; add one with quillon-cli cards add NAME --port PORT")
                              .arg(QDir::toNativeSeparators(file.path), file.exists ? QString() : QStringLiteral(" (there is no such file yet)")));
    } else {
        for (const QString& line : listTable(file.inventory))
            printLine(stdout, line);
    }
    return file.inventory.problems().isEmpty() ? ExitOk : ExitFailed;
}

int runCards(const QStringList& args, const QString& usage)
{
    const QString action = args.value(0);
    const QStringList rest = args.mid(1);
    QStringList valued{QStringLiteral("--inventory")};
    if (action == QLatin1String("add"))
        valued << QStringLiteral("--port") << QStringLiteral("--kind") << QStringLiteral("--serial") << QStringLiteral("--group")
               << QStringLiteral("--reference") << QStringLiteral("--location");
    else if (action != QLatin1String("remove") && action != QLatin1String("list"))
        return usageError(usage, action.isEmpty() ? QStringLiteral("cards needs add, remove or list")
                                                  : QStringLiteral("unknown cards command \"%1\"").arg(action));
    QString error;
    QStringList flags;
    if (action == QLatin1String("list"))
        flags << QStringLiteral("--json");
    if (action == QLatin1String("add"))
        flags << QStringLiteral("--probe");
    const std::optional<CardArgs> parsed = parseCardArgs(rest, valued, flags, &error);
    if (!parsed)
        return usageError(usage, error);
    if (parsed->has("--inventory") && parsed->value("--inventory").isEmpty())
        return usageError(usage, QStringLiteral("--inventory needs a file name"));
    if (action == QLatin1String("add"))
        return runAdd(*parsed, usage);
    if (action == QLatin1String("remove"))
        return runRemove(*parsed, usage);
    return runList(*parsed, usage);
}

} // namespace

std::vector<CliCommand> cardCommands()
{
    const QString usage = QStringLiteral(
        "cards add NAME --port PORT [--probe] [--kind sid|avm] [--serial HEX10] [--group G]... [--reference FILE] "
        "[--location TEXT] [--inventory FILE]\n"
        "  cards remove NAME [--inventory FILE]\n"
        "  cards list [--json] [--inventory FILE]");
    const QString summary = QStringLiteral(
        "Keeps the inventory of the facility's cards, a text file (~/.config/Quillon/cards.ini unless "
        "--inventory FILE): add a card with its port (a device, Com1 to Com4, rfc2217://HOST:PORT or "
        "socket://HOST:PORT), kind, serial (10 hexadecimal digits), groups, reference set-up file and "
        "location (--probe asks the card on the port for its kind and serial); remove one; list them (--json for scripts). An entry with a fault is reported with "
        "its line and skipped, and list then exits 1.");
    return {{QStringLiteral("cards"), usage, summary, [usage](const QStringList& args) { return runCards(args, usage); }}};
}

} // namespace quillon
