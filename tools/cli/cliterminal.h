// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/operatorui.h"

#include <QString>
#include <QStringList>
#include <cstdio>

namespace quillon {

// The operator's side of a transfer on the terminal: message boxes are kept for the end (they go
// to stdout on success, stderr on failure); status panel texts and progress show as they come.
class CliTerminal : public OperatorUi {
public:
    explicit CliTerminal(std::FILE* statuses = stdout) : statuses_(statuses) {}

    void message(const QString& text) override { messages << text; }
    void status(int panel, const QString& text) override;
    void progress(TransferStage stage) override;

    QStringList messages;

private:
    std::FILE* statuses_;
};

// Prints a line to a stream, in the terminal's encoding.
void printLine(std::FILE* stream, const QString& text);

// Says what is wrong on stderr ("quillon-cli: ..."), with the command's usage after it for a
// usage error, and gives the exit code that goes with it.
int usageError(const QString& usage, const QString& problem);
int failed(const QString& message);

} // namespace quillon
