// SPDX-License-Identifier: GPL-3.0-or-later
#include "choicelistaccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace quillon {

namespace {

const char* const NamedProperty = "namedByCaption";

QAccessibleInterface* choiceListFactory(const QString& className, QObject* object)
{
    auto* list = qobject_cast<QComboBox*>(object);
    if (className == QLatin1String("QComboBox") && list && list->property(NamedProperty).toBool())
        return new ChoiceListAccessible(list);
    return nullptr;
}

} // namespace

ChoiceListAccessible::ChoiceListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

void ChoiceListAccessible::name(QComboBox* list, const QString& caption)
{
    static const bool installed = [] {
        QAccessible::installFactory(choiceListFactory);
        return true;
    }();
    Q_UNUSED(installed);
    list->setProperty(NamedProperty, true);
    list->setAccessibleName(caption);
    if (list->lineEdit())
        list->lineEdit()->setAccessibleName(caption);
    // An interface made before (naming a list makes one) goes, so that the next question gets
    // this one.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(list);
    if (made && !dynamic_cast<ChoiceListAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

QComboBox* ChoiceListAccessible::list() const
{
    return static_cast<QComboBox*>(widget());
}

QAccessible::State ChoiceListAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = list()->view() && list()->view()->isVisible();
    state.editable = list()->isEditable();
    return state;
}

QString ChoiceListAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value)
        return list()->currentText();
    return QAccessibleWidget::text(kind); // the name is the caption
}

QStringList ChoiceListAccessible::actionNames() const
{
    return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
}

void ChoiceListAccessible::doAction(const QString& action)
{
    if (action == showMenuAction() || action == pressAction())
        list()->showPopup();
    else
        QAccessibleWidget::doAction(action);
}

} // namespace quillon
