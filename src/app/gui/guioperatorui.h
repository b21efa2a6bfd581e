// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/shellui.h"

#include <QString>
#include <functional>

class QWidget;

namespace quillon {

class MainWindow;

// Where the operator's messages go: a message box by default, a recorder in tests.
// detail: the reason behind a failure, empty for most messages; findings: what was found
// behind a port's failure and the next step, for the box's details.
using MessageSink = std::function<void(const QString& text, const QString& detail, const QString& findings)>;
// Where the question before replacing a modified set-up goes: a message box by default.
using ReplaceQuestionSink = std::function<void(std::function<void(ReplaceAnswer)> answered)>;

// A message box with the title "Quillon", an OK button and no icon. It is opened and left:
// the caller goes on at once, so a message never holds up the link.
void showMessageBox(QWidget* parent, const QString& text, const QString& detail,
                    const QString& findings = {});
// The question before a modified set-up is replaced: Save, Discard or Cancel, window-modal; the
// answer is told when the operator gives it.
void askBeforeReplacingBox(QWidget* parent, std::function<void(ReplaceAnswer)> answered);

// What the link and the commands show, in the main window and its dialogs.
class GuiOperatorUi : public ShellUi {
public:
    GuiOperatorUi(MainWindow& window, MessageSink sink, ReplaceQuestionSink question);

    void message(const QString& text) override;
    void messageWithDetails(const QString& text, const QString& details) override;
    void failure(const QString& text, const QString& reason) override;
    void status(int panel, const QString& text) override;
    void caption(const QString& text) override;
    void transferButtonsEnabled(bool enabled) override;
    void diagnosticLabel(int index, const QString& text) override;
    void showProgress() override;
    void progress(TransferStage stage) override;
    void hideProgress() override;
    void focusMainWindow() override;
    void askBeforeReplacing(std::function<void(ReplaceAnswer)> answered) override;

private:
    MainWindow& window_;
    MessageSink sink_;
    ReplaceQuestionSink question_;
};

} // namespace quillon
