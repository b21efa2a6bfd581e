// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/setupcompare.h"

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;

namespace quillon {

// The differences between the set-up in the windows and another one, as a table (window,
// setting, this set-up, the other). Not modal; it follows every change of the set-up.
class CompareWindow : public QWidget {
    Q_OBJECT
public:
    // current: the set-up in the windows, read again at each change of 'setup'.
    CompareWindow(CardSetup& setup, std::function<ComparedSetup()> current, QWidget* parent);

    void compareWith(const QString& otherName, const ComparedSetup& other);
    void refresh();
    // Copies the other set-up's values of the selected rows into the set-up, in one change,
    // and clears the selection.
    void takeSelectedValues();
    // Runs the change a Take makes as one undo step.
    std::function<void(const std::function<void()>& take)> asOneStep;

    const QString& otherName() const { return otherName_; }
    const SetupComparison& comparison() const { return comparison_; }
    QTableWidget* table() const { return table_; }

    // Whether a setting shows in the settings windows; the table marks those that do not.
    std::function<bool(Field)> shownInWindows;

Q_SIGNALS:
    void settingChosen(quillon::Field field); // a row was double-clicked
    void exportRequested();

private:
    QList<int> selectedRows() const;
    void updateTake();

    CardSetup& setup_;
    std::function<ComparedSetup()> current_;
    ComparedSetup other_;
    QString otherName_;
    SetupComparison comparison_;
    QTableWidget* table_;
    QLabel* summary_;
    QLabel* identical_;
    QPushButton* take_;
    QPushButton* report_;
};

} // namespace quillon
