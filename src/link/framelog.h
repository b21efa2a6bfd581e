// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "linkobserver.h"

#include <QFile>
#include <QString>
#include <functional>

namespace quillon {

class LinkClock;

// What a frame says, for people: an unstuffed packet (control byte first, no STX or ETX)
// decoded as "C2 data, header, CRC-16 | seq 1/0 | SetupData 89 bytes v0 | CRC good". The kind
// tells an acknowledgement without header, whose control byte is that of data, from data;
// fromHost picks the meaning of the commands whose number each side uses for something else.
QString describePacket(const QByteArray& packet, bool fromHost, PacketKind kind = PacketKind::Data);

// A readable log of the link: one line per event, the milliseconds since the connection
// opened, the direction (-> host to card, <- card to host, -- the link itself), the frame's
// bytes as they went on the line (received frames unstuffed, as taken apart), and what they
// mean. The file, when set, starts afresh at each connection, as the trace file does, or, within
// an operation of several connections (a backup read, a send, a verify), at its first, each
// connection under a header line of its own; the echo gets every line as it is written.
class FrameLog : public LinkObserver {
public:
    explicit FrameLog(LinkClock& clock);

    void setPath(const QString& path); // empty: no file
    static QString pathNextTo(const QString& tracePath); // frames.log in the trace file's folder
    QString path() const { return path_; }
    std::function<void(const QString& line)> echo;

    // The connections from the next one on belong to one operation, kept in one file, until
    // endOperation().
    void beginOperation();
    void endOperation();
    // What the next connection is for ("backup read"): its header line. Empty: no header.
    void setConnectionTitle(const QString& title) { title_ = title; }
    // A line of the link's own ("--") that is no frame: what the operator was told of a failure.
    void note(const QString& text);

    void connectionOpened() override;
    void connectionEnded(EndReason reason) override;
    void frameSent(const QByteArray& frame, PacketKind kind) override;
    void frameReceived(const QByteArray& packet, bool crcGood) override;
    void singleByte(quint8 byte, bool toCard) override;
    void retransmitted(int retryCount) override;
    void nackReceived() override;
    void acknowledgementTimedOut() override;
    void speedChanged(int baud) override;

private:
    void write(const QString& direction, const QString& text);
    void writeLine(const QString& line);
    LinkClock& clock_;
    qint64 openedAtMs_ = 0;
    bool connected_ = false;
    QString path_;
    QFile file_;
    bool warned_ = false;
    bool inOperation_ = false;
    bool operationStarted_ = false; // the operation's first connection has opened the file
    QString title_;
};

} // namespace quillon
