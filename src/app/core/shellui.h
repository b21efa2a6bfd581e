#pragma once

#include "operatorui.h"

#include <QString>

namespace quillon {

// What the application shell shows besides the link's messages and status panels.
class ShellUi : public OperatorUi {
public:
    // The main window's caption.
    virtual void caption(const QString& text) = 0;
    // A failure message, with the reason behind it when there is one (empty for a cancel).
    // The message is what the operator is told; the reason is extra detail below it.
    virtual void failure(const QString& text, const QString& reason)
    {
        (void)reason;
        message(text);
    }
};

} // namespace quillon
