// SPDX-License-Identifier: GPL-3.0-or-later
#include "portassignmentdialog.h"

#include "link/portcatalogue.h"
#include "link/portdoctor.h"
#include "app/core/settingsstore.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quillon {

namespace {

QString caption(const SerialPortEntry& port)
{
    return port.description.isEmpty() ? port.device
                                      : QStringLiteral("%1 (%2)").arg(port.description, port.device);
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
        for (const SerialPortEntry& entry : present)
            box->addItem(caption(entry), stableNameOf(entry));

        const QString stored = store_.portDevice(port);
        const SerialPortEntry* listed = findPort(resolveAssignment(stored, catalogue_), present);
        const int index = listed ? box->findData(stableNameOf(*listed)) : -1;
        if (index >= 0)
            box->setCurrentIndex(index);
        else
            box->setEditText(stored);

        auto* verdict = new QLabel(this);
        verdict->setObjectName(QStringLiteral("com%1Verdict").arg(port));
        boxes_[port - 1] = box;
        verdicts_[port - 1] = verdict;
        grid->addWidget(new QLabel(QStringLiteral("Com%1").arg(port), this), port - 1, 0);
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
