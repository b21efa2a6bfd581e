// SPDX-License-Identifier: GPL-3.0-or-later
// fleet: status, backup, send, verify and diff over many cards of the inventory at once.

#include "cardargs.h"
#include "cliterminal.h"
#include "commands.h"

#include "app/core/fleetjob.h"
#include "app/core/fleetports.h"
#include "app/core/fleetreport.h"
#include "app/core/settingsstore.h"
#include "app/core/stopsignals.h"
#include "files/setupfiles.h"
#include "link/qtlinkclock.h"

#include <QDir>
#include <QEventLoop>

#include <csignal>

namespace quillon {

namespace {

struct Action {
    const char* name;
    FleetAction action;
};
constexpr Action Actions[] = {{"status", FleetAction::Status}, {"backup", FleetAction::Backup}, {"send", FleetAction::Send},
                              {"verify", FleetAction::Verify}, {"diff", FleetAction::Diff}};

std::optional<FleetAction> actionNamed(const QString& name)
{
    for (const Action& a : Actions) {
        if (name == QLatin1String(a.name))
            return a.action;
    }
    return std::nullopt;
}

// The serial line a port reaches, ComN as the Ports settings assign it.
std::function<QString(const QString&)> lineOfPorts(const SettingsStore& store)
{
    return [&store](const QString& port) { return portLineKey(port, [&store](int com) { return store.portDevice(com); }); };
}

struct RunOptions {
    int jobs = 0;
    bool stopOnFailure = false;
    bool echo = false; // each card on stderr as it ends: a long run shows how far it has come
};

// Runs the cards to their end; Ctrl+C and SIGTERM stop the run: cards not started are
// skipped, running ones end their connection with the SYN the card hears.
QList<FleetRunner::Row> runCards(const QList<InventoryCard>& cards, const FleetTask& task, FleetJobSetup setup,
                                 const SettingsStore& store, const RunOptions& options)
{
    QtLinkClock clock;
    setup.clock = &clock;
    setup.settings = &store;
    FleetRunner runner(clock, sessionJobFactory(std::make_shared<const FleetJobSetup>(std::move(setup))), lineOfPorts(store));
    runner.setJobs(options.jobs);
    runner.setStopOnFailure(options.stopOnFailure);
    QEventLoop loop;
    int done = 0;
    runner.onRowChanged = [&](int row) {
        const FleetRunner::Row& r = runner.rows()[row];
        if (!options.echo || r.state != FleetRunner::Row::Done)
            return;
        printLine(stderr, QStringLiteral("[%1/%2] %3: %4").arg(QString::number(++done), QString::number(cards.size()), r.card.name,
                                                               outcomeName(r.result.outcome)));
    };
    runner.onFinished = [&loop] { loop.quit(); };
    const StopSignals stop([&runner](int signal) {
        runner.stop(QStringLiteral("the run was stopped by %1").arg(signal == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
    });
    runner.run(cards, task);
    if (!runner.finished())
        loop.exec();
    return runner.rows();
}

// The table, then what each card said and, for diff and send, how it differs; then the count.
void printRows(const QList<FleetRunner::Row>& rows, FleetAction action)
{
    for (const QString& line : fleetTable(rows))
        printLine(stdout, line);
    const bool listDifferences = action == FleetAction::Diff || action == FleetAction::Send;
    bool first = true;
    for (const FleetRunner::Row& row : rows) {
        if (row.result.message.isEmpty() && (!listDifferences || row.result.differences.isEmpty()))
            continue;
        if (std::exchange(first, false))
            printLine(stdout, QString());
        printLine(stdout, QStringLiteral("%1: %2").arg(row.card.name, row.result.message));
        if (listDifferences) {
            for (const QString& difference : row.result.differences)
                printLine(stdout, QStringLiteral("    ") + difference);
        }
    }
    printLine(stdout, QString());
    printLine(stdout, fleetSummary(rows));
}

int runFleet(const QStringList& args, const QString& usage)
{
    const std::optional<FleetAction> action = actionNamed(args.value(0));
    if (!action)
        return usageError(usage, args.isEmpty() || args.first().startsWith(u'-') ? QStringLiteral("fleet needs status, backup, send, verify or diff")
                                                : QStringLiteral("unknown fleet command \"%1\"").arg(args.first()));
    const QStringList valued{QStringLiteral("--inventory"), QStringLiteral("--group"), QStringLiteral("--card"), QStringLiteral("--jobs"),
                             QStringLiteral("--backup-dir"), QStringLiteral("--log")};
    const QStringList flags{QStringLiteral("--stop-on-failure"), QStringLiteral("--json"), QStringLiteral("--no-backup"),
                            QStringLiteral("--no-verify"), QStringLiteral("--stats")};
    QString error;
    const std::optional<CardArgs> parsed = parseCardArgs(args.mid(1), valued, flags, &error);
    if (!parsed)
        return usageError(usage, error);
    const bool sending = *action == FleetAction::Send;
    if (parsed->words.size() != (sending ? 1 : 0))
        return usageError(usage, sending ? QStringLiteral("fleet send takes one set-up file")
                                         : QStringLiteral("unexpected argument %1").arg(parsed->words.first()));
    if (parsed->flag("--no-backup") && *action == FleetAction::Backup)
        return usageError(usage, QStringLiteral("fleet backup with --no-backup would do nothing"));
    if (parsed->flag("--no-verify") && !sending)
        return usageError(usage, QStringLiteral("--no-verify is for fleet send"));
    RunOptions run;
    if (parsed->has("--jobs")) {
        bool ok = false;
        run.jobs = parsed->value("--jobs").toInt(&ok);
        if (!ok || run.jobs < 1 || run.jobs > MaxJobs)
            return usageError(usage, QStringLiteral("--jobs takes a number from 1 to %1").arg(MaxJobs));
    }
    for (const char* option : {"--inventory", "--backup-dir", "--log"}) {
        if (parsed->has(option) && parsed->value(option).isEmpty())
            return usageError(usage, QStringLiteral("%1 needs a file or folder name").arg(QLatin1String(option)));
    }
    run.stopOnFailure = parsed->flag("--stop-on-failure");
    const bool json = parsed->flag("--json");
    run.echo = !json;

    const QString inventoryPath = parsed->has("--inventory") ? parsed->value("--inventory") : defaultInventoryPath();
    const InventoryFile file = readInventory(inventoryPath);
    if (!file.ok())
        return failed(file.error);
    for (const InventoryProblem& problem : file.inventory.problems())
        printLine(stderr, QStringLiteral("%1:%2: %3").arg(QDir::toNativeSeparators(file.path), QString::number(problem.line), problem.text));
    const std::optional<QList<InventoryCard>> cards
        = selectCards(file.inventory, {parsed->all("--group"), parsed->all("--card")}, &error);
    if (!cards)
        return usageError(usage, error);

    const SettingsStore store;
    FleetTask task;
    task.action = *action;
    task.options.backup = !parsed->flag("--no-backup");
    task.options.verify = !parsed->flag("--no-verify");
    task.options.backupFolder = parsed->has("--backup-dir") ? parsed->value("--backup-dir") : store.backupFolder();
    task.options.keepDays = store.backupKeepDays();
    FleetJobSetup setup;
    setup.inventoryPath = file.path;
    setup.frameLog = parsed->value("--log");
    if (sending) {
        task.file = parsed->words.first();
        try {
            setup.setup = readSetupFile(task.file);
        } catch (const SetupFileError& e) {
            return failed(e.message());
        }
    }
    if (parsed->flag("--stats")) {
        std::FILE* stream = json ? stderr : stdout;
        setup.onConnectionEnded = [stream](const InventoryCard& card, const LinkCounters& counters) {
            printLine(stream, QStringLiteral("%1: %2").arg(card.name, countersLine(counters)));
        };
    }

    const QList<FleetRunner::Row> rows = runCards(*cards, task, std::move(setup), store, run);
    if (json) {
        const QByteArray document = fleetJson(rows);
        std::fwrite(document.constData(), 1, std::size_t(document.size()), stdout);
    } else {
        printRows(rows, *action);
    }
    return fleetExitCode(rows);
}

} // namespace

std::optional<CardResult> probeCard(const InventoryCard& card)
{
    const SettingsStore store;
    FleetTask task;
    task.action = FleetAction::Status;
    InventoryCard unknown = card; // what the card says is the question, not what it is said to be
    unknown.kind.reset();
    unknown.serial.clear();
    const QList<FleetRunner::Row> rows = runCards({unknown}, task, FleetJobSetup{}, store, RunOptions{});
    const CardResult& result = rows.first().result;
    if (result.outcome != CardOutcome::Ok || !result.kind || result.serial.isEmpty()) {
        printLine(stderr, QStringLiteral("quillon-cli: the card on %1 was not identified: %2").arg(card.port, result.message));
        return std::nullopt;
    }
    return result;
}

std::vector<CliCommand> fleetCommands()
{
    const QString usage = QStringLiteral(
        "fleet status|backup|send FILE|verify|diff [--group G | --card NAME ...] [--jobs N] [--stop-on-failure] [--json] "
        "[--inventory FILE] [--backup-dir DIR] [--no-backup] [--no-verify] [--log FILE] [--stats]");
    const QString summary = QStringLiteral(
        "Works on many cards of the inventory at once (all of them, the cards of the groups given, or the cards named): "
        "status reads each card and says its kind, serial and set-up version, flagging a card whose serial is not the "
        "inventory's; backup keeps each card's set-up in the backup folder; send FILE backs up, sends and reads back "
        "each card as send does, refusing a card of the other kind or with another serial before anything is sent; "
        "verify compares each card with its reference set-up, diff also prints the differences. Cards on different "
        "serial lines run at once (--jobs, default one per line up to 16), two on one line never. Prints a table and "
        "\"N cards: A ok, B failed, C skipped\", or one JSON document with --json; exits 0 when every card succeeded, 1 "
        "when one failed or was skipped. --stop-on-failure starts no more cards after a failure; Ctrl+C skips the cards "
        "not started. --log FILE writes each card's frame log (the card's name added to FILE's name).");
    return {{QStringLiteral("fleet"), usage, summary, [usage](const QStringList& args) { return runFleet(args, usage); }}};
}

} // namespace quillon
