// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fleetjob.h"
#include "inventory.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <memory>

namespace quillon {

class LinkClock;
class SettingsStore;

// What the Cards window knows of one card: what it is doing, how its last work ended, and what
// was learnt of it since the window opened.
struct CardState {
    bool running = false;
    bool waiting = false;
    QString progress;                    // while it runs: what it is doing
    std::optional<CardOutcome> outcome;  // of its last work
    QString message;
    QStringList differences;
    QDateTime lastSeen;                  // the card last answered
    QDateTime lastBackup;                // its newest backup in the backup folder
    std::optional<bool> matchesReference; // the last Verify said
    QString frameLog;                    // the frame log of its last connection
};

// The Cards window without its widgets: the inventory file, and the fleet runs the window starts
// on the cards chosen, through the same card jobs as quillon-cli fleet. One run at a time.
class FleetDesk : public QObject {
    Q_OBJECT
public:
    // clock: the program's timers when null. makePort: the program's ports when empty (tests
    // give virtual lines).
    FleetDesk(const SettingsStore& settings, QString inventoryPath, LinkClock* clock = nullptr,
              std::function<std::unique_ptr<SerialControl>(const InventoryCard&)> makePort = {});
    ~FleetDesk() override;

    // Reads the inventory file again; returns why it could not be read (then nothing changes).
    QString reload();
    const QString& inventoryPath() const { return path_; }
    const QList<InventoryCard>& cards() const { return file_.inventory.cards(); }
    // The entries skipped, as "line 12: ..." each.
    QStringList problems() const;
    CardState state(const QString& name) const { return states_.value(name.toLower()); }

    // Adds a card, or replaces the one named `replacing` (renaming it); writes the file. Returns
    // why it could not, empty when done.
    QString put(const InventoryCard& card, const QString& replacing = {});
    QString remove(const QString& name);

    bool busy() const { return runner_ != nullptr; }
    // Starts the action on the cards named (setup: what Send sends; file: its name); false
    // when a run is going on already or no card is named.
    bool run(FleetAction action, const QStringList& names, const std::optional<ComparedSetup>& setup = {},
             const QString& file = {});
    // Cards not started are skipped, running ones end cleanly.
    void stop();

Q_SIGNALS:
    void cardChanged(const QString& name);
    void inventoryChanged();
    // "3 cards: 2 ok, 1 failed, 0 skipped"
    void runFinished(const QString& summary);

private:
    void rowChanged(int row);
    void finishRun();
    void refreshBackups();
    QString write();

    const SettingsStore& settings_;
    QString path_;
    InventoryFile file_;
    std::unique_ptr<LinkClock> ownClock_;
    LinkClock& clock_;
    std::function<std::unique_ptr<SerialControl>(const InventoryCard&)> makePort_;
    QMap<QString, CardState> states_; // by name in lower case
    FleetAction action_ = FleetAction::Status;
    std::unique_ptr<FleetRunner> runner_;
    std::unique_ptr<LinkTimer> later_; // lets a finished runner go outside its own call
};

} // namespace quillon
