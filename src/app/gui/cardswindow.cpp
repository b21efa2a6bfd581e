// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardswindow.h"

#include "app/core/fleetreport.h"
#include "files/setupfiles.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillon {

namespace {

constexpr int FrameLogTailBytes = 16 * 1024;

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString outcomeText(const CardState& state)
{
    if (state.running || state.waiting)
        return state.progress;
    if (!state.outcome)
        return {};
    switch (*state.outcome) {
    case CardOutcome::Ok:
        return state.message.isEmpty() ? QStringLiteral("OK") : QStringLiteral("OK: ") + state.message;
    case CardOutcome::Failed:
        return QStringLiteral("Failed: ") + state.message;
    case CardOutcome::Skipped:
        return QStringLiteral("Skipped: ") + state.message;
    }
    return {};
}

// The end of a frame log: the last connection is what the operator wants to read.
QString frameLogTail(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > FrameLogTailBytes)
        file.seek(file.size() - FrameLogTailBytes);
    return QString::fromUtf8(file.readAll());
}

void showMessage(QWidget* parent, const QString& text, const QString& details = {})
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quillon"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!details.isEmpty())
        box->setDetailedText(details);
    box->open();
}

} // namespace

CardsWindow::CardsWindow(std::unique_ptr<FleetDesk> desk, std::function<ComparedSetup()> currentSetup, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint), desk_(std::move(desk)),
      currentSetup_(std::move(currentSetup)), path_(new QLabel(this)), table_(new QTableWidget(0, ColumnCount, this)),
      summary_(new QLabel(this))
{
    setObjectName(QStringLiteral("cardsWindow"));
    setWindowTitle(QStringLiteral("Cards"));
    setAttribute(Qt::WA_DeleteOnClose);
    tell = [this](const QString& text) { showMessage(this, text); };
    askWhatToSend = [this](auto then) { chooseWhatToSend(std::move(then)); };

    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Groups"), QStringLiteral("Port"), QStringLiteral("Kind"),
                                       QStringLiteral("Serial"), QStringLiteral("Last Seen"), QStringLiteral("Last Backup"),
                                       QStringLiteral("Matches Reference"), QStringLiteral("Status")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAccessibleName(QStringLiteral("Cards"));
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row) { showDetails(row); });
    connect(table_, &QTableWidget::itemSelectionChanged, this, &CardsWindow::updateButtons);

    const auto button = [this](const QString& text, const char* name, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* edits = new QHBoxLayout;
    editButtons_ = {button(QStringLiteral("&Add..."), "addCard", [this] { addCard(); }),
                    button(QStringLiteral("&Edit..."), "editCard", [this] { editCard(); }),
                    button(QStringLiteral("&Remove"), "removeCard", [this] { removeCard(); })};
    for (QPushButton* b : editButtons_)
        edits->addWidget(b);
    edits->addStretch();
    auto* runs = new QHBoxLayout;
    runButtons_ = {button(QStringLiteral("&Check"), "checkCards", [this] { check(); }),
                   button(QStringLiteral("&Back Up"), "backUpCards", [this] { backUp(); }),
                   button(QStringLiteral("&Send Set-up..."), "sendToCards", [this] {
                       askWhatToSend([this](const std::optional<ComparedSetup>& setup, const QString& name) {
                           if (setup)
                               sendSetup(*setup, name);
                       });
                   }),
                   button(QStringLiteral("&Verify"), "verifyCards", [this] { verify(); })};
    for (QPushButton* b : runButtons_)
        runs->addWidget(b);
    stop_ = button(QStringLiteral("S&top"), "stopCards", [this] { desk_->stop(); });
    runs->addWidget(stop_);
    runs->addStretch();
    runs->addWidget(button(QStringLiteral("Close"), "closeCards", [this] { close(); }));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(path_);
    layout->addLayout(edits);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addLayout(runs);
    resize(1100, 420);

    connect(desk_.get(), &FleetDesk::inventoryChanged, this, &CardsWindow::fill);
    connect(desk_.get(), &FleetDesk::cardChanged, this, [this](const QString& name) {
        for (int row = 0; row < table_->rowCount(); ++row) {
            if (table_->item(row, Name)->text().compare(name, Qt::CaseInsensitive) == 0)
                fillRow(row);
        }
    });
    connect(desk_.get(), &FleetDesk::runFinished, this, [this](const QString& summary) {
        summary_->setText(summary);
        fitColumns();
        updateButtons();
        tell(summary);
        Q_EMIT runFinished(summary);
    });
    fill();
}

CardsWindow::~CardsWindow() = default;

void CardsWindow::fill()
{
    const QList<InventoryCard>& cards = desk_->cards();
    table_->setRowCount(int(cards.size()));
    for (int row = 0; row < cards.size(); ++row)
        fillRow(row);
    QString text = QStringLiteral("Inventory: %1").arg(QDir::toNativeSeparators(desk_->inventoryPath()));
    const QStringList problems = desk_->problems();
    if (!problems.isEmpty())
        text += QStringLiteral(" (%1 skipped: %2)").arg(QString::number(problems.size()), problems.first());
    path_->setText(text);
    fitColumns();
    updateButtons();
}

// Every column as wide as its texts; the status takes the rest.
void CardsWindow::fitColumns()
{
    for (int column = 0; column < Status; ++column)
        table_->resizeColumnToContents(column);
}

void CardsWindow::fillRow(int row)
{
    const InventoryCard& card = desk_->cards()[row];
    const CardState state = desk_->state(card.name);
    const QString matches = state.matchesReference ? (*state.matchesReference ? QStringLiteral("Yes") : QStringLiteral("No")) : QString();
    const QStringList cells{card.name, card.groups.join(QStringLiteral(", ")), card.port, card.kind ? cardTypeName(*card.kind) : QString(),
                            card.serial, timeText(state.lastSeen), timeText(state.lastBackup), matches, outcomeText(state)};
    for (int column = 0; column < ColumnCount; ++column) {
        QTableWidgetItem* item = table_->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            table_->setItem(row, column, item);
        }
        item->setText(cells[column]);
        item->setToolTip(column == Status ? state.message : QString());
        item->setForeground(state.outcome == CardOutcome::Failed && column == Status ? QBrush(Qt::darkRed) : QBrush());
    }
}

void CardsWindow::updateButtons()
{
    const bool busy = desk_->busy();
    const bool any = !desk_->cards().isEmpty();
    const bool one = table_->selectionModel()->selectedRows().size() == 1;
    for (QPushButton* b : runButtons_)
        b->setEnabled(!busy && any);
    editButtons_[0]->setEnabled(!busy);
    editButtons_[1]->setEnabled(!busy && one);
    editButtons_[2]->setEnabled(!busy && one);
    stop_->setEnabled(busy);
}

QStringList CardsWindow::chosenCards() const
{
    QStringList names;
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    for (int row = 0; row < table_->rowCount(); ++row) {
        const bool chosen = rows.isEmpty() || std::any_of(rows.begin(), rows.end(), [row](const QModelIndex& i) { return i.row() == row; });
        if (chosen)
            names << table_->item(row, Name)->text();
    }
    return names;
}

void CardsWindow::start(FleetAction action, const std::optional<ComparedSetup>& setup, const QString& file)
{
    if (desk_->busy())
        return;
    const QStringList names = chosenCards();
    if (names.isEmpty()) {
        tell(QStringLiteral("The inventory has no cards yet: add one first."));
        return;
    }
    summary_->clear();
    desk_->run(action, names, setup, file);
    updateButtons();
}

void CardsWindow::sendSetup(const ComparedSetup& setup, const QString& name)
{
    start(FleetAction::Send, setup, name);
}

void CardsWindow::chooseWhatToSend(std::function<void(const std::optional<ComparedSetup>&, const QString&)> then)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quillon"),
                                QStringLiteral("Send which set-up to the %1 cards chosen? Each card is backed up first and checked "
                                               "afterwards as Send does; a card it is not for is left alone.")
                                    .arg(chosenCards().size()),
                                QMessageBox::Cancel, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* held = box->addButton(QStringLiteral("The Set-up &Held"), QMessageBox::AcceptRole);
    QPushButton* file = box->addButton(QStringLiteral("A &File..."), QMessageBox::AcceptRole);
    connect(box, &QMessageBox::buttonClicked, this, [this, box, held, file, then](QAbstractButton* clicked) {
        if (clicked == held) {
            then(currentSetup_(), QStringLiteral("the set-up held"));
        } else if (clicked == file) {
            auto* dialog = new QFileDialog(this, QStringLiteral("Send Set-up"), QString(),
                                           QStringLiteral("Set-up files (*.kxd *.kxm);;All files (*)"));
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->setFileMode(QFileDialog::ExistingFile);
            connect(dialog, &QFileDialog::fileSelected, this, [this, then](const QString& path) {
                try {
                    then(readSetupFile(path), path);
                } catch (const SetupFileError& e) {
                    tell(e.message());
                }
            });
            dialog->open();
        }
        (void)box;
    });
    box->open();
}

void CardsWindow::addCard()
{
    openCardDialog(InventoryCard{}, QString());
}

void CardsWindow::editCard()
{
    if (const std::optional<InventoryCard> card = selectedCard())
        openCardDialog(*card, card->name);
}

// The card's entry dialog; OK puts what it holds into the inventory, in place of `replacing`.
void CardsWindow::openCardDialog(const InventoryCard& card, const QString& replacing)
{
    auto* dialog = new CardEntryDialog(card, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, replacing] {
        if (const QString error = desk_->put(dialog->card(), replacing); !error.isEmpty())
            tell(error);
    });
    dialog->open();
}

std::optional<InventoryCard> CardsWindow::selectedCard() const
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return std::nullopt;
    return desk_->cards()[rows.first().row()];
}

void CardsWindow::removeCard()
{
    const std::optional<InventoryCard> card = selectedCard();
    if (!card)
        return;
    if (const QString error = desk_->remove(card->name); !error.isEmpty())
        tell(error);
}

void CardsWindow::showDetails(int row)
{
    if (row < 0 || row >= desk_->cards().size())
        return;
    const InventoryCard& card = desk_->cards()[row];
    const CardState state = desk_->state(card.name);
    QString text = QStringLiteral("%1 on %2").arg(card.name, card.port);
    if (const QString outcome = outcomeText(state); !outcome.isEmpty())
        text += QStringLiteral("\n\n") + outcome;
    QString details = state.differences.join(u'\n');
    if (const QString log = frameLogTail(state.frameLog); !log.isEmpty()) {
        if (!details.isEmpty())
            details += QStringLiteral("\n\n");
        details += QStringLiteral("Frame log (%1):\n%2").arg(QDir::toNativeSeparators(state.frameLog), log);
    }
    showMessage(this, text, details);
}

void CardsWindow::closeEvent(QCloseEvent* event)
{
    // The connections in progress end with their SYN as the window's desk goes.
    desk_->stop();
    event->accept();
}

CardEntryDialog::CardEntryDialog(const InventoryCard& card, QWidget* parent)
    : QDialog(parent), original_(card), name_(new QLineEdit(card.name, this)), port_(new QLineEdit(card.port, this)),
      kind_(new QComboBox(this)), serial_(new QLineEdit(card.serial, this)), groups_(new QLineEdit(card.groups.join(QStringLiteral(", ")), this)),
      reference_(new QLineEdit(card.reference, this)), location_(new QLineEdit(card.location, this))
{
    setWindowTitle(card.name.isEmpty() ? QStringLiteral("Add Card") : QStringLiteral("Edit Card"));
    kind_->addItems({QStringLiteral("(not known)"), QStringLiteral("SID"), QStringLiteral("AVM")});
    kind_->setCurrentIndex(card.kind ? (*card.kind == CardType::SID ? 1 : 2) : 0);
    port_->setPlaceholderText(QStringLiteral("/dev/ttyUSB0, Com1, rfc2217://HOST:PORT"));
    serial_->setPlaceholderText(QStringLiteral("10 hexadecimal digits, such as 4B58343031"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), name_);
    form->addRow(QStringLiteral("&Port:"), port_);
    form->addRow(QStringLiteral("&Kind:"), kind_);
    form->addRow(QStringLiteral("&Serial:"), serial_);
    form->addRow(QStringLiteral("&Groups:"), groups_);
    form->addRow(QStringLiteral("&Reference set-up:"), reference_);
    form->addRow(QStringLiteral("&Location:"), location_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* problem = new QLabel(this);
    problem->setWordWrap(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this, problem] {
        // A card the inventory cannot keep is not taken: the dialog says why and stays.
        const QString why = inventoryCardProblem(this->card());
        problem->setText(why);
        if (why.isEmpty())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem);
    layout->addWidget(buttons);
}

InventoryCard CardEntryDialog::card() const
{
    InventoryCard card = original_;
    card.name = name_->text().trimmed();
    card.port = port_->text().trimmed();
    card.kind = kind_->currentIndex() == 0 ? std::nullopt : std::optional(kind_->currentIndex() == 1 ? CardType::SID : CardType::AVM);
    card.serial = normalisedSerial(serial_->text().trimmed()).value_or(serial_->text().trimmed());
    card.groups.clear();
    for (const QString& group : groups_->text().split(u',', Qt::SkipEmptyParts))
        card.groups << group.trimmed();
    card.reference = reference_->text().trimmed();
    card.location = location_->text().trimmed();
    return card;
}

} // namespace quillon
