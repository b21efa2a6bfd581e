#pragma once

#include "endreason.h"
#include "jobs.h"
#include "linkstate.h"

#include <QString>
#include <functional>
#include <vector>

namespace quillon {

class CardLink;
class LinkObserver;
class SerialControl;
class TraceFile;

// What the transmitter, the receiver and the connection share: the port, the trace file, the
// link whose signals tell what happens, the link state, the jobs that wait, and the two counters
// by which a wait notices that its connection or its link has gone.
struct LinkContext {
    LinkContext(CardLink& events_, SerialControl& port_, LinkClock& clock_, TraceFile& trace_)
        : events(events_), port(port_), clock(clock_), trace(trace_), jobs(clock_)
    {
    }

    CardLink& events;
    SerialControl& port;
    LinkClock& clock;
    TraceFile& trace;
    LinkState s;
    JobRunner jobs;
    // Every endTransfer starts a new generation: waits of the ended connection see it.
    quint64 generation = 0;
    // Every SYN resets the link: an answer still waiting for its acknowledgement then has
    // nothing left to answer.
    quint64 linkEpoch = 0;
    // Told what happens on the link frame by frame, in the order added.
    std::vector<LinkObserver*> observers;
    template <typename Tell>
    void tell(Tell&& tell) const
    {
        for (LinkObserver* observer : observers)
            tell(*observer);
    }
    // Ends the connection (CardLink's endTransfer).
    std::function<void(EndReason)> endTransfer;
};

inline quint8 byteAt(const QByteArray& bytes, qsizetype i) { return static_cast<quint8>(bytes.at(i)); }

} // namespace quillon
