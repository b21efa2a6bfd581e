// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/shellui.h"

#include <QList>
#include <QString>
#include <functional>

class QWidget;

namespace quillon {

class MainWindow;

// One message for the operator. detail: the reason behind a failure, below the message, empty
// for most messages; findings: a list behind it (what was found behind a port's failure and the
// next step, the settings a read-back differs in), in the box's details.
struct OperatorMessage {
    QString text;
    QString detail;
    QString findings;
    MessageSeverity severity = MessageSeverity::None;
};

// Where the operator's messages go: a message box by default, a recorder in tests.
using MessageSink = std::function<void(const OperatorMessage& message)>;

// A message box with the title "Quillon" and an OK button, as wide as its text needs (wrapped
// past about 70 characters) and never narrower than its title. It is opened and left: the
// caller goes on at once, so a message never holds up the link.
void showMessageBox(QWidget* parent, const OperatorMessage& message);
// The width a box's title needs beside the window manager's icon and buttons.
int messageBoxTitleWidth(const QWidget* box);

// Where the question before replacing a modified set-up goes: a message box by default.
using ReplaceQuestionSink = std::function<void(const QString& question, std::function<void(ReplaceAnswer)> answered)>;
// The question before a modified set-up is replaced: Save, Discard or Cancel, window-modal; the
// answer is told when the operator gives it.
void askBeforeReplacingBox(QWidget* parent, const QString& question, std::function<void(ReplaceAnswer)> answered);

// What the link and the commands show, in the main window and its dialogs.
class GuiOperatorUi : public ShellUi {
public:
    GuiOperatorUi(MainWindow& window, MessageSink sink, ReplaceQuestionSink question);

    void message(const QString& text) override;
    void messageWithDetails(const QString& text, const QString& details) override;
    void tell(const QString& text, MessageSeverity severity, const QString& details = {}) override;
    void failure(const QString& text, const QString& reason) override;
    void status(int panel, const QString& text) override;
    void caption(const QString& text) override;
    void transferButtonsEnabled(bool enabled) override;
    void diagnosticLabel(int index, const QString& text) override;
    void showProgress() override;
    void progress(TransferStage stage) override;
    void hideProgress() override;
    void focusMainWindow() override;
    void askBeforeReplacing(const QString& question, std::function<void(ReplaceAnswer)> answered) override;

    // An operation (Get, Send with its backup read and verify, Compare With Card) begins: what it
    // tells is held until it has ended, so the operator gets one answer, not a box per step.
    void holdMessages();
    // The operation has ended: what it told shows as one box, the texts in order, with the icon
    // of the worst of them and their details, then 'extraDetails' (the backup written), in the
    // box's details. Messages no graver than 'quietUpTo' are dropped (a Compare's answer is its
    // window); nothing left, no box.
    void releaseMessages(const QString& extraDetails, MessageSeverity quietUpTo = MessageSeverity::None);
    // The window closes: what was held goes unsaid.
    void dropHeldMessages();
    bool holdingMessages() const { return holding_; }

private:
    MainWindow& window_;
    bool holding_ = false;
    QList<OperatorMessage> held_;
    MessageSink sink_;
    ReplaceQuestionSink question_;
};

} // namespace quillon
