// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkharness.h"

#include "link/linkobserver.h"
#include "link/linkstatistics.h"
#include "setup/setupimage.h"

#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <gtest/gtest.h>

using namespace linktest;

namespace {

QByteArray hex(const char* h) { return QByteArray::fromHex(h); }
const QByteArray Syn(1, char(0x16));

QByteArray sidImage() { return encodeSidImage(defaultSetupValues()).image; }

// A Get that has reached the point where the host asked for the card's set-up.
struct GetUnderWay : Harness {
    GetUnderWay()
    {
        link.getConfiguration();
        identify('S');
        requests = ackHostData();
    }
    QList<QByteArray> requests;
};

} // namespace

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
    h.port.deliver(Syn);
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 4");
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
    EXPECT_EQ(static_cast<quint8>(frames[0][0]), 0xC2);
    EXPECT_EQ(payloadOf(frames[0]), hex("000606"));
    EXPECT_TRUE(crcMatches(frames[0]));
    EXPECT_EQ(h.s().checkMode, CheckMode::Bits16);
    EXPECT_TRUE(h.s().headerMode);
    EXPECT_EQ(h.ui.labels[0], "16bit");
    EXPECT_EQ(h.ui.labels[1], "True");
    EXPECT_EQ(h.ui.labels[2], "Data");

    h.port.deliver(Card::ack(static_cast<quint8>(frames[0][2])));
    EXPECT_TRUE(h.s().linkUpgraded);
    // A second upgrade request is acknowledged but not answered.
    h.port.deliver(h.card.data(h.hostSeq(), hex("000606")));
    const QList<QByteArray> after = splitFrames(h.port.takeWritten());
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(static_cast<quint8>(after[0][0]), 0x42);
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
    const QList<QByteArray> answers = splitFrames(h.port.takeWritten());
    ASSERT_EQ(answers.size(), 1);
    EXPECT_EQ(static_cast<quint8>(answers[0][0]), 0x42); // acknowledged: its CRC was good
    EXPECT_TRUE(h.s().versionVerdict);
}

TEST(CardLinkReceiver, threeStrayBytesAtTheDefaultSettingsMeanAnUnknownDevice)
{
    Harness h;
    h.link.openPort();
    h.port.deliver(hex("4142"));
    EXPECT_TRUE(h.link.portOpen());
    EXPECT_TRUE(h.ui.messages.isEmpty());
    h.port.deliver(hex("43"));
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 5");
    EXPECT_EQ(h.ui.messages, QStringList{"Unknown Device, Check Communications"});
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
    const QByteArray before = h.held.setupImage;
    QByteArray image = sidImage();
    image[3] = 3;
    h.port.deliver(h.card.data(h.hostSeq(), image));
    h.port.deliver(h.card.data(h.hostSeq(), hex("1901")));
    EXPECT_EQ(h.held.setupImage, before);
    EXPECT_TRUE(h.ui.messages.isEmpty());
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
        return std::make_pair(h.held.fields.values().text(Field::FineAdjustChannel1), h.ui.messages);
    };
    const auto whole = run(false);
    EXPECT_EQ(whole.first, "16");
    EXPECT_EQ(run(true), whole);
}

TEST(CardLinkTransmitter, sendingTogglesTheSequenceBitAndWaitsForItsAcknowledgement)
{
    GetUnderWay h;
    ASSERT_EQ(h.requests, QList<QByteArray>{hex("1500")});
    EXPECT_TRUE(h.s().ackReceived);
    EXPECT_EQ(h.ui.messages, QStringList{});
}

TEST(CardLinkTransmitter, aTimeoutResendsWithTheSameSequenceBit)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.clock.advance(60);
    const QList<QByteArray> first = splitFrames(h.port.takeWritten());
    ASSERT_EQ(first.size(), 1);
    h.clock.advance(100 + 2); // acknowledgement time plus the frame's time on the line
    const QList<QByteArray> again = splitFrames(h.port.takeWritten());
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0], first[0]);
    EXPECT_EQ(h.ui.statuses[2], "Resend  0");
}

TEST(CardLinkTransmitter, theAcknowledgementWaitStartsWhenTheFrameHasLeft)
{
    Harness h;
    h.link.getConfiguration();
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

TEST(CardLinkTransmitter, fiveNacksThenAnAckSucceed)
{
    Harness h;
    h.link.getConfiguration();
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

TEST(CardLinkTransmitter, nakBeyondMaxRetriesCancelsTheTransferAtTheNextTimeout)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.clock.advance(60);
    for (int i = 0; i < 6; ++i)
        h.port.deliver(Card::nack(h.hostSeq()));
    EXPECT_EQ(h.s().retryCount, 6);
    EXPECT_TRUE(h.link.portOpen());
    h.clock.advance(200);
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 2");
    EXPECT_EQ(h.ui.messages, QStringList{"Error in communications, Retransmission failed."});
    ASSERT_EQ(h.outcomes.size(), 1);
    EXPECT_EQ(h.outcomes[0].second, FlowOutcome::Failed);
}

TEST(CardLinkTransmitter, aCardThatNacksForeverDoesNotKeepUsResending)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.clock.advance(60);
    for (int i = 0; i < 50 && h.link.portOpen(); ++i)
        h.port.deliver(Card::nack(h.hostSeq()));
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 2");
}

TEST(CardLinkTransmitter, endTransferOnAClosedPortStillResetsAndReports)
{
    Harness h;
    h.ui.buttonsEnabled = false;
    h.link.endTransfer(EndReason::Completed);
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 7");
    EXPECT_TRUE(h.ui.buttonsEnabled);
    EXPECT_EQ(h.s().ownSeq, 1);
    EXPECT_TRUE(h.s().ackReceived);
    EXPECT_EQ(h.port.settings(), "9600,N,8,2");
}

TEST(CardLinkKeepAlive, aTickWithAPacketOutstandingCountsAndSendsNothingUntilTheLimit)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.clock.advance(60);
    h.port.takeWritten();
    // The card never answers the get request: resends go on; ticks only count.
    h.clock.advance(5000);
    EXPECT_EQ(h.s().keepAliveCount, 1);
    EXPECT_TRUE(h.ui.events.contains("status2: SN Count 2  1"));
    for (const QByteArray& f : splitFrames(h.port.takeWritten()))
        EXPECT_EQ(payloadOf(f), hex("1500"));
    h.clock.advance(5000 * 9 + 200);
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 2");
    EXPECT_EQ(h.ui.messages, QStringList{"Error in communications, Retransmission failed."});
}

TEST(CardLinkKeepAlive, statusTextCarriesTwoBlanksBeforeTheTickCount)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.clock.advance(5000);
    EXPECT_EQ(h.ui.statuses[2], "SN Count 2  1");
    h.ackHostData();
    EXPECT_EQ(h.s().keepAliveCount, 0);
}

TEST(CardLinkConnection, aSilentCardIsReportedAfterFiveSeconds)
{
    Harness h;
    h.link.getConfiguration();
    EXPECT_FALSE(h.ui.buttonsEnabled);
    h.clock.advance(5000);
    EXPECT_EQ(h.ui.messages, QStringList{"Port not functioning, please try another port #2"});
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 10");
    EXPECT_EQ(h.link.jobCount(), 0u);
    ASSERT_EQ(h.outcomes.size(), 1);
    EXPECT_EQ(h.outcomes[0].second, FlowOutcome::Failed);
}

TEST(CardLinkConnection, aFreshStartEndsNothingAndEachOpeningForgetsTheCardDetected)
{
    Harness h;
    h.link.getConfiguration();
    EXPECT_TRUE(h.ui.events.filter("Port Closed").isEmpty()) << h.ui.events.join(" | ").toStdString();
    h.identify();
    EXPECT_EQ(h.ui.statuses[3], "SID Card Detected");
    h.link.getConfiguration();
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 7");
    EXPECT_EQ(h.ui.statuses[3], "");
}

TEST(CardLinkConnection, anUnusablePortIsRefusedBeforeOpening)
{
    Harness h;
    h.ports.usable = false;
    h.link.getConfiguration();
    EXPECT_EQ(h.ui.messages.value(0), "Current com port selection is not valid");
    EXPECT_EQ(h.port.opens, 0);
}

TEST(CardLinkConnection, aCardThatNeverIdentifiesEndsWithReason6)
{
    Harness h;
    h.link.getConfiguration();
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
    EXPECT_EQ(h.ui.messages, QStringList{"Error establishing communications, Please check connections"});
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 6"); // the ended Get sends nothing more
}

TEST(CardLinkConnection, anAvmCardIsMovedTo1200BaudOnceItsBaudChangeIsAcknowledged)
{
    Harness h;
    h.link.getConfiguration();
    h.identify('A');
    EXPECT_EQ(h.held.connectedCardType, CardType::AVM);
    EXPECT_EQ(h.ui.statuses[3], "AVM Card Detected");
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

TEST(CardLinkGet, aSidImageIsAppliedAndReported)
{
    GetUnderWay h;
    QByteArray image = sidImage();
    image[3] = 3;
    h.port.deliver(h.card.data(h.hostSeq(), image));
    EXPECT_EQ(h.held.setupImage, image);
    EXPECT_EQ(h.held.loadedCardType, CardType::SID);
    EXPECT_EQ(h.held.fields.values().choice(Field::PeakLevel), 3);
    EXPECT_EQ(h.ui.statuses[2], "Process Complete");
    EXPECT_EQ(h.ui.messages, QStringList{"Card Setup Retrieved"});
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_TRUE(h.ui.buttonsEnabled);
    ASSERT_EQ(h.outcomes.size(), 1);
    EXPECT_EQ(h.outcomes[0].second, FlowOutcome::Succeeded);
}

TEST(CardLinkGet, anAvmImageReplacesTheHeldImageOnly)
{
    GetUnderWay h;
    const SetupValues before = h.held.fields.values();
    QByteArray image(120, char(7));
    image[0] = 24;
    image[1] = 2;
    h.port.deliver(h.card.data(h.hostSeq(), image));
    EXPECT_EQ(h.held.setupImage, image);
    EXPECT_EQ(h.held.loadedCardType, CardType::AVM);
    EXPECT_EQ(h.held.fields.values(), before);
    EXPECT_EQ(h.ui.statuses[1], "AVM Config Loaded");
    EXPECT_EQ(h.ui.messages, QStringList{"Card Setup Retrieved"});
}

TEST(CardLinkGet, anImageThatIsNeitherKindIsRefusedAndNothingChanges)
{
    const QByteArray bad[] = {hex("1801"), QByteArray(89, char(24)).replace(1, 1, QByteArray(1, char(1))),
                              QByteArray(90, char(24)).replace(1, 1, QByteArray(1, char(0))),
                              QByteArray(1030, char(0x41)).replace(0, 2, hex("1801"))};
    for (const QByteArray& image : bad) {
        GetUnderWay h;
        const QByteArray before = h.held.setupImage;
        h.port.deliver(h.card.data(h.hostSeq(), image));
        EXPECT_EQ(h.held.setupImage, before) << image.size();
        EXPECT_EQ(h.held.loadedCardType, CardType::SID);
        EXPECT_FALSE(h.ui.messages.contains("Card Setup Retrieved"));
        EXPECT_EQ(h.ui.messages.size(), 1) << image.size();
        ASSERT_EQ(h.outcomes.size(), 1) << image.size();
        EXPECT_EQ(h.outcomes[0].second, FlowOutcome::Failed);
    }
}

TEST(CardLinkGet, aSecondGetEndsTheFirstWhichShowsNothingMore)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.link.getConfiguration();
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 7");
    EXPECT_EQ(h.port.opens, 2);
    h.port.takeWritten();
    h.clock.advance(4000);
    EXPECT_TRUE(h.ui.messages.isEmpty());
    ASSERT_EQ(h.outcomes.size(), 1);
    EXPECT_EQ(h.outcomes[0].second, FlowOutcome::Failed);
    EXPECT_EQ(h.link.jobCount(), 1u); // only the new flow waits
}

namespace {
// A Send that has reached the version exchange.
// An AVM card's image of this set-up version.
QByteArray avmImage(quint8 version)
{
    QByteArray image(120, char(1));
    image[0] = 24;
    image[1] = static_cast<char>(version);
    return image;
}

struct SendUnderWay : Harness {
    explicit SendUnderWay(char kind = 'S')
    {
        link.currentFileName = [] { return QStringLiteral("Studio"); };
        link.sendConfiguration();
        identify(kind);
        if (kind == 'A')
            ackHostData(); // BaudChange
        clock.advance(60);
        requests = ackHostData();
    }
    void reportVersion(quint8 version) { port.deliver(card.data(hostSeq(), QByteArray(1, char(0x17)) + QByteArray(1, char(version)))); }
    QList<QByteArray> requests;
};
} // namespace

TEST(CardLinkTransmitter, aNackWrittenMeanwhileDoesNotShortenTheWaitOfALongFrame)
{
    SendUnderWay h('A');
    h.held.setupImage = avmImage(1);
    h.held.loadedCardType = CardType::AVM;
    h.reportVersion(1);
    h.port.pendingOut = 1; // the system takes the image later
    h.clock.advance(60);
    const QByteArray image = splitFrames(h.port.takeWritten()).value(1); // after the Ack of the report
    ASSERT_EQ(payloadOf(image), avmImage(1));
    QByteArray garbled = h.card.data(h.hostSeq(), hex("0700"));
    garbled[garbled.size() - 2] = char(garbled[garbled.size() - 2] ^ 0x55);
    h.port.deliver(garbled);
    ASSERT_EQ(static_cast<quint8>(splitFrames(h.port.takeWritten()).value(0, "?").at(0)), 0x82);
    h.port.pendingOut = 0;
    h.port.onOutputDrained();
    const int imageLineMs = static_cast<int>(image.size() + 2) * 11 * 1000 / 1200; // about 1.2 s at 1200 baud
    h.clock.advance(100 + imageLineMs - 20);
    EXPECT_TRUE(h.port.takeWritten().isEmpty()) << "resent before the image could have been answered";
    h.clock.advance(60);
    EXPECT_EQ(splitFrames(h.port.takeWritten()).size(), 1);
}

TEST(CardLinkSend, theBuiltImageIsSentAndTheFlashResultAcknowledgesIt)
{
    SendUnderWay h;
    ASSERT_EQ(h.requests, QList<QByteArray>{hex("16")});
    h.reportVersion(0);
    EXPECT_EQ(h.ui.statuses[2], "Setup Version Correct");
    h.clock.advance(60);
    const QList<QByteArray> frames = splitFrames(h.port.takeWritten());
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_EQ(payloadOf(frames.last()), sidImage());
    h.port.deliver(h.card.data(static_cast<quint8>(frames.last()[2]), hex("1900")));
    EXPECT_EQ(h.ui.messages, (QStringList{"Studio Transferred.", "Card Setup Sent!"}));
    EXPECT_EQ(h.ui.statuses[2], "Card Setup Sent");
    ASSERT_EQ(h.outcomes.size(), 1);
    EXPECT_EQ(h.outcomes[0].second, FlowOutcome::Succeeded);
}

TEST(CardLinkSend, aFlashErrorIsNeverReportedAsSuccess)
{
    SendUnderWay h;
    h.reportVersion(0);
    h.clock.advance(60);
    const QList<QByteArray> frames = splitFrames(h.port.takeWritten());
    h.port.deliver(h.card.data(static_cast<quint8>(frames.last()[2]), hex("1902")));
    EXPECT_EQ(h.ui.messages, QStringList{"Error writing Studio to flash. Error 02."});
    EXPECT_EQ(h.ui.statuses[2], "Card Setup Failed");
    EXPECT_EQ(h.outcomes.value(0).second, FlowOutcome::Failed);
}

// How the card answers the image: the flash report in place of the acknowledgement, or an
// acknowledgement and the report some time later (never: -1).
struct FlashReportRow {
    const char* name;
    bool ackFirst;
    int reportAfterMs;
    quint8 result;
    QStringList messages;
    const char* status;
    FlowOutcome outcome;
};

void PrintTo(const FlashReportRow& row, std::ostream* os) { *os << row.name; }

class CardLinkFlashReport : public ::testing::TestWithParam<FlashReportRow> {};

TEST_P(CardLinkFlashReport, successOnlyAfterTheCardReportsAGoodFlashWrite)
{
    const FlashReportRow& row = GetParam();
    SendUnderWay h;
    h.reportVersion(0);
    h.clock.advance(60);
    const QList<QByteArray> frames = splitFrames(h.port.takeWritten());
    ASSERT_FALSE(frames.isEmpty());
    const quint8 imageSeq = static_cast<quint8>(frames.last()[2]);
    const QByteArray report = QByteArray::fromHex("19") + QByteArray(1, char(row.result));
    if (row.ackFirst) {
        h.port.deliver(Card::ack(imageSeq));
        // The card writes its flash; the host keeps the link alive and reports nothing yet.
        const int waitMs = row.reportAfterMs >= 0 ? row.reportAfterMs : 9900;
        for (int waited = 0; waited < waitMs; waited += 100) {
            h.clock.advance(std::min(100, waitMs - waited));
            h.ackHostData();
        }
        EXPECT_TRUE(h.ui.messages.isEmpty()) << h.ui.messages.join(" | ").toStdString();
        EXPECT_TRUE(h.link.portOpen());
        if (row.reportAfterMs < 0)
            h.clock.advance(200);
        else
            h.port.deliver(h.card.data(h.hostSeq(), report));
    } else {
        h.port.deliver(h.card.data(imageSeq, report));
    }
    EXPECT_EQ(h.ui.messages, row.messages);
    EXPECT_EQ(h.ui.statuses[2], row.status);
    EXPECT_FALSE(h.link.portOpen());
    ASSERT_EQ(h.outcomes.size(), 1);
    EXPECT_EQ(h.outcomes[0].second, row.outcome);
    const QList<QByteArray> last = splitFrames(h.port.takeWritten());
    ASSERT_FALSE(last.isEmpty());
    EXPECT_EQ(last.last(), Syn);
    if (row.reportAfterMs >= 0) { // the report is acknowledged before the closing SYN
        ASSERT_GE(last.size(), 2);
        EXPECT_EQ(static_cast<quint8>(last[last.size() - 2][0]), 0x42);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardLinkFlashReport,
    ::testing::Values(
        FlashReportRow{"report_in_place_of_the_ack", false, 0, 0, {"Studio Transferred.", "Card Setup Sent!"},
                       "Card Setup Sent", FlowOutcome::Succeeded},
        FlashReportRow{"report_300ms_after_the_ack", true, 300, 0, {"Studio Transferred.", "Card Setup Sent!"},
                       "Card Setup Sent", FlowOutcome::Succeeded},
        FlashReportRow{"failed_write_after_the_ack", true, 300, 2, {"Error writing Studio to flash. Error 02."},
                       "Card Setup Failed", FlowOutcome::Failed},
        FlashReportRow{"report_after_9_5s", true, 9500, 0, {"Studio Transferred.", "Card Setup Sent!"},
                       "Card Setup Sent", FlowOutcome::Succeeded},
        FlashReportRow{"no_report_in_10s", true, -1, 0,
                       {"The card did not confirm writing the set-up to its flash memory."},
                       "Card Setup Not Confirmed", FlowOutcome::Failed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CardLinkSend, anImageNeverAcknowledgedIsReportedAsFailed)
{
    SendUnderWay h;
    h.reportVersion(0);
    h.clock.advance(60);
    for (int i = 0; i < 6; ++i)
        h.port.deliver(Card::nack(h.hostSeq()));
    h.clock.advance(500);
    EXPECT_EQ(h.ui.messages, QStringList{"Error in communications, Retransmission failed."});
    EXPECT_EQ(h.ui.statuses[2], "Card Setup Failed");
    EXPECT_EQ(h.outcomes.value(0).second, FlowOutcome::Failed);
}

TEST(CardLinkSend, aCardWithAnOlderSetupVersionEndsTheSendWithBothMessages)
{
    SendUnderWay h('A');
    h.held.setupImage = avmImage(3);
    h.held.loadedCardType = CardType::AVM;
    h.reportVersion(2);
    EXPECT_FALSE(h.link.portOpen());
    h.clock.advance(3000);
    EXPECT_EQ(h.ui.messages, (QStringList{"Card Setup Newer than Card Firmware, Please Upgrade Card Firmware.",
                                          "Version Packet Not Verified"}));
    EXPECT_EQ(h.ui.statuses[2], "Card Setup Failed");
}

TEST(CardLinkSend, theVersionIsComparedWithTheImageAboutToBeSent)
{
    // A stale AVM image of version 3 must not stop a SID build, which is version 0.
    SendUnderWay h('S');
    h.held.setupImage = avmImage(3);
    h.reportVersion(0);
    EXPECT_TRUE(h.s().versionVerdict);
    h.clock.advance(60);
    const QList<QByteArray> frames = splitFrames(h.port.takeWritten());
    EXPECT_EQ(payloadOf(frames.last()).size(), 89);
}

TEST(CardLinkSend, noVersionReportWithinThreeSecondsLeavesTheConnectionOpen)
{
    SendUnderWay h;
    h.clock.advance(2900);
    EXPECT_TRUE(h.ui.messages.isEmpty());
    h.clock.advance(200);
    EXPECT_EQ(h.ui.messages, QStringList{"Version Packet Not Verified"});
    EXPECT_TRUE(h.link.portOpen());
}

TEST(CardLinkSend, aVersionReportOfAnEarlierConnectionDoesNotLetTheImageGo)
{
    SendUnderWay h;
    h.reportVersion(0);
    h.link.cancel();
    h.link.sendConfiguration();
    h.identify('S', false); // this card does not reset the link first
    h.clock.advance(60);
    EXPECT_EQ(h.ackHostData(), QList<QByteArray>{hex("16")});
    h.clock.advance(3000);
    EXPECT_EQ(h.ui.messages, QStringList{"Version Packet Not Verified"});
    EXPECT_TRUE(h.ackHostData().isEmpty()); // no image went out
}

TEST(CardLinkSend, aSidSetupIsNotSentToAnAvmCard)
{
    SendUnderWay h('A');
    h.reportVersion(1);
    EXPECT_EQ(h.ui.messages, (QStringList{"SID configuration Loaded, AVM card connected", "Card Setup Failed"}));
    EXPECT_EQ(h.ui.statuses[2], "Card Setup Failed");
    EXPECT_FALSE(h.link.portOpen());
}

TEST(CardLinkCommands, cancelAndShutdownDuringAWaitAreSafe)
{
    {
        SendUnderWay h;
        h.link.cancel();
        EXPECT_EQ(h.ui.statuses[2], "Port Closed 8");
        h.clock.advance(10000);
        EXPECT_TRUE(h.ui.messages.isEmpty());
    }
    {
        Harness h;
        h.link.getConfiguration();
        h.identify();
        h.link.shutdown();
        EXPECT_FALSE(h.link.portOpen());
        EXPECT_EQ(h.link.jobCount(), 0u);
        h.clock.advance(60000);
        EXPECT_EQ(h.ui.statuses[2], "Port Closed 7");
    }
    {
        // Destroyed with jobs still waiting.
        auto h = std::make_unique<Harness>();
        h->link.sendConfiguration();
        h->port.deliver(Syn);
        h->port.deliver(Card::linkSetup());
        h.reset();
    }
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
    EXPECT_EQ(h.ui.messages, (QStringList{"Port Closed", "Port Closed"}));
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 7");
}

TEST(CardLinkCommands, anUnpluggedDeviceIsReportedAtTheNextTick)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.port.unplug();
    h.clock.advance(5000);
    EXPECT_EQ(h.ui.messages, QStringList{"Port not functioning, please try another port #1"});
    h.clock.advance(20000);
    EXPECT_EQ(h.ui.messages.size(), 1);
}

TEST(CardLinkCommands, aGetEndsWhenTheKeepAliveFindsTheLinkGone)
{
    const struct {
        const char* name;
        const char* message;
        std::function<void(Harness&)> breakLink;
    } rows[] = {
        {"card identified without the serial exchange", "Port not functioning, please try another port #2",
         [](Harness& h) {
             h.port.deliver(Syn);
             h.port.deliver(QByteArray::fromHex("02c4044b583430530000000000") + QByteArray::fromHex("03"));
         }},
        {"answer to the link set-up left unacknowledged", "Port not functioning, please try another port #2",
         [](Harness& h) {
             h.port.deliver(Syn);
             h.port.deliver(Card::linkSetup());
             h.port.deliver(QByteArray::fromHex("02c410a603")); // no check, no header from now on
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.link.getConfiguration();
        row.breakLink(h);
        h.clock.advance(5100);
        EXPECT_EQ(h.ui.messages, QStringList{row.message});
        EXPECT_EQ(h.ui.statuses[2], "Port Closed 10");
        EXPECT_FALSE(h.link.flowRunning());
        EXPECT_EQ(h.outcomes, (QList<std::pair<FlowKind, FlowOutcome>>{{FlowKind::Get, FlowOutcome::Failed}}));
        EXPECT_TRUE(h.ui.buttonsEnabled);
        EXPECT_GT(h.ui.progressHidden, 0);
    }
}

TEST(CardLinkCommands, aDeviceUnpluggedUnderAnOutstandingPacketEndsTheConnection)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.clock.advance(60); // the get request is out, never acknowledged
    h.port.takeWritten();
    h.port.unplug();
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 10");
    EXPECT_EQ(h.ui.messages, QStringList{"The serial port closed during the transfer. Please check the connection "
                                         "to the card."});
    EXPECT_EQ(h.link.jobCount(), 0u);
    EXPECT_EQ(h.outcomes.value(0).second, FlowOutcome::Failed);
    h.clock.advance(30000); // no later tick reports it again
    EXPECT_EQ(h.ui.messages.size(), 1);
    // The next connection starts clean: nothing of the old one is sent again.
    h.port.openable = {1};
    h.link.getConfiguration();
    h.clock.advance(1000);
    EXPECT_TRUE(h.port.takeWritten().isEmpty());
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

TEST(CardLinkConnection, aSendToASilentCardEndsAfterTheFirstMessage)
{
    Harness h;
    h.link.sendConfiguration();
    h.clock.advance(10000);
    EXPECT_EQ(h.ui.messages, QStringList{"Port not functioning, please try another port #2"});
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 10");
    EXPECT_EQ(h.outcomes.value(0).second, FlowOutcome::Failed);
    EXPECT_EQ(h.link.jobCount(), 0u);
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

TEST(CardLinkReceiver, lineNoiseNeverCrashesGrowsMemoryOrPassesForASetup)
{
    // Seeded noise, then noise made of well-formed frames with random contents, into a Get that
    // waits for the card's set-up.
    std::mt19937 random(20261207);
    auto noiseByte = [&random] { return static_cast<char>(random() & 0xFF); };
    for (int round = 0; round < 20; ++round) {
        GetUnderWay h;
        const QByteArray heldImage = h.held.setupImage;
        const SetupValues heldValues = h.held.fields.values();
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
        EXPECT_EQ(h.held.setupImage, heldImage);
        EXPECT_EQ(h.held.fields.values(), heldValues);
        EXPECT_FALSE(h.ui.messages.contains("Card Setup Retrieved"));
        h.link.shutdown();
        EXPECT_EQ(h.link.jobCount(), 0u);
    }
}

namespace {

// What the host wrote, a frame an entry: "ack 1" (its sequence byte), "nack 0", "data 000000"
// (payload), or a lone byte in hex.
QStringList described(const QByteArray& written)
{
    QStringList out;
    for (const QByteArray& f : splitFrames(written)) {
        const quint8 control = f.isEmpty() ? 0 : static_cast<quint8>(f[0]);
        if (f.size() == 1)
            out << QString::fromLatin1(f.toHex());
        else if (control == 0xC4)
            out << QStringLiteral("c4 ") + QString::fromLatin1(f.mid(1).toHex());
        else if (control == 0x42 || control == 0x82)
            out << QStringLiteral("%1 %2").arg(control == 0x42 ? "ack" : "nack").arg(static_cast<quint8>(f[1]));
        else
            out << QStringLiteral("data ") + QString::fromLatin1(payloadOf(f).toHex());
    }
    return out;
}

QByteArray spoiled(QByteArray frame)
{
    frame[frame.size() - 2] = char(frame[frame.size() - 2] ^ 0x55); // the CRC's low byte
    return frame;
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
        h.link.getConfiguration();
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

TEST(CardLinkReceiver, aLoneEtxDoesNotTakeTheLastNackAgain)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.clock.advance(60);
    h.port.takeWritten();
    h.port.deliver(Card::nack(h.hostSeq()));
    h.port.deliver(hex("03"));
    EXPECT_EQ(h.s().retryCount, 1);
    EXPECT_EQ(described(h.port.takeWritten()), QStringList{"data 1500"});
}

TEST(CardLinkTransmitter, fiveNacksAndATimeoutStillSucceedSixFail)
{
    for (int nacks : {5, 6}) {
        Harness h;
        h.link.getConfiguration();
        h.identify();
        h.clock.advance(60);
        for (int i = 0; i < nacks; ++i)
            h.port.deliver(Card::nack(h.hostSeq()));
        h.clock.advance(120);
        EXPECT_EQ(h.link.portOpen(), nacks == 5) << nacks;
        if (nacks == 5) {
            h.port.deliver(Card::ack(h.hostSeq()));
            EXPECT_TRUE(h.s().ackReceived);
        } else {
            EXPECT_EQ(h.ui.statuses[2], "Port Closed 2");
        }
    }
}

TEST(CardLinkReceiver, aClearToSendTimeoutEndsWithReason9AndSaysSo)
{
    Harness h;
    h.link.getConfiguration();
    h.identify();
    h.clock.post(0, [&h] { h.port.onComm(SerialControl::WriteTimeout); });
    h.clock.runDue();
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 9");
    EXPECT_EQ(h.ui.messages, QStringList{"CTS Timeout Transfer aborted"});
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
    EXPECT_EQ(h.ui.statuses[2], "Port Closed 5");
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
    LinkObservers both;
    both.add(&counts);
    both.add(&statistics);
    h.link.setObserver(&both);
    h.link.getConfiguration();
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
    h.link.getConfiguration(); // a new connection starts from nothing
    EXPECT_EQ(statistics.counters().framesSent, 0);
    EXPECT_EQ(statistics.counters().cardSynAfterMs, -1);
    h.link.setObserver(nullptr);
}
