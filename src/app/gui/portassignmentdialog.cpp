// SPDX-License-Identifier: GPL-3.0-or-later
#include "portassignmentdialog.h"

#include "forms/choicelistaccessible.h"
#include "link/portcatalogue.h"
#include "link/portdoctor.h"
#include "app/core/settingsstore.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon {

namespace {

// The ports present as a list of two columns, device and description; the box takes the device.
void listPorts(QComboBox* box, const QList<SerialPortEntry>& present)
{
    auto* model = new QStandardItemModel(0, 2, box);
    for (const SerialPortEntry& entry : present) {
        auto* device = new QStandardItem(entry.device);
        device->setData(stableNameOf(entry), Qt::UserRole);
        model->appendRow({device, new QStandardItem(entry.description)});
    }
    auto* view = new QTreeView(box);
    view->setHeaderHidden(true);
    view->setRootIsDecorated(false);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->header()->setStretchLastSection(true);
    box->setModel(model);
    box->setView(view);
    box->setModelColumn(0);
    // The list opens wide enough for both columns.
    const QFontMetrics metrics(view->font());
    std::array<int, 2> widths{};
    for (const SerialPortEntry& entry : present) {
        widths[0] = std::max(widths[0], metrics.horizontalAdvance(entry.device));
        widths[1] = std::max(widths[1], metrics.horizontalAdvance(entry.description));
    }
    const int padding = 4 * metrics.averageCharWidth(); // cell margins and the scroll bar
    view->setMinimumWidth(widths[0] + widths[1] + 2 * padding);
}

} // namespace

PortAssignmentDialog::PortAssignmentDialog(const PortCatalogue& catalogue, const PortDoctor& doctor,
                                           SettingsStore& store, QWidget* parent)
    : QDialog(parent), catalogue_(catalogue), doctor_(doctor), store_(store)
{
    setObjectName(QStringLiteral("portAssignmentDialog"));
    setWindowTitle(QStringLiteral("Port Assignment"));
    auto* intro = new QLabel(QStringLiteral("Choose the serial port each Com item stands for, or type "
                                            "the device's path. A USB adapter is kept by its own name, "
                                            "so it is found again in any socket. A card behind a serial "
                                            "server is typed as rfc2217://HOST:PORT (or socket://HOST:PORT "
                                            "for a raw TCP port)."), this);
    intro->setWordWrap(true);

    auto* grid = new QGridLayout;
    const QList<SerialPortEntry> present = catalogue_.ports();
    for (int port = 1; port <= 4; ++port) {
        auto* box = new QComboBox(this);
        box->setObjectName(QStringLiteral("com%1Box").arg(port));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMinimumContentsLength(40);
        listPorts(box, present);
        // Named for a screen reader by what it holds, not by the text typed into it.
        ChoiceListAccessible::name(box, QStringLiteral("Com%1 device").arg(port));

        const QString stored = store_.portDevice(port);
        const SerialPortEntry* listed = findPort(resolveAssignment(stored, catalogue_), present);
        const int index = listed ? box->findData(stableNameOf(*listed)) : -1;
        if (index >= 0)
            box->setCurrentIndex(index);
        else
            box->setEditText(stored);

        auto* verdict = new QLabel(this);
        verdict->setObjectName(QStringLiteral("com%1Verdict").arg(port));
        // A verdict of its own width and two lines' height: the dialog keeps its size as the
        // verdict follows the typing; a long one wraps.
        verdict->setWordWrap(true);
        verdict->setFixedWidth(verdict->fontMetrics().averageCharWidth() * 36);
        verdict->setMinimumHeight(2 * verdict->fontMetrics().lineSpacing());
        boxes_[port - 1] = box;
        verdicts_[port - 1] = verdict;
        auto* name = new QLabel(QStringLiteral("Com%1").arg(port), this);
        name->setBuddy(box);
        grid->addWidget(name, port - 1, 0);
        grid->addWidget(box, port - 1, 1);
        grid->addWidget(verdict, port - 1, 2);
        connect(box, &QComboBox::currentTextChanged, this, [this, port] { showVerdict(port); });
        showVerdict(port);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

QString PortAssignmentDialog::assignment(int port) const
{
    const QComboBox* box = portBox(port);
    const int index = box->currentIndex();
    if (index >= 0 && box->itemText(index) == box->currentText())
        return box->itemData(index).toString();
    return box->currentText().trimmed();
}

void PortAssignmentDialog::showVerdict(int port)
{
    const QString device = resolveAssignment(assignment(port), catalogue_);
    verdictLabel(port)->setText(doctor_.verdict(device));
}

void PortAssignmentDialog::accept()
{
    for (int port = 1; port <= 4; ++port)
        store_.setPortDevice(port, assignment(port));
    QDialog::accept();
}

} // namespace quillon
