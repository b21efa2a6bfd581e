// SPDX-License-Identifier: GPL-3.0-or-later
// What the link makes of the bytes the card sends: frames, resets, stray bytes, checks, and the
// host's answers to each of the card's frames.

#include "linkharness.h"

#include <random>
#include <gtest/gtest.h>

using namespace linktest;

namespace {

TEST(CardLinkReceiver, synBeforeIdentificationIsAnsweredAndResetsTheLink)
{
    Harness h;
    h.link.openPort();
    h.port.deliver(Syn);
    EXPECT_EQ(h.port.takeWritten(), hex("06"));
    EXPECT_EQ(h.s().ownSeq, 1);
    EXPECT_TRUE(h.s().ackReceived);
    EXPECT_EQ(h.s().checkMode, CheckMode::None);
    EXPECT_TRUE(h.link.portOpen());
}

TEST(CardLinkReceiver, synAfterIdentificationClosesThePortWithReason4)
{
    Harness h;
    h.link.openPort();
    h.identify();
    ASSERT_TRUE(h.s().cardIdentified);
    EXPECT_EQ(h.s().cardSerial, hex("0102030405"));
    EXPECT_EQ(h.events.identified->serial, hex("0102030405"));
    h.port.deliver(Syn);
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.lastEnd(), EndReason::LinkResetByCard);
    EXPECT_EQ(h.port.takeWritten(), Syn); // only the host's own closing SYN, no 0x06 answer
    EXPECT_EQ(h.s().cardSerial, hex("0102030405")) << "kept for whoever asks after the connection";
    h.link.openPort();
    h.port.deliver(Syn);
    EXPECT_TRUE(h.s().cardSerial.isEmpty()) << "a new link set-up forgets the last card";
}

TEST(CardLinkReceiver, linkSetupOnAResetLinkIsAnsweredInSixteenBitHeaderForm)
{
    Harness h;
    h.link.openPort();
    h.port.deliver(Syn);
    h.port.takeWritten();
    h.port.deliver(Card::linkSetup());
    const QList<QByteArray> frames = splitFrames(h.port.takeWritten());
    ASSERT_EQ(frames.size(), 1); // dispatched unchecked: no acknowledgement of it
    EXPECT_EQ(static_cast<quint8>(frames[0][0]), DataControl);
    EXPECT_EQ(payloadOf(frames[0]), hex("000606"));
    EXPECT_TRUE(crcMatches(frames[0]));
    EXPECT_EQ(h.s().checkMode, CheckMode::Bits16);
    EXPECT_TRUE(h.s().headerMode);
    EXPECT_EQ(h.events.framing.check, CheckMode::Bits16);
    EXPECT_TRUE(h.events.framing.header);
    EXPECT_TRUE(h.events.dataSeen);

    h.port.deliver(Card::ack(static_cast<quint8>(frames[0][2])));
    EXPECT_TRUE(h.s().linkUpgraded);
    EXPECT_EQ(h.events.log.filter("stage").value(0), "stage 0");
    // A second upgrade request is acknowledged but not answered.
    h.port.deliver(h.card.data(h.hostSeq(), hex("000606")));
    EXPECT_EQ(described(h.port.takeWritten()), QStringList{"ack 1"});
}

TEST(CardLinkReceiver, framesTooShortOrEndingInDleOrOverlongAreDropped)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.port.takeWritten();
    h.port.deliver(hex("020503"));
    h.port.deliver(hex("02c2010010"));
    h.port.deliver(hex("03"));
    h.port.deliver(hex("02") + QByteArray(3000, char(0x41)) + hex("03"));
    h.port.deliver(hex("03")); // a lone ETX does not process the last frame again
    EXPECT_TRUE(h.port.takeWritten().isEmpty());
    EXPECT_TRUE(h.link.portOpen());
}

TEST(CardLinkReceiver, ackByteInsideAFrameIsIgnoredButAStuffedOneIsKept)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.port.takeWritten();
    // The card's set-up version report of 6, with a raw 0x06 thrown into the frame.
    QByteArray frame = h.card.data(h.hostSeq(), hex("1706"));
    ASSERT_TRUE(frame.contains(hex("10a6")));
    frame.insert(4, char(0x06));
    h.port.deliver(frame);
    EXPECT_TRUE(described(h.port.takeWritten()).value(0).startsWith("ack")); // acknowledged: its CRC was good
    EXPECT_TRUE(h.s().versionVerdict);
}

TEST(CardLinkReceiver, threeStrayBytesAtTheDefaultSettingsMeanAnUnknownDevice)
{
    Harness h;
    h.link.openPort();
    h.port.deliver(hex("4142"));
    EXPECT_TRUE(h.link.portOpen());
    h.port.deliver(hex("43"));
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.lastEnd(), EndReason::UnknownDevice);
    EXPECT_EQ(h.events.failures, QList{LinkFailure::UnknownDevice});
}

TEST(CardLinkReceiver, aSynStartsTheStrayByteCountAgain)
{
    Harness h;
    h.link.openPort();
    h.port.deliver(hex("4142"));
    h.port.deliver(Syn);
    h.port.deliver(hex("4344"));
    EXPECT_TRUE(h.link.portOpen());
    h.port.deliver(hex("45"));
    EXPECT_EQ(h.events.lastEnd(), EndReason::UnknownDevice);
}

TEST(CardLinkReceiver, strayBytesAtTheAvmSpeedGoBackToTheOpeningSpeed)
{
    Harness h;
    h.link.openPort();
    h.identify('A');
    h.ackHostData(); // BaudChange
    EXPECT_EQ(h.port.settings(), "1200,n,8,2");
    h.port.deliver(hex("414243"));
    EXPECT_EQ(h.port.settings(), "9600,n,8,2");
    EXPECT_TRUE(h.link.portOpen());
}

TEST(CardLinkReceiver, setupCommandsFromAnUnidentifiedCardAreIgnored)
{
    Harness h;
    h.link.openPort();
    h.port.deliver(Syn);
    h.port.deliver(Card::linkSetup());
    h.ackHostData();
    h.port.deliver(h.card.data(h.hostSeq(), sidImage()));
    h.port.deliver(h.card.data(h.hostSeq(), hex("1901")));
    EXPECT_TRUE(h.events.images.isEmpty());
    EXPECT_TRUE(h.events.flashResults.isEmpty());
    EXPECT_TRUE(h.link.portOpen());
}

TEST(CardLinkReceiver, byteByByteDeliveryGivesTheSameResultAsOneRead)
{
    auto run = [](bool oneByteAtATime) {
        GetUnderWay h;
        QByteArray image = sidImage();
        image[4] = char(0x10); // a DLE in the body, split from its partner by the reads
        image[5] = char(0x02);
        const QByteArray frame = h.card.data(h.hostSeq(), image);
        if (oneByteAtATime) {
            for (char c : frame)
                h.port.deliver(QByteArray(1, c));
        } else {
            h.port.deliver(frame);
        }
        return std::make_pair(h.events.images, h.events.outcomes());
    };
    const auto whole = run(false);
    ASSERT_EQ(whole.first.size(), 1);
    EXPECT_EQ(whole.first[0][5], char(0x02));
    EXPECT_EQ(run(true), whole);
}

TEST(CardLinkReceiver, aLoneEtxDoesNotTakeTheLastNackAgain)
{
    Harness h;
    h.link.get();
    h.identify();
    h.clock.advance(60);
    h.port.takeWritten();
    h.port.deliver(Card::nack(h.hostSeq()));
    h.port.deliver(hex("03"));
    EXPECT_EQ(h.s().retryCount, 1);
    EXPECT_EQ(described(h.port.takeWritten()), QStringList{"data 1500"});
}

TEST(CardLinkReceiver, aClearToSendTimeoutEndsWithReason9AndSaysSo)
{
    Harness h;
    h.link.get();
    h.identify();
    h.clock.post(0, [&h] { h.port.onComm(SerialControl::WriteTimeout); });
    h.clock.runDue();
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.lastEnd(), EndReason::WriteTimeout);
    EXPECT_EQ(h.events.failures, QList{LinkFailure::WriteTimeout});
}

TEST(CardLinkReceiver, aSynWhileAnAnswerAwaitsItsAcknowledgementLeavesTheLinkReset)
{
    Harness h;
    h.link.openPort();
    h.port.deliver(Syn);
    h.port.deliver(Card::linkSetup());
    h.port.takeWritten();
    h.port.deliver(Syn);
    EXPECT_FALSE(h.s().headerMode);
    EXPECT_FALSE(h.s().linkUpgraded);
    EXPECT_EQ(h.s().checkMode, CheckMode::None);
    h.port.takeWritten();
    // The card starts again, and its upgrade request is answered again.
    h.port.deliver(Card::linkSetup());
    EXPECT_EQ(h.ackHostData(), QList<QByteArray>{hex("000606")});
    EXPECT_TRUE(h.s().linkUpgraded);
}

TEST(CardLinkReceiver, lineNoiseNeverCrashesGrowsMemoryOrPassesForASetup)
{
    // Seeded noise, then noise made of well-formed frames with random contents, into a Get that
    // waits for the card's set-up.
    std::mt19937 random(20261207);
    auto noiseByte = [&random] { return static_cast<char>(random() & 0xFF); };
    for (int round = 0; round < 20; ++round) {
        GetUnderWay h;
        int chunk = 0;
        for (; chunk < 200 && h.link.portOpen(); ++chunk) {
            QByteArray bytes;
            if (chunk % 2) {
                QByteArray payload;
                const int length = 1 + static_cast<int>(random() % 120);
                for (int i = 0; i < length; ++i)
                    payload.append(noiseByte());
                if (payload[0] == char(24))
                    payload[0] = 23; // a real set-up is not what this test is about
                bytes = buildFrame(CheckMode::Bits16, true, PacketKind::Data, static_cast<quint8>(random() & 1),
                                   static_cast<quint8>(random() & 1), payload);
            } else {
                // A garbled frame: anything but the bytes that start, end or reset.
                bytes.append(char(STX));
                while (bytes.size() < 64) {
                    const char c = noiseByte();
                    if (c != char(STX) && c != char(ETX) && c != char(SYN))
                        bytes.append(c);
                }
                bytes.append(char(ETX));
            }
            h.port.deliver(bytes);
            h.clock.advance(static_cast<qint64>(random() % 200));
            EXPECT_LE(h.s().frameBuffer.size(), 2 * 1024 + 16);
        }
        EXPECT_GT(chunk, 20); // the noise was read, not cut short by the first fault
        EXPECT_TRUE(h.events.images.isEmpty());
        h.link.shutdown();
        EXPECT_EQ(h.link.jobCount(), 0u);
    }
}

// The card's frames on an identified link, each built when its turn comes (so that it answers
// the host's bit of that moment), one read each, 60 ms apart; and what the host wrote.
using CardStep = std::function<QByteArray(Harness&)>;

CardStep packet(const char* payload)
{
    return [payload](Harness& h) { return h.card.data(h.hostSeq(), hex(payload)); };
}

struct CardFramesRow {
    const char* name;
    std::vector<CardStep> steps;
    QStringList answer;
};

void PrintTo(const CardFramesRow& row, std::ostream* os) { *os << row.name; }

class CardLinkAnswers : public ::testing::TestWithParam<CardFramesRow> {};

TEST_P(CardLinkAnswers, theHostAnswersTheCardsFramesAsTheProtocolSays)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.port.takeWritten();
    QByteArray written;
    for (const CardStep& step : GetParam().steps) {
        h.port.deliver(step(h));
        h.clock.advance(60);
        written += h.port.takeWritten();
    }
    EXPECT_EQ(described(written), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CardLinkAnswers,
    ::testing::Values(
        // The host's Ack and Nack carry the card's own sequence bit.
        CardFramesRow{"ack_echoes_the_cards_bit_0_then_1", {packet("0700"), packet("0700")}, {"ack 0", "ack 1"}},
        CardFramesRow{"bad_crc_is_nacked_with_its_bit",
                      {[](Harness& h) { return spoiled(h.card.data(h.hostSeq(), hex("0700"))); }}, {"nack 0"}},
        CardFramesRow{"bad_crc_repeat_of_the_last_accepted_is_dropped",
                      {packet("0700"),
                       [](Harness& h) { return spoiled(buildFrame(CheckMode::Bits16, true, PacketKind::Data, h.hostSeq(), h.card.ownSeq, hex("0700"))); }},
                      {"ack 0"}},
        CardFramesRow{"lone_etx_does_not_process_the_frame_again", {packet("000101"), [](Harness&) { return hex("03"); }},
                      {"ack 0", "data 000000"}},
        CardFramesRow{"link_setup_0_1_2_4_5_answered",
                      {packet("000000"), packet("000101"), packet("000202"), packet("000404"), packet("000505")},
                      {"ack 0", "data 000000", "ack 1", "data 000000", "ack 0", "data 000000", "ack 1", "data 000000", "ack 0",
                       "data 000000"}},
        CardFramesRow{"link_setup_3_or_unequal_bytes_not_answered", {packet("000303"), packet("000102")}, {"ack 0", "ack 1"}},
        CardFramesRow{"command_5_clears_the_upgrade_so_6_6_is_answered_again",
                      {packet("000606"), packet("05"), packet("000606")}, {"ack 0", "ack 1", "ack 0", "data 000606"}},
        // 0xC4: no check and no header, whatever its last two bytes say.
        CardFramesRow{"c4_frame_dispatched_without_a_crc_check", {[](Harness&) { return hex("02c40001011234" "03"); }},
                      {"c4 000000"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
