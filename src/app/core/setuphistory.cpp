// SPDX-License-Identifier: GPL-3.0-or-later
#include "setuphistory.h"

#include "appstate.h"

#include <QScopedValueRollback>
#include <QUndoCommand>

namespace quillon {

namespace {

constexpr int FieldEditId = 1;
constexpr int UndoLimit = 1000;

// What the undo menu calls an edit: the setting changed. A button turned on names itself, not
// the partner it turned off; a video standard names itself, not the line numbers it reset.
QString editText(const SetupValues& before, const SetupValues& after, int* mergeKey)
{
    QList<Field> changed;
    for (const FieldInfo& info : allFields()) {
        if (before.displayValue(info.field) != after.displayValue(info.field))
            changed << info.field;
    }
    *mergeKey = -1;
    if (changed.contains(Field::VideoStandard))
        return fieldInfo(Field::VideoStandard).caption;
    if (changed.size() == 2 && fieldInfo(changed[0]).kind == FieldKind::Option
        && fieldInfo(changed[0]).partner == changed[1])
        changed.removeAt(after.option(changed[0]) ? 1 : 0);
    if (changed.size() != 1)
        return QStringLiteral("Changes");
    const FieldKind kind = fieldInfo(changed[0]).kind;
    if (kind == FieldKind::Text || kind == FieldKind::Number)
        *mergeKey = indexOf(changed[0]); // typing goes on in the same box
    return fieldInfo(changed[0]).caption;
}

// A change of the settings alone: the file's name and the kind of set-up stay.
class FieldsCommand : public QUndoCommand {
public:
    FieldsCommand(SetupHistory& history, const QString& text, SetupValues before, SetupValues after, int mergeKey)
        : QUndoCommand(text), history_(history), before_(std::move(before)), after_(std::move(after)),
          mergeKey_(mergeKey), generation_(history.generation())
    {
    }
    void undo() override { history_.restoreFields(before_); }
    void redo() override
    {
        if (!std::exchange(done_, false)) // pushed once it has happened
            history_.restoreFields(after_);
    }
    int id() const override { return mergeKey_ >= 0 ? FieldEditId : -1; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* next = static_cast<const FieldsCommand*>(other);
        if (next->mergeKey_ != mergeKey_ || next->generation_ != generation_)
            return false;
        after_ = next->after_;
        setObsolete(after_ == before_); // typed and taken back: no step at all
        return true;
    }

private:
    SetupHistory& history_;
    SetupValues before_;
    SetupValues after_;
    int mergeKey_;
    int generation_;
    bool done_ = true;
};

// A command that replaced the set-up, and perhaps its name and saved state with it.
class DocumentCommand : public QUndoCommand {
public:
    DocumentCommand(SetupHistory& history, const QString& text, DocumentState before, DocumentState after)
        : QUndoCommand(text), history_(history), before_(std::move(before)), after_(std::move(after))
    {
    }
    void undo() override { history_.restoreDocument(before_); }
    void redo() override
    {
        if (!std::exchange(done_, false))
            history_.restoreDocument(after_);
    }

private:
    SetupHistory& history_;
    DocumentState before_;
    DocumentState after_;
    bool done_ = true;
};

} // namespace

SetupSnapshot SetupSnapshot::of(const HeldSetup& held)
{
    return {held.fields.values(), held.setupImage, held.loadedCardType, held.connectedCardType};
}

bool SetupSnapshot::sameSetup(const SetupSnapshot& other) const
{
    return loaded == other.loaded && fields == other.fields
        && (loaded == CardType::SID || image == other.image);
}

SetupHistory::SetupHistory(HeldSetup& held, AppState& app)
    : held_(held), app_(app), recorded_(SetupSnapshot::of(held))
{
    stack_.setUndoLimit(UndoLimit); // a long day's editing stays within a few megabytes
    connect(&held_.fields, &CardSetup::fieldChanged, this, &SetupHistory::fieldChanged);
}

void SetupHistory::fieldChanged()
{
    // One change tells of each field it changed; the first records them all.
    if (quiet_)
        return;
    if (!holding_)
        recordFields();
    app_.refreshCaption();
}

void SetupHistory::recordFields(const QString& text)
{
    const SetupValues now = held_.fields.values();
    if (now == recorded_.fields) {
        recorded_ = SetupSnapshot::of(held_);
        return;
    }
    int key = -1;
    const QString named = editText(recorded_.fields, now, &key);
    const SetupValues before = recorded_.fields;
    recorded_ = SetupSnapshot::of(held_);
    // A named change is a step of its own; an edit may continue the one before it.
    stack_.push(new FieldsCommand(*this, text.isEmpty() ? named : text, before, now, text.isEmpty() ? key : -1));
}

void SetupHistory::flush()
{
    recordFields();
}

void SetupHistory::undo()
{
    flush();
    stack_.undo();
}

void SetupHistory::redo()
{
    flush();
    stack_.redo();
}

void SetupHistory::clear()
{
    stack_.clear();
    recorded_ = SetupSnapshot::of(held_);
    breakMerging();
}

void SetupHistory::change(const QString& text, const std::function<void()>& run)
{
    flush();
    {
        const QScopedValueRollback quiet(quiet_, true);
        run();
    }
    recordFields(text);
    app_.refreshCaption();
}

void SetupHistory::replace(const QString& text, const std::function<void()>& run)
{
    flush();
    const DocumentState before = app_.documentState();
    {
        const QScopedValueRollback quiet(quiet_, true);
        run();
    }
    recordChange(text, before);
}

// One step on the stack from before to the document as it is now, when they differ.
void SetupHistory::recordChange(const QString& text, const DocumentState& before)
{
    const DocumentState after = app_.documentState();
    recorded_ = after.setup;
    if (after != before)
        stack_.push(new DocumentCommand(*this, text, before, after));
    breakMerging();
    app_.refreshCaption();
}

void SetupHistory::hold()
{
    flush();
    holding_ = true;
}

void SetupHistory::endHold(const QString& text, DocumentState before)
{
    holding_ = false;
    before.setup = recorded_;
    recordChange(text, before);
}

void SetupHistory::endHoldUnchanged()
{
    holding_ = false;
    flush();
    app_.refreshCaption();
}

void SetupHistory::restoreFields(const SetupValues& values)
{
    {
        const QScopedValueRollback quiet(quiet_, true);
        held_.fields.setValues(values);
    }
    recorded_ = SetupSnapshot::of(held_);
    breakMerging();
    app_.refreshCaption();
}

void SetupHistory::restoreDocument(const DocumentState& state)
{
    {
        const QScopedValueRollback quiet(quiet_, true);
        app_.restore(state);
    }
    recorded_ = SetupSnapshot::of(held_);
    breakMerging();
    app_.refreshCaption();
}

} // namespace quillon
