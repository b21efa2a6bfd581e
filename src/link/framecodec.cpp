// SPDX-License-Identifier: GPL-3.0-or-later
#include "framecodec.h"

namespace quillon {

static std::array<quint16, 256> buildCrcTable()
{
    std::array<quint16, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 n = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            n = (n & 0x8000) ? (n << 1) ^ 0x1021 : n << 1;
        table[i] = static_cast<quint16>(n & 0xFFFF);
    }
    return table;
}

const std::array<quint16, 256>& crcTable()
{
    static const std::array<quint16, 256> table = buildCrcTable();
    return table;
}

quint16 crcStep(quint16 crc, quint8 byte)
{
    return static_cast<quint16>(((crc & 0xFF) << 8) ^ byte ^ crcTable()[crc >> 8]);
}

quint16 crc16(const QByteArray& bytes, quint16 start)
{
    quint16 crc = start;
    for (char c : bytes)
        crc = crcStep(crc, static_cast<quint8>(c));
    return crc;
}

quint8 check8(const QByteArray& bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    return static_cast<quint8>(255 - sum);
}

bool needsEscape(quint8 byte)
{
    switch (byte) {
    case 0x02: case 0x03: case 0x06: case 0x0A: case 0x0D: case 0x10: case 0x16: case 0x18:
        return true;
    default:
        return false;
    }
}

QByteArray stuffBytes(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (needsEscape(byte)) {
            out.append(static_cast<char>(DLE));
            out.append(static_cast<char>(byte ^ 0xA0));
        } else {
            out.append(c);
        }
    }
    return out;
}

std::optional<QByteArray> unstuff(const QByteArray& raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        auto byte = static_cast<quint8>(raw[i]);
        if (byte == DLE) {
            if (++i == raw.size())
                return std::nullopt;
            byte = static_cast<quint8>(raw[i]) ^ 0xA0;
        }
        out.append(static_cast<char>(byte));
    }
    return out;
}

quint8 controlByteFor(CheckMode check, bool header, PacketKind kind)
{
    switch (check) {
    case CheckMode::None: return header ? 0xC0 : PlainControl;
    case CheckMode::Bits8: return header ? 0xC1 : 0xC5;
    case CheckMode::Bits16:
        if (!header)
            return 0xC6;
        if (kind == PacketKind::Ack)
            return AckControl;
        if (kind == PacketKind::Nack)
            return NackControl;
        return DataControl;
    }
    return PlainControl;
}

ControlFields decodeControl(quint8 control)
{
    static constexpr PacketClass classes[] = {PacketClass::Other, PacketClass::Ack, PacketClass::Nack, PacketClass::Data};
    const int check = control & 0x03;
    return {classes[control >> 6], (control & 0x04) == 0,
            check == 2 ? CheckMode::Bits16 : check == 1 ? CheckMode::Bits8 : CheckMode::None};
}

std::optional<FrameModes> modesFromControl(quint8 controlByte)
{
    switch (controlByte) {
    case 0x04: return FrameModes{CheckMode::None, false};
    case DataControl: return FrameModes{CheckMode::Bits16, true};
    case PlainControl: return FrameModes{CheckMode::None, false};
    case 0xC5: return FrameModes{CheckMode::Bits8, false};
    case 0xC6: return FrameModes{CheckMode::Bits16, false};
    default: return std::nullopt;
    }
}

FrameParts buildFrameParts(CheckMode check, bool header, PacketKind kind, quint8 echoSeq, quint8 ownSeq,
                           const QByteArray& payload)
{
    const bool isAck = kind == PacketKind::Ack || kind == PacketKind::Nack;
    FrameParts parts;
    parts.control = controlByteFor(check, header, kind);

    // The body before stuffing; the check covers the control byte and it.
    QByteArray body;
    if (isAck) {
        body.append(static_cast<char>(echoSeq));
        body.append('\0');
    } else {
        if (header) {
            body.append(static_cast<char>(echoSeq));
            body.append(static_cast<char>(ownSeq));
        }
        body.append(payload);
    }
    const QByteArray covered = QByteArray(1, static_cast<char>(parts.control)) + body;
    QByteArray checkBytes;
    if (check == CheckMode::Bits16) {
        const quint16 crc = crc16(covered);
        checkBytes.append(static_cast<char>(crc >> 8));
        checkBytes.append(static_cast<char>(crc & 0xFF));
    } else if (check == CheckMode::Bits8) {
        checkBytes.append(static_cast<char>(check8(covered)));
    }
    parts.body = isAck ? body : stuffBytes(body);
    parts.check = stuffBytes(checkBytes);
    return parts;
}

QByteArray FrameParts::frame() const
{
    QByteArray out;
    out.reserve(body.size() + check.size() + 3);
    out.append(static_cast<char>(STX));
    out.append(static_cast<char>(control));
    out.append(body);
    out.append(check);
    out.append(static_cast<char>(ETX));
    return out;
}

QByteArray buildFrame(CheckMode check, bool header, PacketKind kind, quint8 echoSeq, quint8 ownSeq,
                      const QByteArray& payload)
{
    return buildFrameParts(check, header, kind, echoSeq, ownSeq, payload).frame();
}

bool crcMatches(const QByteArray& packet)
{
    if (packet.size() < 3)
        return false;
    const quint16 expected = static_cast<quint16>((static_cast<quint8>(packet[packet.size() - 2]) << 8)
                                                  | static_cast<quint8>(packet[packet.size() - 1]));
    return crc16(packet.first(packet.size() - 2)) == expected;
}

QByteArray packetOfSentFrame(const QByteArray& frame, PacketKind kind)
{
    const QByteArray inner = frame.mid(1, frame.size() - 2);
    QByteArray packet = inner.left(1);
    // An acknowledgement's sequence byte and zero go out unstuffed; only its check is stuffed.
    if (kind == PacketKind::Ack || kind == PacketKind::Nack)
        packet += inner.mid(1, 2) + unstuff(inner.mid(3)).value_or(QByteArray());
    else
        packet += unstuff(inner.mid(1)).value_or(QByteArray());
    return packet;
}

int packetCommand(const QByteArray& packet)
{
    if (packet.isEmpty())
        return -1;
    const ControlFields control = decodeControl(static_cast<quint8>(packet.at(0)));
    if (control.packetClass == PacketClass::Ack || control.packetClass == PacketClass::Nack)
        return -1;
    const qsizetype payloadStart = control.header ? 3 : 1;
    if (packet.size() - control.checkBytes() <= payloadStart)
        return -1;
    return static_cast<quint8>(packet.at(payloadStart));
}

} // namespace quillon
