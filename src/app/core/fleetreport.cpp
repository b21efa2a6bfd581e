// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleetreport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cmath>

namespace quillon {

namespace {

QString kindOf(const FleetRunner::Row& row)
{
    const std::optional<CardType> kind = row.card.kind ? row.card.kind : row.result.kind;
    return kind ? cardTypeName(*kind) : QString();
}

QString serialOf(const FleetRunner::Row& row)
{
    return row.card.serial.isEmpty() ? row.result.serial : row.card.serial;
}

std::array<int, 3> counts(const QList<FleetRunner::Row>& rows)
{
    std::array<int, 3> n{};
    for (const FleetRunner::Row& row : rows)
        ++n[std::size_t(row.result.outcome)];
    return n;
}

QString orDash(const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; }

} // namespace

std::optional<QList<InventoryCard>> selectCards(const Inventory& inventory, const FleetSelection& selection,
                                                QString* error)
{
    if (!selection.groups.isEmpty() && !selection.names.isEmpty()) {
        *error = QStringLiteral("give --group or --card, not both");
        return std::nullopt;
    }
    for (const QString& name : selection.names) {
        if (inventory.find(name))
            continue;
        const int line = inventory.sectionLine(name);
        *error = line > 0 ? QStringLiteral("card \"%1\" was skipped: its entry on line %2 has a fault").arg(name, QString::number(line))
                          : QStringLiteral("no card named \"%1\" in the inventory").arg(name);
        return std::nullopt;
    }
    for (const QString& group : selection.groups) {
        const QList<InventoryCard>& cards = inventory.cards();
        if (std::none_of(cards.begin(), cards.end(), [&](const InventoryCard& c) { return c.inGroup(group); })) {
            *error = QStringLiteral("no card of the inventory is in group \"%1\"").arg(group);
            return std::nullopt;
        }
    }
    QList<InventoryCard> chosen;
    for (const InventoryCard& card : inventory.cards()) {
        const bool named = selection.names.contains(card.name, Qt::CaseInsensitive);
        const bool grouped = std::any_of(selection.groups.begin(), selection.groups.end(),
                                         [&](const QString& g) { return card.inGroup(g); });
        if ((selection.names.isEmpty() && selection.groups.isEmpty()) || named || grouped)
            chosen.append(card);
    }
    if (chosen.isEmpty()) {
        *error = QStringLiteral("the inventory has no cards; add one with quillon-cli cards add");
        return std::nullopt;
    }
    return chosen;
}

QString outcomeName(CardOutcome outcome)
{
    switch (outcome) {
    case CardOutcome::Ok:
        return QStringLiteral("ok");
    case CardOutcome::Failed:
        return QStringLiteral("failed");
    case CardOutcome::Skipped:
        return QStringLiteral("skipped");
    }
    return {};
}

QStringList fleetTable(const QList<FleetRunner::Row>& rows)
{
    QList<QStringList> cells{{QStringLiteral("card"), QStringLiteral("port"), QStringLiteral("kind"), QStringLiteral("serial"),
                              QStringLiteral("outcome"), QStringLiteral("time"), QStringLiteral("backup")}};
    for (const FleetRunner::Row& row : rows) {
        const bool ran = row.result.outcome != CardOutcome::Skipped;
        cells.append({row.card.name, row.card.port, orDash(kindOf(row)), orDash(serialOf(row)),
                      outcomeName(row.result.outcome),
                      ran ? QStringLiteral("%1 s").arg(row.result.seconds, 0, 'f', 1) : QStringLiteral("-"),
                      orDash(QDir::toNativeSeparators(row.result.backup))});
    }
    return alignedColumns(cells);
}

QStringList alignedColumns(const QList<QStringList>& cells)
{
    QList<qsizetype> widths;
    for (const QStringList& line : cells) {
        widths.resize(std::max(widths.size(), line.size()));
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], line[c].size());
    }
    QStringList lines;
    for (const QStringList& line : cells) {
        QString text;
        for (qsizetype c = 0; c < line.size(); ++c)
            text += c + 1 < line.size() ? line[c].leftJustified(widths[c] + 2) : line[c];
        while (text.endsWith(u' ')) // an empty last cell
            text.chop(1);
        lines.append(text);
    }
    return lines;
}

QString fleetSummary(const QList<FleetRunner::Row>& rows)
{
    const std::array<int, 3> n = counts(rows);
    return QStringLiteral("%1 %2: %3 ok, %4 failed, %5 skipped")
        .arg(QString::number(rows.size()), rows.size() == 1 ? QStringLiteral("card") : QStringLiteral("cards"),
             QString::number(n[0]), QString::number(n[1]), QString::number(n[2]));
}

QByteArray fleetJson(const QList<FleetRunner::Row>& rows)
{
    QJsonArray cards;
    for (const FleetRunner::Row& row : rows) {
        cards.append(QJsonObject{
            {QStringLiteral("name"), row.card.name},
            {QStringLiteral("port"), row.card.port},
            {QStringLiteral("kind"), kindOf(row)},
            {QStringLiteral("serial"), serialOf(row)},
            {QStringLiteral("outcome"), outcomeName(row.result.outcome)},
            {QStringLiteral("message"), row.result.message},
            {QStringLiteral("backup"), row.result.backup},
            {QStringLiteral("seconds"), std::round(row.result.seconds * 1000.0) / 1000.0},
            {QStringLiteral("differences"), QJsonArray::fromStringList(row.result.differences)},
            {QStringLiteral("version"), row.result.version ? QString::number(*row.result.version) : QString()},
        });
    }
    const std::array<int, 3> n = counts(rows);
    const QJsonObject document{{QStringLiteral("cards"), cards},
                               {QStringLiteral("ok"), n[0]},
                               {QStringLiteral("failed"), n[1]},
                               {QStringLiteral("skipped"), n[2]}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

int fleetExitCode(const QList<FleetRunner::Row>& rows)
{
    return std::all_of(rows.begin(), rows.end(), [](const FleetRunner::Row& row) { return row.result.outcome == CardOutcome::Ok; })
        ? 0 : 1;
}

} // namespace quillon
