// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/fleetdesk.h"

#include <QDialog>
#include <QWidget>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quillon {

// Tools > Cards...: the card inventory as a table, with add, edit and remove, and Check, Back Up,
// Send Set-up... and Verify over the cards selected (all of them when none is), several at once
// on the same card jobs as quillon-cli fleet. Each row shows its card's progress and outcome
// while they run; one summary at the end; a failed row says why, a double-click opens its
// details and frame log. Not modal: the settings windows and the single Get and Send go on.
class CardsWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { Name, Groups, Port, Kind, Serial, LastSeen, LastBackup, Matches, Status, ColumnCount };

    // currentSetup: the set-up held in the windows, for Send Set-up...
    CardsWindow(std::unique_ptr<FleetDesk> desk, std::function<ComparedSetup()> currentSetup, QWidget* parent);
    ~CardsWindow() override;

    FleetDesk& desk() { return *desk_; }
    QTableWidget* table() const { return table_; }
    // The cards the buttons act on: the selected rows, else every card.
    QStringList chosenCards() const;

    // The buttons' work, for the buttons and tests.
    void check() { start(FleetAction::Status); }
    void backUp() { start(FleetAction::Backup); }
    void verify() { start(FleetAction::Verify); }
    void sendSetup(const ComparedSetup& setup, const QString& name);
    void addCard();
    void editCard();
    void removeCard();
    void showDetails(int row);

    // Where a summary or a refusal is shown (a message box; tests record it).
    std::function<void(const QString& text)> tell;
    // Asks what Send Set-up... sends: the set-up held, a file, or nothing (cancelled).
    std::function<void(std::function<void(const std::optional<ComparedSetup>&, const QString&)>)> askWhatToSend;

Q_SIGNALS:
    void runFinished(const QString& summary);

private:
    void start(FleetAction action, const std::optional<ComparedSetup>& setup = {}, const QString& file = {});
    void fill();
    void fillRow(int row);
    void updateButtons();
    // The one card selected; none when no row or several are.
    std::optional<InventoryCard> selectedCard() const;
    void openCardDialog(const InventoryCard& card, const QString& replacing);
    void fitColumns();
    void chooseWhatToSend(std::function<void(const std::optional<ComparedSetup>&, const QString&)> then);
    void closeEvent(QCloseEvent* event) override;

    std::unique_ptr<FleetDesk> desk_;
    std::function<ComparedSetup()> currentSetup_;
    QLabel* path_;
    QTableWidget* table_;
    QLabel* summary_;
    QList<QPushButton*> runButtons_;
    QList<QPushButton*> editButtons_;
    QPushButton* stop_;
};

// Add and Edit: one inventory entry's fields.
class CardEntryDialog : public QDialog {
    Q_OBJECT
public:
    CardEntryDialog(const InventoryCard& card, QWidget* parent);
    InventoryCard card() const;

private:
    InventoryCard original_;
    QLineEdit* name_;
    QLineEdit* port_;
    QComboBox* kind_;
    QLineEdit* serial_;
    QLineEdit* groups_;
    QLineEdit* reference_;
    QLineEdit* location_;
};

} // namespace quillon
