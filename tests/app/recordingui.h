// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/filedialogs.h"
#include "app/core/shellui.h"

#include <QMap>
#include <ostream>
#include <QStringList>
#include <vector>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace quillon::test {

// Remembers everything the shell shows.
class RecordingUi : public ShellUi {
public:
    void message(const QString& text) override { messages << text; }
    void status(int panel, const QString& text) override { panels[panel] = text; }
    void caption(const QString& text) override { shownCaption = text; }
    void failure(const QString& text, const QString& reason) override
    {
        messages << text;
        reasons << reason;
    }

    void askBeforeReplacing(const QString&, std::function<void(ReplaceAnswer)> answered) override
    {
        ++replaceQuestions;
        answered(replaceAnswer);
    }

    QStringList messages;
    QStringList reasons;
    ReplaceAnswer replaceAnswer = ReplaceAnswer::Discard; // as if nothing had been asked
    int replaceQuestions = 0;
    QMap<int, QString> panels;
    QString shownCaption;
};

// Answers the file questions as the test says, and remembers them.
class ScriptedDialogs : public FileDialogs {
public:
    std::optional<QString> askSaveName(const FileQuestion& q) override { return answer(q, "save"); }
    std::optional<QString> askOpenName(const FileQuestion& q) override { return answer(q, "open"); }

    std::optional<QString> nextAnswer; // nullopt: the operator cancels
    std::vector<FileQuestion> questions;
    QStringList kinds;

private:
    std::optional<QString> answer(const FileQuestion& q, const char* kind)
    {
        questions.push_back(q);
        kinds << QString::fromLatin1(kind);
        return nextAnswer;
    }
};

} // namespace quillon::test
