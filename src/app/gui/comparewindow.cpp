// SPDX-License-Identifier: GPL-3.0-or-later
#include "comparewindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillon {

namespace {
constexpr int FieldRole = Qt::UserRole;
constexpr int RowKeyRole = Qt::UserRole + 1; // the setting or byte a row stands for
}

CompareWindow::CompareWindow(CardSetup& setup, std::function<ComparedSetup()> current, QWidget* parent)
    // A window of the main window's, kept in front of it (a maximised main window would hide
    // it), not modal.
    : QWidget(parent, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint), setup_(setup),
      current_(std::move(current))
{
    setObjectName(QStringLiteral("compareWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("differences"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    // An empty table says why it is empty.
    identical_ = new QLabel(QStringLiteral("The set-ups are identical."), table_->viewport());
    identical_->setObjectName(QStringLiteral("identical"));
    identical_->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(table_->viewport()))->addWidget(identical_);
    identical_->hide();
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setWordWrap(true);
    take_ = new QPushButton(QStringLiteral("Take Selected Values"), this);
    take_->setObjectName(QStringLiteral("takeSelectedValues"));
    report_ = new QPushButton(QStringLiteral("Export Report..."), this);
    report_->setObjectName(QStringLiteral("exportReport"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(take_);
    buttons->addWidget(report_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(summary_);
    layout->addLayout(buttons);
    resize(640, 360);

    connect(take_, &QPushButton::clicked, this, &CompareWindow::takeSelectedValues);
    connect(report_, &QPushButton::clicked, this, &CompareWindow::exportRequested);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this, &QWidget::close);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        const QVariant field = table_->item(row, 0)->data(FieldRole);
        if (field.isValid())
            Q_EMIT settingChosen(fieldAt(field.toInt()));
    });
    connect(&setup_, &CardSetup::fieldChanged, this, &CompareWindow::refresh);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CompareWindow::updateTake);
}

QList<int> CompareWindow::selectedRows() const
{
    QList<int> rows;
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (table_->item(row, 0) && table_->item(row, 0)->isSelected())
            rows << row;
    }
    return rows;
}

void CompareWindow::updateTake()
{
    // An AVM image is never edited, only received, opened, saved and sent whole.
    take_->setEnabled(comparison_.comparable() && comparison_.kind != CardType::AVM && !selectedRows().isEmpty());
}

void CompareWindow::compareWith(const QString& otherName, const ComparedSetup& other)
{
    otherName_ = otherName;
    other_ = other;
    setWindowTitle(QStringLiteral("Compare With %1").arg(otherName));
    refresh();
}

void CompareWindow::refresh()
{
    // The rows follow the set-up; a selection stays with its settings, never with a row number.
    QSet<int> selected;
    for (int row : selectedRows())
        selected << table_->item(row, 0)->data(RowKeyRole).toInt();
    const QSignalBlocker quiet(table_->selectionModel());
    table_->clearSelection();
    comparison_ = compareSetups(current_(), other_);
    const bool bytes = comparison_.kind == CardType::AVM;
    table_->setHorizontalHeaderLabels(
        {bytes ? QStringLiteral("Byte") : QStringLiteral("Window"), bytes ? QString() : QStringLiteral("Setting"),
         QStringLiteral("This set-up"), otherName_});
    table_->setRowCount(int(comparison_.differences.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const SetupDifference& d = comparison_.differences[row];
        QString setting = d.settingCaption;
        if (!d.isByte() && shownInWindows && !shownInWindows(d.field))
            setting += QStringLiteral(" (not shown in the windows)");
        const QStringList cells{d.isByte() ? QStringLiteral("0x%1").arg(d.offset, 2, 16, QLatin1Char('0')) : d.windowCaption,
                                setting, d.thisValue, d.otherValue};
        for (int column = 0; column < cells.size(); ++column)
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        const int key = d.isByte() ? FieldCount + d.offset : indexOf(d.field);
        table_->item(row, 0)->setData(RowKeyRole, key);
        if (!d.isByte())
            table_->item(row, 0)->setData(FieldRole, indexOf(d.field));
        if (selected.contains(key))
            table_->selectionModel()->select(table_->model()->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    table_->resizeColumnsToContents();
    summary_->setText(comparison_.comparable() ? differenceCount(comparison_) : comparison_.refusal);
    identical_->setVisible(comparison_.comparable() && comparison_.differences.isEmpty());
    report_->setEnabled(comparison_.comparable());
    updateTake();
}

void CompareWindow::takeSelectedValues()
{
    if (!take_->isEnabled())
        return;
    QList<Field> fields;
    for (int row : selectedRows())
        fields << fieldAt(table_->item(row, 0)->data(FieldRole).toInt());
    if (fields.isEmpty())
        return;
    // What was taken leaves the table; nothing else may stay chosen for a next click.
    table_->clearSelection();
    const auto take = [&] {
        try {
            setup_.edit([&](SetupValues& values) {
                for (Field f : fields) // in window order: a video standard before the SID lines it resets
                    takeSetting(values, other_.values, f);
            });
        } catch (const SetupValueError& e) {
            summary_->setText(e.message());
        }
    };
    if (asOneStep)
        asOneStep(take);
    else
        take();
}

} // namespace quillon
