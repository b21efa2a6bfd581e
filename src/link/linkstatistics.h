// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "linkobserver.h"

#include <QString>
#include <functional>

namespace quillon {

class LinkClock;

// What one connection's line has seen so far.
struct LinkCounters {
    qint32 framesSent = 0;
    qint32 framesReceived = 0;
    qint32 retransmissions = 0;
    qint32 nacks = 0;     // NACKs from the card for the host's packets
    qint32 crcErrors = 0; // frames from the card that failed their check
    qint64 cardSynAfterMs = -1; // from the port opening to the card's first SYN; -1 before it
    QString lastFailure;  // in words; empty while nothing went wrong
};

// Counts a connection's frames and failures as the link reports them; starts afresh with every
// connection. The progress dialog's counters and quillon-cli's --stats line are both read from it.
class LinkStatistics : public LinkObserver {
public:
    explicit LinkStatistics(LinkClock& clock);

    const LinkCounters& counters() const { return counters_; }
    // Added up over the connections since startTotals() (one operation's backup read, send and
    // verify), the running one included; the last failure is the latest.
    LinkCounters totals() const;
    void startTotals() { earlier_ = {}; }
    // After every change of the counters.
    std::function<void()> onChanged;
    // When a connection that opened has ended, with its final counters.
    std::function<void(const LinkCounters&)> onConnectionEnded;

    void connectionOpened() override;
    void connectionEnded(EndReason reason) override;
    void frameSent(const QByteArray& frame, PacketKind kind) override;
    void frameReceived(const QByteArray& packet, bool crcGood) override;
    void nackReceived() override;
    void acknowledgementTimedOut() override;
    void singleByte(quint8 byte, bool toCard) override;

private:
    void changed();
    void failed(const QString& why);

    LinkClock& clock_;
    LinkCounters counters_;
    LinkCounters earlier_; // the ended connections since startTotals()
    qint64 openedAtMs_ = 0;
    bool connected_ = false;
};

// The counters in one line, as --stats prints them.
QString countersLine(const LinkCounters& counters);
// The counters on three lines, as the progress dialog shows them.
QString countersText(const LinkCounters& counters);

} // namespace quillon
