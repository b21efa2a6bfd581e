// SPDX-License-Identifier: GPL-3.0-or-later
#include "updown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

namespace quillon {

UpDown::UpDown(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    up_ = makeArrow(Qt::UpArrow, 1);
    down_ = makeArrow(Qt::DownArrow, -1);
    column->addWidget(up_);
    column->addWidget(down_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QToolButton* UpDown::makeArrow(Qt::ArrowType direction, int steps)
{
    auto* arrow = new QToolButton(this);
    arrow->setArrowType(direction);
    arrow->setAutoRepeat(true);
    // The buddy keeps the keyboard focus; the arrows are for the mouse.
    arrow->setFocusPolicy(Qt::NoFocus);
    arrow->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    arrow->setFixedWidth(16);
    connect(arrow, &QToolButton::clicked, this, [this, steps] { stepBy(steps); });
    return arrow;
}

QSize UpDown::sizeHint() const
{
    const int height = buddy_ ? buddy_->sizeHint().height() : 22;
    return {16, height};
}

void UpDown::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    value_ = std::clamp(value_, minimum_, maximum_);
}

void UpDown::setValue(int value)
{
    if (value >= minimum_ && value <= maximum_)
        value_ = value;
}

void UpDown::setBuddy(QLineEdit* buddy)
{
    if (buddy_)
        buddy_->removeEventFilter(this);
    buddy_ = buddy;
    if (buddy_) {
        buddy_->installEventFilter(this);
        setFixedHeight(buddy_->sizeHint().height());
    }
}

void UpDown::setCaption(const QString& caption)
{
    setAccessibleName(caption);
    up_->setAccessibleName(tr("Increase %1").arg(caption));
    down_->setAccessibleName(tr("Decrease %1").arg(caption));
}

void UpDown::stepBy(int steps)
{
    if (!isEnabled())
        return;
    const int stepped = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(value_) + steps, minimum_, maximum_));
    if (stepped == value_)
        return;
    value_ = stepped;
    Q_EMIT valueStepped(value_);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != buddy_ || !buddy_->isEnabled())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        switch (key->key()) {
        case Qt::Key_Up: stepBy(1); return true;
        case Qt::Key_Down: stepBy(-1); return true;
        default: return false;
        }
    }
    if (event->type() == QEvent::Wheel && buddy_->hasFocus()) {
        const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
        if (notches != 0)
            stepBy(notches);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quillon
