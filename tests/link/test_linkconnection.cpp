// SPDX-License-Identifier: GPL-3.0-or-later
// A connection as a whole: opening, identification, the keep-alive, Open Port and Close Port,
// Cancel and shut-down during a wait, a port that goes away, and the trace file.

#include "linkharness.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace linktest;

namespace {

using Outcomes = QList<std::tuple<FlowKind, FlowOutcome, FlowEnd>>;

TEST(CardLinkConnection, aSilentCardIsReportedAfterFiveSeconds)
{
    for (bool send : {false, true}) {
        Harness h;
        send ? h.send() : h.link.get();
        EXPECT_FALSE(h.events.buttonsEnabled);
        h.clock.advance(10000);
        EXPECT_EQ(h.events.failures, QList{LinkFailure::CardSilent}) << send;
        EXPECT_EQ(h.events.failure.port, 1);
        EXPECT_FALSE(h.link.portOpen());
        EXPECT_EQ(h.events.ends, QList{EndReason::PortClosed});
        EXPECT_EQ(h.link.jobCount(), 0u);
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{send ? FlowKind::Send : FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
    }
}

TEST(CardLinkConnection, aFreshStartEndsNothingAndEachOpeningForgetsTheCardDetected)
{
    Harness h;
    int openings = 0;
    QObject::connect(&h.link, &CardLink::portOpening, [&](int port) { openings += port == 1; });
    h.link.get();
    EXPECT_TRUE(h.events.ends.isEmpty());
    EXPECT_EQ(openings, 1);
    h.identify();
    EXPECT_EQ(h.events.identified->kind, CardType::SID);
    h.link.get();
    EXPECT_EQ(h.events.ends, QList{EndReason::Completed});
    EXPECT_EQ(openings, 2);
}

TEST(CardLinkConnection, anUnusablePortIsRefusedBeforeOpening)
{
    Harness h;
    h.ports.usable = false;
    h.link.get();
    EXPECT_EQ(h.events.failures, QList{LinkFailure::PortNotUsable});
    EXPECT_EQ(h.port.opens, 0);
    EXPECT_EQ(h.events.ends, QList{EndReason::PortClosed});
}

TEST(CardLinkConnection, aPortThatDoesNotOpenSaysWhy)
{
    Harness h;
    h.port.openable = {};
    h.link.get();
    EXPECT_EQ(h.events.failures, QList{LinkFailure::PortNotOpened});
    EXPECT_EQ(h.events.failure.port, 1);
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
}

TEST(CardLinkConnection, aCardThatNeverIdentifiesEndsWithReason6)
{
    Harness h;
    h.link.get();
    h.port.deliver(Syn);
    h.port.deliver(Card::linkSetup());
    h.ackHostData();
    h.port.deliver(h.card.data(h.hostSeq(), hex("01")));
    h.ackHostData();
    for (int i = 0; i < 4 && h.link.portOpen(); ++i) {
        h.clock.advance(5000);
        h.ackHostData();
    }
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.failures, QList{LinkFailure::CardNotIdentified});
    EXPECT_EQ(h.events.ends, QList{EndReason::CardNotIdentified}); // the ended Get sends nothing more
}

TEST(CardLinkConnection, anAvmCardIsMovedTo1200BaudOnceItsBaudChangeIsAcknowledged)
{
    Harness h;
    h.link.get();
    h.identify('A');
    EXPECT_EQ(h.events.identified->kind, CardType::AVM);
    EXPECT_EQ(h.port.settings(), "9600,n,8,2");
    h.port.lineBusy = true;
    const QList<QByteArray> sent = h.ackHostData();
    ASSERT_EQ(sent, QList<QByteArray>{hex("1904b0")});
    EXPECT_EQ(h.port.settings(), "9600,n,8,2") << "what went out at 9600 is still on the line";
    h.port.lineIdle();
    EXPECT_EQ(h.port.settings(), "1200,n,8,2");
    h.clock.advance(60);
    EXPECT_EQ(h.ackHostData(), QList<QByteArray>{hex("1500")}); // the get request follows, at 1200
}

TEST(CardLinkKeepAlive, aTickWithAPacketOutstandingCountsAndSendsNothingUntilTheLimit)
{
    Harness h;
    h.link.get();
    h.identify();
    h.clock.advance(60);
    h.port.takeWritten();
    // The card never answers the get request: resends go on; ticks only count.
    h.clock.advance(5000);
    EXPECT_EQ(h.s().keepAliveCount, 1);
    EXPECT_TRUE(h.events.log.contains("keep-alive 2 1"));
    for (const QByteArray& f : splitFrames(h.port.takeWritten()))
        EXPECT_EQ(payloadOf(f), hex("1500"));
    h.clock.advance(5000 * 9 + 200);
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.lastEnd(), EndReason::RetransmissionFailed);
    EXPECT_EQ(h.events.failures, QList{LinkFailure::RetransmissionFailed});
}

TEST(CardLinkKeepAlive, anAnsweredTickStartsTheCountAgain)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.clock.advance(5000);
    EXPECT_EQ(h.events.log.filter("keep-alive"), QStringList{"keep-alive 2 1"});
    h.ackHostData();
    EXPECT_EQ(h.s().keepAliveCount, 0);
}

TEST(CardLinkCommands, cancelAndShutdownDuringAWaitAreSafe)
{
    {
        SendUnderWay h;
        h.link.cancel();
        EXPECT_EQ(h.events.ends, QList{EndReason::Cancelled});
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Send, FlowOutcome::Cancelled, FlowEnd::Cancelled}}));
        h.clock.advance(10000);
        EXPECT_TRUE(h.events.failures.isEmpty());
        EXPECT_EQ(h.events.flows.size(), 1);
    }
    {
        Harness h;
        h.link.get();
        h.identify();
        h.link.shutdown();
        EXPECT_FALSE(h.link.portOpen());
        EXPECT_EQ(h.link.jobCount(), 0u);
        h.clock.advance(60000);
        EXPECT_EQ(h.events.ends, QList{EndReason::Completed});
    }
    {
        // Destroyed with jobs still waiting.
        auto h = std::make_unique<Harness>();
        h->send();
        h->port.deliver(Syn);
        h->port.deliver(Card::linkSetup());
        h.reset();
    }
}

// A listener told from inside a flow's own job may start another flow at once: the first is
// dropped with its job, and nothing of it reaches the new connection.
TEST(CardLinkCommands, aFlowStartedFromInsideAnotherReplacesItCleanly)
{
    SendUnderWay h;
    QObject::connect(&h.link, &CardLink::versionAccepted, [&] { h.link.get(); });
    h.reportVersion(0);
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Send, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
    EXPECT_EQ(h.link.runningFlow(), FlowKind::Get);
    EXPECT_EQ(h.link.jobCount(), 1u); // the Get's alone
    h.port.takeWritten();
    h.identify();
    h.clock.advance(60);
    EXPECT_EQ(h.ackHostData(), QList<QByteArray>{hex("1500")});
    EXPECT_FALSE(h.askedWith.has_value()) << "the Send never asked for its image";
}

TEST(CardLinkCommands, closePortAlwaysSaysSoAndOpenPortTwiceKeepsTheLink)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.link.openPort();
    EXPECT_TRUE(h.s().cardIdentified);
    EXPECT_EQ(h.port.opens, 2);
    EXPECT_TRUE(h.port.takeWritten().isEmpty()); // no SYN on the second press
    h.link.closePort();
    h.link.closePort();
    EXPECT_EQ(h.events.log.filter("closed by hand").size(), 2);
    EXPECT_EQ(h.events.ends, (QList{EndReason::Completed, EndReason::Completed}));
}

TEST(CardLinkCommands, anUnpluggedDeviceIsReportedAtTheNextTick)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.port.unplug();
    h.clock.advance(5000);
    EXPECT_EQ(h.events.failures, QList{LinkFailure::PortGone});
    h.clock.advance(20000);
    EXPECT_EQ(h.events.failures.size(), 1);
}

TEST(CardLinkCommands, aGetEndsWhenTheKeepAliveFindsTheLinkGone)
{
    const struct {
        const char* name;
        std::function<void(Harness&)> breakLink;
    } rows[] = {
        {"card identified without the serial exchange",
         [](Harness& h) {
             h.port.deliver(Syn);
             h.port.deliver(QByteArray::fromHex("02c4044b583430530000000000") + QByteArray::fromHex("03"));
         }},
        {"answer to the link set-up left unacknowledged",
         [](Harness& h) {
             h.port.deliver(Syn);
             h.port.deliver(Card::linkSetup());
             h.port.deliver(QByteArray::fromHex("02c410a603")); // no check, no header from now on
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.link.get();
        row.breakLink(h);
        h.clock.advance(5100);
        EXPECT_EQ(h.events.failures, QList{LinkFailure::CardSilent});
        EXPECT_EQ(h.events.lastEnd(), EndReason::PortClosed);
        EXPECT_FALSE(h.link.flowRunning());
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
        EXPECT_TRUE(h.events.buttonsEnabled);
    }
}

TEST(CardLinkCommands, aDeviceUnpluggedUnderAnOutstandingPacketEndsTheConnection)
{
    Harness h;
    h.link.get();
    h.identify();
    h.clock.advance(60); // the get request is out, never acknowledged
    h.port.takeWritten();
    h.port.unplug();
    EXPECT_EQ(h.events.ends, QList{EndReason::PortClosed});
    EXPECT_EQ(h.events.failures, QList{LinkFailure::PortVanished});
    EXPECT_EQ(h.link.jobCount(), 0u);
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
    h.clock.advance(30000); // no later tick reports it again
    EXPECT_EQ(h.events.failures.size(), 1);
    // The next connection starts clean: nothing of the old one is sent again.
    h.port.openable = {1};
    h.link.get();
    h.clock.advance(1000);
    EXPECT_TRUE(h.port.takeWritten().isEmpty());
}

TEST(CardLinkTrace, framesAreRecordedInOrderAndAWrongSequenceByteIsFlagged)
{
    QTemporaryDir dir;
    Harness h;
    h.trace.setPath(dir.filePath("Out.bin"));
    h.link.openPort();
    h.identify();
    // A data packet whose own sequence byte is not a bit.
    h.port.deliver(buildFrame(CheckMode::Bits16, true, PacketKind::Data, h.hostSeq(), 5, hex("0700")));
    h.link.closePort();
    QFile file(dir.filePath("Out.bin"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray trace = file.readAll();
    EXPECT_TRUE(trace.startsWith(QByteArray("R\0", 2))); // the card's first SYN
    EXPECT_TRUE(trace.contains("Start Out"));
    EXPECT_TRUE(trace.contains(QByteArray("57726F6E675") + QByteArray("\0\0\0", 3)));
    EXPECT_TRUE(trace.endsWith(QByteArray("\x07\0", 2))); // the reason it ended with
}

} // namespace
