// SPDX-License-Identifier: GPL-3.0-or-later
#include "cliterminal.h"

namespace quillon {

namespace {

const char* panelName(int panel)
{
    switch (panel) {
    case 1:
        return "set-up";
    case 2:
        return "status";
    case 3:
        return "card";
    default:
        return "panel";
    }
}

QString stageName(TransferStage stage)
{
    switch (stage) {
    case TransferStage::LinkSetUp:
        return QStringLiteral("link set up");
    case TransferStage::CardIdentified:
        return QStringLiteral("card identified");
    case TransferStage::ImageTransferred:
        return QStringLiteral("set-up transferred");
    case TransferStage::FlashResult:
        return QStringLiteral("flash result received");
    }
    return QString();
}

} // namespace

void printLine(std::FILE* stream, const QString& text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stream);
    std::fflush(stream);
}

CliTerminal::CliTerminal(std::FILE* messages, std::FILE* statuses)
    : messages_(messages)
    , statuses_(statuses)
{
}

void CliTerminal::message(const QString& text)
{
    printLine(messages_, text);
}

void CliTerminal::status(int panel, const QString& text)
{
    if (statuses_ && !text.isEmpty())
        printLine(statuses_, QStringLiteral("[%1] %2").arg(QString::fromLatin1(panelName(panel)), text));
}

void CliTerminal::progress(TransferStage stage)
{
    if (statuses_)
        printLine(statuses_, QStringLiteral("[progress] ") + stageName(stage));
}

} // namespace quillon
