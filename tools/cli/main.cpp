// SPDX-License-Identifier: GPL-3.0-or-later
#include "cliterminal.h"
#include "commands.h"

#include <QGuiApplication>
#include <memory>

using namespace quillon;

namespace {

std::vector<CliCommand> allCommands()
{
    std::vector<CliCommand> commands = fileCommands();
    for (auto* more : {linkCommands, backupCommands, compareCommands, portCommands, cardCommands, fleetCommands}) {
        for (CliCommand& command : more())
            commands.push_back(std::move(command));
    }
    return commands;
}

void printUsage(std::FILE* stream, const std::vector<CliCommand>& commands)
{
    printLine(stream, QStringLiteral("usage: quillon-cli COMMAND [ARGUMENTS]"));
    printLine(stream, QString());
    printLine(stream, QStringLiteral("Set-up files for KX40 cards: names ending in \"m\" (.kxm) "
                                     "hold an AVM card's image, all others (.kxd) a SID card's "
                                     "settings."));
    printLine(stream, QString());
    printLine(stream, QStringLiteral("Commands:"));
    for (const CliCommand& command : commands) {
        printLine(stream, QStringLiteral("  %1").arg(command.usage));
        printLine(stream, QStringLiteral("      %1").arg(command.summary));
    }
    printLine(stream, QString());
    printLine(stream, QStringLiteral("Exit status: 0 done, 1 failed, 2 wrong arguments; diff: 0 equal, "
                                     "1 different, 2 trouble. \"quillon-cli COMMAND --help\" shows one "
                                     "command."));
}

// Only a report needs fonts and page layout, and so QtGui; it never shows a window.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "report") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_WIN
        // The offscreen platform draws with FreeType from a folder of font files: Windows' own.
        if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
            qputenv("QT_QPA_FONTDIR", qgetenv("WINDIR") + "\\Fonts");
#endif
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char* argv[])
{
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const std::vector<CliCommand> commands = allCommands();

    if (args.isEmpty()) {
        printUsage(stderr, commands);
        return ExitUsage;
    }
    const QString& name = args.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")
        || name == QLatin1String("help")) {
        printUsage(stdout, commands);
        return ExitOk;
    }
    if (name == QLatin1String("--version")) {
        printLine(stdout, QStringLiteral("quillon-cli " QUILLON_VERSION));
        return ExitOk;
    }
    for (const CliCommand& command : commands) {
        if (command.name != name)
            continue;
        const QStringList rest = args.mid(1);
        if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h"))) {
            printLine(stdout, QStringLiteral("usage: quillon-cli ") + command.usage);
            printLine(stdout, command.summary);
            return ExitOk;
        }
        return command.run(rest);
    }
    printLine(stderr, QStringLiteral("quillon-cli: unknown command \"%1\"").arg(name));
    printUsage(stderr, commands);
    return ExitUsage;
}
