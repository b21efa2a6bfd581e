// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../setup/heldsetup.h"

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <functional>

namespace quillon {

class AppState;

// The set-up held, as a value: what an undo step puts back.
struct SetupSnapshot {
    SetupValues fields;
    QByteArray image;
    CardType loaded = CardType::SID;
    CardType connected = CardType::SID;

    static SetupSnapshot of(const HeldSetup& held);
    // The same set-up as far as a set-up file tells: its kind, the settings and, for an AVM
    // set-up, the image. A SID image is built afresh from the settings at each Send.
    bool sameSetup(const SetupSnapshot& other) const;
    bool operator==(const SetupSnapshot& other) const = default;
};

// The set-up with what the program says about it: its file's name, the caption, and the set-up
// last saved, opened or got, against which it counts as modified.
struct DocumentState {
    SetupSnapshot setup;
    QString fileName;
    QString caption;
    SetupSnapshot saved;
    bool operator==(const DocumentState& other) const = default;
};

// Undo and redo of every change of the set-up held. The operator's edits in the windows are
// recorded as they happen, one step each (typing into one box makes one step); a command that
// changes more (Reset, Take Selected Values) or replaces the whole set-up (Open, Get, Close
// File) is one step of its own.
class SetupHistory : public QObject {
    Q_OBJECT
public:
    SetupHistory(HeldSetup& held, AppState& app);

    QUndoStack& stack() { return stack_; }
    // Steps back or forward; edits not yet recorded become a step first.
    void undo();
    void redo();
    // Forgets every step; what is held now is where the history starts.
    void clear();

    // Runs a change of the settings as one step named text.
    void change(const QString& text, const std::function<void()>& run);
    // Runs a command that may replace the whole set-up, its name and its saved state, as one
    // step named text. Nothing changed, no step.
    void replace(const QString& text, const std::function<void()>& run);

    // While an operation may replace the set-up (a Get), edits are held back: they and the
    // operation's result become steps when it ends.
    void hold();
    // The held-back operation has replaced the set-up: one step from what was recorded last to
    // what is held now, named text; before is the document as it stood (its set-up aside).
    void endHold(const QString& text, DocumentState before);
    // It has not: what changed meanwhile is recorded as edits.
    void endHoldUnchanged();
    bool holding() const { return holding_; }

    // The next edit is a step of its own, also when it continues typing in the same box.
    void breakMerging() { ++generation_; }

    // For the undo commands.
    void restoreFields(const SetupValues& values);
    void restoreDocument(const DocumentState& state);
    int generation() const { return generation_; }

private:
    void recordChange(const QString& text, const DocumentState& before);
    void fieldChanged();
    void flush();
    // Records what the settings changed since the last step; text names it, else the setting.
    void recordFields(const QString& text = {});

    HeldSetup& held_;
    AppState& app_;
    QUndoStack stack_;
    SetupSnapshot recorded_; // as of the last step recorded, undone or redone
    bool holding_ = false;
    bool quiet_ = false; // a change being recorded as a whole, or an undo restoring one
    int generation_ = 0;
};

} // namespace quillon
