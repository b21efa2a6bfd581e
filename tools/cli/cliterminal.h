#pragma once

#include "app/core/operatorui.h"

#include <QString>
#include <cstdio>

namespace quillon {

// Shows the operator's messages and status texts on the terminal.
class CliTerminal : public OperatorUi {
public:
    // messages: where message boxes go (stderr when every message is a failure);
    // statuses: where status panel texts and progress go, or nullptr to drop them.
    explicit CliTerminal(std::FILE* messages = stdout, std::FILE* statuses = stdout);

    void message(const QString& text) override;
    void status(int panel, const QString& text) override;
    void progress(TransferStage stage) override;

private:
    std::FILE* messages_;
    std::FILE* statuses_;
};

// Prints a line to a stream, in the terminal's encoding.
void printLine(std::FILE* stream, const QString& text);

} // namespace quillon
