// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual serial line, on virtual time.

#include "support/virtualclock.h"
#include "simulatedcard.h"
#include "support/virtualserialline.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::sim;

namespace {

TEST(VirtualSerialLine, bytesTakeTheirLineTimeAndArriveAsALaterEvent)
{
    VirtualClock clock;
    SimulatedCard card(clock);
    VirtualSerialLine line(clock, card);
    QList<qint64> events;
    line.onComm = [&](int event) {
        EXPECT_EQ(event, SerialControl::DataReceived);
        events << clock.nowMs();
    };
    line.setSettings(QStringLiteral("9600,n,8,2"));
    ASSERT_TRUE(line.setPortOpen(true));
    card.start(); // its first SYN goes out at once
    EXPECT_TRUE(events.isEmpty());
    clock.runDue();
    EXPECT_TRUE(events.isEmpty()) << "one byte at 9600 baud takes 1.15 ms";
    clock.advance(2);
    EXPECT_EQ(events, QList<qint64>{2});
    EXPECT_EQ(line.input(10), QByteArray(1, '\x16'));

    // Ten bytes from the host at 1200 baud leave one by one, 9.2 ms each, in 92 ms.
    line.setSettings(QStringLiteral("1200,n,8,2"));
    int drained = 0;
    line.onOutputDrained = [&] { ++drained; };
    line.output(QByteArray(10, 'x'));
    EXPECT_EQ(line.outBufferCount(), 10);
    clock.advance(46);
    EXPECT_EQ(line.outBufferCount(), 5);
    clock.advance(45);
    EXPECT_EQ(line.outBufferCount(), 1);
    EXPECT_EQ(drained, 0);
    clock.advance(1);
    EXPECT_EQ(line.outBufferCount(), 0);
    EXPECT_EQ(drained, 1);
}

TEST(VirtualSerialLine, differentSpeedsGarbleEveryByte)
{
    VirtualClock clock;
    SimulatedCard card(clock);
    VirtualSerialLine line(clock, card);
    line.setSettings(QStringLiteral("1200,n,8,2"));
    ASSERT_TRUE(line.setPortOpen(true));
    card.start();
    clock.advance(20);
    EXPECT_EQ(line.input(10), QByteArray(1, '\xFF'));
    ASSERT_FALSE(line.log().isEmpty());
    EXPECT_TRUE(line.log().first().garbled);
    EXPECT_EQ(line.sentByCard().left(1), QByteArray(1, '\x16'));

    line.output(QByteArray(1, '\x06')); // the answer to the SYN, garbled on the way
    clock.advance(20);
    EXPECT_EQ(card.phase(), CardPhase::Syncing);
}

TEST(VirtualSerialLine, closedOrMissingPortsHearNothing)
{
    VirtualClock clock;
    SimulatedCard card(clock);
    VirtualSerialLine line(clock, card, 2, {2, 3});
    int events = 0;
    line.onComm = [&](int) { ++events; };
    card.start();
    clock.advance(600); // two SYNs into a closed port
    line.setCommPort(1);
    EXPECT_FALSE(line.setPortOpen(true));
    EXPECT_FALSE(line.lastError().isEmpty());
    line.setCommPort(3);
    ASSERT_TRUE(line.setPortOpen(true)); // a port with nothing on it
    clock.advance(600);
    EXPECT_EQ(events, 0);
    line.setPortOpen(false);
    line.setCommPort(2);
    line.setSettings(QStringLiteral("9600,n,8,2"));
    ASSERT_TRUE(line.setPortOpen(true));
    clock.advance(500);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(line.inBufferCount(), 1);
    EXPECT_EQ(std::count_if(line.log().begin(), line.log().end(), [](const auto& t) { return t.lost; }), 3);
}

TEST(VirtualSerialLine, unpluggedDeviceClosesThePortAndWakesTheReader)
{
    VirtualClock clock;
    SimulatedCard card(clock);
    VirtualSerialLine line(clock, card);
    int events = 0;
    line.onComm = [&](int event) { events += event == SerialControl::DataReceived; };
    ASSERT_TRUE(line.setPortOpen(true));
    line.unplug();
    EXPECT_FALSE(line.portOpen());
    EXPECT_EQ(events, 0);
    clock.runDue();
    EXPECT_EQ(events, 1);
    EXPECT_FALSE(line.setPortOpen(true));

    int timeouts = 0;
    line.onComm = [&](int event) { timeouts += event == SerialControl::WriteTimeout; };
    line.raiseWriteTimeout();
    clock.runDue();
    EXPECT_EQ(timeouts, 1);
}

} // namespace
