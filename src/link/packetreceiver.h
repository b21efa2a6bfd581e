// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <functional>

namespace quillon {

struct LinkContext;
class PacketTransmitter;

// Reads what the card sends: frames bytes between STX and ETX (bounded, a frame longer than any
// frame can be is dropped), unstuffs and checks them, acknowledges good data packets and asks
// again for bad ones, takes the card's Acks and Nacks for the transmitter, answers a SYN before
// identification and resets the link, and ends the connection on a SYN after it or on stray
// bytes from an unknown device. Each packet then goes to onPacket, the command dispatcher.
class PacketReceiver {
public:
    PacketReceiver(LinkContext& link, PacketTransmitter& transmitter);

    // The serial port's event: data received, or a write timeout.
    void onComm(int event);
    // A new connection: the trace file compares frames with this connection's only.
    void startConnection()
    {
        previousFrame_.clear();
        bytesThisConnection_ = 0;
    }
    // The bytes read since the connection opened: whether a silent card sent anything at all.
    qint64 bytesThisConnection() const { return bytesThisConnection_; }

    // A packet to dispatch; verified: its check passed in a mode that has one.
    std::function<void(const QByteArray& packet, bool verified)> onPacket;

private:
    void receiveBytes();
    bool receiveByte(quint8 byte); // false: stop this reading pass
    void traceIncomingFrame();
    void processFrame(const QByteArray& raw);
    void dispatchPacket(const QByteArray& packet, bool verified);
    void classifyControl(quint8 control);
    void resetOnSyn();

    LinkContext& link_;
    PacketTransmitter& transmitter_;
    QByteArray previousFrame_;
    bool discardingFrame_ = false; // the frame now arriving is longer than any frame can be
    qint64 bytesThisConnection_ = 0;
};

} // namespace quillon
