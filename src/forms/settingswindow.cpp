// SPDX-License-Identifier: GPL-3.0-or-later
#include "settingswindow.h"

#include "updown.h"

#include "setup/numbers.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSlider>
#include <algorithm>
#include <cmath>

#include "boxchecks.h"
#include "choicelistaccessible.h"
#include "readonlybox.h"

namespace quillon {

namespace {

// Calls a handler when its box loses the keyboard focus. A menu or list popping up over the
// box does not count as leaving it.
class LeaveWatcher : public QObject {
public:
    LeaveWatcher(QLineEdit* box, std::function<void()> handler)
        : QObject(box), handler_(std::move(handler))
    {
        box->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut
            && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
            handler_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

// The edit field of an editable list. It tells when the list is about to turn the typed text
// into a choice (Return, or leaving the field), so that typing never chooses.
class TypingEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    bool committingTypedText() const { return committing_; }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        QScopedValueRollback guard(committing_, true);
        QLineEdit::keyPressEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QScopedValueRollback guard(committing_, true);
        QLineEdit::focusOutEvent(event);
    }

private:
    bool committing_ = false;
};

bool committingTypedText(const QComboBox* list)
{
    const auto* edit = dynamic_cast<const TypingEdit*>(list->lineEdit());
    return edit && edit->committingTypedText();
}

Qt::CheckState checkStateOf(int state)
{
    switch (state) {
    case 1: return Qt::Checked;
    case 2: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
    }
}

// Typing may not make the text longer than maxTyped; a longer text the set-up already holds
// stays, and may be shortened. The refused characters are the ones just typed or pasted,
// which sit before the cursor.
QString limitTyping(QLineEdit* box, const QString& typed, const QString& before, int maxTyped)
{
    if (maxTyped <= 0 || typed.size() <= maxTyped || typed.size() <= before.size())
        return typed;
    const qsizetype over = typed.size() - std::max<qsizetype>(maxTyped, before.size());
    const int cursor = box->cursorPosition();
    const qsizetype from = std::max<qsizetype>(0, cursor - over);
    QString kept = typed;
    kept.remove(from, cursor - from);
    box->setText(kept);
    box->setCursorPosition(static_cast<int>(from));
    QApplication::beep();
    return kept;
}

} // namespace

SettingsWindow::SettingsWindow(const QString& windowKey, const QString& caption, CardSetup& setup,
                           QWidget* parent)
    : QWidget(parent), windowKey_(windowKey), setup_(setup)
{
    setWindowTitle(caption);
    connect(&setup_, &CardSetup::fieldChanged, this, &SettingsWindow::onFieldChanged);
    connect(&setup_, &CardSetup::spinnerRangesChanged, this, &SettingsWindow::refreshSpinnerRanges);
}

SettingsWindow::~SettingsWindow()
{
    // The boxes lose the focus while the window is taken down, when this part of it is gone.
    disconnect(&setup_, nullptr, this, nullptr);
    for (const QLineEdit* edit : findChildren<QLineEdit*>())
        disconnect(edit, nullptr, this, nullptr);
    for (QObject* watcher : leaveWatchers_)
        delete watcher;
}

void SettingsWindow::load() {}

void SettingsWindow::activate()
{
    Q_EMIT windowOn(windowKey_);
}

void SettingsWindow::takeFocus()
{
    // The first control in the chain may be one the window never shows.
    auto reachable = [this](const QWidget* control) {
        return control && isAncestorOf(control) && control->isVisible() && control->isEnabled()
            && (control->focusPolicy() & Qt::TabFocus);
    };
    if (reachable(QApplication::focusWidget()))
        return;
    for (QWidget* control = nextInFocusChain(); control && control != this; control = control->nextInFocusChain()) {
        if (reachable(control)) {
            control->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    Q_EMIT windowOff(windowKey_);
    if (auto* subWindow = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        event->ignore();
        hideSubWindow(subWindow);
        return;
    }
    event->accept();
}

void SettingsWindow::onFieldChanged(Field field)
{
    refresh(field);
}

void SettingsWindow::refresh(Field field)
{
    const auto found = refreshers_.constFind(indexOf(field));
    if (found == refreshers_.constEnd())
        return;
    QScopedValueRollback guard(refreshing_, true);
    for (const auto& refresher : *found)
        refresher();
}

void SettingsWindow::addRefresher(Field field, const std::function<void()>& refresher)
{
    refreshers_[indexOf(field)].push_back(refresher);
    QScopedValueRollback guard(refreshing_, true);
    refresher();
}

void SettingsWindow::refreshSpinnerRanges()
{
    QScopedValueRollback guard(refreshing_, true);
    for (const auto& refresher : spinnerRangeRefreshers_)
        refresher();
}

void SettingsWindow::changeSetup(Field field, const std::function<void(SetupValues&)>& change)
{
    try {
        setup_.edit(change);
    } catch (const SetupValueError& error) {
        qWarning("Refused: %s", error.what());
    }
    // Puts the control back in step also when nothing changed (a refused value, or a button
    // clicked that was already on).
    refresh(field);
}

QGroupBox* SettingsWindow::frame(const QString& name, const QString& caption)
{
    auto* box = new QGroupBox(caption, this);
    box->setObjectName(name);
    // Without a name of its own a frame inside another is announced by the outer one's caption.
    box->setAccessibleName(caption);
    return box;
}

QLabel* SettingsWindow::label(const QString& name, const QString& text)
{
    auto* caption = new QLabel(text, this);
    caption->setObjectName(name);
    return caption;
}

void SettingsWindow::captionOf(QLabel* caption, QComboBox* list)
{
    caption->setBuddy(list);
    QString name = caption->text().remove(u'&').trimmed();
    if (name.endsWith(u':'))
        name.chop(1);
    ChoiceListAccessible::name(list, name);
}

void SettingsWindow::bindChoice(QComboBox* list, Field field, const QString& unchosenText)
{
    list->addItems(fieldInfo(field).items);
    // An edit field shows the item the set-up holds, and nothing typed once the operator is
    // done with it.
    auto show = [this, list, field, unchosenText] {
        const int chosen = setup_.values().choice(field);
        if (list->currentIndex() != chosen)
            list->setCurrentIndex(chosen);
        const QString shown = chosen >= 0 ? list->itemText(chosen) : unchosenText;
        if (list->isEditable() && list->currentText() != shown)
            list->setEditText(shown);
    };
    addRefresher(field, show);
    // activated comes from the operator only, also when the item chosen is the current one.
    connect(list, &QComboBox::activated, this, [this, list, field](int index) {
        if (committingTypedText(list)) {
            refresh(field);
            return;
        }
        changeSetup(field, [field, index](SetupValues& v) { v.setChoice(field, index); });
    });
    if (list->isEditable())
        connect(list->lineEdit(), &QLineEdit::editingFinished, this, [this, field] { refresh(field); });
}

QComboBox* SettingsWindow::choiceList(const QString& name, Field field)
{
    auto* list = new QComboBox(this);
    list->setObjectName(name);
    bindChoice(list, field, QString());
    return list;
}

QComboBox* SettingsWindow::editableChoiceList(const QString& name, Field field, const QString& unchosenText)
{
    auto* list = new QComboBox(this);
    list->setObjectName(name);
    list->setLineEdit(new TypingEdit(list));
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    bindChoice(list, field, unchosenText);
    return list;
}

QRadioButton* SettingsWindow::optionButton(const QString& name, const QString& caption, Field field)
{
    auto* button = new QRadioButton(caption, this);
    button->setObjectName(name);
    auto show = [this, button, field] {
        const bool on = setup_.values().option(field);
        if (button->isChecked() == on)
            return;
        // An exclusive button cannot be turned off on its own, and a group may hold neither.
        button->setAutoExclusive(false);
        button->setChecked(on);
        button->setAutoExclusive(true);
    };
    addRefresher(field, show);
    connect(button, &QRadioButton::clicked, this, [this, field] {
        changeSetup(field, [field](SetupValues& v) { v.setOption(field, true); });
    });
    return button;
}

QCheckBox* SettingsWindow::checkBox(const QString& name, const QString& caption, Field field)
{
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(name);
    auto show = [this, box, field] {
        const int state = setup_.values().check(field);
        // Grey is shown, never offered: the operator toggles between on and off.
        box->setTristate(state == 2);
        box->setCheckState(checkStateOf(state));
    };
    addRefresher(field, show);
    connect(box, &QCheckBox::clicked, this, [this, field] {
        const int next = setup_.values().check(field) == 1 ? 0 : 1;
        changeSetup(field, [field, next](SetupValues& v) { v.setCheck(field, next); });
    });
    return box;
}

QLineEdit* SettingsWindow::textBox(const QString& name, Field field)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(name);
    auto show = [this, box, field] {
        const QString text = setup_.values().text(field);
        if (box->text() != text)
            box->setText(text);
    };
    addRefresher(field, show);
    const int maxTyped = fieldInfo(field).maxTyped;
    connect(box, &QLineEdit::textEdited, this, [this, box, field, maxTyped](const QString& typed) {
        const QString kept = limitTyping(box, typed, setup_.values().text(field), maxTyped);
        changeSetup(field, [field, kept](SetupValues& v) { v.setText(field, kept); });
    });
    return box;
}

SettingsWindow::NumberBox SettingsWindow::numberBox(const QString& boxName, const QString& spinnerName,
                                                const QString& caption, Field field, bool readOnly)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(boxName);
    box->setAccessibleName(caption);
    if (readOnly)
        ReadOnlyBoxAccessible::makeReadOnly(box);
    box->setAlignment(Qt::AlignRight);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-0000")) + 12);
    auto* spinner = new UpDown(this);
    spinner->setObjectName(spinnerName);
    spinner->setBuddy(box);
    spinner->setCaption(caption);

    // The spinner follows the box's value, brought within its limits: from a vertical position
    // of 25 (its arrows reach 19) a step down gives 18, not a jump from wherever it stood.
    auto follow = [this, spinner, field] {
        const double value = std::round(leadingNumber(setup_.values().text(field)));
        spinner->setValue(static_cast<int>(std::clamp<double>(value, spinner->minimum(), spinner->maximum())));
    };
    auto show = [this, box, field, follow] {
        const QString text = setup_.values().text(field);
        if (box->text() != text)
            box->setText(text);
        follow();
    };
    auto limit = [this, spinner, field, follow] {
        const Range range = setup_.values().spinnerRange(field);
        spinner->setRange(range.min, range.max);
        follow();
    };
    addRefresher(field, show);

    connect(spinner, &UpDown::valueStepped, this, [this, field](int value) {
        const QString text = QString::number(value);
        changeSetup(field, [field, text](SetupValues& v) { v.setText(field, text); });
    });
    if (!readOnly) {
        connect(box, &QLineEdit::textEdited, this, [this, field](const QString& typed) {
            changeSetup(field, [field, typed](SetupValues& v) { v.setText(field, typed); });
        });
    }
    spinnerRangeRefreshers_.push_back(limit);
    limit();

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(box);
    row->addWidget(spinner);
    return {box, spinner, row};
}

QSlider* SettingsWindow::levelSlider(const QString& name, QLineEdit* valueBox, Field field)
{
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(name);
    const Range range = fieldInfo(field).range;
    slider->setRange(range.min, range.max);
    slider->setSingleStep(1);
    slider->setPageStep(5);
    ReadOnlyBoxAccessible::makeReadOnly(valueBox);
    valueBox->setFocusPolicy(Qt::NoFocus);

    auto showValue = [slider, valueBox] { valueBox->setText(QString::number(slider->value())); };
    auto show = [this, slider, field, showValue] {
        slider->setValue(setup_.values().level(field));
        showValue();
    };
    addRefresher(field, show);
    connect(slider, &QSlider::valueChanged, this, [this, field, showValue](int value) {
        showValue();
        if (!refreshing_)
            changeSetup(field, [field, value](SetupValues& v) { v.setLevel(field, value); });
    });
    connect(slider, &QSlider::sliderPressed, this, showValue);
    connect(slider, &QSlider::sliderReleased, this, showValue);
    return slider;
}

void SettingsWindow::whenLeft(QLineEdit* box, std::function<void()> handler)
{
    leaveWatchers_.push_back(new LeaveWatcher(box, std::move(handler)));
}

void SettingsWindow::checkRangeOnLeaving(QLineEdit* box, Field field)
{
    whenLeft(box, [this, field] {
        const QString checked = rangeCheckedText(setup_.values().text(field), fieldInfo(field).range);
        changeSetup(field, [field, checked](SetupValues& v) { v.setText(field, checked); });
    });
}

void SettingsWindow::setPageContent(QLayout* content)
{
    // The controls keep their natural size in a larger window, as on a dialog: a maximised
    // window shows them where the restored window does instead of stretched over the area.
    page_ = new QWidget(this);
    page_->setObjectName(QStringLiteral("page"));
    page_->setLayout(content);
    notApplying_ = new QLabel(QStringLiteral("An AVM set-up is held: it is sent as an image; these settings do not apply"), this);
    notApplying_->setObjectName(QStringLiteral("settingsDoNotApply"));
    notApplying_->setWordWrap(true);
    notApplying_->setFrameShape(QFrame::StyledPanel);
    notApplying_->setMargin(notApplying_->fontMetrics().height() / 3);
    notApplying_->hide();
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(notApplying_);
    outer->addWidget(page_, 0, Qt::AlignTop | Qt::AlignLeft);
    outer->addStretch();
}

void SettingsWindow::keepEnabled(QWidget* control)
{
    control->setProperty("keepEnabled", true);
}

void SettingsWindow::setSettingsApply(bool apply)
{
    if (apply == settingsApply_ || !page_)
        return;
    settingsApply_ = apply;
    notApplying_->setVisible(!apply);
    // Only what this turned off is turned on again: a control the window never offers stays
    // disabled.
    for (QWidget* control : page_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control->property("keepEnabled").toBool())
            continue;
        if (!apply && control->isEnabledTo(page_)) {
            control->setEnabled(false);
            control->setProperty("disabledWhileAvmHeld", true);
        } else if (apply && control->property("disabledWhileAvmHeld").toBool()) {
            control->setEnabled(true);
            control->setProperty("disabledWhileAvmHeld", QVariant());
        }
    }
}

void SettingsWindow::hideSubWindow(QMdiSubWindow* subWindow)
{
    // Keys must never reach a control the operator cannot see.
    if (QWidget* focused = QApplication::focusWidget(); focused && subWindow->isAncestorOf(focused))
        focused->clearFocus();
    subWindow->hide();
    if (QMdiArea* area = subWindow->mdiArea()) {
        if (area->activeSubWindow() == subWindow)
            area->setActiveSubWindow(nullptr);
        area->window()->setFocus();
    }
}

} // namespace quillon
