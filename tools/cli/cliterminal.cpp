// SPDX-License-Identifier: GPL-3.0-or-later
#include "cliterminal.h"

#include "commands.h"

namespace quillon {

namespace {

const char* panelName(int panel)
{
    static const char* const names[] = {"panel", "set-up", "status", "card"};
    return names[panel >= 1 && panel <= 3 ? panel : 0];
}

const char* stageName(TransferStage stage)
{
    static const char* const names[] = {"link set up", "card identified", "set-up transferred", "flash result received"};
    return names[int(stage)];
}

} // namespace

void printLine(std::FILE* stream, const QString& text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stream);
    std::fflush(stream);
}

int usageError(const QString& usage, const QString& problem)
{
    printLine(stderr, QStringLiteral("quillon-cli: ") + problem);
    printLine(stderr, QStringLiteral("usage: quillon-cli ") + usage);
    return ExitUsage;
}

int failed(const QString& message)
{
    printLine(stderr, QStringLiteral("quillon-cli: ") + message);
    return ExitFailed;
}

void CliTerminal::status(int panel, const QString& text)
{
    if (!text.isEmpty())
        printLine(statuses_, QStringLiteral("[%1] %2").arg(QString::fromLatin1(panelName(panel)), text));
}

void CliTerminal::progress(TransferStage stage)
{
    printLine(statuses_, QStringLiteral("[progress] ") + QString::fromLatin1(stageName(stage)));
}

} // namespace quillon
