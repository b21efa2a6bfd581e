// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cardoperation.h"
#include "linkpresenter.h"

#include "../../link/cardlink.h"
#include "../../link/framelog.h"
#include "../../link/linkstatistics.h"
#include "../../link/tracefile.h"

#include <QObject>
#include <memory>

namespace quillon {

struct HeldSetup;
class SettingsStore;

// One card's transfers, put together once for the desktop program and quillon-cli alike: the
// clock, the trace file, the frame log, the link's counters, the link, what the operator is
// shown of it, and the operation (Get, Send, Compare) with the safety net the settings choose.
// Everything a transfer changes lives here or in what it is given, so that several sessions
// on several lines run at once, each on its own.
class CardSession : public QObject {
    Q_OBJECT
public:
    // clock: the program's timers when null. The rest must outlive the session.
    CardSession(SerialControl& port, PortSelection& ports, HeldSetup& held, OperatorUi& ui,
                const SettingsStore& settings, LinkClock* clock = nullptr);
    ~CardSession() override;

    // The operation's safety net as the settings hold it: every Get keeps a backup; a Send
    // backs up and verifies as the Options menu chose.
    OperationOptions options(bool send) const;
    void get();
    void send();
    void compare(); // reads the card without holding what it holds; no backup
    // The progress dialog's Cancel: the running operation, or a connection opened by hand.
    void cancel();
    // Closing the program: the operation ends without a word, the connection with its SYN.
    void shutdown();
    // Controls > "Open Port": a connection opened by hand, with a frame log of its own.
    void openPort();
    // A flow runs or the port is open.
    bool busy() const;

    // Frames go to frames.log next to the trace file from the next connection on; the log starts
    // afresh at each operation (all its connections, each under a header) or connection by hand.
    void setFrameLogging(bool on);

    LinkClock& clock() { return clock_; }
    CardLink& link() { return link_; }
    CardOperation& operation() { return operation_; }
    LinkPresenter& presenter() { return presenter_; }
    TraceFile& trace() { return trace_; }
    FrameLog& frameLog() { return frameLog_; }
    const LinkCounters& counters() const { return statistics_.counters(); }
    // The counters added up over the running (or last) operation's connections.
    LinkCounters operationCounters() const { return statistics_.totals(); }

Q_SIGNALS:
    void countersChanged();
    // A connection that opened has ended, with its final counters.
    void connectionEnded(const LinkCounters& counters);

private:
    const SettingsStore& settings_;
    std::unique_ptr<LinkClock> ownClock_;
    LinkClock& clock_;
    TraceFile trace_;
    FrameLog frameLog_;
    LinkStatistics statistics_;
    CardLink link_;
    // The presenter listens to the link before the operation does: what the operator is told of
    // a connection comes before the operation's next step.
    LinkPresenter presenter_;
    CardOperation operation_;
};

} // namespace quillon
