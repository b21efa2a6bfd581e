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

// A message box with the title "Quillon", an OK button and no icon. It is opened and left:
// the caller goes on at once, so a message never holds up the link.
void showMessageBox(QWidget* parent, const QString& text, const QString& detail,
                    const QString& findings = {});

// What the link and the commands show, in the main window and its dialogs.
class GuiOperatorUi : public ShellUi {
public:
    GuiOperatorUi(MainWindow& window, MessageSink sink);

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

private:
    MainWindow& window_;
    MessageSink sink_;
};

} // namespace quillon
