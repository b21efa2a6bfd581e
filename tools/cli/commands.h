// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/fleetrunner.h"
#include "setup/setupcompare.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace quillon {

// Exit codes of every command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

struct CliCommand {
    QString name;
    QString usage;   // "image FILE -o IMAGE"
    QString summary; // one line for --help
    // args: what follows the command name. Returns one of the exit codes above.
    std::function<int(const QStringList& args)> run;
};

std::vector<CliCommand> fileCommands();
std::vector<CliCommand> linkCommands(); // get and send
std::vector<CliCommand> backupCommands();
std::vector<CliCommand> compareCommands(); // diff and report

// The set-up of the card on the serial device, got as "get" gets it, its texts on stderr;
// nullopt when none was received. Settings a card does not keep come from base (else defaults).
std::optional<ComparedSetup> readCardSetup(const QString& device, const SetupValues* base = nullptr);
std::vector<CliCommand> portCommands(); // ports
std::vector<CliCommand> cardCommands(); // cards: the inventory
std::vector<CliCommand> fleetCommands(); // fleet: many cards at once
// What the card on the inventory entry's port reports (kind, serial), read as fleet status
// reads it; nullopt after saying why on stderr.
std::optional<CardResult> probeCard(const InventoryCard& card);

} // namespace quillon
