// SPDX-License-Identifier: GPL-3.0-or-later
// get and send: a transfer with a card, run on an event loop as the program runs it.

#include "cliterminal.h"
#include "commands.h"

#include "app/core/backups.h"
#include "app/core/cardsession.h"
#include "app/core/linkpresenter.h"
#include "app/core/stopsignals.h"

#include "files/setupfiles.h"
#include "files/setupnames.h"
#include "link/cardlink.h"
#include "link/framelog.h"
#include "link/portselection.h"
#include "link/routedserialcontrol.h"
#include "app/core/settingsstore.h"
#include "link/tracefile.h"
#include "setup/setupcompare.h"
#include "setup/setupimage.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <optional>

namespace quillon {

namespace {

// A transfer that has not finished by then is ended.
constexpr int TransferLimitMs = 60000;

struct LinkArgs {
    QStringList inputs;
    QString output;
    QString device;
    QString trace;
    // The safety net around a transfer; parsed here, acted on by the backup and verify steps.
    bool backup = true;
    bool verify = true; // send only
    QString backupDir;  // empty: the backup folder of the settings
    bool stats = false;
    QString log;
    bool verbose = false;
};

std::optional<LinkArgs> parseLinkArgs(const QStringList& args, bool wantsOutput, QString* error)
{
    LinkArgs parsed;
    // The options that take a value, as "--name VALUE" or "--name=VALUE".
    const std::pair<QLatin1String, QString*> valued[] = {
        {QLatin1String("--port"), &parsed.device},         {QLatin1String("--trace"), &parsed.trace},
        {QLatin1String("--backup-dir"), &parsed.backupDir}, {QLatin1String("--log"), &parsed.log},
        {QLatin1String("--output"), wantsOutput ? &parsed.output : nullptr},
    };
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const QString name = wantsOutput && arg == QLatin1String("-o") ? QStringLiteral("--output") : arg.section(u'=', 0, 0);
        const auto option = std::find_if(std::begin(valued), std::end(valued),
                                         [&](const auto& v) { return v.second && v.first == name; });
        if (optionsEnded || !arg.startsWith(u'-') || arg.size() == 1) {
            parsed.inputs << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (option != std::end(valued)) {
            if (arg.contains(u'=')) {
                *option->second = arg.section(u'=', 1);
            } else if (i + 1 < args.size()) {
                *option->second = args[++i];
            } else {
                *error = arg + QStringLiteral(" needs a value");
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--no-backup")) {
            parsed.backup = false;
        } else if (!wantsOutput && arg == QLatin1String("--no-verify")) {
            parsed.verify = false;
        } else if (arg == QLatin1String("--stats")) {
            parsed.stats = true;
        } else if (arg == QLatin1String("--verbose") || arg == QLatin1String("-v")) {
            parsed.verbose = true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        }
    }
    if (wantsOutput && parsed.output.isEmpty()) {
        *error = QStringLiteral("the output file (-o FILE) is missing");
        return std::nullopt;
    }
    if (parsed.inputs.size() != (wantsOutput ? 0 : 1)) {
        *error = wantsOutput ? QStringLiteral("unexpected argument %1").arg(parsed.inputs.value(0))
                             : QStringLiteral("give exactly one set-up file to send");
        return std::nullopt;
    }
    if (args.contains(QLatin1String("--port")) && parsed.device.isEmpty()) {
        *error = QStringLiteral("--port needs a device path or a network port (rfc2217://HOST:PORT)");
        return std::nullopt;
    }
    return parsed;
}

enum class Operation { Get, Send, Compare };

// One Get, Send or Compare through the program's card session, on a serial port of this machine.
class Transfer {
public:
    explicit Transfer(const LinkArgs& args, std::FILE* statuses = stdout)
        : ui(statuses), args_(args), port_(store_)
    {
        loadDefaults(held.fields);
        port_.forceDevice(args.device);
        // Else the port the program has chosen in its Options menu.
        const int chosen = args.device.isEmpty() ? store_.chosenPort().toInt() : 1;
        const int port = chosen >= 1 && chosen <= 4 ? chosen : 1;
        selection_ = FixedPort(port, args.device.isEmpty() ? store_.portDevice(port) : args.device);
    }

    QString device() const { return selection_.deviceOf(selection_.selectedPort()); }

    // Runs the operation (its backup, transfer and verify connections) to its end.
    OperationResult run(Operation kind, const QString& fileName)
    {
        CardSession session(port_, selection_, held, ui, store_);
        CardOperation& operation = session.operation();
        CardLink& link = session.link();
        session.trace().setPath(args_.trace);
        session.frameLog().setPath(args_.log);
        if (args_.verbose)
            session.frameLog().echo = [](const QString& line) { printLine(stderr, line); };
        session.presenter().fileName = [fileName] { return fileName; };

        QEventLoop loop;
        std::optional<OperationResult> outcome;
        QObject::connect(&operation, &CardOperation::finished, &loop, [&](const OperationResult& result) {
            outcome = result;
            loop.quit(); // a connection still open is ended below
        });
        // The command ends as soon as the outcome is known: a connection that ended under a
        // running flow, once the link has had its say, fails the operation.
        QObject::connect(&session, &CardSession::connectionEnded, &loop, [&](const LinkCounters& counters) {
            if (args_.stats)
                printLine(stdout, countersLine(counters));
            QTimer::singleShot(0, &loop, [&] {
                if (operation.running() && !link.portOpen() && !operation.betweenConnections())
                    operation.fail();
            });
        });
        QTimer::singleShot(TransferLimitMs, &loop, [&] {
            ui.message(QStringLiteral("No result after %1 s: the transfer was ended.").arg(TransferLimitMs / 1000));
            operation.fail();
            link.endTransfer(EndReason::Completed);
        });
        // A logout or Ctrl+C ends the connection as closing the program's window does.
        const StopSignals stop([&](int signal) {
            ui.message(QStringLiteral("Stopped by %1: the transfer was ended.")
                           .arg(signal == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
            outcome = OperationResult{};
            session.shutdown();
            loop.quit();
        });
        QTimer::singleShot(0, &loop, [&] {
            OperationOptions options = session.options(kind == Operation::Send);
            options.backup = args_.backup;
            options.verify = args_.verify;
            if (!args_.backupDir.isEmpty())
                options.backupFolder = args_.backupDir;
            if (kind == Operation::Get)
                operation.get(options);
            else if (kind == Operation::Send)
                operation.send(options);
            else
                operation.compare(options);
        });
        loop.exec();

        operation.abandon();
        if (session.busy())
            session.shutdown();
        if (!operation.backupPath().isEmpty())
            ui.messages << QStringLiteral("Backup of the card's set-up: ") + operation.backupPath();
        received_ = operation.receivedImage();
        return outcome.value_or(OperationResult{});
    }

    // What the last Compare read.
    QByteArray received() const { return received_; }

    HeldSetup held;
    CliTerminal ui;

private:
    LinkArgs args_;
    SettingsStore store_;
    RoutedSerialControl port_;
    FixedPort selection_{1};
    QByteArray received_;
};

// Prints the operator's messages where they belong and returns the exit code.
int report(const Transfer& transfer, bool succeeded, const QString& failure)
{
    for (const QString& m : transfer.ui.messages)
        printLine(succeeded ? stdout : stderr, m);
    if (!succeeded)
        return failed(failure);
    return ExitOk;
}

int runGet(const QStringList& args, const QString& usage)
{
    QString error;
    const auto parsed = parseLinkArgs(args, true, &error);
    if (!parsed)
        return usageError(usage, error);
    const CardType wanted = setupKindFromName(parsed->output);

    Transfer transfer(*parsed);
    const QString device = transfer.device();
    if (!transfer.run(Operation::Get, QFileInfo(parsed->output).baseName()).succeeded)
        return report(transfer, false, QStringLiteral("no set-up was received from the card on %1").arg(device));

    const HeldSetup& held = transfer.held;
    if (held.loadedCardType != wanted) {
        report(transfer, true, {});
        return held.loadedCardType == CardType::AVM
            ? failed(QStringLiteral("the card sent an AVM set-up (%1 bytes), which is kept in a file whose "
                                    "name ends in \"m\", such as Studio.kxm; \"%2\" names a SID set-up file. "
                                    "Nothing was written.").arg(QString::number(held.setupImage.size()), parsed->output))
            : failed(QStringLiteral("the card sent a SID set-up, which is kept in a file such as Studio.kxd; "
                                    "\"%1\" names an AVM set-up file (the name ends in \"m\"). Nothing was "
                                    "written.").arg(parsed->output));
    }
    try {
        if (wanted == CardType::AVM)
            saveSetupImage(parsed->output, held.setupImage);
        else
            exportSetupText(parsed->output, held.fields.values());
    } catch (const SetupFileError& e) {
        report(transfer, true, {});
        return failed(e.message());
    }
    report(transfer, true, {});
    printLine(stdout, QStringLiteral("Saved the card's %1 set-up in %2").arg(cardTypeName(held.loadedCardType), parsed->output));
    return ExitOk;
}

int runSend(const QStringList& args, const QString& usage)
{
    QString error;
    const auto parsed = parseLinkArgs(args, false, &error);
    if (!parsed)
        return usageError(usage, error);
    const QString path = parsed->inputs.first();

    Transfer transfer(*parsed);
    // Read as the program's Open reads it: the name says the kind, the reader the card.
    HeldSetup& held = transfer.held;
    try {
        if (setupKindFromName(path) == CardType::AVM)
            loadSetupImage(path, held);
        else
            importSetupText(path, held);
    } catch (const SetupFileError& e) {
        return failed(e.message());
    }
    held.loadedCardType = setupKindFromName(path);

    const QString device = transfer.device();
    const OperationResult result = transfer.run(Operation::Send, QFileInfo(path).baseName());
    return report(transfer, result.succeeded,
                  result.sent ? QStringLiteral("the card on %1 does not hold the set-up in %2").arg(device, path)
                              : QStringLiteral("the set-up in %1 was not sent to the card on %2").arg(path, device));
}

} // namespace

std::optional<ComparedSetup> readCardSetup(const QString& device, const SetupValues* base)
{
    LinkArgs args;
    args.device = device;
    Transfer transfer(args, stderr);
    const bool received = transfer.run(Operation::Compare, QStringLiteral("card")).succeeded;
    for (const QString& m : transfer.ui.messages)
        printLine(stderr, m);
    if (!received) {
        printLine(stderr, QStringLiteral("quillon-cli: no set-up was received from the card on %1").arg(device));
        return std::nullopt;
    }
    return comparedSetupOfImage(transfer.received(), base ? *base : defaultSetupValues());
}

std::vector<CliCommand> linkCommands()
{
    const QString getUsage = QStringLiteral("get [--port DEVICE] [--trace FILE] [--log FILE] [--verbose] [--no-backup] [--backup-dir DIR] [--stats] -o FILE");
    const QString sendUsage = QStringLiteral("send FILE [--port DEVICE] [--trace FILE] [--log FILE] [--verbose] [--no-backup] [--no-verify] [--backup-dir DIR] [--stats]");
    const QString getSummary = QStringLiteral(
        "Gets the set-up of the card on the serial port (DEVICE, a device path or a serial server's port "
        "rfc2217://HOST:PORT or socket://HOST:PORT; else the port chosen in the program) "
        "into FILE: an AVM card's into a .kxm file, a SID card's into a .kxd file. --trace records "
        "every frame in FILE; --log writes a readable frame log to FILE, --verbose prints it on "
        "standard error as it happens. What arrived is kept in the backup folder first (--backup-dir "
        "DIR, --no-backup to skip); --stats prints the link's counters after the connection.");
    const QString sendSummary = QStringLiteral(
        "Sends the set-up in FILE (.kxm AVM image or .kxd SID settings) to the card on the serial "
        "port, which writes it to its flash memory. First the card's current set-up is read and "
        "kept in the backup folder (--backup-dir DIR; --no-backup skips it), and afterwards the "
        "set-up is read back and compared (--no-verify skips it; a difference exits 1). --stats "
        "prints the link's counters after each connection; --log writes a readable frame log to "
        "FILE, --verbose prints it on standard error as it happens.");
    return {
        {QStringLiteral("get"), getUsage, getSummary,
         [getUsage](const QStringList& args) { return runGet(args, getUsage); }},
        {QStringLiteral("send"), sendUsage, sendSummary,
         [sendUsage](const QStringList& args) { return runSend(args, sendUsage); }},
    };
}

} // namespace quillon
