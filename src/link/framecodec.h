// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

namespace quillon {

// Reserved bytes on the line.
inline constexpr quint8 STX = 0x02;
inline constexpr quint8 ETX = 0x03;
inline constexpr quint8 AckByte = 0x06; // answer to a SYN; ignored wherever it is received
inline constexpr quint8 DLE = 0x10;
inline constexpr quint8 SYN = 0x16;     // link reset, sent outside frames

// The first payload byte of a data packet: what it asks for or carries.
enum Command : quint8 {
    LinkSetup = 0, HostSerialRequest = 1, SerialNumber = 2, AppIdRequest = 3, AppId = 4,
    LinkCleared = 5, SetupRequest = 21, VersionReport = 23, SetupData = 24, FlashResult = 25,
};

enum class CheckMode { None, Bits8, Bits16 };
QString checkModeText(CheckMode mode); // "None", "8bit", "16bit"

enum class PacketKind : quint8 { Data = 0, Ack = 1, Nack = 2, Resend = 3 };

// CRC-16, polynomial 0x1021, most significant bit first, table driven; each frame starts at 0xFFFF.
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

// The control byte sent for a frame form and kind.
quint8 controlByteFor(CheckMode check, bool header, PacketKind kind);
// The frame form a received control byte selects; nullopt leaves the modes as they were.
struct FrameModes {
    CheckMode check;
    bool header;
};
std::optional<FrameModes> modesFromControl(quint8 controlByte);

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
