// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../link/linkevents.h"

#include <QString>

namespace quillon {

// How grave a message is: the desktop program's box shows the matching icon (None: no icon).
// Ordered, so that the worst of several is the greatest.
enum class MessageSeverity { None, Information, Warning, Critical };

// Everything the program shows the operator goes through here: the desktop program shows message
// boxes and status panels, the command-line tool prints, tests record. A message never holds up
// the caller: it returns at once, as if OK had been pressed.
class OperatorUi {
public:
    virtual ~OperatorUi() = default;

    // A message box with the title "Quillon", an OK button and no icon.
    virtual void message(const QString& text) = 0;
    // A message with what was found behind it (why a port failed, and the next step): shown
    // as the message box's details, or after the message where there is no box.
    virtual void messageWithDetails(const QString& text, const QString& details)
    {
        message(details.isEmpty() ? text : text + QLatin1Char('\n') + details);
    }
    // A message of a transfer, with how grave it is and what lies behind it (the details). The
    // desktop program holds these until the operation ends and shows them as one box; a shell
    // without icons shows it as message() and messageWithDetails() would.
    virtual void tell(const QString& text, MessageSeverity severity, const QString& details = {})
    {
        (void)severity;
        if (details.isEmpty())
            message(text);
        else
            messageWithDetails(text, details);
    }
    // Status bar panel 1 (kind of set-up held), 2 (progress and result) or 3 (card detected).
    virtual void status(int panel, const QString& text) = 0;

    // Toolbar buttons 5 ("send") and 6 ("get").
    virtual void transferButtonsEnabled(bool enabled) { (void)enabled; }
    // The Controls window's hidden diagnostic labels (check mode, header mode, data seen).
    virtual void diagnosticLabel(int index, const QString& text) { (void)index; (void)text; }
    virtual void showProgress() {}
    virtual void progress(TransferStage stage) { (void)stage; }
    virtual void hideProgress() {}
    virtual void focusMainWindow() {}
};

// Status bar panel 1: the kind of set-up held.
inline QString loadedSetupText(CardType kind)
{
    return kind == CardType::AVM ? QStringLiteral("AVM Config Loaded") : QStringLiteral("SID Config Loaded");
}

} // namespace quillon
