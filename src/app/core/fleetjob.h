// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fleetrunner.h"

#include "../../link/linkstatistics.h"
#include "../../setup/setupcompare.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace quillon {

class LinkClock;
class SerialControl;
class SettingsStore;

// What the jobs of one fleet run share: the clock every session runs on, the settings, how a
// card's port is made, and what goes with every card (the set-up sent, frame logs, counters).
struct FleetJobSetup {
    LinkClock* clock = nullptr; // required; outlives the jobs
    const SettingsStore* settings = nullptr; // required
    // The serial control for a card's port; the program's own (a device or a serial server,
    // ComN as the Ports settings assign it) when empty. Tests put a virtual line here.
    std::function<std::unique_ptr<SerialControl>(const InventoryCard&)> makePort;
    QString inventoryPath;               // references are relative to its folder
    std::optional<ComparedSetup> setup;  // Send: the set-up sent to every card
    QString frameLog;                    // each card's frame log: the card's name goes before the suffix
    bool trace = true;                   // each card's trace file, Out-NAME.bin beside the program's
    // Each connection that opened has ended, with its counters (--stats).
    std::function<void(const InventoryCard&, const LinkCounters&)> onConnectionEnded;
    int limitMs = 180000; // a card that has not ended by then is ended and fails
};

// The path of one card's file made from a common one: "frames.log" for "Studio 3 A" is
// "frames-Studio_3_A.log"; characters a file name may not hold become "_".
QString perCardPath(const QString& path, const QString& cardName);

// The device or network port a card's port name opens: ComN is what the Ports settings assign.
QString cardPortDevice(const QString& port, const SettingsStore& settings);

// The jobs of a fleet run: each card's work through a CardSession on its own port, as the
// single Get, Send and Compare do it:
// - Status: reads the card without changing or keeping anything; kind, serial and set-up
//   version are what it reports.
// - Backup: reads the card and keeps its set-up in the backup folder by the backup rules.
// - Send: backs up, sends and verifies as the options say; a card of the other kind than the
//   set-up, or one that reports another serial or kind than the inventory's, is refused before
//   anything is sent to it.
// - Verify and Diff: reads the card and compares it with its reference set-up; the differences
//   are the result's, and a card that differs has failed.
CardJobFactory sessionJobFactory(std::shared_ptr<const FleetJobSetup> setup);

} // namespace quillon
