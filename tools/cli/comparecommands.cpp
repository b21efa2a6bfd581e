// SPDX-License-Identifier: GPL-3.0-or-later
// diff and report: what a set-up holds, and how two set-ups differ.

#include "cliterminal.h"
#include "commands.h"

#include "files/setupfiles.h"
#include "files/setupreport.h"
#include "report/pdfreport.h"

#include <QDateTime>
#include <QFileInfo>

namespace quillon {

namespace {

// diff's own exit codes: scripts ask "are they the same?".
constexpr int ExitSame = 0;
constexpr int ExitDifferent = 1;
constexpr int ExitTrouble = 2;

const QString CardPrefix = QStringLiteral("card:");

int trouble(const QString& message)
{
    printLine(stderr, QStringLiteral("quillon-cli: ") + message);
    return ExitTrouble;
}

void complain(const QString& message)
{
    printLine(stderr, QStringLiteral("quillon-cli: ") + message);
}

// A set-up file, or "card:DEVICE" for the set-up of the card on that serial device; nullopt
// after saying why on stderr. A card's set-up is read over 'base' (a SID set-up it is compared
// with), so that the settings a card does not keep (the audio window's position) show no
// difference.
std::optional<ComparedSetup> readOperand(const QString& operand, const ComparedSetup* base = nullptr)
{
    if (operand.startsWith(CardPrefix)) {
        const QString device = operand.mid(CardPrefix.size());
        if (device.isEmpty()) {
            complain(QStringLiteral("\"card:\" needs a serial device, such as card:/dev/ttyS0"));
            return std::nullopt;
        }
        return readCardSetup(device, base && base->kind == CardType::SID ? &base->values : nullptr);
    }
    try {
        return readSetupFile(operand);
    } catch (const SetupFileError& e) {
        complain(e.message());
        return std::nullopt;
    }
}

int runDiff(const QStringList& args, const QString& usage)
{
    QStringList operands;
    bool optionsEnded = false;
    for (const QString& arg : args) {
        if (!optionsEnded && arg == QLatin1String("--"))
            optionsEnded = true;
        else if (!optionsEnded && arg.startsWith(u'-') && arg.size() > 1)
            return trouble(QStringLiteral("unknown option %1\nusage: quillon-cli %2").arg(arg, usage));
        else
            operands << arg;
    }
    if (operands.size() != 2)
        return trouble(QStringLiteral("give two set-ups to compare\nusage: quillon-cli %1").arg(usage));

    // A file first, so that a card's set-up can be read over it.
    const bool cardFirst = operands[0].startsWith(CardPrefix);
    const auto first = readOperand(operands[cardFirst ? 1 : 0]);
    if (!first)
        return ExitTrouble;
    const auto second = readOperand(operands[cardFirst ? 0 : 1], &*first);
    if (!second)
        return ExitTrouble;
    const ComparedSetup& a = cardFirst ? *second : *first;
    const ComparedSetup& b = cardFirst ? *first : *second;
    const SetupComparison comparison = compareSetups(a, b);
    if (!comparison.comparable())
        return trouble(comparison.refusal);
    for (const SetupDifference& d : comparison.differences)
        printLine(stdout, differenceLine(d));
    printLine(stdout, differenceCount(comparison));
    return comparison.differences.isEmpty() ? ExitSame : ExitDifferent;
}

struct ReportArgs {
    QString input;
    QString against;
    QString output;
};

std::optional<ReportArgs> parseReportArgs(const QStringList& args, QString* error)
{
    ReportArgs parsed;
    QStringList inputs;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool takesValue = arg == QLatin1String("-o") || arg == QLatin1String("--output")
            || arg == QLatin1String("--against");
        if (takesValue && i + 1 >= args.size()) {
            *error = arg + QStringLiteral(" needs a value");
            return std::nullopt;
        }
        if (takesValue)
            (arg == QLatin1String("--against") ? parsed.against : parsed.output) = args[++i];
        else if (arg.startsWith(u'-') && arg.size() > 1)
            *error = QStringLiteral("unknown option %1").arg(arg);
        else
            inputs << arg;
        if (!error->isEmpty())
            return std::nullopt;
    }
    if (inputs.size() != 1)
        *error = QStringLiteral("give one set-up to report on");
    else if (parsed.output.isEmpty())
        *error = QStringLiteral("the report file (-o REPORT.pdf) is missing");
    if (!error->isEmpty())
        return std::nullopt;
    parsed.input = inputs.first();
    return parsed;
}

QString shownName(const QString& operand)
{
    return operand.startsWith(CardPrefix) ? operand : QFileInfo(operand).fileName();
}

int runReport(const QStringList& args, const QString& usage)
{
    QString error;
    const auto parsed = parseReportArgs(args, &error);
    if (!parsed)
        return trouble(QStringLiteral("%1\nusage: quillon-cli %2").arg(error, usage));
    const auto setup = readOperand(parsed->input);
    if (!setup)
        return ExitFailed;
    const QDateTime now = QDateTime::currentDateTime();
    QString html;
    if (parsed->against.isEmpty()) {
        html = setupReportHtml(shownName(parsed->input), *setup, now);
    } else {
        const auto other = readOperand(parsed->against, &*setup);
        if (!other)
            return ExitFailed;
        const SetupComparison comparison = compareSetups(*setup, *other);
        if (!comparison.comparable()) {
            complain(comparison.refusal);
            return ExitFailed;
        }
        html = differencesReportHtml(shownName(parsed->input), shownName(parsed->against), comparison, now);
    }
    const QString problem = writePdfReport(html, QStringLiteral("Quillon report"), parsed->output);
    if (!problem.isEmpty()) {
        complain(problem);
        return ExitFailed;
    }
    printLine(stdout, QStringLiteral("Wrote the report \"%1\".").arg(parsed->output));
    return ExitOk;
}

} // namespace

std::vector<CliCommand> compareCommands()
{
    const QString diffUsage = QStringLiteral("diff A B");
    const QString diffSummary = QStringLiteral(
        "Compares two set-ups, each a set-up file or card:DEVICE (the set-up of the card on that "
        "serial port): one line per setting (SID) or byte (AVM) that differs, then their count. "
        "Exit status 0 equal, 1 different, 2 trouble.");
    const QString reportUsage = QStringLiteral("report FILE [--against OTHER] -o REPORT.pdf");
    const QString reportSummary = QStringLiteral(
        "Writes a printable PDF of the set-up in FILE (or card:DEVICE): every setting window by "
        "window, or an AVM image's bytes. With --against, the differences from OTHER instead.");
    return {
        {QStringLiteral("diff"), diffUsage, diffSummary,
         [diffUsage](const QStringList& args) { return runDiff(args, diffUsage); }},
        {QStringLiteral("report"), reportUsage, reportSummary,
         [reportUsage](const QStringList& args) { return runReport(args, reportUsage); }},
    };
}

} // namespace quillon
