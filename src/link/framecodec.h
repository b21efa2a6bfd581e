// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

namespace quillon {

// The card's CRC-16: polynomial 0x1021 (table driven, most significant bit first), started at
// 0xFFFF for each frame, and each byte shifted in at the low end: crc = ((crc << 8) | byte) ^
// table[crc >> 8] in 16 bits, with no zero bytes appended at the end. That is neither CRC-16/CCITT-FALSE
// (which XORs the byte in at the top) nor XMODEM: the nine digits "123456789" give 0xA69D, where
// CCITT-FALSE gives 0x29B1.
const std::array<quint16, 256>& crcTable();
quint16 crcStep(quint16 crc, quint8 byte);
quint16 crc16(const QByteArray& bytes, quint16 start = 0xFFFF);
// The 8-bit check: one's complement of the sum of the bytes.
quint8 check8(const QByteArray& bytes);

// Stuffing: 0x02 0x03 0x06 0x0A 0x0D 0x10 0x16 0x18 go out as DLE, byte XOR 0xA0.
bool needsEscape(quint8 byte);
QByteArray stuffBytes(const QByteArray& bytes);
// Every DLE is dropped and the byte after it taken XOR 0xA0; nullopt when the last byte is DLE.
std::optional<QByteArray> unstuff(const QByteArray& raw);

// A frame to be sent, in its three parts: the control byte, the body as it goes on the line
// (stuffed, except the two bytes of an acknowledgement) and the stuffed check bytes.
struct FrameParts {
    quint8 control = 0;
    QByteArray body;
    QByteArray check;
    QByteArray frame() const; // STX, control, body, check, ETX
};
FrameParts buildFrameParts(CheckMode check, bool header, PacketKind kind, quint8 echoSeq, quint8 ownSeq,
                           const QByteArray& payload);
// One whole frame, STX to ETX. For Data and Resend in header form, echoSeq and ownSeq are the
// two header bytes; for Ack and Nack, echoSeq is the sequence bit answered (the zero byte follows).
QByteArray buildFrame(CheckMode check, bool header, PacketKind kind, quint8 echoSeq, quint8 ownSeq,
                      const QByteArray& payload);
// A frame as sent, STX to ETX, back as the packet it carries (control byte first, check last).
QByteArray packetOfSentFrame(const QByteArray& frame, PacketKind kind);
// The command byte of a data packet (control byte first); -1 for acknowledgements and packets
// too short to carry one.
int packetCommand(const QByteArray& packet);
// Whether an unstuffed packet (control byte first, CRC last) carries a good 16-bit CRC.
bool crcMatches(const QByteArray& packet);

} // namespace quillon
