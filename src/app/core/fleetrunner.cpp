// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleetrunner.h"

#include "../../link/linkclock.h"

#include <QSet>

namespace quillon {

namespace {

CardResult resultOf(CardOutcome outcome, const QString& message)
{
    CardResult result;
    result.outcome = outcome;
    result.message = message;
    return result;
}

} // namespace

struct FleetRunner::Slot {
    QString line; // the serial line the card's port reaches
    std::unique_ptr<CardJob> job;
    qint64 startedMs = 0;
};

QString identityProblem(const InventoryCard& card, const CardResult& result)
{
    if (!card.serial.isEmpty() && !result.serial.isEmpty() && card.serial.compare(result.serial, Qt::CaseInsensitive) != 0)
        return QStringLiteral("The card on %1 reports serial %2, but the inventory has %3 for \"%4\": was it swapped? "
                              "If this card belongs there, change its entry in the inventory.")
            .arg(card.port, result.serial.toUpper(), card.serial, card.name);
    if (card.kind && result.kind && card.kind != result.kind)
        return QStringLiteral("The card on %1 is %2 card, but the inventory has \"%3\" as %4 card.")
            .arg(card.port, *result.kind == CardType::AVM ? QStringLiteral("an AVM") : QStringLiteral("a SID"), card.name,
                 *card.kind == CardType::AVM ? QStringLiteral("an AVM") : QStringLiteral("a SID"));
    return {};
}

int defaultJobCount(const QList<InventoryCard>& cards, const std::function<QString(const QString&)>& lineOf)
{
    QSet<QString> lines;
    for (const InventoryCard& card : cards)
        lines.insert(lineOf ? lineOf(card.port) : card.port);
    return std::clamp(int(lines.size()), 1, DefaultJobsLimit);
}

FleetRunner::FleetRunner(LinkClock& clock, CardJobFactory factory, std::function<QString(const QString&)> lineOf)
    : clock_(clock), factory_(std::move(factory)), lineOf_(std::move(lineOf)), grace_(clock.createTimer()),
      reaper_(clock.createTimer())
{
    if (!lineOf_)
        lineOf_ = [](const QString& port) { return port; };
    grace_->onTimeout = [this] { giveUpOnRunning(); };
    reaper_->onTimeout = [this] { spent_.clear(); };
}

FleetRunner::~FleetRunner()
{
    // A job still running ends with its destructor; it must not tell a runner that is gone.
    for (const auto& slot : slots_) {
        if (slot->job)
            slot->job->finished = nullptr;
    }
    for (const auto& job : spent_)
        job->finished = nullptr;
}

void FleetRunner::run(const QList<InventoryCard>& cards, const FleetTask& task)
{
    if (started_)
        return;
    started_ = true;
    task_ = task;
    if (jobs_ == 0)
        jobs_ = defaultJobCount(cards, lineOf_);
    for (const InventoryCard& card : cards) {
        Row row;
        row.card = card;
        rows_.append(row);
        slots_.push_back(std::make_unique<Slot>());
        slots_.back()->line = lineOf_(card.port);
    }
    pump();
}

bool FleetRunner::lineBusy(const QString& line) const
{
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        if (rows_[i].state == Row::Running && slots_[i]->line == line)
            return true;
    }
    return false;
}

bool FleetRunner::hasWaiting() const
{
    return std::any_of(rows_.begin(), rows_.end(), [](const Row& row) { return row.state == Row::Waiting; });
}

// Starts the first waiting cards whose lines are free, as long as there is room. A job that
// ends inside its start is followed by another pass from the top.
void FleetRunner::pump()
{
    if (pumping_)
        return;
    pumping_ = true;
    for (bool again = true; again;) {
        again = false;
        for (int i = 0; i < rows_.size() && running_ < jobs_ && !stopping_; ++i) {
            if (rows_[i].state == Row::Waiting && !lineBusy(slots_[i]->line)) {
                startRow(i);
                again = true;
                break;
            }
        }
    }
    pumping_ = false;
    checkFinished();
}

void FleetRunner::startRow(int index)
{
    Slot& slot = *slots_[index];
    rows_[index].state = Row::Running;
    ++running_;
    slot.startedMs = clock_.nowMs();
    slot.job = factory_ ? factory_(rows_[index].card, task_) : nullptr;
    if (!slot.job) {
        endRow(index, resultOf(CardOutcome::Failed, QStringLiteral("Nothing can do this to a card here.")));
        return;
    }
    slot.job->finished = [this, index](const CardResult& result) { endRow(index, result); };
    slot.job->progressed = [this, index](const QString& text) {
        rows_[index].progress = text;
        if (onRowProgress)
            onRowProgress(index, text);
    };
    if (onRowChanged)
        onRowChanged(index);
    slot.job->start();
}

void FleetRunner::endRow(int index, const CardResult& result)
{
    Row& row = rows_[index];
    if (row.state != Row::Running)
        return; // told twice, or given up on already
    Slot& slot = *slots_[index];
    row.state = Row::Done;
    row.result = result;
    // Whatever was done, a card that is not the one named has not succeeded.
    if (const QString problem = identityProblem(row.card, result); !problem.isEmpty() && result.outcome == CardOutcome::Ok) {
        row.result.outcome = CardOutcome::Failed;
        row.result.message = problem;
    }
    row.result.seconds = double(clock_.nowMs() - slot.startedMs) / 1000.0;
    --running_;
    if (slot.job) {
        spent_.push_back(std::move(slot.job));
        reaper_->start(0);
    }
    if (row.result.outcome == CardOutcome::Failed && stopOnFailure_ && !stopping_) {
        stopping_ = true;
        skipWaiting(QStringLiteral("Not started: card \"%1\" failed before it.").arg(row.card.name));
    }
    if (onRowChanged)
        onRowChanged(index);
    pump();
}

void FleetRunner::skipWaiting(const QString& why)
{
    for (int i = 0; i < rows_.size(); ++i) {
        if (rows_[i].state != Row::Waiting)
            continue;
        rows_[i].state = Row::Done;
        rows_[i].result = resultOf(CardOutcome::Skipped, why);
        if (onRowChanged)
            onRowChanged(i);
    }
}

void FleetRunner::stop(const QString& why)
{
    if (!started_ || toldFinished_ || grace_->isActive())
        return;
    stopping_ = true;
    skipWaiting(QStringLiteral("Not started: %1.").arg(why));
    for (int i = 0; i < rows_.size(); ++i) {
        if (rows_[i].state == Row::Running && slots_[i]->job)
            slots_[i]->job->stop(); // may end at once
    }
    if (running_ > 0)
        grace_->start(StopGraceMs);
    checkFinished();
}

void FleetRunner::giveUpOnRunning()
{
    for (int i = 0; i < rows_.size(); ++i) {
        if (rows_[i].state == Row::Running)
            endRow(i, resultOf(CardOutcome::Failed, QStringLiteral("It did not end within %1 s of the stop; its "
                                                                   "connection was abandoned.").arg(StopGraceMs / 1000)));
    }
}

void FleetRunner::checkFinished()
{
    if (!finished() || toldFinished_)
        return;
    toldFinished_ = true;
    grace_->stop();
    if (onFinished)
        onFinished();
}

} // namespace quillon
