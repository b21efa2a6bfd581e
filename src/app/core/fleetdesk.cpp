// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleetdesk.h"

#include "backups.h"
#include "fleetports.h"
#include "fleetreport.h"
#include "settingsstore.h"

#include "../../link/qtlinkclock.h"

#include <QDir>
#include <QFileInfo>

namespace quillon {

namespace {

QString key(const QString& name) { return name.toLower(); }

} // namespace

FleetDesk::FleetDesk(const SettingsStore& settings, QString inventoryPath, LinkClock* clock,
                     std::function<std::unique_ptr<SerialControl>(const InventoryCard&)> makePort)
    : settings_(settings), path_(std::move(inventoryPath)), ownClock_(clock ? nullptr : std::make_unique<QtLinkClock>()),
      clock_(clock ? *clock : *ownClock_), makePort_(std::move(makePort)), later_(clock_.createTimer())
{
    later_->onTimeout = [this] { finishRun(); };
    reload();
}

FleetDesk::~FleetDesk()
{
    if (runner_) {
        runner_->onRowChanged = nullptr;
        runner_->onRowProgress = nullptr;
        runner_->onFinished = nullptr;
    }
    runner_.reset(); // each job still running ends its connection with a SYN as it goes
}

QString FleetDesk::reload()
{
    InventoryFile file = readInventory(path_);
    if (!file.ok())
        return file.error;
    file_ = std::move(file);
    refreshBackups();
    Q_EMIT inventoryChanged();
    return {};
}

QStringList FleetDesk::problems() const
{
    QStringList lines;
    for (const InventoryProblem& problem : file_.inventory.problems())
        lines << problem.describe();
    return lines;
}

// The newest backup of each card, by its serial, as the backup folder holds them.
void FleetDesk::refreshBackups()
{
    QMap<QString, QDateTime> newest;
    for (const BackupEntry& entry : BackupFolder(settings_.backupFolder()).list()) {
        if (!newest.contains(entry.serial))
            newest.insert(entry.serial, entry.time); // the list is newest first
    }
    for (const InventoryCard& card : cards()) {
        if (!card.serial.isEmpty() && newest.contains(card.serial))
            states_[key(card.name)].lastBackup = newest.value(card.serial);
    }
}

QString FleetDesk::write()
{
    if (const QString error = writeInventory(path_, file_.inventory); !error.isEmpty())
        return error;
    refreshBackups();
    Q_EMIT inventoryChanged();
    return {};
}

QString FleetDesk::put(const InventoryCard& card, const QString& replacing)
{
    if (const QString problem = inventoryCardProblem(card); !problem.isEmpty())
        return problem;
    // The file as it is now: someone may have edited it since.
    if (const QString error = reload(); !error.isEmpty())
        return error;
    const bool renamed = !replacing.isEmpty() && key(replacing) != key(card.name);
    if ((replacing.isEmpty() || renamed) && file_.inventory.sectionLine(card.name) > 0)
        return QStringLiteral("A card named \"%1\" is in the inventory already.").arg(card.name);
    Inventory changed = file_.inventory;
    if (renamed)
        changed.remove(replacing);
    if (const QString problem = changed.put(card); !problem.isEmpty())
        return problem;
    file_.inventory = changed;
    if (renamed)
        states_.insert(key(card.name), states_.take(key(replacing)));
    return write();
}

QString FleetDesk::remove(const QString& name)
{
    if (const QString error = reload(); !error.isEmpty())
        return error;
    if (file_.inventory.remove(name) == 0)
        return QStringLiteral("No card named \"%1\" in the inventory.").arg(name);
    states_.remove(key(name));
    return write();
}

bool FleetDesk::run(FleetAction action, const QStringList& names, const std::optional<ComparedSetup>& setup, const QString& file)
{
    if (runner_ || names.isEmpty())
        return false;
    QList<InventoryCard> chosen;
    for (const QString& name : names) {
        if (const InventoryCard* card = file_.inventory.find(name))
            chosen << *card;
    }
    if (chosen.isEmpty() || (action == FleetAction::Send && !setup))
        return false;

    auto jobs = std::make_shared<FleetJobSetup>();
    jobs->clock = &clock_;
    jobs->settings = &settings_;
    jobs->makePort = makePort_;
    jobs->inventoryPath = path_;
    jobs->setup = setup;
    jobs->frameLog = QFileInfo(settings_.tracePath()).dir().filePath(QStringLiteral("frames.log"));
    FleetTask task;
    task.action = action;
    task.file = file;
    // As the program's own Send does: the Options menu chooses its safety net.
    task.options.backup = action != FleetAction::Send || settings_.backupBeforeSend();
    task.options.verify = settings_.verifyAfterSend();
    task.options.backupFolder = settings_.backupFolder();
    task.options.keepDays = settings_.backupKeepDays();

    action_ = action;
    runner_ = std::make_unique<FleetRunner>(clock_, sessionJobFactory(jobs), [this](const QString& port) {
        return portLineKey(port, [this](int com) { return settings_.portDevice(com); });
    });
    for (const InventoryCard& card : chosen) {
        CardState& state = states_[key(card.name)];
        state.waiting = true;
        state.progress = QStringLiteral("Waiting");
        state.frameLog = perCardPath(jobs->frameLog, card.name);
        Q_EMIT cardChanged(card.name);
    }
    runner_->onRowChanged = [this](int row) { rowChanged(row); };
    runner_->onRowProgress = [this](int row, const QString& text) {
        const QString name = runner_->rows()[row].card.name;
        states_[key(name)].progress = text;
        Q_EMIT cardChanged(name);
    };
    runner_->onFinished = [this] { later_->start(0); };
    runner_->run(chosen, task);
    return true;
}

void FleetDesk::stop()
{
    if (runner_)
        runner_->stop(QStringLiteral("stopped in the Cards window"));
}

void FleetDesk::rowChanged(int row)
{
    const FleetRunner::Row& r = runner_->rows()[row];
    CardState& state = states_[key(r.card.name)];
    state.waiting = r.state == FleetRunner::Row::Waiting;
    state.running = r.state == FleetRunner::Row::Running;
    if (state.running) {
        state.progress = QStringLiteral("Starting");
        state.outcome.reset();
        state.message.clear();
        state.differences.clear();
    }
    if (r.state == FleetRunner::Row::Done) {
        const CardResult& result = r.result;
        state.progress.clear();
        state.outcome = result.outcome;
        state.message = result.message;
        state.differences = result.differences;
        if (!result.serial.isEmpty())
            state.lastSeen = QDateTime::currentDateTime();
        if (action_ == FleetAction::Verify && result.outcome != CardOutcome::Skipped && !result.serial.isEmpty())
            state.matchesReference = result.outcome == CardOutcome::Ok;
        if (!QFileInfo::exists(state.frameLog))
            state.frameLog.clear();
    }
    Q_EMIT cardChanged(r.card.name);
}

void FleetDesk::finishRun()
{
    if (!runner_)
        return;
    const QString summary = fleetSummary(runner_->rows());
    runner_.reset();
    refreshBackups();
    for (const InventoryCard& card : cards())
        Q_EMIT cardChanged(card.name);
    Q_EMIT runFinished(summary);
}

} // namespace quillon
