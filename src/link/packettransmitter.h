// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "framecodec.h"
#include "jobs.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace quillon {

struct LinkContext;

// The host's side of sending: frames a payload, writes it and records it in the trace file,
// and, in header mode, keeps one data packet outstanding until the card acknowledges it. It
// owns the retransmission timer (100 ms plus the frame's line time, started once the frame
// has left the host; on a serial server's port plus the network's round trip), the retry
// count, and the 50 ms pause after an acknowledgement the host sent, before its next data
// packet.
class PacketTransmitter {
public:
    PacketTransmitter(LinkContext& link, LinkClock& clock);
    ~PacketTransmitter();

    // Sends one data packet. In header mode it returns once the packet is acknowledged (true)
    // or the connection or the link ended first (false).
    Task<bool> sendPacket(QByteArray payload);
    // Writes one frame at once: a data packet, a resend of the saved one, an Ack or a Nack.
    void transmit(const QByteArray& payload, PacketKind kind);

    // A connection begins on a port with this round trip beyond the line (0: a local port).
    void startConnection(double roundTripMs);
    double roundTripMs() const { return roundTripMs_; }

    // The card acknowledged the outstanding packet; explicitly: with an Ack frame.
    void acknowledgeOutstanding(bool explicitly = false);
    // Sends the outstanding packet again (after a Nack); ends the connection when the port is gone.
    void resendSavedPacket();
    // The card refused the packet too often: tells onRetransmissionFailed.
    void failRetransmission();
    void stopRetransmissionTimer();
    // The host acknowledged a card's packet: its next data packet waits 50 ms.
    void pauseAfterAcknowledgement();
    void stopAcknowledgementPause();
    // The port's output buffer ran empty.
    void outputDrained();

    // The transfer has failed for want of acknowledgements.
    std::function<void()> onRetransmissionFailed;

private:
    void writeFrame(const QByteArray& payload, PacketKind kind);
    void armRetransmissionTimer();
    void startRetransmissionTimer();
    void onRetransmissionTimeout();
    void learnRoundTrip();
    int lineTimeMs(int bytes) const;
    bool acked(quint64 ticket) const { return ackedTicket_ >= ticket; }

    LinkContext& link_;
    std::unique_ptr<LinkTimer> retransmissionTimer_, acknowledgementPause_;
    std::unique_ptr<LinkTimer> drainLimit_; // bounds the wait for the output to leave
    bool retransmissionAwaitsDrain_ = false;
    // Data packets in header mode are numbered; a sender waits until its number is acknowledged.
    quint64 lastTicket_ = 0;
    quint64 ackedTicket_ = 0;
    int outstandingFrameBytes_ = 0;
    bool outstandingResent_ = false;
    // Over a network the acknowledgement wait counts from when the frame has left the far line:
    // it is longer by the round trip, measured at the opening and smoothed from acknowledgements.
    double roundTripMs_ = 0;
    qint64 waitStartedMs_ = -1; // when the acknowledgement wait began
    LinkClock& clock_;
};

} // namespace quillon
