// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual serial line, and whole connections of the card link engine with the simulated
// card over it, on virtual time.

#include "link/cardlink.h"
#include "link/framelog.h"
#include "link/tracefile.h"
#include "link/virtualclock.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "virtualserialline.h"

#include <QMap>
#include <QRegularExpression>
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

// The operator's side, recorded.
class Recorder : public OperatorUi {
public:
    void message(const QString& text) override
    {
        messages << text;
        if (qEnvironmentVariableIsSet("QUILLON_SIM_LOG"))
            qInfo("message: %s", qPrintable(text));
    }
    void status(int panel, const QString& text) override
    {
        statuses[panel] << text;
        if (qEnvironmentVariableIsSet("QUILLON_SIM_LOG"))
            qInfo("status %d: %s", panel, qPrintable(text));
    }
    QStringList messages;
    QMap<int, QStringList> statuses;
};

// The program's link engine on a virtual line to a simulated card.
struct Connection {
    explicit Connection(CardOptions options = {}) : card(clock, std::move(options))
    {
        link.onFlowFinished = [this](FlowKind, FlowOutcome outcome) { outcomes << outcome; };
        link.currentFileName = [] { return QStringLiteral("Studio"); };
        if (qEnvironmentVariableIsSet("QUILLON_SIM_LOG")) // to see a failing run step by step
            card.onLog = [this](const QString& line) { qInfo("%6lld card: %s", clock.nowMs(), qPrintable(line)); };
        card.start();
        clock.advance(700); // the card has been calling for a while
    }
    bool run(qint64 limitMs = 30000)
    {
        return clock.advanceUntil([this] { return !outcomes.isEmpty() && !link.portOpen(); }, limitMs, 5);
    }
    QStringList panel2() const { return ui.statuses.value(2); }

    VirtualClock clock;
    SimulatedCard card;
    VirtualSerialLine line{clock, card};
    FixedPort ports{1};
    HeldSetup held;
    Recorder ui;
    TraceFile trace;
    FrameLog frameLog{clock}; // outlives the link that tells it
    CardLink link{line, clock, ports, held, ui, trace};
    QList<FlowOutcome> outcomes;
    QStringList frameLines;

    // The frame log's lines collect in frameLines.
    void logFrames()
    {
        frameLog.echo = [this](const QString& line) { frameLines << line; };
        link.setObserver(&frameLog);
    }
};

TEST(LinkOverVirtualLine, getFromASidCardStaysAt9600)
{
    CardOptions options;
    options.image = defaultCardImage(CardKind::Sid);
    options.image[2] = 0x03; // something the default set-up does not have
    Connection c(options);
    c.link.getConfiguration();
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.outcomes, QList<FlowOutcome>{FlowOutcome::Succeeded});
    EXPECT_EQ(c.held.setupImage, options.image);
    EXPECT_EQ(c.held.loadedCardType, CardType::SID);
    EXPECT_EQ(c.ui.messages, QStringList{QStringLiteral("Card Setup Retrieved")});
    EXPECT_EQ(c.ui.statuses.value(3), (QStringList{QString(), QStringLiteral("SID Card Detected")}));
    for (const auto& t : c.line.log())
        EXPECT_FALSE(t.garbled);
    EXPECT_EQ(c.card.baud(), 9600);
}

// The frame log of a whole Get, line by line: virtual time makes every millisecond exact.
TEST(LinkOverVirtualLine, frameLogOfAGetReadsLineByLine)
{
    Connection c;
    c.logFrames();
    c.link.getConfiguration();
    ASSERT_TRUE(c.run());
    // Each line whole; a * stands for the image's bytes.
    const char* const expected[] = {
        "      0 -- connection opened",
        "    302 <- 16 | SYN, link reset",
        "    302 -> 06 | answer to a SYN",
        "    318 <- C2 00 00 00 06 06 56 DA | C2 data, header, CRC-16 | seq 0/0 | LinkSetup 6 6 | CRC good",
        "    318 -> 02 C2 00 00 00 10 A6 10 A6 56 DA 03 | C2 data, header, CRC-16 | seq 0/0 | LinkSetup 6 6 | CRC good",
        "    341 <- 42 00 00 A4 1A | 42 Ack, header, CRC-16 | for seq 0 | CRC good",
        "    357 <- C2 00 01 02 4B 58 34 30 31 65 11 | C2 data, header, CRC-16 | seq 0/1 | SerialNumber 4b58343031 | CRC good",
        "    357 -> 02 42 01 00 A5 1A 03 | 42 Ack, header, CRC-16 | for seq 1 | CRC good",
        "    357 -> 02 C2 01 01 10 A2 51 4C 4E 30 31 B4 79 03 | C2 data, header, CRC-16 | seq 1/1 | HostSerial 514c4e3031 | CRC good",
        "    391 <- 42 01 00 A5 1A | 42 Ack, header, CRC-16 | for seq 1 | CRC good",
        "    401 <- C2 01 00 03 E4 D4 | C2 data, header, CRC-16 | seq 1/0 | AppIdRequest | CRC good",
        "    401 -> 02 42 00 00 A4 1A 03 | 42 Ack, header, CRC-16 | for seq 0 | CRC good",
        "    401 -> 02 C2 00 00 04 4D 45 52 4C 41 4E 00 00 00 00 3F 62 03 | C2 data, header, CRC-16 | seq 0/0 | AppId \"MERLAN\" | CRC good",
        "    439 <- 42 00 00 A4 1A | 42 Ack, header, CRC-16 | for seq 0 | CRC good",
        "    439 -> 02 C2 00 01 10 A3 F5 F5 03 | C2 data, header, CRC-16 | seq 0/1 | AppIdEnd | CRC good",
        "    459 <- 42 01 00 A5 1A | 42 Ack, header, CRC-16 | for seq 1 | CRC good",
        "    479 <- C2 01 01 04 4B 58 34 30 53 00 00 00 00 00 61 E3 | C2 data, header, CRC-16 | seq 1/1 | AppId \"KX40S\" | CRC good",
        "    479 -> 02 42 01 00 A5 1A 03 | 42 Ack, header, CRC-16 | for seq 1 | CRC good",
        "    529 -> 02 C2 01 00 15 00 7F AA 03 | C2 data, header, CRC-16 | seq 1/0 | GetRequest 0 | CRC good",
        "    549 <- 42 00 00 A4 1A | 42 Ack, header, CRC-16 | for seq 0 | CRC good",
        "    668 <- C2 00 00 18 00 00 0A * 7A D0 | C2 data, header, CRC-16 | seq 0/0 | SetupData 89 bytes v0 | CRC good",
        "    668 -> 02 42 00 00 A4 1A 03 | 42 Ack, header, CRC-16 | for seq 0 | CRC good",
        "    668 -> 16 | SYN, link reset",
        "    668 -- connection ended, reason 7",
    };
    ASSERT_EQ(c.frameLines.size(), std::size(expected)) << qPrintable(c.frameLines.join(u'\n'));
    for (int i = 0; i < c.frameLines.size(); ++i) {
        QStringList parts = QString::fromUtf8(expected[i]).split(u'*');
        for (QString& part : parts)
            part = QRegularExpression::escape(part);
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(parts.join(QStringLiteral(".*"))));
        EXPECT_TRUE(pattern.match(c.frameLines[i]).hasMatch()) << "line " << i << ": " << qPrintable(c.frameLines[i]);
    }
}

TEST(LinkOverVirtualLine, getFromAnAvmCardMovesTo1200Baud)
{
    CardOptions options;
    options.kind = CardKind::Avm;
    Connection c(options);
    c.link.getConfiguration();
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.outcomes, QList<FlowOutcome>{FlowOutcome::Succeeded});
    EXPECT_EQ(c.held.setupImage, defaultCardImage(CardKind::Avm));
    EXPECT_EQ(c.held.loadedCardType, CardType::AVM);
    EXPECT_EQ(c.ui.statuses.value(3), (QStringList{QString(), QStringLiteral("AVM Card Detected")}));
    // The get request and the closing SYN went out at 1200 baud, and nothing was garbled.
    QList<int> hostSpeeds;
    for (const auto& t : c.line.log()) {
        EXPECT_FALSE(t.garbled);
        if (t.fromHost && hostSpeeds.value(hostSpeeds.size() - 1) != t.baud)
            hostSpeeds << t.baud;
    }
    EXPECT_EQ(hostSpeeds, (QList<int>{9600, 1200}));
    c.clock.advance(100);
    EXPECT_EQ(c.card.baud(), 9600) << "the closing SYN brings the card back to the opening speed";
}

struct FlashRow {
    quint8 result;
    const char* message;
};

void PrintTo(const FlashRow& row, std::ostream* os) { *os << "flash result " << int(row.result); }

class SendOverVirtualLine : public ::testing::TestWithParam<FlashRow> {};

TEST_P(SendOverVirtualLine, deliversTheImageAndReportsTheFlashResult)
{
    CardOptions options;
    options.flashResult = GetParam().result;
    Connection c(options);
    loadDefaults(c.held.fields);
    c.link.sendConfiguration();
    ASSERT_TRUE(c.run());
    ASSERT_FALSE(c.card.received().isEmpty());
    EXPECT_EQ(c.card.image(), encodeSidImage(defaultSetupValues()).image);
    EXPECT_TRUE(c.ui.messages.contains(QString::fromLatin1(GetParam().message))) << c.ui.messages.join(" | ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Results, SendOverVirtualLine,
                         ::testing::Values(FlashRow{0, "Studio Transferred."},
                                           FlashRow{1, "Hardware Memory Error. Error 01."},
                                           FlashRow{2, "Error writing Studio to flash. Error 02."},
                                           FlashRow{3, "Error Closing Studio Error 03."}));

TEST(LinkOverVirtualLine, anAvmSendAt1200BaudNeedsNoRetransmissionAndEndsWithASynHeardAt1200)
{
    for (bool implicitAck : {false, true}) {
        CardOptions options;
        options.kind = CardKind::Avm;
        options.paceAtLineRate = true;
        options.implicitAck = implicitAck;
        Connection c(options);
        c.held.setupImage = defaultCardImage(CardKind::Avm);
        c.held.loadedCardType = CardType::AVM;
        c.link.sendConfiguration();
        ASSERT_TRUE(c.run()) << implicitAck;
        EXPECT_EQ(c.outcomes, QList<FlowOutcome>{FlowOutcome::Succeeded}) << c.ui.messages.join(" | ").toStdString();
        EXPECT_EQ(c.ui.messages, (QStringList{QStringLiteral("Studio Transferred."), QStringLiteral("Card Setup Sent!")}));
        EXPECT_TRUE(c.panel2().filter(QStringLiteral("Resend")).isEmpty()) << c.panel2().join(" | ").toStdString();
        EXPECT_EQ(c.card.received().count(defaultCardImage(CardKind::Avm)), 1);
        c.clock.advance(100);
        const auto& last = c.line.log().last();
        EXPECT_TRUE(last.fromHost && last.bytes == QByteArray(1, '\x16') && last.baud == 1200 && !last.garbled);
    }
}

TEST(LinkOverVirtualLine, recoversFromNacksAndABadCrc)
{
    CardOptions options;
    options.faults.nackNext = 3;
    options.faults.corruptCrcNext = 1;
    Connection c(options);
    c.logFrames();
    c.link.getConfiguration();
    ASSERT_TRUE(c.run());
    // Each NACK, retransmission and bad CRC is marked in the frame log.
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("<- 82 .*Nack.*CRC good$"))).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QStringLiteral(" -- NACK received")).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("-> 02 C2 .*\\| resent \\| CRC good$"))).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QStringLiteral(" -- RETRANSMISSION, retry count ")).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("<- C2 .*CRC bad$"))).size(), 1);
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("-> 02 82 .*Nack"))).size(), 1);
    EXPECT_EQ(c.outcomes, QList<FlowOutcome>{FlowOutcome::Succeeded});
    EXPECT_EQ(c.card.nacksSent(), 3);
    EXPECT_EQ(c.card.retransmissions(), 1) << "the image sent again after the host's NACK";
    EXPECT_EQ(c.held.setupImage, defaultCardImage(CardKind::Sid));
}

TEST(LinkOverVirtualLine, slowAcknowledgementsMakeTheHostResendButTheTransferSucceeds)
{
    CardOptions options;
    options.faults.ackDelayMs = 150; // past the host's 100 ms
    Connection c(options);
    c.logFrames();
    c.link.getConfiguration();
    ASSERT_TRUE(c.run());
    const QStringList timeouts = c.frameLines.filter(QStringLiteral(" -- TIMEOUT, no acknowledgement"));
    EXPECT_FALSE(timeouts.isEmpty());
    EXPECT_EQ(c.frameLines.filter(QStringLiteral(" -- RETRANSMISSION, retry count 0")).size(), timeouts.size());
    EXPECT_EQ(c.outcomes, QList<FlowOutcome>{FlowOutcome::Succeeded});
    EXPECT_TRUE(c.panel2().contains(QStringLiteral("Resend  0"))) << c.panel2().join(" | ").toStdString();
    EXPECT_EQ(c.card.received().count(QByteArray::fromHex("1500")), 1) << "the repeat is not served twice";
}

struct FailureRow {
    const char* name;
    CardOptions options;
    const char* message;
    const char* lastStatus;
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

CardOptions withFaults(CardFaults faults)
{
    CardOptions o;
    o.faults = faults;
    return o;
}
CardOptions with(bool CardOptions::*flag)
{
    CardOptions o;
    o.*flag = true;
    return o;
}

class FailedGet : public ::testing::TestWithParam<FailureRow> {};

TEST_P(FailedGet, endsTheConnectionWithTheReasonAndMessage)
{
    Connection c(GetParam().options);
    c.link.getConfiguration();
    ASSERT_TRUE(c.run(60000)) << GetParam().name;
    EXPECT_EQ(c.outcomes, QList<FlowOutcome>{FlowOutcome::Failed});
    if (*GetParam().message) {
        EXPECT_TRUE(c.ui.messages.contains(QString::fromLatin1(GetParam().message))) << c.ui.messages.join(" | ").toStdString();
    }
    EXPECT_TRUE(c.panel2().contains(QString::fromLatin1(GetParam().lastStatus))) << c.panel2().join(" | ").toStdString();
    EXPECT_FALSE(c.link.portOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FailedGet,
    ::testing::Values(
        FailureRow{"six_nacks_then_silence", withFaults({6, 1, 0, 0, 0}),
                   "Error in communications, Retransmission failed.", "Port Closed 2"},
        FailureRow{"syn_mid_transfer", with(&CardOptions::synAfterIdentification), "", "Port Closed 4"},
        FailureRow{"unknown_device", with(&CardOptions::unknownDevice),
                   "Unknown Device, Check Communications", "Port Closed 5"},
        FailureRow{"silent_card", with(&CardOptions::silent),
                   "Port not functioning, please try another port #2", "Port Closed 10"},
        FailureRow{"never_identifies", with(&CardOptions::neverIdentify),
                   "Error establishing communications, Please check connections", "Port Closed 6"}),
    [](const auto& info) { return std::string(info.param.name); });

// A card that keeps something else than it was sent, read back by a Get; and its serial number,
// as the link keeps it for naming backups.
TEST(LinkOverVirtualLine, aCardThatStoresDifferentlyGivesBackTheChangedImageAndItsSerial)
{
    for (CardKind kind : {CardKind::Sid, CardKind::Avm}) {
        CardOptions options;
        options.kind = kind;
        options.storeDifferently = true;
        options.serialNumber = QByteArray::fromHex("0a0b0c0d0e");
        Connection c(options);
        const QByteArray sent = kind == CardKind::Sid ? encodeSidImage(defaultSetupValues()).image
                                                      : defaultCardImage(CardKind::Avm);
        c.held.setupImage = sent;
        c.held.loadedCardType = c.held.connectedCardType = kind == CardKind::Sid ? CardType::SID : CardType::AVM;
        loadDefaults(c.held.fields);
        c.link.sendConfiguration();
        ASSERT_TRUE(c.run());
        EXPECT_EQ(c.card.received().last(), sent);
        EXPECT_EQ(c.link.state().cardSerial, options.serialNumber) << "kept after the connection ended";

        c.outcomes.clear();
        c.clock.advance(2000);
        c.link.getConfiguration();
        ASSERT_TRUE(c.run());
        const QByteArray& readBack = c.held.setupImage;
        ASSERT_EQ(readBack.size(), sent.size());
        QList<int> differing;
        for (int i = 0; i < sent.size(); ++i) {
            if (readBack[i] != sent[i])
                differing << i;
        }
        EXPECT_EQ(differing.size(), 1);
        if (kind == CardKind::Sid) {
            EXPECT_EQ(c.held.fields.values().choice(Field::PeakLevel), defaultSetupValues().choice(Field::PeakLevel) + 1)
                << "the change shows in the Audio window";
        }
    }
}

TEST(LinkOverVirtualLine, servesOneConnectionAfterAnother)
{
    Connection c;
    c.link.getConfiguration();
    ASSERT_TRUE(c.run());
    c.outcomes.clear();
    c.clock.advance(2000);
    c.link.sendConfiguration();
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.outcomes, QList<FlowOutcome>{FlowOutcome::Succeeded});
    EXPECT_EQ(c.card.identifications(), 2);
}

} // namespace
