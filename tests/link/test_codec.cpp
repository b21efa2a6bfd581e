#include "link/framecodec.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {
QByteArray hex(const char* h) { return QByteArray::fromHex(h); }
}

TEST(FrameCodec, crcTableAndKnownChecks)
{
    EXPECT_EQ(crcTable()[1], 0x1021);
    EXPECT_EQ(crcTable()[128], 0x9188);
    EXPECT_EQ(crcTable()[255], 0x1EF0);
    EXPECT_EQ(crc16("abc"), 0xD278);
    EXPECT_EQ(crc16("123456789"), 0xA69D);
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
