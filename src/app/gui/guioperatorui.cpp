// SPDX-License-Identifier: GPL-3.0-or-later
#include "guioperatorui.h"

#include "forms/controlsettingswindow.h"
#include "forms/progressdialog.h"
#include "mainwindow.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>

namespace quillon {

namespace {

// Messages show one at a time, in the order they were given, each as soon as the one before it
// is closed; the caller never waits for any of them.
struct PendingMessage {
    QPointer<QWidget> parent;
    bool hadParent = false;
    QString text;
    QString detail;
    QString findings;
};

std::deque<PendingMessage>& pendingMessages()
{
    static std::deque<PendingMessage> pending;
    return pending;
}

QPointer<QMessageBox>& openMessageBox()
{
    static QPointer<QMessageBox> box;
    return box;
}

void openNextMessage()
{
    auto& pending = pendingMessages();
    while (!pending.empty() && !openMessageBox()) {
        const PendingMessage next = pending.front();
        pending.pop_front();
        if (next.hadParent && !next.parent)
            continue; // its window has gone
        auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quillon"), next.text,
                                    QMessageBox::Ok, next.parent);
        box->setInformativeText(next.detail);
        box->setDetailedText(next.findings);
        // A short message would make a box too narrow for its title beside the window buttons.
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 30);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QObject::destroyed, [] { QTimer::singleShot(0, openNextMessage); });
        openMessageBox() = box;
        box->open();
    }
}

} // namespace

void showMessageBox(QWidget* parent, const QString& text, const QString& detail, const QString& findings)
{
    pendingMessages().push_back({parent, parent != nullptr, text, detail, findings});
    openNextMessage();
}

void askBeforeReplacingBox(QWidget* parent, std::function<void(ReplaceAnswer)> answered)
{
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Quillon"), ReplaceQuestion,
                                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box->setDefaultButton(QMessageBox::Save);
    box->setEscapeButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, answered = std::move(answered)] {
        const QMessageBox::StandardButton button = box->standardButton(box->clickedButton());
        // Closing the box by its title bar is a Cancel.
        answered(button == QMessageBox::Save      ? ReplaceAnswer::Save
                 : button == QMessageBox::Discard ? ReplaceAnswer::Discard
                                                  : ReplaceAnswer::Cancel);
    });
    box->open();
}

GuiOperatorUi::GuiOperatorUi(MainWindow& window, MessageSink sink, ReplaceQuestionSink question)
    : window_(window), sink_(std::move(sink)), question_(std::move(question))
{
}

void GuiOperatorUi::askBeforeReplacing(std::function<void(ReplaceAnswer)> answered)
{
    if (question_)
        question_(std::move(answered));
    else
        askBeforeReplacingBox(&window_, std::move(answered));
}

void GuiOperatorUi::message(const QString& text)
{
    sink_(text, {}, {});
}

void GuiOperatorUi::messageWithDetails(const QString& text, const QString& details)
{
    sink_(text, {}, details);
}

void GuiOperatorUi::failure(const QString& text, const QString& reason)
{
    sink_(text, reason, {});
}

void GuiOperatorUi::status(int panel, const QString& text)
{
    if (QLabel* label = window_.statusPanel(panel)) {
        label->setText(text);
        label->setToolTip(text); // a long text is cut at the panel's edge
    }
}

void GuiOperatorUi::caption(const QString& text)
{
    window_.setWindowTitle(text);
}

void GuiOperatorUi::transferButtonsEnabled(bool enabled)
{
    for (int number : {5, 6}) {
        if (QAction* button = window_.toolbarButton(number))
            button->setEnabled(enabled);
    }
}

void GuiOperatorUi::diagnosticLabel(int index, const QString& text)
{
    if (auto* controls = window_.controlSettings())
        controls->setDiagnosticLabel(index, text);
}

void GuiOperatorUi::showProgress()
{
    if (ProgressDialog* dialog = window_.progressDialog(true))
        dialog->showForTransfer();
}

void GuiOperatorUi::progress(TransferStage stage)
{
    static const char* const texts[] = {"Connecting to the card", "Card identified", "Set-up transferred",
                                        "Card has written its flash memory"};
    if (ProgressDialog* dialog = window_.progressDialog(false))
        dialog->setStage(int(stage) + 1, QString::fromLatin1(texts[int(stage)]));
}

void GuiOperatorUi::hideProgress()
{
    // Between the connections of one operation the dialog stays; the operation hides it.
    if (ProgressDialog* dialog = window_.progressDialog(false); dialog && !dialog->inOperation())
        dialog->hide();
}

void GuiOperatorUi::focusMainWindow()
{
    window_.raise();
    window_.activateWindow();
    // A message still waiting for its OK stays in front of the window it belongs to.
    if (QMessageBox* box = openMessageBox()) {
        box->raise();
        box->activateWindow();
    }
}

} // namespace quillon
