// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/framecodec.h"
#include "link/framelog.h"

#include "simulatedcard.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {
QByteArray hex(const char* h) { return QByteArray::fromHex(h); }
}

// Polynomial 0x1021 from 0xFFFF, each byte shifted in at the low end: not CRC-16/CCITT-FALSE,
// which XORs each byte in at the top and gives 0x29B1 for the nine digits.
TEST(FrameCodec, crcIsTheCardsVariantNotCcittFalse)
{
    EXPECT_EQ(crcTable()[1], 0x1021);
    EXPECT_EQ(crcTable()[128], 0x9188);
    EXPECT_EQ(crcTable()[255], 0x1EF0);
    EXPECT_EQ(crc16("abc"), 0xD278);
    EXPECT_EQ(crc16("123456789"), 0xA69D);
    // The simulated card computes it bit by bit on its own; both agree on every byte and on a frame.
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(char(b));
        EXPECT_EQ(crc16(QByteArray(1, char(b))), sim::cardCrc(QByteArray(1, char(b)))) << b;
    }
    EXPECT_EQ(crc16(all), sim::cardCrc(all));
}

TEST(FrameCodec, acknowledgementFramesInHeaderForm)
{
    EXPECT_EQ(buildFrame(CheckMode::Bits16, true, PacketKind::Ack, 0, 1, {}), hex("02420000a41a03"));
    EXPECT_EQ(buildFrame(CheckMode::Bits16, true, PacketKind::Ack, 1, 0, {}), hex("02420100a51a03"));
    EXPECT_EQ(static_cast<quint8>(buildFrame(CheckMode::Bits16, true, PacketKind::Nack, 1, 0, {})[1]), 0x82);
}

TEST(FrameCodec, dataFrameCarriesHeaderPayloadAndCrc)
{
    EXPECT_EQ(buildFrame(CheckMode::Bits16, true, PacketKind::Data, 1, 0, hex("1500")), hex("02c2010015007faa03"));
}

TEST(FrameCodec, onlyTheEightReservedValuesAreEscaped)
{
    EXPECT_EQ(stuffBytes(hex("0203060a0d101618")), hex("10a210a310a610aa10ad10b010b610b8"));
    EXPECT_EQ(stuffBytes(hex("a2b0")), hex("a2b0"));
    EXPECT_EQ(stuffBytes(hex("1010")), hex("10b010b0"));
    // The command byte of a set-up request goes out escaped.
    const QByteArray frame = buildFrame(CheckMode::Bits16, true, PacketKind::Data, 0, 0, hex("16"));
    EXPECT_TRUE(frame.contains(hex("10b6")));
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, static_cast<char>(b));
        EXPECT_EQ(unstuff(stuffBytes(one)), one) << b;
    }
}

TEST(FrameCodec, aCheckByteThatIsReservedIsEscaped)
{
    // Search a payload whose CRC has a reserved byte and check it goes out stuffed.
    for (int b = 0; b < 256; ++b) {
        const QByteArray payload(1, static_cast<char>(b));
        const FrameParts parts = buildFrameParts(CheckMode::Bits16, true, PacketKind::Data, 0, 1, payload);
        const quint16 crc = crc16(QByteArray(1, char(0xC2)) + hex("0001") + payload);
        EXPECT_EQ(parts.check, stuffBytes(QByteArray(1, char(crc >> 8)) + QByteArray(1, char(crc & 0xFF))));
    }
}

TEST(FrameCodec, unstuffingXorsWhateverFollowsDle)
{
    EXPECT_EQ(unstuff(hex("1041")), hex("e1"));
    EXPECT_EQ(unstuff(hex("c210b0")), hex("c210"));
    EXPECT_FALSE(unstuff(hex("c20010")).has_value());
}

TEST(FrameCodec, controlBytesByModeAndKind)
{
    struct Row { CheckMode check; bool header; PacketKind kind; quint8 expected; };
    const Row rows[] = {
        {CheckMode::None, true, PacketKind::Ack, 0xC0},   {CheckMode::None, false, PacketKind::Data, 0xC4},
        {CheckMode::Bits8, true, PacketKind::Nack, 0xC1}, {CheckMode::Bits8, false, PacketKind::Data, 0xC5},
        {CheckMode::Bits16, true, PacketKind::Data, 0xC2}, {CheckMode::Bits16, true, PacketKind::Resend, 0xC2},
        {CheckMode::Bits16, true, PacketKind::Ack, 0x42}, {CheckMode::Bits16, true, PacketKind::Nack, 0x82},
        {CheckMode::Bits16, false, PacketKind::Ack, 0xC6},
    };
    for (const Row& r : rows)
        EXPECT_EQ(controlByteFor(r.check, r.header, r.kind), r.expected);
    for (quint8 unknown : {0xC0, 0xC1, 0x42, 0x82, 0x00})
        EXPECT_FALSE(modesFromControl(unknown).has_value()) << int(unknown);
    EXPECT_EQ(modesFromControl(0xC5)->check, CheckMode::Bits8);
    EXPECT_TRUE(modesFromControl(0xC2)->header);
}

TEST(FrameCodec, eightBitCheckIsOnesComplementOfTheSum)
{
    const QByteArray frame = buildFrame(CheckMode::Bits8, false, PacketKind::Data, 0, 0, hex("0102"));
    EXPECT_EQ(frame, hex("02c50110a23703")); // the 0x02 goes out stuffed
}

TEST(FrameCodec, crcMatchesOnlyAnIntactPacket)
{
    const QByteArray packet = *unstuff(buildFrame(CheckMode::Bits16, true, PacketKind::Data, 0, 1, hex("1803")).mid(1).chopped(1));
    EXPECT_TRUE(crcMatches(packet));
    QByteArray broken = packet;
    broken[3] = char(broken[3] ^ 1);
    EXPECT_FALSE(crcMatches(broken));
    EXPECT_FALSE(crcMatches(hex("c2")));
}

// What the frame log says of a packet (unstuffed, control byte first), for both directions.
struct DescribeRow {
    QByteArray packet;
    bool fromHost;
    PacketKind kind;
    const char* expected;
};

QByteArray packetOf(CheckMode check, bool header, PacketKind kind, quint8 echoSeq, quint8 ownSeq, const QByteArray& payload)
{
    const QByteArray frame = buildFrame(check, header, kind, echoSeq, ownSeq, payload);
    return *unstuff(frame.mid(1, frame.size() - 2));
}

TEST(FrameCodec, framesAreDescribedForTheLog)
{
    const auto c16 = CheckMode::Bits16;
    QByteArray badCrc = packetOf(c16, true, PacketKind::Data, 1, 0, hex("1700"));
    badCrc[badCrc.size() - 1] = static_cast<char>(badCrc.back() ^ 1);
    QByteArray image(89, '\0');
    image[0] = 24;
    const DescribeRow rows[] = {
        {hex("c4000606"), false, PacketKind::Data, "C4 data, no header, no check | LinkSetup 6 6"},
        {hex("04000000"), true, PacketKind::Data, "04 plain, no header, no check | LinkSetup 0 0"},
        {packetOf(c16, true, PacketKind::Ack, 0, 0, {}), true, PacketKind::Ack, "42 Ack, header, CRC-16 | for seq 0 | CRC good"},
        {packetOf(c16, true, PacketKind::Nack, 1, 0, {}), false, PacketKind::Data, "82 Nack, header, CRC-16 | for seq 1 | CRC good"},
        {hex("c40000"), true, PacketKind::Ack, "C4 Ack, no header, no check | for seq 0"},
        {packetOf(c16, true, PacketKind::Data, 1, 0, hex("024b58343031")), false, PacketKind::Data,
         "C2 data, header, CRC-16 | seq 1/0 | SerialNumber 4b58343031 | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 1, hex("024b58343031")), true, PacketKind::Resend,
         "C2 data, header, CRC-16 | seq 0/1 | HostSerial 4b58343031 | resent | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, QByteArray("\x04" "KX40" "\0S\0\0", 9)), false, PacketKind::Data,
         "C2 data, header, CRC-16 | seq 0/0 | AppId \"KX40\\x00S\" | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("01")), false, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | HostSerialRequest | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("03")), false, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | AppIdRequest | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("03")), true, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | AppIdEnd | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("1500")), true, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | GetRequest 0 | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("16")), true, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | ReqCurSetup | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("1700")), false, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | VersionReport 0 | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, image), false, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | SetupData 89 bytes v0 | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("1902")), false, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | FlashResult 2 | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("1904b0")), true, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | BaudChange 1200 | CRC good"},
        {packetOf(c16, true, PacketKind::Data, 0, 0, hex("1a0102")), false, PacketKind::Data, "C2 data, header, CRC-16 | seq 0/0 | command 26 01 02 | CRC good"},
        {badCrc, false, PacketKind::Data, "C2 data, header, CRC-16 | seq 1/0 | VersionReport 0 | CRC bad"},
        {packetOf(CheckMode::Bits8, false, PacketKind::Data, 0, 0, hex("05")), false, PacketKind::Data, "C5 data, no header, 8-bit check | LinkCleared | check good"},
        {hex("c201"), false, PacketKind::Data, "C2 data, header, CRC-16 | too short"},
        {{}, false, PacketKind::Data, "empty frame"},
    };
    for (const DescribeRow& row : rows)
        EXPECT_EQ(describePacket(row.packet, row.fromHost, row.kind), QString::fromUtf8(row.expected)) << row.expected;
}

// A frame the host sent, read back for its command (the progress bar follows the image frame).
TEST(FrameCodec, sentFramesAreReadBackForTheirCommand)
{
    QByteArray image(120, '\x10'); // every byte stuffed
    image[0] = 24;
    const struct {
        CheckMode check;
        bool header;
        PacketKind kind;
        QByteArray payload;
        int command;
    } rows[] = {
        {CheckMode::Bits16, true, PacketKind::Data, image, host::SetupData},
        {CheckMode::Bits16, true, PacketKind::Resend, hex("1500"), host::GetRequest},
        {CheckMode::Bits8, false, PacketKind::Data, hex("02160310"), host::HostSerial},
        {CheckMode::None, false, PacketKind::Data, hex("1904b0"), host::BaudChange},
        {CheckMode::Bits16, true, PacketKind::Ack, {}, -1},
        {CheckMode::Bits16, true, PacketKind::Nack, {}, -1},
    };
    for (const auto& row : rows) {
        const QByteArray frame = buildFrame(row.check, row.header, row.kind, 1, 0, row.payload);
        const QByteArray packet = packetOfSentFrame(frame, row.kind);
        EXPECT_EQ(packet, packetOf(row.check, row.header, row.kind, 1, 0, row.payload)) << row.command;
        EXPECT_EQ(packetCommand(packet), row.command);
    }
    EXPECT_EQ(packetCommand(hex("c20000")), -1) << "too short to carry a command";
    EXPECT_EQ(packetCommand({}), -1);
}
