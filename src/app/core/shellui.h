// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "operatorui.h"

#include <QString>
#include <functional>

namespace quillon {

// The operator's answer when a modified set-up is about to be replaced.
enum class ReplaceAnswer { Save, Discard, Cancel };

// What the question says: before another set-up takes the held one's place, and before the
// program closes.
inline const QString ReplaceQuestion =
    QStringLiteral("The set-up has changed since it was last saved, opened or got. Save it before it is replaced?");
inline const QString ClosingQuestion =
    QStringLiteral("The set-up has changed since it was last saved, opened or got. Save it before Quillon closes?");

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
    // Asks `question` (ReplaceQuestion, ClosingQuestion) about a modified set-up, and tells the
    // answer (now or later: the caller goes on only from the answer). A shell that cannot ask
    // keeps it.
    virtual void askBeforeReplacing(const QString& question, std::function<void(ReplaceAnswer)> answered)
    {
        (void)question;
        answered(ReplaceAnswer::Cancel);
    }
};

} // namespace quillon
