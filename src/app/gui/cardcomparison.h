// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/borrowedport.h"
#include "link/cardlink.h"
#include "mainwindow.h"

#include <QTimer>
#include <optional>

namespace quillon {

// A Get run to compare the card's set-up, on a link of its own over the program's serial port
// and into a set-up of its own: the set-up in the windows stays as it is.
struct MainWindow::CardComparison {
    CardComparison(SerialControl& serial, LinkClock& clock, PortSelection& ports, OperatorUi& shown,
                   TraceFile& trace)
        : port(serial), ui(shown), link(port, clock, ports, held, ui, trace)
    {
    }

    BorrowedSerialControl port;
    HeldSetup held;
    ComparisonUi ui;
    CardLink link;
    QTimer closeWatch; // the flow has its result; the connection is still closing
    std::optional<FlowOutcome> outcome;
    QByteArray serial; // the card's, once it has identified itself
};

} // namespace quillon
