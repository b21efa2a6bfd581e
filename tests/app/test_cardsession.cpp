// SPDX-License-Identifier: GPL-3.0-or-later
// Whole transfers of a card session with the simulated card over a virtual line, on virtual time:
// what the card ends up with, what the program holds, and what the operator was told. And two
// sessions on two lines at once.

#include "app/core/cardsession.h"
#include "app/core/linkpresenter.h"
#include "link/cardlink.h"
#include "link/framelog.h"
#include "app/core/settingsstore.h"
#include "link/tracefile.h"
#include "support/virtualclock.h"
#include "recordingui.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "support/operatorrecorder.h"
#include "support/testsupport.h"
#include "support/virtualserialline.h"

#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::sim;

namespace {

// The operator's side, recorded: every status a panel showed, in order.
OperationOptions noSafetyNet()
{
    OperationOptions options;
    options.backup = false;
    options.verify = false;
    return options;
}

// A session on a virtual line to a simulated card that has been calling for a while.
struct Connection {
    explicit Connection(CardOptions options = {}) : card(clock, std::move(options))
    {
        session.presenter().fileName = [] { return QStringLiteral("Studio"); };
        session.trace().setPath({});
        loadDefaults(held.fields);
        QObject::connect(&session.operation(), &CardOperation::finished, [this](const OperationResult& r) { outcomes << r.succeeded; });
        card.start();
        clock.advance(700);
    }
    void get() { session.operation().get(noSafetyNet()); }
    void send() { session.operation().send(noSafetyNet()); }
    bool run(qint64 limitMs = 30000)
    {
        return clock.advanceUntil([this] { return !outcomes.isEmpty() && !link.portOpen(); }, limitMs, 5);
    }
    QStringList panel2() const { return ui.statuses.value(2); }
    void logFrames() { session.frameLog().echo = [this](const QString& line) { frameLines << line; }; }

    QTemporaryDir dir;
    VirtualClock clock;
    SimulatedCard card;
    VirtualSerialLine line{clock, card};
    FixedPort ports{1};
    HeldSetup held;
    test::OperatorRecorder ui;
    SettingsStore settings{dir.filePath("Quillon.conf")};
    CardSession session{line, ports, held, ui, settings, &clock};
    CardLink& link = session.link();
    QList<bool> outcomes;
    QStringList frameLines;
};

TEST(SessionOverVirtualLine, getFromASidCardStaysAt9600)
{
    CardOptions options;
    options.image = defaultCardImage(CardKind::Sid);
    options.image[2] = 0x03; // something the default set-up does not have
    Connection c(options);
    c.get();
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.outcomes, QList<bool>{true});
    EXPECT_EQ(c.held.setupImage, options.image);
    EXPECT_EQ(c.held.loadedCardType, CardType::SID);
    EXPECT_EQ(c.ui.messages, QStringList{QStringLiteral("Card Setup Retrieved")});
    EXPECT_EQ(c.ui.statuses.value(3), (QStringList{QString(), QStringLiteral("SID Card Detected")}));
    for (const auto& t : c.line.log())
        EXPECT_FALSE(t.garbled);
    EXPECT_EQ(c.card.baud(), 9600);
}

TEST(SessionOverVirtualLine, getFromAnAvmCardMovesTo1200Baud)
{
    CardOptions options;
    options.kind = CardKind::Avm;
    Connection c(options);
    c.get();
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.outcomes, QList<bool>{true});
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
    int writeMs = 300; // how long the card writes its flash; the host waits 10 s for the report
};

void PrintTo(const FlashRow& row, std::ostream* os) { *os << "flash result " << int(row.result) << (row.writeMs >= 10000 ? ", too late" : ""); }

class SendOverVirtualLine : public ::testing::TestWithParam<FlashRow> {};

TEST_P(SendOverVirtualLine, deliversTheImageAndReportsTheFlashResult)
{
    CardOptions options;
    options.flashResult = GetParam().result;
    options.flashMs = GetParam().writeMs;
    Connection c(options);
    loadDefaults(c.held.fields);
    c.send();
    ASSERT_TRUE(c.run());
    ASSERT_FALSE(c.card.received().isEmpty());
    EXPECT_EQ(c.card.image(), encodeSidImage(defaultSetupValues()).image);
    EXPECT_TRUE(c.ui.messages.contains(QString::fromLatin1(GetParam().message))) << c.ui.messages.join(" | ").toStdString();
    EXPECT_EQ(c.outcomes, QList<bool>{GetParam().result == 0 && GetParam().writeMs < 10000});
}

INSTANTIATE_TEST_SUITE_P(Results, SendOverVirtualLine,
                         ::testing::Values(FlashRow{0, "Studio Transferred."},
                                           FlashRow{1, "Hardware Memory Error. Error 01."},
                                           FlashRow{2, "Error writing Studio to flash. Error 02."},
                                           FlashRow{3, "Error Closing Studio Error 03."},
                                           FlashRow{0, "The card did not confirm writing the set-up to its flash memory.", 30000}));

TEST(SessionOverVirtualLine, anAvmSendAt1200BaudNeedsNoRetransmissionAndEndsWithASynHeardAt1200)
{
    for (bool implicitAck : {false, true}) {
        CardOptions options;
        options.kind = CardKind::Avm;
        options.paceAtLineRate = true;
        options.implicitAck = implicitAck;
        Connection c(options);
        c.held.setupImage = defaultCardImage(CardKind::Avm);
        c.held.loadedCardType = CardType::AVM;
        c.send();
        ASSERT_TRUE(c.run()) << implicitAck;
        EXPECT_EQ(c.outcomes, QList<bool>{true}) << c.ui.messages.join(" | ").toStdString();
        EXPECT_EQ(c.ui.messages, (QStringList{QStringLiteral("Studio Transferred."), QStringLiteral("Card Setup Sent!")}));
        EXPECT_TRUE(c.panel2().filter(QStringLiteral("Resend")).isEmpty()) << c.panel2().join(" | ").toStdString();
        EXPECT_EQ(c.card.received().count(defaultCardImage(CardKind::Avm)), 1);
        c.clock.advance(100);
        const auto& last = c.line.log().last();
        EXPECT_TRUE(last.fromHost && last.bytes == QByteArray(1, '\x16') && last.baud == 1200 && !last.garbled);
    }
}

TEST(SessionOverVirtualLine, recoversFromNacksAndABadCrc)
{
    CardOptions options;
    options.faults.nackNext = 3;
    options.faults.corruptCrcNext = 1;
    Connection c(options);
    c.logFrames();
    c.get();
    ASSERT_TRUE(c.run());
    // Each NACK, retransmission and bad CRC is marked in the frame log.
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("<- 82 .*Nack.*CRC good$"))).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QStringLiteral(" -- NACK received")).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("-> 02 C2 .*\\| resent \\| CRC good$"))).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QStringLiteral(" -- RETRANSMISSION, retry count ")).size(), 3);
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("<- C2 .*CRC bad$"))).size(), 1);
    EXPECT_EQ(c.frameLines.filter(QRegularExpression(QStringLiteral("-> 02 82 .*Nack"))).size(), 1);
    EXPECT_EQ(c.outcomes, QList<bool>{true});
    EXPECT_EQ(c.card.nacksSent(), 3);
    EXPECT_EQ(c.card.retransmissions(), 1) << "the image sent again after the host's NACK";
    EXPECT_EQ(c.held.setupImage, defaultCardImage(CardKind::Sid));
}

TEST(SessionOverVirtualLine, slowAcknowledgementsMakeTheHostResendButTheTransferSucceeds)
{
    CardOptions options;
    options.faults.ackDelayMs = 150; // past the host's 100 ms
    Connection c(options);
    c.logFrames();
    c.get();
    ASSERT_TRUE(c.run());
    const QStringList timeouts = c.frameLines.filter(QStringLiteral(" -- TIMEOUT, no acknowledgement"));
    EXPECT_FALSE(timeouts.isEmpty());
    EXPECT_EQ(c.frameLines.filter(QStringLiteral(" -- RETRANSMISSION, retry count 0")).size(), timeouts.size());
    EXPECT_EQ(c.outcomes, QList<bool>{true});
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
    c.get();
    ASSERT_TRUE(c.run(60000)) << GetParam().name;
    EXPECT_EQ(c.outcomes, QList<bool>{false});
    if (*GetParam().message) {
        // A message's first line; what lies behind it follows on the next.
        EXPECT_TRUE(c.ui.messages.join('\n').split('\n').contains(QString::fromLatin1(GetParam().message)))
            << c.ui.messages.join(" | ").toStdString();
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
TEST(SessionOverVirtualLine, aCardThatStoresDifferentlyGivesBackTheChangedImageAndItsSerial)
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
        c.send();
        ASSERT_TRUE(c.run());
        EXPECT_EQ(c.card.received().last(), sent);
        EXPECT_EQ(c.link.state().cardSerial, options.serialNumber) << "kept after the connection ended";

        c.outcomes.clear();
        c.clock.advance(2000);
        c.get();
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

TEST(SessionOverVirtualLine, servesOneConnectionAfterAnother)
{
    Connection c;
    c.get();
    ASSERT_TRUE(c.run());
    c.outcomes.clear();
    c.clock.advance(2000);
    c.send();
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.outcomes, QList<bool>{true});
    EXPECT_EQ(c.card.identifications(), 2);
}

// Two cards on two lines, a session each, on one clock: a Get on a SID card starts while a Send
// to an AVM card is under way (its link at 1200 baud). Each ends with its own outcome, set-up,
// messages, trace file and counters; nothing of one reaches the other.
TEST(TwoSessions, runAtOnceEachOnItsOwn)
{
    QTemporaryDir dir;
    VirtualClock clock;
    CardOptions sidOptions, avmOptions;
    sidOptions.image = defaultCardImage(CardKind::Sid);
    sidOptions.image[3] = 7; // another audio level
    avmOptions.kind = CardKind::Avm;
    avmOptions.serialNumber = QByteArray::fromHex("0102030405");
    SimulatedCard sidCard(clock, sidOptions), avmCard(clock, avmOptions);
    VirtualSerialLine sidLine(clock, sidCard), avmLine(clock, avmCard);
    FixedPort ports(1);
    HeldSetup sidHeld, avmHeld;
    loadDefaults(sidHeld.fields);
    loadDefaults(avmHeld.fields);
    QByteArray toSend = defaultCardImage(CardKind::Avm);
    toSend[50] = 0x42;
    avmHeld.setupImage = toSend;
    avmHeld.loadedCardType = CardType::AVM;
    test::OperatorRecorder sidUi, avmUi;
    SettingsStore settings(dir.filePath("Quillon.conf"));
    CardSession getting(sidLine, ports, sidHeld, sidUi, settings, &clock);
    CardSession sending(avmLine, ports, avmHeld, avmUi, settings, &clock);
    getting.trace().setPath(dir.filePath("get.bin"));
    sending.trace().setPath(dir.filePath("send.bin"));
    sending.presenter().fileName = [] { return QStringLiteral("Studio"); };
    std::optional<OperationResult> got, sent;
    QObject::connect(&getting.operation(), &CardOperation::finished, [&](const OperationResult& r) { got = r; });
    QObject::connect(&sending.operation(), &CardOperation::finished, [&](const OperationResult& r) { sent = r; });
    sidCard.start();
    avmCard.start();
    clock.advance(700);

    sending.operation().send(noSafetyNet());
    ASSERT_TRUE(clock.advanceUntil([&] { return avmLine.hostBaud() == 1200; }, 10000));
    getting.operation().get(noSafetyNet());
    ASSERT_TRUE(clock.advanceUntil([&] { return got && sent && !getting.busy() && !sending.busy(); }, 30000, 5));

    EXPECT_TRUE(got->succeeded);
    EXPECT_TRUE(sent->succeeded && sent->sent);
    EXPECT_EQ(sidHeld.setupImage, sidOptions.image);
    EXPECT_EQ(sidHeld.fields.values().choice(Field::PeakLevel), 7);
    EXPECT_EQ(avmHeld.setupImage, toSend);
    EXPECT_EQ(avmCard.image(), toSend);
    EXPECT_EQ(sidCard.image(), sidOptions.image) << "nothing was sent to the card read";
    EXPECT_EQ(sidUi.messages, QStringList{"Card Setup Retrieved"});
    EXPECT_EQ(avmUi.messages, (QStringList{"Studio Transferred.", "Card Setup Sent!"}));
    EXPECT_EQ(sidUi.statuses.value(3).last(), "SID Card Detected");
    EXPECT_EQ(avmUi.statuses.value(3).last(), "AVM Card Detected");
    EXPECT_EQ(getting.link().state().cardSerial, sidOptions.serialNumber);
    EXPECT_EQ(sending.link().state().cardSerial, avmOptions.serialNumber);
    // Each trace holds its own connection alone.
    const QByteArray getTrace = testsupport::readFile(dir.filePath("get.bin"));
    const QByteArray sendTrace = testsupport::readFile(dir.filePath("send.bin"));
    EXPECT_FALSE(getTrace.contains("Sent ReqCurSetup"));
    EXPECT_TRUE(sendTrace.contains("Sent ReqCurSetup Start"));
    EXPECT_TRUE(getTrace.endsWith(QByteArray("\x07\0", 2))) << "ended by the set-up";
    EXPECT_TRUE(sendTrace.endsWith(QByteArray("\x01\0", 2))) << "ended by the flash result";
    // And each session counted its own frames: the Send's carried the bigger image.
    EXPECT_GT(getting.counters().framesSent, 5);
    EXPECT_GT(sending.counters().framesSent, getting.counters().framesSent);
    EXPECT_EQ(getting.counters().retransmissions + sending.counters().retransmissions, 0);
    EXPECT_EQ(sidLine.hostBaud(), 9600);
}

} // namespace
