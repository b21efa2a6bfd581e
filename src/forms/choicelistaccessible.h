// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

class QComboBox;

namespace quillon {

// What a screen reader learns of a list of choices: its caption as its name and the item
// chosen as its value. (Qt's own interface names a list by its value on Linux, leaving the
// caption to a label relation that not every reader follows.)
class ChoiceListAccessible : public QAccessibleWidget {
public:
    explicit ChoiceListAccessible(QComboBox* list);

    // Names a list for screen readers, with this interface.
    static void name(QComboBox* list, const QString& caption);

    QAccessible::State state() const override;
    QString text(QAccessible::Text kind) const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

private:
    QComboBox* list() const;
};

} // namespace quillon
