// SPDX-License-Identifier: GPL-3.0-or-later
#include "backupchooser.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillon {

namespace {

constexpr int PathRole = Qt::UserRole;

// A card as the filter names it: "SID 4B58343031".
QString cardOf(const BackupEntry& entry)
{
    return cardTypeName(entry.kind) + u' ' + entry.serial;
}

} // namespace

BackupChooser::BackupChooser(const QString& folder, QWidget* parent)
    : QDialog(parent), backups_(BackupFolder(folder).list())
{
    setObjectName(QStringLiteral("backupChooser"));
    setWindowTitle(QStringLiteral("Open Backup"));
    auto* where = new QLabel(QStringLiteral("Backups of the cards' set-ups in %1").arg(QDir::toNativeSeparators(folder)), this);
    where->setWordWrap(true);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cards_ = new QComboBox(this);
    cards_->setObjectName(QStringLiteral("cardFilter"));
    cards_->addItem(QStringLiteral("All cards"));
    QStringList seen;
    for (const BackupEntry& entry : backups_) {
        if (!seen.contains(cardOf(entry)))
            seen << cardOf(entry);
    }
    seen.sort();
    cards_->addItems(seen);
    auto* cardLabel = new QLabel(QStringLiteral("&Card:"), this);
    cardLabel->setBuddy(cards_);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("backups"));
    list_->setHeaderLabels({QStringLiteral("Date and time"), QStringLiteral("Card"), QStringLiteral("Serial"),
                            QStringLiteral("File")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAllColumnsShowFocus(true);
    list_->setSortingEnabled(false); // newest first, as the folder lists them
    list_->header()->setStretchLastSection(true);
    list_->setAccessibleName(QStringLiteral("Backups"));

    empty_ = new QLabel(this);
    empty_->setObjectName(QStringLiteral("empty"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    open_ = buttons->button(QDialogButtonBox::Open);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(cardLabel);
    filterRow->addWidget(cards_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addLayout(filterRow);
    layout->addWidget(list_, 1);
    layout->addWidget(empty_);
    layout->addWidget(buttons);

    connect(cards_, &QComboBox::currentIndexChanged, this, &BackupChooser::fill);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &BackupChooser::choiceChanged);
    connect(list_, &QTreeWidget::itemActivated, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    fill();
    resize(QSize(720, 380).expandedTo(sizeHint()));
}

void BackupChooser::fill()
{
    const QString card = cards_->currentIndex() > 0 ? cards_->currentText() : QString();
    list_->clear();
    for (const BackupEntry& entry : backups_) {
        if (!card.isEmpty() && cardOf(entry) != card)
            continue;
        auto* item = new QTreeWidgetItem(list_, {entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                                 cardTypeName(entry.kind), entry.serial,
                                                 QFileInfo(entry.path).fileName()});
        item->setData(0, PathRole, entry.path);
    }
    for (int column = 0; column < 3; ++column) {
        list_->resizeColumnToContents(column);
        list_->setColumnWidth(column, list_->columnWidth(column) + list_->fontMetrics().averageCharWidth() * 2);
    }
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    empty_->setText(backups_.isEmpty() ? QStringLiteral("There are no backups yet: one is kept of every set-up read from a card.")
                                       : QString());
    empty_->setVisible(backups_.isEmpty());
    choiceChanged();
}

void BackupChooser::choiceChanged()
{
    open_->setEnabled(!chosenPath().isEmpty());
}

QString BackupChooser::chosenPath() const
{
    const QList<QTreeWidgetItem*> chosen = list_->selectedItems();
    return chosen.isEmpty() ? QString() : chosen.first()->data(0, PathRole).toString();
}

} // namespace quillon
