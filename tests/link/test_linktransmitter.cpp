// SPDX-License-Identifier: GPL-3.0-or-later
// How the host sends: sequence bits, acknowledgements, retransmission after a NACK or a timeout,
// the pause after its own acknowledgement, and what its observers are told.

#include "linkharness.h"

#include "link/linkobserver.h"
#include "link/linkstatistics.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

TEST(CardLinkTransmitter, sendingTogglesTheSequenceBitAndWaitsForItsAcknowledgement)
{
    GetUnderWay h;
    ASSERT_EQ(h.requests, QList<QByteArray>{hex("1500")});
    EXPECT_TRUE(h.s().ackReceived);
    EXPECT_TRUE(h.events.failures.isEmpty());
}

TEST(CardLinkTransmitter, aTimeoutResendsWithTheSameSequenceBit)
{
    Harness h;
    h.link.get();
    h.identify();
    h.clock.advance(60);
    const QList<QByteArray> first = splitFrames(h.port.takeWritten());
    ASSERT_EQ(first.size(), 1);
    h.clock.advance(100 + 2); // acknowledgement time plus the frame's time on the line
    const QList<QByteArray> again = splitFrames(h.port.takeWritten());
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0], first[0]);
    EXPECT_TRUE(h.events.log.contains("resend 0"));
}

TEST(CardLinkTransmitter, theAcknowledgementWaitStartsWhenTheFrameHasLeft)
{
    Harness h;
    h.link.get();
    h.port.pendingOut = 7; // the system takes nothing until told
    h.identify();
    ASSERT_EQ(splitFrames(h.port.takeWritten()).size(), 1);
    h.clock.advance(500);
    const QByteArray early = h.port.takeWritten();
    EXPECT_TRUE(early.isEmpty()) << early.toHex().constData();
    h.port.pendingOut = 0;
    h.port.onOutputDrained();
    h.clock.advance(100);
    EXPECT_TRUE(h.port.takeWritten().isEmpty()); // still on the line: 9 bytes take 11 ms
    h.clock.advance(11);
    EXPECT_EQ(splitFrames(h.port.takeWritten()).size(), 1);
}

TEST(CardLinkTransmitter, aNackWrittenMeanwhileDoesNotShortenTheWaitOfALongFrame)
{
    SendUnderWay h('A');
    h.toSend = avmImage(1);
    h.reportVersion(1);
    h.port.pendingOut = 1; // the system takes the image later
    h.clock.advance(60);
    const QByteArray image = splitFrames(h.port.takeWritten()).value(1); // after the Ack of the report
    ASSERT_EQ(payloadOf(image), avmImage(1));
    h.port.deliver(spoiled(h.card.data(h.hostSeq(), hex("0700"))));
    ASSERT_EQ(static_cast<quint8>(splitFrames(h.port.takeWritten()).value(0, "?").at(0)), NackControl);
    h.port.pendingOut = 0;
    h.port.onOutputDrained();
    const int imageLineMs = static_cast<int>(image.size() + 2) * 11 * 1000 / 1200; // about 1.2 s at 1200 baud
    h.clock.advance(100 + imageLineMs - 20);
    EXPECT_TRUE(h.port.takeWritten().isEmpty()) << "resent before the image could have been answered";
    h.clock.advance(60);
    EXPECT_EQ(splitFrames(h.port.takeWritten()).size(), 1);
}

TEST(CardLinkTransmitter, fiveNacksThenAnAckSucceed)
{
    Harness h;
    h.link.get();
    h.identify();
    h.clock.advance(60);
    h.port.takeWritten();
    for (int i = 0; i < 5; ++i)
        h.port.deliver(Card::nack(h.hostSeq()));
    EXPECT_EQ(h.s().retryCount, 5);
    EXPECT_EQ(splitFrames(h.port.takeWritten()).size(), 5);
    h.port.deliver(Card::ack(h.hostSeq()));
    EXPECT_TRUE(h.s().ackReceived);
    EXPECT_EQ(h.s().retryCount, 0);
    EXPECT_TRUE(h.link.portOpen());
}

// Five NACKs and a timeout still succeed; a sixth NACK ends the transfer at the next timeout,
// and a card that NACKs for ever is not resent to for ever.
TEST(CardLinkTransmitter, retransmissionGivesUpAfterSixNacks)
{
    for (int nacks : {5, 6, 50}) {
        Harness h;
        h.link.get();
        h.identify();
        h.clock.advance(60);
        for (int i = 0; i < nacks && h.link.portOpen(); ++i)
            h.port.deliver(Card::nack(h.hostSeq()));
        EXPECT_EQ(h.s().retryCount, std::min(nacks, 6)) << nacks;
        EXPECT_EQ(h.link.portOpen(), nacks <= 6) << "six end it only at the next timeout";
        h.clock.advance(120);
        EXPECT_EQ(h.link.portOpen(), nacks == 5) << nacks;
        if (nacks == 5) {
            h.port.deliver(Card::ack(h.hostSeq()));
            EXPECT_TRUE(h.s().ackReceived);
            continue;
        }
        EXPECT_EQ(h.events.lastEnd(), EndReason::RetransmissionFailed) << nacks;
        EXPECT_EQ(h.events.failures, QList{LinkFailure::RetransmissionFailed}) << nacks;
        EXPECT_EQ(h.events.outcomes(), (QList{std::tuple(FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded)}));
    }
}

TEST(CardLinkTransmitter, aDataPacketWaitsFiftyMillisecondsAfterTheHostsAck)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.port.takeWritten();
    h.port.deliver(h.card.data(h.hostSeq(), hex("000101")));
    EXPECT_EQ(described(h.port.takeWritten()), QStringList{"ack 0"});
    h.clock.advance(49);
    EXPECT_TRUE(h.port.takeWritten().isEmpty());
    h.clock.advance(1);
    EXPECT_EQ(described(h.port.takeWritten()), QStringList{"data 000000"});
}

// Answers to the host's outstanding get request, and what becomes of it.
TEST(CardLinkTransmitter, onlyAnswersForTheOutstandingBitWithAGoodCrcCount)
{
    struct Row {
        const char* name;
        std::function<QByteArray(Harness&, quint8 seq)> answer;
        bool acknowledged;
    };
    const Row rows[] = {
        {"ack_for_the_other_bit", [](Harness&, quint8 seq) { return Card::ack(seq ^ 1); }, false},
        {"nack_for_the_other_bit", [](Harness&, quint8 seq) { return Card::nack(seq ^ 1); }, false},
        {"data_echoing_the_bit_with_a_bad_crc", [](Harness& h, quint8 seq) { return spoiled(h.card.data(seq, hex("0700"))); }, false},
        {"data_echoing_the_bit", [](Harness& h, quint8 seq) { return h.card.data(seq, hex("0700")); }, true},
        {"ack_for_the_bit", [](Harness&, quint8 seq) { return Card::ack(seq); }, true},
    };
    for (const Row& row : rows) {
        Harness h;
        h.link.get();
        h.identify();
        h.clock.advance(60);
        ASSERT_EQ(described(h.port.takeWritten()), QStringList{"data 1500"}) << row.name;
        h.port.deliver(row.answer(h, h.hostSeq()));
        EXPECT_EQ(h.s().ackReceived, row.acknowledged) << row.name;
        h.port.takeWritten();
        h.clock.advance(102);
        EXPECT_EQ(described(h.port.takeWritten()).contains("data 1500"), !row.acknowledged) << row.name << ": resent at the timeout";
    }
}

TEST(CardLinkTransmitter, endTransferOnAClosedPortStillResetsAndReports)
{
    Harness h;
    h.link.endTransfer(EndReason::Completed);
    EXPECT_EQ(h.events.ends, QList{EndReason::Completed});
    EXPECT_EQ(h.s().ownSeq, 1);
    EXPECT_TRUE(h.s().ackReceived);
    EXPECT_EQ(h.port.settings(), "9600,N,8,2");
}

// The statistics the progress dialog and --stats show count what the observer is told.
TEST(CardLinkObserver, isToldOfFramesRetransmissionsNacksCrcErrorsTimeoutsAndSpeedChanges)
{
    struct Counts : LinkObserver {
        int sent = 0, received = 0, badCrc = 0, resent = 0, nacks = 0, timeouts = 0;
        QList<int> speeds;
        void frameSent(const QByteArray&, PacketKind) override { ++sent; }
        void frameReceived(const QByteArray&, bool crcGood) override { ++received; badCrc += !crcGood; }
        void retransmitted(int) override { ++resent; }
        void nackReceived() override { ++nacks; }
        void acknowledgementTimedOut() override { ++timeouts; }
        void speedChanged(int baud) override { speeds << baud; }
    } counts;
    Harness h;
    LinkStatistics statistics(h.clock);
    int ended = 0;
    statistics.onConnectionEnded = [&](const LinkCounters&) { ++ended; };
    h.link.addObserver(&counts);
    h.link.addObserver(&statistics);
    h.link.get();
    h.clock.advance(480); // the card's first SYN comes 480 ms after the port opened
    h.identify('A');
    h.ackHostData(); // BaudChange, then the speed change
    h.clock.advance(60);
    const int sentBefore = counts.sent;
    h.port.deliver(Card::nack(h.hostSeq()));              // resent once
    h.clock.advance(100 + 92 + 5);                          // and once more at the timeout
    h.port.deliver(spoiled(h.card.data(h.hostSeq(), hex("0700")))); // a bad CRC, Nacked
    EXPECT_EQ(counts.speeds, QList<int>{1200});
    EXPECT_EQ(counts.nacks, 1);
    EXPECT_EQ(counts.timeouts, 1);
    EXPECT_EQ(counts.resent, 2);
    EXPECT_EQ(counts.badCrc, 1);
    EXPECT_EQ(counts.sent - sentBefore, 3); // two resends and the Nack
    EXPECT_GE(counts.received, 8);
    const LinkCounters& c = statistics.counters();
    EXPECT_EQ(std::tie(c.framesSent, c.framesReceived, c.retransmissions, c.nacks, c.crcErrors),
              std::tie(counts.sent, counts.received, counts.resent, counts.nacks, counts.badCrc));
    EXPECT_EQ(c.cardSynAfterMs, 480);
    EXPECT_EQ(c.lastFailure, "a frame from the card had a bad CRC");
    h.link.cancel();
    h.link.cancel(); // an ending with no connection behind it is not counted again
    EXPECT_EQ(ended, 1);
    h.link.get(); // a new connection starts from nothing
    EXPECT_EQ(statistics.counters().framesSent, 0);
    EXPECT_EQ(statistics.counters().cardSynAfterMs, -1);
    h.link.shutdown();
}

// The progress dialog's counters, each under its own name.
TEST(LinkStatistics, theDialogShowsEachCounterUnderItsOwnName)
{
    const LinkCounters c{1, 2, 3, 4, 5, 480, QStringLiteral("no acknowledgement in time")};
    EXPECT_EQ(countersText(c).toStdString(), "Frames sent 1, received 2\nRetransmissions 3, NACKs 4, CRC errors 5\n"
                                             "Last failure: no acknowledgement in time");
}

} // namespace
