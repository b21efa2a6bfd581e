// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/operatorui.h"

#include <QMap>
#include <QStringList>
#include <functional>

namespace quillon::test {

// The operator as tests see it: everything shown, a line each and in order ("message [warning]:
// text | details", "panel 2: text", "buttons off", "label 0: text", "progress shown", "stage 2",
// "focus"); and, for tests that look at nothing else, the messages (details on the lines after
// the text) and the texts of each status panel.
class OperatorRecorder : public OperatorUi {
public:
    void message(const QString& text) override { tell(text, MessageSeverity::None); }
    void messageWithDetails(const QString& text, const QString& details) override
    {
        tell(text, MessageSeverity::None, details);
    }
    void tell(const QString& text, MessageSeverity severity, const QString& details = {}) override
    {
        static const char* const names[] = {"none", "information", "warning", "critical"};
        messages << (details.isEmpty() ? text : text + u'\n' + details);
        add(QStringLiteral("message [%1]: %2").arg(QLatin1String(names[int(severity)]), text)
            + (details.isEmpty() ? QString() : QStringLiteral(" | ") + details));
    }
    void status(int panel, const QString& text) override
    {
        statuses[panel] << text;
        add(QStringLiteral("panel %1: %2").arg(QString::number(panel), text));
    }
    void transferButtonsEnabled(bool on) override
    {
        const QString state = on ? QStringLiteral("on") : QStringLiteral("off");
        change(QStringLiteral("buttons"), state, QStringLiteral("buttons ") + state);
    }
    void diagnosticLabel(int index, const QString& text) override
    {
        const QString label = QStringLiteral("label ") + QString::number(index);
        change(label, text, label + QStringLiteral(": ") + text);
    }
    void showProgress() override { change(QStringLiteral("progress"), QStringLiteral("shown"), QStringLiteral("progress shown")); }
    void hideProgress() override { change(QStringLiteral("progress"), QStringLiteral("hidden"), QStringLiteral("progress hidden")); }
    void progress(TransferStage stage) override { add(QStringLiteral("stage ") + QString::number(int(stage))); }
    void focusMainWindow() override { add(QStringLiteral("focus")); }

    QStringList lines;
    QStringList messages;
    QMap<int, QStringList> statuses;

    // With a clock, each line begins with the time it was shown at.
    std::function<qint64()> clock;
    // Buttons, labels and the progress dialog make a line only when they change (a recording of
    // a whole transfer, in which the labels are set at every packet).
    bool changesOnly = false;
    // Sees each line as it is recorded.
    std::function<void(const QString&)> onLine;

private:
    void add(const QString& line)
    {
        lines << (clock ? QString::number(clock()).rightJustified(6) + u' ' + line : line);
        if (onLine)
            onLine(lines.last());
    }
    // Shows what (the buttons, a label, the progress dialog) in a state; with changesOnly, once per change.
    void change(const QString& what, const QString& state, const QString& line)
    {
        if (changesOnly && shown_.value(what) == state)
            return;
        shown_[what] = state;
        add(line);
    }
    QMap<QString, QString> shown_{{QStringLiteral("buttons"), QStringLiteral("on")},
                                  {QStringLiteral("progress"), QStringLiteral("hidden")}};
};

} // namespace quillon::test
