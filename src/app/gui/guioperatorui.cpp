// SPDX-License-Identifier: GPL-3.0-or-later
#include "guioperatorui.h"

#include "forms/controlsettingswindow.h"
#include "forms/progressdialog.h"
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <deque>

namespace quillon {

namespace {

// Messages show one at a time, in the order they were given, each as soon as the one before it
// is closed; the caller never waits for any of them.
struct PendingMessage {
    QPointer<QWidget> parent;
    bool hadParent = false;
    OperatorMessage message;
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

QMessageBox::Icon iconOf(MessageSeverity severity)
{
    switch (severity) {
    case MessageSeverity::None: break;
    case MessageSeverity::Information: return QMessageBox::Information;
    case MessageSeverity::Warning: return QMessageBox::Warning;
    case MessageSeverity::Critical: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The width a text needs unwrapped: that of its longest line.
int unwrappedWidth(const QFontMetrics& metrics, const QString& text)
{
    return text.isEmpty() ? 0 : metrics.boundingRect(QRect(), Qt::TextExpandTabs, text).width();
}

// Qt sizes a box to its message, wrapped past about 500 pixels. A short message is widened
// here: to the title beside the window manager's icon and buttons, to the reason below it (up
// to about 70 characters) and to the lines of its details (up to about 100, one item of a list
// a line), which would otherwise wrap at the message's width. The details show a dozen lines
// before they scroll.
void sizeToText(QMessageBox* box)
{
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    const QFontMetrics metrics(label->font());
    const int wrapWidth = metrics.averageCharWidth() * 70;
    const int detailsWrapWidth = metrics.averageCharWidth() * 100;
    int detailsWidth = 0;
    if (auto* details = box->findChild<QTextEdit*>()) {
        const QFontMetrics detailsMetrics(details->font());
        const int margins = 2 * (details->frameWidth() + int(details->document()->documentMargin()));
        int lines = 0;
        for (const QString& line : box->detailedText().split(u'\n')) {
            const int width = unwrappedWidth(detailsMetrics, line);
            detailsWidth = std::max(detailsWidth, width + margins);
            lines += 1 + width / detailsWrapWidth; // a line past the wrapping width wraps
        }
        details->setFixedHeight(std::clamp(lines, 3, 12) * detailsMetrics.lineSpacing() + margins);
    }
    const int text = unwrappedWidth(metrics, box->text());
    if (text > wrapWidth)
        return;
    const int reason = std::min(unwrappedWidth(metrics, box->informativeText()), wrapWidth);
    const int details = std::min(detailsWidth, detailsWrapWidth);
    label->setMinimumWidth(std::max({text, reason, details, messageBoxTitleWidth(box)}));
}

void openNextMessage()
{
    auto& pending = pendingMessages();
    while (!pending.empty() && !openMessageBox()) {
        const PendingMessage next = pending.front();
        pending.pop_front();
        if (next.hadParent && !next.parent)
            continue; // its window has gone
        const OperatorMessage& m = next.message;
        auto* box = new QMessageBox(iconOf(m.severity), QStringLiteral("Quillon"), m.text, QMessageBox::Ok,
                                    next.parent);
        // Texts name files and devices, which are never markup.
        box->setTextFormat(Qt::PlainText);
        box->setInformativeText(m.detail);
        if (auto* reason = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            reason->setTextFormat(Qt::PlainText);
        box->setDetailedText(m.findings);
        sizeToText(box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QObject::destroyed, [] { QTimer::singleShot(0, openNextMessage); });
        openMessageBox() = box;
        box->open();
    }
}

} // namespace

int messageBoxTitleWidth(const QWidget* box)
{
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    const int button = box->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, box);
    return title.horizontalAdvance(box->windowTitle()) + 5 * button;
}

void showMessageBox(QWidget* parent, const OperatorMessage& message)
{
    pendingMessages().push_back({parent, parent != nullptr, message});
    openNextMessage();
}

void askBeforeReplacingBox(QWidget* parent, const QString& question, std::function<void(ReplaceAnswer)> answered)
{
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Quillon"), question,
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

void GuiOperatorUi::askBeforeReplacing(const QString& question, std::function<void(ReplaceAnswer)> answered)
{
    if (question_)
        question_(question, std::move(answered));
    else
        askBeforeReplacingBox(&window_, question, std::move(answered));
}

void GuiOperatorUi::message(const QString& text)
{
    sink_({text, {}, {}, MessageSeverity::None});
}

void GuiOperatorUi::messageWithDetails(const QString& text, const QString& details)
{
    sink_({text, {}, details});
}

void GuiOperatorUi::tell(const QString& text, MessageSeverity severity, const QString& details)
{
    const OperatorMessage m{text, {}, details, severity};
    if (holding_)
        held_ << m;
    else
        sink_(m);
}

void GuiOperatorUi::holdMessages() { holding_ = true; }

void GuiOperatorUi::dropHeldMessages()
{
    holding_ = false;
    held_.clear();
}

// The messages of one operation as one box.
static OperatorMessage oneAnswer(const QList<OperatorMessage>& messages, const QString& extraDetails)
{
    OperatorMessage answer;
    QStringList texts, details;
    for (const OperatorMessage& m : messages) {
        texts << m.text;
        if (!m.findings.isEmpty())
            details << m.findings;
        answer.severity = std::max(answer.severity, m.severity);
    }
    if (!extraDetails.isEmpty())
        details << extraDetails;
    answer.text = texts.join(QLatin1Char('\n'));
    answer.findings = details.join(QStringLiteral("\n\n"));
    return answer;
}

void GuiOperatorUi::releaseMessages(const QString& extraDetails, MessageSeverity quietUpTo)
{
    QList<OperatorMessage> said = std::exchange(held_, {});
    holding_ = false;
    if (quietUpTo != MessageSeverity::None)
        said.removeIf([quietUpTo](const OperatorMessage& m) { return m.severity <= quietUpTo; });
    if (!said.isEmpty())
        sink_(oneAnswer(said, extraDetails));
}

void GuiOperatorUi::failure(const QString& text, const QString& reason)
{
    sink_({text, reason, {}});
}

void GuiOperatorUi::status(int panel, const QString& text)
{
    if (QLabel* label = window_.statusPanel(panel)) {
        label->setText(text);
        label->setToolTip(text); // a long text is cut at the panel's edge
    }
    if (panel == 1) // the kind of set-up held
        window_.heldKindShown();
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
    if (ProgressDialog* dialog = window_.progressDialog(false))
        dialog->setStage(int(stage) + 1);
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
