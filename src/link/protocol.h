// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The words of the card protocol, in one place: the reserved bytes, the commands by direction,
// the control bytes and how to read them, the host's fixed payloads and the trace file's record
// codes. The simulated card (tools/sim) spells them on its own, as the card does.

#include <QByteArray>
#include <optional>

namespace quillon {

// Reserved bytes on the line.
inline constexpr quint8 STX = 0x02;
inline constexpr quint8 ETX = 0x03;
inline constexpr quint8 AckByte = 0x06; // answer to a SYN; ignored wherever it is received
inline constexpr quint8 DLE = 0x10;
inline constexpr quint8 SYN = 0x16;     // link reset, sent outside frames

// The first payload byte of a data packet. Each side uses some numbers for its own meaning.
namespace card {
enum Command : quint8 {
    LinkSetup = 0, HostSerialRequest = 1, SerialNumber = 2, AppIdRequest = 3, AppId = 4, LinkCleared = 5,
    VersionReport = 23, SetupData = 24, FlashResult = 25,
};
} // namespace card
namespace host {
enum Command : quint8 {
    LinkSetup = 0, HostSerial = 2, AppIdEnd = 3, AppId = 4, GetRequest = 21, ReqCurSetup = 22, SetupData = 24,
    BaudChange = 25,
};
} // namespace host

enum class CheckMode { None, Bits8, Bits16 };
enum class PacketKind : quint8 { Data = 0, Ack = 1, Nack = 2, Resend = 3 };

// The control byte: bits 7-6 the class (11 data, 01 acknowledgement, 10 negative
// acknowledgement), bit 2 set without header, bits 1-0 the check (0 none, 1 8-bit, 2 16-bit).
enum class PacketClass { Other, Data, Ack, Nack };
struct ControlFields {
    PacketClass packetClass;
    bool header;
    CheckMode check;
    int checkBytes() const { return check == CheckMode::Bits16 ? 2 : check == CheckMode::Bits8 ? 1 : 0; }
};
ControlFields decodeControl(quint8 control);
// The control bytes of the 16-bit header form the link runs in once set up, and the plain form
// (no check, no header) of a reset link.
inline constexpr quint8 DataControl = 0xC2;
inline constexpr quint8 AckControl = 0x42;
inline constexpr quint8 NackControl = 0x82;
inline constexpr quint8 PlainControl = 0xC4;

// The control byte sent for a frame form and kind.
quint8 controlByteFor(CheckMode check, bool header, PacketKind kind);
// The frame form a received control byte selects; nullopt leaves the modes as they were.
struct FrameModes {
    CheckMode check = CheckMode::None;
    bool header = false;
};
std::optional<FrameModes> modesFromControl(quint8 controlByte);

// The host's fixed payloads.
namespace hostpacket {
inline const QByteArray Serial = QByteArray::fromHex("02514c4e3031");       // HostSerial, then "QLN01"
inline const QByteArray AppId = QByteArray::fromHex("044d45524c414e00000000"); // AppId, "MERLAN", 0 0 0 0
inline const QByteArray AppIdEnd = QByteArray(1, char(host::AppIdEnd));
inline const QByteArray GetRequest = QByteArray::fromHex("1500");
inline const QByteArray ReqCurSetup = QByteArray(1, char(host::ReqCurSetup));
inline const QByteArray BaudChange1200 = QByteArray::fromHex("1904b0");     // 0x04B0 = 1200
inline const QByteArray LinkUpgraded = QByteArray::fromHex("000606");       // answer to LinkSetup 6 6
inline const QByteArray LinkSetupAnswer = QByteArray(3, '\0');              // answer to LinkSetup 0..5
} // namespace hostpacket

// The trace file's 16-bit record codes (besides the EndReason that closes each connection).
enum TraceCode : int {
    TraceFrameStart = 2,                // after "Start Out", before the control byte
    TraceFrameEnd = 3,                  // before "Stop Out"
    TraceRetransmission = 78,           // "N": a resend after a timeout, around the retry count
    TraceSynReceived = 82,              // "R": around the host's output count
    TraceSynAnswered = 83,              // "S": followed by 6
    TraceFrameUnidentified = 119,       // "w": a frame before the card identified itself
    TraceFrameNewLength = 120,          // "x": another length than the card's previous frame
    TraceFrameSameLength = 121,         // "y": the same length, not an acknowledgement
};

} // namespace quillon
