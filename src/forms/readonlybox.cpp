// SPDX-License-Identifier: GPL-3.0-or-later
#include "readonlybox.h"

#include <QLineEdit>

namespace quillon {

namespace {

QAccessibleInterface* readOnlyBoxFactory(const QString& className, QObject* object)
{
    auto* box = qobject_cast<QLineEdit*>(object);
    if (className == QLatin1String("QLineEdit") && box && box->isReadOnly())
        return new ReadOnlyBoxAccessible(box);
    return nullptr;
}

} // namespace

ReadOnlyBoxAccessible::ReadOnlyBoxAccessible(QLineEdit* box)
    : QAccessibleWidget(box, QAccessible::EditableText)
{
}

void ReadOnlyBoxAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(readOnlyBoxFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void ReadOnlyBoxAccessible::makeReadOnly(QLineEdit* box)
{
    install();
    box->setReadOnly(true);
    // An interface made while the box was still editable (naming a box makes one) goes, so
    // that the next question gets this one.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(box);
    if (made && !dynamic_cast<ReadOnlyBoxAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

QLineEdit* ReadOnlyBoxAccessible::box() const
{
    return static_cast<QLineEdit*>(widget());
}

QAccessible::State ReadOnlyBoxAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = box()->isReadOnly();
    state.editable = !state.readOnly;
    return state;
}

QString ReadOnlyBoxAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value)
        return box()->text();
    return QAccessibleWidget::text(kind);
}

void* ReadOnlyBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

void ReadOnlyBoxAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex == 0 && box()->hasSelectedText()) {
        *startOffset = box()->selectionStart();
        *endOffset = *startOffset + box()->selectedText().size();
    }
}

int ReadOnlyBoxAccessible::selectionCount() const
{
    return box()->hasSelectedText() ? 1 : 0;
}

void ReadOnlyBoxAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void ReadOnlyBoxAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        box()->deselect();
}

void ReadOnlyBoxAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        box()->setSelection(startOffset, endOffset - startOffset);
}

int ReadOnlyBoxAccessible::cursorPosition() const
{
    return box()->cursorPosition();
}

void ReadOnlyBoxAccessible::setCursorPosition(int position)
{
    box()->setCursorPosition(position);
}

QString ReadOnlyBoxAccessible::text(int startOffset, int endOffset) const
{
    return box()->text().mid(startOffset, endOffset - startOffset);
}

int ReadOnlyBoxAccessible::characterCount() const
{
    return static_cast<int>(box()->text().size());
}

QRect ReadOnlyBoxAccessible::characterRect(int) const
{
    return {};
}

int ReadOnlyBoxAccessible::offsetAtPoint(const QPoint&) const
{
    return -1;
}

void ReadOnlyBoxAccessible::scrollToSubstring(int, int) {}

QString ReadOnlyBoxAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = offset;
    return {};
}

} // namespace quillon
