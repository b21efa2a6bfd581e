// SPDX-License-Identifier: GPL-3.0-or-later
// The link on a port of a serial server: it waits for the port's opening, says why one failed
// or was lost, refuses an AVM card where the line's speed is fixed, and waits for
// acknowledgements longer by the network's round trip.

#include "linkharness.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

using Outcomes = QList<std::tuple<FlowKind, FlowOutcome, FlowEnd>>;

struct NetHarness : Harness {
    NetHarness() { port.opensInBackground = true; }
};

TEST(CardLinkNetwork, theOpeningIsAwaitedBeyondTheKeepAliveAndTheLinkThenRuns)
{
    NetHarness h;
    h.link.get();
    h.port.deliver(Syn); // nothing arrives while the line is not ready
    h.clock.advance(6000);
    EXPECT_TRUE(h.events.failures.isEmpty()) << "the keep-alive counts from the line being ready";
    EXPECT_TRUE(h.port.takeWritten().isEmpty());
    h.port.finishOpening();
    h.identify();
    EXPECT_EQ(h.ackHostData(), QList<QByteArray>{hex("1500")}) << "the request follows";
    EXPECT_TRUE(h.events.failures.isEmpty());
}

TEST(CardLinkNetwork, aFailedOpeningIsATypedFailureAndEndsTheFlow)
{
    for (bool send : {false, true}) {
        NetHarness h;
        send ? h.send() : h.link.get();
        h.port.finishOpening({NetFailure::Kind::ConnectionRefused, {}});
        EXPECT_EQ(h.events.failures, QList{LinkFailure::PortNotOpened}) << send;
        EXPECT_EQ(h.events.failure.network.kind, NetFailure::Kind::ConnectionRefused);
        EXPECT_EQ(h.events.failure.portError, "server said no");
        EXPECT_EQ(h.events.failure.findings, "next step");
        EXPECT_EQ(h.events.ends, QList{EndReason::PortClosed});
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{send ? FlowKind::Send : FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
        EXPECT_EQ(h.link.jobCount(), 0u);
        h.clock.advance(10000);
        EXPECT_EQ(h.events.failures.size(), 1) << "no keep-alive failure after it";
    }
}

TEST(CardLinkNetwork, anOpeningThatNeverEndsIsGivenUp)
{
    NetHarness h;
    h.link.get();
    h.clock.advance(19000);
    EXPECT_TRUE(h.events.failures.isEmpty());
    h.clock.advance(1000);
    EXPECT_EQ(h.events.failures, QList{LinkFailure::PortNotOpened});
    EXPECT_EQ(h.events.failure.network.kind, NetFailure::Kind::NoAnswer);
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_FALSE(h.link.flowRunning());
}

TEST(CardLinkNetwork, cancelNewFlowAndShutdownDuringTheOpeningAreSafe)
{
    {
        NetHarness h;
        h.link.get();
        h.link.cancel();
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Cancelled, FlowEnd::Cancelled}}));
        EXPECT_FALSE(h.link.portOpen());
        h.port.finishOpening();
        h.clock.advance(30000);
        EXPECT_TRUE(h.events.failures.isEmpty());
        EXPECT_EQ(h.link.jobCount(), 0u);
        EXPECT_TRUE(h.port.takeWritten().isEmpty()) << "the closing SYN of a line never ready is not sent";
    }
    {
        NetHarness h;
        h.link.get();
        h.send(); // the second press ends the first opening
        EXPECT_EQ(h.port.opens, 2);
        h.port.finishOpening();
        h.identify();
        EXPECT_TRUE(h.events.failures.isEmpty());
        EXPECT_EQ(h.ackHostData(), QList<QByteArray>{hex("16")});
    }
    {
        NetHarness h;
        h.link.get();
        h.link.shutdown();
        EXPECT_EQ(h.link.jobCount(), 0u);
        h.port.finishOpening();
        h.clock.advance(30000);
        EXPECT_TRUE(h.events.failures.isEmpty());
    }
}

TEST(CardLinkNetwork, aConnectionLostMidTransferEndsItAtOnceNamingTheServer)
{
    NetHarness h;
    h.link.get();
    h.port.finishOpening();
    h.identify();
    h.port.drop({NetFailure::Kind::Dropped, QStringLiteral("the server closed it")});
    EXPECT_EQ(h.events.failures, QList{LinkFailure::PortVanished});
    EXPECT_EQ(h.events.failure.network.kind, NetFailure::Kind::Dropped);
    EXPECT_EQ(h.events.failure.findings, "next step");
    EXPECT_EQ(h.events.ends, QList{EndReason::PortClosed});
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
}

// What the card hears after its application id: the Ack of it, then the closing SYN; no speed
// change, no request.
TEST(CardLinkNetwork, anAvmCardOnALineOfFixedSpeedIsRefusedWithNothingMoreSent)
{
    for (bool send : {false, true}) {
        NetHarness h;
        h.port.speedRefusal = QStringLiteral("socket://rack:4001 is a raw TCP connection ... use rfc2217://rack:4001");
        send ? h.send() : h.link.get();
        h.port.finishOpening();
        h.port.deliver(Syn);
        h.port.takeWritten();
        h.port.deliver(Card::linkSetup());
        h.ackHostData();
        h.port.deliver(h.card.data(h.hostSeq(), hex("020102030405")));
        h.ackHostData();
        h.port.deliver(h.card.data(h.hostSeq(), hex("03")));
        h.ackHostData();
        h.ackHostData();
        h.port.deliver(h.card.data(h.hostSeq(), hex("044b583430") + QByteArray(1, 'A') + QByteArray(5, '\0')));
        h.clock.advance(5000);
        EXPECT_EQ(described(h.port.takeWritten()), (QStringList{"ack 1", "16"})) << send;
        EXPECT_EQ(h.port.settings(), "9600,N,8,2");
        EXPECT_EQ(h.events.identified->kind, CardType::AVM);
        EXPECT_EQ(h.events.failures, QList{LinkFailure::LineSpeedFixed});
        EXPECT_EQ(h.events.failure.refusal, h.port.speedRefusal);
        EXPECT_EQ(h.events.ends, QList{EndReason::Completed});
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{send ? FlowKind::Send : FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
        EXPECT_EQ(h.link.jobCount(), 0u);
    }
}

// Advances the clock a millisecond at a time until the host writes something; how long that took.
int msUntilWritten(Harness& h, int limitMs = 10000)
{
    for (int ms = 1; ms <= limitMs; ++ms) {
        h.clock.advance(1);
        if (!h.port.written.isEmpty())
            return ms;
    }
    return -1;
}

// When the host's answer to the card's link set-up (its first packet that awaits an
// acknowledgement) goes again, on a port with this round trip.
int firstAnswerResentAfter(double roundTrip)
{
    NetHarness h;
    h.port.roundTrip = roundTrip;
    h.link.get();
    h.port.finishOpening();
    h.port.deliver(Syn);
    h.port.takeWritten();
    h.port.deliver(Card::linkSetup());
    EXPECT_EQ(described(h.port.takeWritten()), QStringList{"data 000606"});
    return msUntilWritten(h);
}

TEST(CardLinkNetwork, theAcknowledgementWaitIsLongerByTheRoundTrip)
{
    const int local = firstAnswerResentAfter(0);
    EXPECT_GT(local, 100);
    EXPECT_EQ(firstAnswerResentAfter(40), local + 40);
    EXPECT_EQ(firstAnswerResentAfter(12.5), local + 13);
}

TEST(CardLinkNetwork, theRoundTripIsLearntFromAcknowledgementsOfFramesSentOnce)
{
    NetHarness h;
    h.port.roundTrip = 1; // the server answered at once; the network to the card is slower
    h.link.openPort();
    h.port.finishOpening();
    h.identify();
    // The keep-alive's packet every 5 s (15 ms on the line); the card's Ack (7 bytes, 9 ms) comes
    // 80 ms after the line times, within the wait of 100 ms plus line time.
    for (int i = 0; i < 24; ++i) {
        ASSERT_GT(msUntilWritten(h), 0);
        h.port.takeWritten();
        h.clock.advance(15 + 9 + 80);
        h.port.deliver(Card::ack(h.hostSeq()));
    }
    ASSERT_GT(msUntilWritten(h), 0);
    h.port.takeWritten();
    h.clock.advance(15 + 100 + 60);
    EXPECT_TRUE(h.port.takeWritten().isEmpty()) << "the wait has grown by the round trip learnt";
    EXPECT_TRUE(h.events.log.filter("resend").isEmpty());
}

// A round trip measured too short at the opening (a relay that answers for the server): the
// first frames go twice, then the waits have grown enough.
TEST(CardLinkNetwork, aWaitThatRanOutLengthensTheNextOnes)
{
    NetHarness h;
    h.port.roundTrip = 1;
    h.link.openPort();
    h.port.finishOpening();
    h.identify();
    QList<int> resent;
    for (int i = 0; i < 6; ++i) {
        ASSERT_GT(msUntilWritten(h), 0);
        h.port.takeWritten();
        h.clock.advance(15 + 9 + 150);
        resent << int(splitFrames(h.port.takeWritten()).size());
        h.port.deliver(Card::ack(h.hostSeq()));
    }
    EXPECT_EQ(resent, (QList<int>{1, 1, 0, 0, 0, 0}));
}

TEST(CardLinkNetwork, aRoundTripAboveTheCleanLimitIsTold)
{
    for (double roundTrip : {150.0, 250.0}) {
        NetHarness h;
        h.port.roundTrip = roundTrip;
        QList<double> told;
        QObject::connect(&h.link, &CardLink::roundTripAboveLimit, [&](const QString&, double ms, double) { told << ms; });
        h.link.get();
        h.port.finishOpening();
        EXPECT_EQ(told, roundTrip > 200 ? QList<double>{roundTrip} : QList<double>{});
    }
}

} // namespace
