// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/backups.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace quillon {

// File > Open Backup...: every backup in the backup folder, newest first, with its date and
// time, card kind, card serial and file name; a list of the cards narrows it to one card.
class BackupChooser : public QDialog {
    Q_OBJECT
public:
    BackupChooser(const QString& folder, QWidget* parent);

    // The backup chosen, once the dialog is accepted.
    QString chosenPath() const;

    QTreeWidget* list() const { return list_; }
    QComboBox* cardFilter() const { return cards_; }
    QPushButton* openButton() const { return open_; }

private:
    void fill();
    void choiceChanged();

    QList<BackupEntry> backups_;
    QTreeWidget* list_;
    QComboBox* cards_;
    QLabel* empty_;
    QPushButton* open_;
};

} // namespace quillon
