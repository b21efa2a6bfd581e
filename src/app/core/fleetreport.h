// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fleetrunner.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillon {

// Which cards of the inventory a fleet command works on: the cards of any of the groups, or
// the cards named; all of them when neither is given. Letter case does not matter.
struct FleetSelection {
    QStringList groups;
    QStringList names;
};

// The cards chosen, in the order of the inventory; nothing, and why, when a name is not in the
// inventory, a group has no card, or nothing is left to work on.
std::optional<QList<InventoryCard>> selectCards(const Inventory& inventory, const FleetSelection& selection,
                                                QString* error);

// "ok", "failed", "skipped"
QString outcomeName(CardOutcome outcome);

// The results as a table: card, port, kind, serial, outcome, time, backup file; a row a card,
// in the order of the run. Kind and serial are the inventory's, else what the card reported.
QStringList fleetTable(const QList<FleetRunner::Row>& rows);
// Cells in columns two blanks apart, each as wide as its widest cell; the last is not padded.
QStringList alignedColumns(const QList<QStringList>& cells);
// "8 cards: 6 ok, 1 failed, 1 skipped"
QString fleetSummary(const QList<FleetRunner::Row>& rows);
// {"cards": [{"name", "port", "kind", "serial", "outcome", "message", "backup", "seconds",
// "differences", "version"}], "ok": A, "failed": B, "skipped": C}, for scripts and facility tools.
QByteArray fleetJson(const QList<FleetRunner::Row>& rows);
// 0 when every card succeeded, else 1.
int fleetExitCode(const QList<FleetRunner::Row>& rows);

} // namespace quillon
