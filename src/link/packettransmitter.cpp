// SPDX-License-Identifier: GPL-3.0-or-later
#include "packettransmitter.h"

#include "linkcontext.h"
#include "linkobserver.h"
#include "serialcontrol.h"
#include "tracefile.h"

#include "cardlink.h"

#include <cmath>

namespace quillon {

namespace {

constexpr int RetransmissionTimeoutMs = 100;
constexpr int AcknowledgementPauseMs = 50;
constexpr int DrainLimitMs = 2000;
// The bytes of an Ack frame from the card in 16-bit header form: STX, control, two sequence
// bytes, two check bytes, ETX.
constexpr int AckFrameBytes = 7;
// A round trip learnt from one acknowledgement counts this much in the smoothed one.
constexpr double RoundTripGain = 1.0 / 8;
// Acknowledgements later than this (a card that waited for something) teach nothing; the round
// trip grows to it at most.
constexpr double RoundTripSampleLimitMs = 2000;
// A wait for an acknowledgement that ran out on a network port lengthens the next ones so much.
constexpr double RoundTripBackoffMs = 50;

} // namespace

PacketTransmitter::PacketTransmitter(LinkContext& link, LinkClock& clock)
    : link_(link), retransmissionTimer_(clock.createTimer()), acknowledgementPause_(clock.createTimer()),
      drainLimit_(clock.createTimer()), clock_(clock)
{
    retransmissionTimer_->onTimeout = [this] { onRetransmissionTimeout(); link_.jobs.pump(); };
    acknowledgementPause_->onTimeout = [this] { link_.jobs.pump(); };
    drainLimit_->onTimeout = [this] { startRetransmissionTimer(); link_.jobs.pump(); };
}

PacketTransmitter::~PacketTransmitter() = default;

int PacketTransmitter::lineTimeMs(int bytes) const
{
    const int baud = std::max(1, baudOfSettings(link_.port.settings()));
    return static_cast<int>(std::ceil(bytes * 11 * 1000.0 / baud));
}

Task<bool> PacketTransmitter::sendPacket(QByteArray payload)
{
    LinkState& s = link_.s;
    const ConnectionToken::Held token = link_.token.take();
    const ConnectionToken::Held* held = &token; // (only plain values in lambdas inside co_await: GCC 12)
    if (!link_.port.portOpen()) {
        link_.endTransfer(EndReason::PortClosed);
        co_return false;
    }
    if (s.cardIdentified) {
        // 50 ms after an acknowledgement the host sent, and one data packet outstanding at a time.
        co_await link_.jobs.until([this, &s] { return !acknowledgementPause_->isActive() || !s.cardIdentified; });
        if (!s.cardIdentified)
            acknowledgementPause_->stop();
        co_await link_.jobs.until([&s, held] { return s.ackReceived || ConnectionToken::stale(*held); });
        if (ConnectionToken::stale(token))
            co_return false;
        if (!link_.port.portOpen()) {
            link_.endTransfer(EndReason::PortClosed);
            co_return false;
        }
    }
    transmit(payload, PacketKind::Data);
    if (!s.headerMode)
        co_return true;
    const quint64 ticket = lastTicket_;
    co_await link_.jobs.until([this, ticket, held] { return acked(ticket) || ConnectionToken::stale(*held); });
    co_return acked(ticket); // a reset of the link releases the wait without acknowledging
}

void PacketTransmitter::transmit(const QByteArray& payload, PacketKind kind)
{
    LinkState& s = link_.s;
    const bool dataKind = kind == PacketKind::Data || kind == PacketKind::Resend;
    if (s.headerMode && dataKind) {
        if (s.ackReceived)
            s.ownSeq ^= 1; // a resend of an unacknowledged packet keeps its sequence bit
        if (kind == PacketKind::Data) {
            s.retryCount = 0;
            s.savedPacket = payload;
        }
    }
    writeFrame(payload, kind);
    if (!s.headerMode || !dataKind) {
        if (!s.inFrame)
            s.frameBuffer.clear();
        return;
    }
    if (kind == PacketKind::Data)
        ++lastTicket_;
    s.ackReceived = false;
    armRetransmissionTimer();
}

void PacketTransmitter::writeFrame(const QByteArray& payload, PacketKind kind)
{
    LinkState& s = link_.s;
    TraceFile& trace = link_.trace;
    const bool ackKind = kind == PacketKind::Ack || kind == PacketKind::Nack;
    const quint8 answeredSeq = s.peerSeq;
    if (ackKind && s.peerSeq > 1)
        s.peerSeq = 0;
    const FrameParts parts = buildFrameParts(s.checkMode, s.headerMode, kind, s.peerSeq, s.ownSeq, payload);

    trace.text("Start Out");
    trace.int16(TraceFrameStart);
    trace.byte(parts.control);
    if (ackKind) {
        if (answeredSeq > 1) { // a sequence bit that was not a bit
            for (int letter : {'W', 'r', 'o', 'n', 'g'})
                trace.hex(letter);
            trace.hex(answeredSeq);
        }
        trace.byte(s.peerSeq);
        trace.int16(0);
    } else {
        trace.bytes(parts.body);
    }
    if (s.checkMode == CheckMode::Bits16)
        trace.bytes(parts.check);
    trace.int16(TraceFrameEnd);
    trace.text("Stop Out");

    const QByteArray frame = parts.frame();
    link_.port.output(frame);
    link_.tell([&](LinkObserver& o) { o.frameSent(frame, kind); });
    if (kind == PacketKind::Resend)
        link_.tell([&](LinkObserver& o) { o.retransmitted(s.retryCount); });
    if (!ackKind) { // an Ack or Nack written meanwhile leaves the outstanding frame's wait alone
        outstandingFrameBytes_ = static_cast<int>(frame.size());
        outstandingResent_ = kind == PacketKind::Resend;
    }
}

void PacketTransmitter::startConnection(double roundTripMs)
{
    roundTripMs_ = std::max(0.0, roundTripMs);
    waitStartedMs_ = -1;
}

// The acknowledgement wait starts once the frame has left the host: when the system has taken
// it, plus its time on the line at the current speed.
void PacketTransmitter::armRetransmissionTimer()
{
    stopRetransmissionTimer();
    if (link_.port.outBufferCount() == 0) {
        startRetransmissionTimer();
        return;
    }
    retransmissionAwaitsDrain_ = true;
    drainLimit_->start(DrainLimitMs + lineTimeMs(outstandingFrameBytes_));
}

void PacketTransmitter::startRetransmissionTimer()
{
    retransmissionAwaitsDrain_ = false;
    drainLimit_->stop();
    waitStartedMs_ = clock_.nowMs();
    const int network = static_cast<int>(std::ceil(roundTripMs_)); // 0 on a local port
    retransmissionTimer_->start(RetransmissionTimeoutMs + lineTimeMs(outstandingFrameBytes_) + network);
}

void PacketTransmitter::stopRetransmissionTimer()
{
    retransmissionAwaitsDrain_ = false;
    drainLimit_->stop();
    retransmissionTimer_->stop();
}

void PacketTransmitter::outputDrained()
{
    if (retransmissionAwaitsDrain_)
        startRetransmissionTimer();
}

void PacketTransmitter::pauseAfterAcknowledgement()
{
    acknowledgementPause_->start(AcknowledgementPauseMs);
}

void PacketTransmitter::stopAcknowledgementPause()
{
    acknowledgementPause_->stop();
}

void PacketTransmitter::onRetransmissionTimeout()
{
    LinkState& s = link_.s;
    if (s.ackReceived) {
        acknowledgeOutstanding();
        return;
    }
    if (s.retryCount > 5 || s.keepAliveCount > 9) {
        failRetransmission();
        return;
    }
    // Over a network a wait that ran out may have been too short for the round trip, which an
    // Ack of a resent frame cannot tell: wait longer from now on, until Acks of frames sent once
    // say otherwise.
    if (roundTripMs_ > 0)
        roundTripMs_ = std::min(roundTripMs_ + RoundTripBackoffMs, RoundTripSampleLimitMs);
    link_.tell([](LinkObserver& o) { o.acknowledgementTimedOut(); });
    link_.trace.int16(TraceRetransmission);
    link_.trace.int16(s.retryCount);
    link_.trace.int16(TraceRetransmission);
    Q_EMIT link_.events.retransmitting(s.retryCount);
    resendSavedPacket();
}

void PacketTransmitter::resendSavedPacket()
{
    if (!link_.port.portOpen()) {
        link_.endTransfer(EndReason::PortClosed); // the device went away under the packet
        return;
    }
    transmit(link_.s.savedPacket, PacketKind::Resend);
}

void PacketTransmitter::acknowledgeOutstanding(bool explicitly)
{
    if (explicitly && !link_.s.ackReceived)
        learnRoundTrip();
    link_.s.ackReceived = true;
    ackedTicket_ = lastTicket_;
    stopRetransmissionTimer();
}

// From an Ack of a frame sent once, on a port with a round trip: what the wait took beyond the
// frame's and the Ack's time on the line. (An Ack of a resent frame may answer either sending.)
void PacketTransmitter::learnRoundTrip()
{
    if (roundTripMs_ <= 0 || outstandingResent_ || waitStartedMs_ < 0 || !retransmissionTimer_->isActive())
        return;
    const double sample = double(clock_.nowMs() - waitStartedMs_) - lineTimeMs(outstandingFrameBytes_)
                        - lineTimeMs(AckFrameBytes);
    if (sample > RoundTripSampleLimitMs)
        return;
    roundTripMs_ += (std::max(0.0, sample) - roundTripMs_) * RoundTripGain;
}

void PacketTransmitter::failRetransmission()
{
    if (onRetransmissionFailed)
        onRetransmissionFailed();
}

} // namespace quillon
