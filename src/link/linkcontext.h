// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "endreason.h"
#include "jobs.h"
#include "linkstate.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace quillon {

class CardLink;
class LinkObserver;
class SerialControl;
class TraceFile;

// The connection token: renewed when a connection ends and when the card resets the link with a
// SYN, and gone with the link. A wait, or a callback held by the port, takes the token when it
// begins; once the token has changed (its copy has expired) what it waited for belongs to a link
// that is no more: an acknowledgement, a speed change, an answer's next step.
class ConnectionToken {
public:
    using Held = std::weak_ptr<const int>;
    Held take() const { return current_; }
    static bool stale(const Held& held) { return held.expired(); }
    void renew() { current_ = std::make_shared<const int>(0); }

private:
    std::shared_ptr<const int> current_ = std::make_shared<const int>(0);
};

// What the transmitter, the receiver and the connection share: the port, the trace file, the
// link whose signals tell what happens, the link state, the jobs that wait, and the token by
// which a wait notices that its connection or its link has gone.
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
    ConnectionToken token;
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
