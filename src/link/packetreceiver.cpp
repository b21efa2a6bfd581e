// SPDX-License-Identifier: GPL-3.0-or-later
#include "packetreceiver.h"

#include "linkcontext.h"
#include "linkobserver.h"
#include "packettransmitter.h"
#include "serialcontrol.h"
#include "tracefile.h"

#include "cardlink.h"

namespace quillon {

namespace {

const QString DefaultSettings = QStringLiteral("9600,N,8,2");
const QString OpeningSettings = QStringLiteral("9600,n,8,2");
// One raw frame at most: a fully stuffed 1 KiB image and its framing.
constexpr int MaxRawFrame = 2 * 1024 + 16;

} // namespace

PacketReceiver::PacketReceiver(LinkContext& link, PacketTransmitter& transmitter)
    : link_(link), transmitter_(transmitter)
{
}

void PacketReceiver::onComm(int event)
{
    if (event == SerialControl::DataReceived) {
        receiveBytes();
    } else if (event == SerialControl::WriteTimeout) {
        link_.endTransfer(EndReason::WriteTimeout);
        Q_EMIT link_.events.failed({LinkFailure::WriteTimeout});
    }
}

void PacketReceiver::receiveBytes()
{
    SerialControl& port = link_.port;
    while (port.portOpen() && port.inBufferCount() > 0) {
        const QByteArray chunk = port.input(4096);
        if (chunk.isEmpty())
            return;
        bytesThisConnection_ += chunk.size();
        for (char c : chunk) {
            if (!receiveByte(static_cast<quint8>(c)) || !port.portOpen())
                return;
        }
    }
}

bool PacketReceiver::receiveByte(quint8 byte)
{
    LinkState& s = link_.s;
    TraceFile& trace = link_.trace;
    switch (byte) {
    case STX:
        if (s.frameBuffer.size() > 1) {
            trace.text("Start In");
            trace.bytes(s.frameBuffer);
        }
        s.frameBuffer.clear();
        s.inFrame = true;
        discardingFrame_ = false;
        return true;
    case ETX: {
        s.inFrame = false;
        if (std::exchange(discardingFrame_, false))
            return true;
        traceIncomingFrame();
        // Taken out first: a lone ETX later must not process this frame a second time.
        const QByteArray frame = std::exchange(s.frameBuffer, {});
        processFrame(frame);
        return true;
    }
    case AckByte:
        link_.tell([](LinkObserver& o) { o.singleByte(AckByte, false); });
        return true;
    case SYN:
        link_.tell([](LinkObserver& o) { o.singleByte(SYN, false); });
        trace.int16(TraceSynReceived);
        trace.int16(link_.port.outBufferCount());
        trace.int16(TraceSynReceived);
        if (s.cardIdentified) {
            link_.endTransfer(EndReason::LinkResetByCard);
            return false;
        }
        link_.port.output(QByteArray(1, static_cast<char>(AckByte)));
        link_.tell([](LinkObserver& o) { o.singleByte(AckByte, true); });
        trace.int16(TraceSynAnswered);
        trace.int16(AckByte);
        resetOnSyn();
        return true;
    default:
        break;
    }
    if (s.inFrame) {
        if (discardingFrame_)
            return true;
        if (s.frameBuffer.size() >= MaxRawFrame) {
            // Longer than any frame can be: the rest of it is dropped up to its end.
            s.frameBuffer.clear();
            discardingFrame_ = true;
            return true;
        }
        s.frameBuffer.append(static_cast<char>(byte));
        return true;
    }
    if (++s.strayCount >= 3) {
        s.strayCount = 0;
        if (sameSettings(link_.port.settings(), DefaultSettings)) {
            link_.endTransfer(EndReason::UnknownDevice);
            Q_EMIT link_.events.failed({LinkFailure::UnknownDevice});
            return false;
        }
        link_.port.setSettings(OpeningSettings); // back to the opening speed after a change to 1200 baud
        link_.tell([](LinkObserver& o) { o.speedChanged(9600); });
    }
    return true;
}

void PacketReceiver::resetOnSyn()
{
    link_.token.renew();
    link_.s.resetOnSyn();
    transmitter_.stopRetransmissionTimer();
}

void PacketReceiver::traceIncomingFrame()
{
    const LinkState& s = link_.s;
    TraceFile& trace = link_.trace;
    const QByteArray& frame = s.frameBuffer;
    if (!s.cardIdentified)
        trace.int16(TraceFrameUnidentified);
    else if (frame.size() != previousFrame_.size())
        trace.int16(TraceFrameNewLength);
    else if (!frame.isEmpty() && (byteAt(frame, 0) == AckControl || byteAt(frame, 0) == NackControl))
        trace.text("Stop In");
    else
        trace.int16(TraceFrameSameLength);
    trace.bytes(frame);
    previousFrame_ = frame;
}

void PacketReceiver::processFrame(const QByteArray& raw)
{
    LinkState& s = link_.s;
    if (raw.size() <= 1)
        return;
    const std::optional<QByteArray> unstuffed = unstuff(raw);
    if (!unstuffed)
        return; // ends in DLE
    const QByteArray& packet = *unstuffed;
    if (s.checkMode != CheckMode::Bits16) {
        link_.tell([&](LinkObserver& o) { o.frameReceived(packet, true); });
        dispatchPacket(packet, false);
        return;
    }
    const quint8 control = byteAt(packet, 0);
    const bool crcGood = crcMatches(packet);
    link_.tell([&](LinkObserver& o) { o.frameReceived(packet, crcGood || byteAt(packet, 0) == PlainControl); });
    if (s.headerMode) {
        if (control == PlainControl) {
            dispatchPacket(packet, false);
            return;
        }
        if (control == DataControl && packet.size() > 2)
            s.peerSeq = byteAt(packet, 2);
        if (s.linkUp && control == DataControl && packet.size() > 1) {
            if (byteAt(packet, 1) != s.ownSeq)
                return; // not for the packet we have outstanding: the card will send it again
            // A data packet from the card acknowledges ours; only a good one counts.
            if (!s.ackReceived && crcGood) {
                transmitter_.acknowledgeOutstanding();
                s.retryCount = 0;
            }
        }
    }
    const int seqByte = packet.size() > 2 ? byteAt(packet, 2) : -1;
    if (!crcGood) {
        if (seqByte == s.lastPeerSeq)
            return; // a repeat of a packet already accepted
        transmitter_.transmit(QByteArray(1, '\0'), PacketKind::Nack);
        transmitter_.pauseAfterAcknowledgement();
        return;
    }
    const int answered = packet.size() > 1 ? byteAt(packet, 1) : -1;
    if (control == AckControl) {
        if (answered == s.ownSeq && !s.ackReceived) {
            link_.trace.text("Ack In");
            transmitter_.acknowledgeOutstanding(true);
            s.retryCount = 0;
        }
        return;
    }
    if (control == NackControl) {
        if (answered == s.ownSeq) {
            link_.trace.text("Nack In");
            link_.tell([](LinkObserver& o) { o.nackReceived(); });
            if (s.retryCount > 5) {
                // A card that refuses every retransmission must not keep us resending forever.
                transmitter_.failRetransmission();
                return;
            }
            ++s.retryCount;
            s.ackReceived = false;
            transmitter_.resendSavedPacket();
        }
        return;
    }
    transmitter_.transmit(QByteArray(1, '\0'), PacketKind::Ack);
    s.lastPeerSeq = seqByte;
    transmitter_.pauseAfterAcknowledgement();
    dispatchPacket(packet, true);
}

void PacketReceiver::dispatchPacket(const QByteArray& packet, bool verified)
{
    classifyControl(byteAt(packet, 0));
    if (packet.size() > 1 && onPacket)
        onPacket(packet, verified);
}

void PacketReceiver::classifyControl(quint8 control)
{
    LinkState& s = link_.s;
    if (const auto modes = modesFromControl(control)) {
        s.checkMode = modes->check;
        s.headerMode = modes->header;
        s.dataSeen = true;
    }
    Q_EMIT link_.events.framing(s.checkMode, s.headerMode, s.dataSeen);
}

} // namespace quillon
