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
// mean. The file, when set, starts afresh at each connection, as the trace file does; the echo
// gets every line as it is written.
class FrameLog : public LinkObserver {
public:
    explicit FrameLog(LinkClock& clock);

    void setPath(const QString& path); // empty: no file
    static QString pathNextTo(const QString& tracePath); // frames.log in the trace file's folder
    QString path() const { return path_; }
    std::function<void(const QString& line)> echo;

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
    LinkClock& clock_;
    qint64 openedAtMs_ = 0;
    bool connected_ = false;
    QString path_;
    QFile file_;
    bool warned_ = false;
};

} // namespace quillon
