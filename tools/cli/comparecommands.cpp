// diff and report: what a set-up holds, and how two set-ups differ.

#include "cliterminal.h"
#include "commands.h"

#include "files/setupfiles.h"

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

bool wantsHelp(const QStringList& args, const QString& usage, const QString& summary)
{
    if (!args.contains(QLatin1String("--help")) && !args.contains(QLatin1String("-h")))
        return false;
    printLine(stdout, QStringLiteral("usage: quillon-cli ") + usage);
    printLine(stdout, summary);
    return true;
}

// A set-up file, or "card:DEVICE" for the set-up of the card on that serial device.
std::optional<ComparedSetup> readOperand(const QString& operand)
{
    if (operand.startsWith(CardPrefix)) {
        const QString device = operand.mid(CardPrefix.size());
        if (device.isEmpty()) {
            trouble(QStringLiteral("\"card:\" needs a serial device, such as card:/dev/ttyS0"));
            return std::nullopt;
        }
        return readCardSetup(device);
    }
    try {
        return readSetupFile(operand);
    } catch (const SetupFileError& e) {
        trouble(e.message());
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

    const auto a = readOperand(operands[0]);
    if (!a)
        return ExitTrouble;
    const auto b = readOperand(operands[1]);
    if (!b)
        return ExitTrouble;
    const SetupComparison comparison = compareSetups(*a, *b);
    if (!comparison.comparable())
        return trouble(comparison.refusal);
    for (const SetupDifference& d : comparison.differences)
        printLine(stdout, differenceLine(d));
    printLine(stdout, differenceCount(comparison));
    return comparison.differences.isEmpty() ? ExitSame : ExitDifferent;
}

} // namespace

std::vector<CliCommand> compareCommands()
{
    const QString diffUsage = QStringLiteral("diff A B");
    const QString diffSummary = QStringLiteral(
        "Compares two set-ups, each a set-up file or card:DEVICE (the set-up of the card on that "
        "serial port): one line per setting (SID) or byte (AVM) that differs, then their count. "
        "Exit status 0 equal, 1 different, 2 trouble.");
    return {
        {QStringLiteral("diff"), diffUsage, diffSummary,
         [diffUsage, diffSummary](const QStringList& args) {
             return wantsHelp(args, diffUsage, diffSummary) ? ExitOk : runDiff(args, diffUsage);
         }},
    };
}

} // namespace quillon
