// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cardoperation.h"
#include "inventory.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillon {

class LinkClock;
class LinkTimer;

// What is done to each card of a fleet.
enum class FleetAction { Status, Backup, Send, Verify, Diff };

struct FleetTask {
    FleetAction action = FleetAction::Status;
    QString file;             // Send: the set-up file sent to every card
    OperationOptions options; // the safety net of each card's Get or Send
};

enum class CardOutcome { Ok, Failed, Skipped };

// How one card's job ended.
struct CardResult {
    CardOutcome outcome = CardOutcome::Skipped;
    QString message;               // why it failed or was skipped; what was found
    QString backup;                // the backup file written, if any
    std::optional<CardType> kind;  // as the card reported it
    QString serial;                // as the card reported it
    std::optional<int> version;    // Status: the set-up version of what the card holds
    QStringList differences;       // Verify and Diff: one line each
    double seconds = 0;            // from the job's start to its end; set by the runner
};

// Why a card that answered is not the card the inventory names (its serial or kind differs: a
// card swapped in a rack); empty when it is, or when either side does not say.
QString identityProblem(const InventoryCard& card, const CardResult& result);

// One card's work in a fleet run: its connections from start to finish. A job reports its end
// once through finished, possibly from inside start(). A job is started at most once.
class CardJob {
public:
    virtual ~CardJob() = default;
    virtual void start() = 0;
    // The run is being stopped: a connection in progress ends cleanly (with its SYN), then
    // finished tells how far the card got.
    virtual void stop() = 0;

    std::function<void(const CardResult&)> finished;
    // What the card is doing now ("Reading the card (backup)"), for a table of cards.
    std::function<void(const QString&)> progressed;
};

using CardJobFactory = std::function<std::unique_ptr<CardJob>(const InventoryCard&, const FleetTask&)>;

// The number of cards a fleet run serves at once unless told: one per distinct serial line, at
// most 16.
inline constexpr int DefaultJobsLimit = 16;
inline constexpr int MaxJobs = 64;
int defaultJobCount(const QList<InventoryCard>& cards, const std::function<QString(const QString&)>& lineOf);

// Runs one job per card, several at once: up to `jobs` cards whose ports reach different serial
// lines; two cards on one line (a shared serial server port) never at once. Cards start in the
// order given as their lines come free.
class FleetRunner {
public:
    struct Row {
        InventoryCard card;
        enum State { Waiting, Running, Done } state = Waiting;
        CardResult result;
        QString progress; // while it runs: what it is doing
    };

    // lineOf gives the serial line a card's port reaches (portLineKey); the port itself if empty.
    FleetRunner(LinkClock& clock, CardJobFactory factory, std::function<QString(const QString& port)> lineOf = {});
    ~FleetRunner();
    FleetRunner(const FleetRunner&) = delete;
    FleetRunner& operator=(const FleetRunner&) = delete;

    // At most this many cards at once (1 to MaxJobs); 0, the default, is defaultJobCount().
    void setJobs(int jobs) { jobs_ = std::clamp(jobs, 0, MaxJobs); }
    // After the first card that fails, no more cards start; they are reported as skipped.
    void setStopOnFailure(bool on) { stopOnFailure_ = on; }

    void run(const QList<InventoryCard>& cards, const FleetTask& task);
    // Ctrl+C, SIGTERM: cards not started are skipped (the message says why), running ones are
    // told to stop and end cleanly. One that has not ended StopGraceMs later is reported failed.
    void stop(const QString& why);
    static constexpr int StopGraceMs = 10000;

    bool finished() const { return started_ && running_ == 0 && !hasWaiting(); }
    const QList<Row>& rows() const { return rows_; }

    // A row has changed state (a card started or ended).
    std::function<void(int row)> onRowChanged;
    // A running card's progress.
    std::function<void(int row, const QString& text)> onRowProgress;
    // Every card has ended, been skipped or given up on; told once.
    std::function<void()> onFinished;

private:
    struct Slot;
    void pump();
    bool lineBusy(const QString& line) const;
    bool hasWaiting() const;
    void startRow(int index);
    void endRow(int index, const CardResult& result);
    void skipWaiting(const QString& why);
    void giveUpOnRunning();
    void checkFinished();

    LinkClock& clock_;
    CardJobFactory factory_;
    std::function<QString(const QString&)> lineOf_;
    int jobs_ = 0;
    bool stopOnFailure_ = false;
    FleetTask task_;
    QList<Row> rows_;
    std::vector<std::unique_ptr<Slot>> slots_; // one per row
    int running_ = 0;
    bool started_ = false;
    bool stopping_ = false;
    bool pumping_ = false;
    bool toldFinished_ = false;
    std::unique_ptr<LinkTimer> grace_;
    // Jobs that have ended are deleted later, never inside their own call.
    std::vector<std::unique_ptr<CardJob>> spent_;
    std::unique_ptr<LinkTimer> reaper_;
};

} // namespace quillon
