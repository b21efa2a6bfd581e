// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "endreason.h"
#include "jobs.h"
#include "linkstate.h"

#include <QString>
#include <functional>

namespace quillon {

class LinkObserver;
class OperatorUi;
class SerialControl;
class TraceFile;

// What the transmitter, the receiver and the connection share: the port, the trace file, the
// operator, the link state, the jobs that wait, and the two counters by which a wait notices
// that its connection or its link has gone.
struct LinkContext {
    LinkContext(SerialControl& port_, LinkClock& clock_, OperatorUi& ui_, TraceFile& trace_)
        : port(port_), clock(clock_), ui(ui_), trace(trace_), jobs(clock_)
    {
    }

    SerialControl& port;
    LinkClock& clock;
    OperatorUi& ui;
    TraceFile& trace;
    LinkState s;
    JobRunner jobs;
    // Every endTransfer starts a new generation: waits of the ended connection see it.
    quint64 generation = 0;
    // Every SYN resets the link: an answer still waiting for its acknowledgement then has
    // nothing left to answer.
    quint64 linkEpoch = 0;
    // Told what happens on the link; may be null.
    LinkObserver* observer = nullptr;
    template <typename Tell>
    void tell(Tell&& tell) const
    {
        if (observer)
            tell(*observer);
    }
    // Ends the connection (CardLink's endTransfer).
    std::function<void(EndReason)> endTransfer;
};

inline quint8 byteAt(const QByteArray& bytes, qsizetype i) { return static_cast<quint8>(bytes.at(i)); }

} // namespace quillon
