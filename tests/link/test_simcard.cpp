// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated card's side of the protocol, driven by a host scripted by hand on virtual time.

#include "link/framecodec.h"
#include "support/virtualclock.h"
#include "linemeter.h"
#include "simulatedcard.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::sim;

namespace {

const QByteArray Syn(1, '\x16');
const QByteArray AckByteOnly(1, '\x06');

// The unstuffed packets (control byte first) and lone bytes in a stretch of card output.
QList<QByteArray> packetsIn(const QByteArray& bytes)
{
    QList<QByteArray> out;
    QByteArray frame;
    bool inFrame = false;
    for (char c : bytes) {
        if (c == char(STX)) {
            inFrame = true;
            frame.clear();
        } else if (c == char(ETX) && inFrame) {
            inFrame = false;
            out << unstuff(frame).value_or(QByteArray("?"));
        } else if (inFrame) {
            frame.append(c);
        } else {
            out << QByteArray(1, c);
        }
    }
    return out;
}

bool isAck(const QByteArray& p) { return p.size() == 5 && quint8(p[0]) == 0x42 && crcMatches(p); }
bool isNack(const QByteArray& p) { return p.size() == 5 && quint8(p[0]) == 0x82 && crcMatches(p); }
bool isData(const QByteArray& p) { return p.size() > 5 && quint8(p[0]) == 0xC2; }
QByteArray payloadOf(const QByteArray& p) { return p.mid(3, p.size() - 5); }

// The host's side, written out by hand.
struct Host {
    explicit Host(CardOptions options = {}) : card(clock, std::move(options))
    {
        card.onSend = [this](const QByteArray& bytes) { fromCard += bytes; };
    }

    QList<QByteArray> take() { return packetsIn(std::exchange(fromCard, {})); }
    void send(const QByteArray& bytes)
    {
        card.receive(bytes);
        clock.runDue();
    }
    // A new host data packet, echoing the card's last sequence bit.
    QByteArray data(const QByteArray& payload)
    {
        seq ^= 1;
        return buildFrame(CheckMode::Bits16, true, PacketKind::Data, cardSeq, seq, payload);
    }
    QByteArray again(const QByteArray& payload) const
    {
        return buildFrame(CheckMode::Bits16, true, PacketKind::Data, cardSeq, seq, payload);
    }
    static QByteArray ack(quint8 s) { return buildFrame(CheckMode::Bits16, true, PacketKind::Ack, s, 0, {}); }

    // Acknowledges the card's data packet and returns its payload.
    QByteArray accept(const QByteArray& packet)
    {
        EXPECT_TRUE(isData(packet) && crcMatches(packet)) << packet.toHex().constData();
        cardSeq = quint8(packet[2]);
        send(ack(cardSeq));
        return payloadOf(packet);
    }

    // Runs the link set-up and identification as the program does it; returns the
    // application id payload.
    QByteArray identify()
    {
        card.start();
        clock.runDue();
        EXPECT_EQ(take(), QList<QByteArray>{Syn});
        send(AckByteOnly);
        EXPECT_EQ(take().size(), 1); // LinkSetup
        send(data(QByteArray::fromHex("000606")));
        auto answer = take(); // ACK, serial number
        EXPECT_EQ(answer.size(), 2);
        EXPECT_EQ(accept(answer.value(1)).left(1), QByteArray::fromHex("02"));
        send(data(QByteArray::fromHex("020a0b0c0d0e")));
        answer = take(); // ACK, command 3
        EXPECT_EQ(answer.size(), 2);
        EXPECT_EQ(accept(answer.value(1)), QByteArray::fromHex("03"));
        send(data(QByteArray::fromHex("044d45524c414e00000000")));
        EXPECT_EQ(take().size(), 1); // ACK
        send(data(QByteArray::fromHex("03")));
        answer = take(); // ACK, application id
        EXPECT_EQ(answer.size(), 2);
        return accept(answer.value(1));
    }

    VirtualClock clock;
    SimulatedCard card;
    QByteArray fromCard;
    quint8 seq = 1; // the host's sequence bit after a link reset
    quint8 cardSeq = 0;
};

TEST(SimulatedCard, sendsSynEveryHalfSecondUntilTheHostAnswers)
{
    Host host;
    host.card.start();
    host.clock.runDue();
    EXPECT_EQ(host.take(), QList<QByteArray>{Syn});
    host.clock.advance(499);
    EXPECT_TRUE(host.take().isEmpty());
    host.clock.advance(1);
    EXPECT_EQ(host.take(), QList<QByteArray>{Syn});

    host.send(AckByteOnly);
    EXPECT_EQ(host.fromCard, buildFrame(CheckMode::Bits16, true, PacketKind::Data, 0, 0, QByteArray::fromHex("000606")));
    EXPECT_EQ(host.card.phase(), CardPhase::LinkSetup);
    host.take();
    host.clock.advance(900);
    EXPECT_TRUE(host.take().isEmpty()) << "no SYN while the link is being set up";
    host.clock.advance(700); // no answer to LinkSetup: the card starts over
    EXPECT_EQ(host.card.phase(), CardPhase::Syncing);
    EXPECT_TRUE(host.take().contains(Syn));
}

class Identification : public ::testing::TestWithParam<std::pair<CardKind, char>> {};

TEST_P(Identification, endsWithTheApplicationIdNamingTheCardType)
{
    CardOptions options;
    options.kind = GetParam().first;
    Host host(options);
    const QByteArray appId = host.identify();
    ASSERT_EQ(appId.size(), 11);
    EXPECT_EQ(appId.left(5), QByteArray("\x04KX40"));
    // byte 8 of the packet, counted from the control byte
    EXPECT_EQ(appId[5], GetParam().second);
    EXPECT_EQ(appId.mid(6), QByteArray(5, '\0'));
    EXPECT_EQ(host.card.phase(), CardPhase::Ready);
    EXPECT_EQ(host.card.identifications(), 1);
    EXPECT_EQ(host.card.baud(), 9600);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Identification,
                         ::testing::Values(std::pair{CardKind::Sid, 'S'}, std::pair{CardKind::Avm, 'A'}));

TEST(SimulatedCard, acknowledgesEachHostPacketWithItsSequenceBitAndEchoesItInData)
{
    Host host;
    host.identify();
    for (int round = 0; round < 3; ++round) {
        host.send(host.data(QByteArray::fromHex("16")));
        const auto answer = host.take();
        ASSERT_EQ(answer.size(), 2);
        EXPECT_TRUE(isAck(answer[0]));
        EXPECT_EQ(quint8(answer[0][1]), host.seq);
        ASSERT_TRUE(isData(answer[1]));
        EXPECT_EQ(quint8(answer[1][1]), host.seq) << "echo of the host's bit";
        EXPECT_NE(quint8(answer[1][2]), host.cardSeq) << "a new packet toggles the card's bit";
        EXPECT_EQ(host.accept(answer[1]), QByteArray::fromHex("1700"));
    }
}

TEST(SimulatedCard, getRequestIsAnsweredWithTheSetupImage)
{
    for (CardKind kind : {CardKind::Sid, CardKind::Avm}) {
        CardOptions options;
        options.kind = kind;
        Host host(options);
        host.identify();
        host.send(host.data(QByteArray::fromHex("1500")));
        const auto answer = host.take();
        ASSERT_EQ(answer.size(), 2);
        EXPECT_TRUE(isAck(answer[0]));
        const QByteArray image = host.accept(answer[1]);
        EXPECT_EQ(image, defaultCardImage(kind));
        EXPECT_EQ(image.size(), kind == CardKind::Sid ? 89 : 120);
        EXPECT_EQ(image[0], char(24));
        EXPECT_EQ(image[1], char(kind == CardKind::Sid ? 0 : 1));
    }
}

TEST(SimulatedCard, receivedImageIsAcknowledgedByTheFlashResultAndKept)
{
    CardOptions options;
    options.flashResult = 2;
    options.implicitAck = true;
    Host host(options);
    QByteArray saved;
    host.card.onImageReceived = [&](const QByteArray& image) { saved = image; };
    host.identify();

    QByteArray image = defaultCardImage(CardKind::Sid);
    image[40] = 0x16;
    host.send(host.data(image));
    auto answer = host.take();
    ASSERT_EQ(answer.size(), 1) << "no ACK before the flash result";
    ASSERT_TRUE(isData(answer[0]));
    EXPECT_EQ(quint8(answer[0][1]), host.seq) << "echoes the image's bit";
    EXPECT_EQ(host.accept(answer[0]), QByteArray::fromHex("1902"));
    EXPECT_EQ(saved, image);

    host.send(host.data(QByteArray::fromHex("1500")));
    answer = host.take();
    ASSERT_EQ(answer.size(), 2);
    EXPECT_EQ(host.accept(answer[1]), image) << "a Get after a Send gives the image back";
}

TEST(SimulatedCard, canAcknowledgeAnImageBeforeTheFlashResult)
{
    CardOptions options;
    options.flashMs = 300;
    Host host(options);
    host.identify();
    host.send(host.data(defaultCardImage(CardKind::Sid)));
    auto answer = host.take();
    ASSERT_EQ(answer.size(), 1);
    EXPECT_TRUE(isAck(answer[0]));
    host.clock.advance(299);
    EXPECT_TRUE(host.take().isEmpty()) << "still writing its flash";
    host.clock.advance(1);
    answer = host.take();
    ASSERT_EQ(answer.size(), 1);
    EXPECT_EQ(host.accept(answer[0]), QByteArray::fromHex("1900"));
}

TEST(SimulatedCard, anAvmCardReportsTheVersionItIsToldOrItsImagesAtLeastOne)
{
    struct Row {
        int version;
        quint8 imageVersion;
        quint8 reported;
    };
    for (const Row& row : {Row{-1, 0, 1}, Row{-1, 3, 3}, Row{7, 3, 7}, Row{0, 3, 0}}) {
        CardOptions options;
        options.kind = CardKind::Avm;
        options.version = row.version;
        options.image = defaultCardImage(CardKind::Avm);
        options.image[1] = char(row.imageVersion);
        Host host(options);
        host.identify();
        host.send(host.data(QByteArray::fromHex("16")));
        const auto answer = host.take();
        ASSERT_EQ(answer.size(), 2);
        EXPECT_EQ(host.accept(answer[1]), QByteArray::fromHex("17") + QByteArray(1, char(row.reported)))
            << row.version << " " << int(row.imageVersion);
    }
}

TEST(SimulatedCard, baudChangeIsAcknowledgedAtTheOldSpeedAndASynGoesBackToTheStart)
{
    CardOptions options;
    options.kind = CardKind::Avm;
    Host host(options);
    host.identify();
    QList<int> speeds;
    int bytesBeforeChange = -1;
    host.card.onBaudChanged = [&](int baud) {
        speeds << baud;
        bytesBeforeChange = int(host.fromCard.size());
    };
    host.send(host.data(QByteArray::fromHex("1904b0")));
    EXPECT_EQ(speeds, QList<int>{1200});
    EXPECT_EQ(bytesBeforeChange, 7) << "the ACK left before the change";
    EXPECT_TRUE(isAck(host.take().value(0)));

    host.send(Syn);
    EXPECT_EQ(speeds, (QList<int>{1200, 9600}));
    EXPECT_EQ(host.card.phase(), CardPhase::Syncing);
    host.clock.advance(500);
    EXPECT_EQ(host.take(), QList<QByteArray>{Syn});
}

TEST(SimulatedCard, unacknowledgedDataIsSentAgainWithTheSameBitThenAbandoned)
{
    CardOptions options;
    options.maxRetransmits = 2;
    Host host(options);
    host.identify();
    host.send(host.data(QByteArray::fromHex("1500")));
    const QByteArray first = host.take().value(1);
    ASSERT_TRUE(isData(first));
    host.clock.advance(250);
    EXPECT_TRUE(host.take().isEmpty());
    host.clock.advance(200);
    EXPECT_EQ(host.take(), QList<QByteArray>{first});
    EXPECT_EQ(host.card.retransmissions(), 1);

    host.send(buildFrame(CheckMode::Bits16, true, PacketKind::Nack, quint8(first[2]), 0, {}));
    EXPECT_EQ(host.take(), QList<QByteArray>{first}) << "a NACK is answered at once";

    host.clock.advance(1000); // retries used up: the card starts over
    EXPECT_EQ(host.card.phase(), CardPhase::Syncing);
}

TEST(SimulatedCard, badCrcIsRefusedAndARepeatIsAcknowledgedButServedOnce)
{
    Host host;
    host.identify();
    QByteArray spoiled = host.data(QByteArray::fromHex("1500"));
    spoiled[spoiled.size() - 2] = char(spoiled[spoiled.size() - 2] ^ 0x01);
    host.send(spoiled);
    auto answer = host.take();
    ASSERT_EQ(answer.size(), 1);
    EXPECT_TRUE(isNack(answer[0]));
    EXPECT_EQ(quint8(answer[0][1]), host.seq);

    host.send(host.again(QByteArray::fromHex("1500")));
    answer = host.take();
    ASSERT_EQ(answer.size(), 2);
    host.send(host.again(QByteArray::fromHex("1500"))); // our ACK "was lost"
    const auto repeat = host.take();
    ASSERT_EQ(repeat.size(), 1);
    EXPECT_TRUE(isAck(repeat[0]));
    EXPECT_EQ(host.card.received().count(QByteArray::fromHex("1500")), 1);
}

TEST(SimulatedCard, faultsAreArmedOnceTheCardHasIdentifiedItself)
{
    CardOptions options;
    options.faults.nackNext = 2;
    Host host(options);
    host.identify(); // would have failed its expectations with NACKs
    const QByteArray get = QByteArray::fromHex("1500");
    host.send(host.data(get));
    for (int i = 0; i < 2; ++i) {
        const auto answer = host.take();
        ASSERT_EQ(answer.size(), 1);
        EXPECT_TRUE(isNack(answer[0]));
        host.send(host.again(get)); // the host resends with the same bit
    }
    const auto answer = host.take();
    ASSERT_EQ(answer.size(), 2);
    EXPECT_TRUE(isAck(answer[0]));
    EXPECT_EQ(host.card.nacksSent(), 2);
}

TEST(SimulatedCard, faultsFromTheStartActOnTheLinkSetUp)
{
    CardOptions options;
    options.faultsFromStart = true;
    options.faults.nackNext = 1;
    Host host(options);
    host.card.start();
    host.clock.runDue();
    host.send(AckByteOnly);
    host.take();
    host.send(host.data(QByteArray::fromHex("000606")));
    const auto answer = host.take();
    ASSERT_EQ(answer.size(), 1);
    EXPECT_TRUE(isNack(answer[0]));
}

struct FaultRow {
    const char* name;
    CardFaults faults;
    int acks;        // ACK frames in the answer
    int nacks;
    bool served;     // the image arrives
    bool badCrc;     // the image's CRC is wrong
    int afterMs;     // when the answer comes
};

void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }

class Faults : public ::testing::TestWithParam<FaultRow> {};

TEST_P(Faults, shapeTheAnswerToAGetRequest)
{
    const FaultRow& row = GetParam();
    Host host;
    host.identify();
    host.card.faults() = row.faults;
    host.send(host.data(QByteArray::fromHex("1500")));
    if (row.afterMs > 0) {
        host.clock.advance(row.afterMs - 1);
        EXPECT_TRUE(host.fromCard.isEmpty()) << row.name;
        host.clock.advance(1);
    }
    const auto answer = host.take();
    EXPECT_EQ(std::count_if(answer.begin(), answer.end(), isAck), row.acks) << row.name;
    EXPECT_EQ(std::count_if(answer.begin(), answer.end(), isNack), row.nacks) << row.name;
    const auto data = std::find_if(answer.begin(), answer.end(), isData);
    EXPECT_EQ(data != answer.end(), row.served) << row.name;
    if (data != answer.end()) {
        EXPECT_EQ(!crcMatches(*data), row.badCrc) << row.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Faults,
    ::testing::Values(FaultRow{"none", {}, 1, 0, true, false, 0},
                      FaultRow{"nack", {1, 0, 0, 0, 0}, 0, 1, false, false, 0},
                      FaultRow{"ignore", {0, 1, 0, 0, 0}, 0, 0, false, false, 0},
                      FaultRow{"drop ack", {0, 0, 1, 0, 0}, 0, 0, true, false, 0},
                      FaultRow{"delay", {0, 0, 0, 80, 0}, 1, 0, true, false, 80},
                      FaultRow{"bad crc", {0, 0, 0, 0, 1}, 1, 0, true, true, 0}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(SimulatedCard, synAfterIdentificationAnswersTheFirstRequestWithASyn)
{
    CardOptions options;
    options.synAfterIdentification = true;
    Host host(options);
    host.identify();
    host.send(host.data(QByteArray::fromHex("1500")));
    const auto answer = host.take();
    ASSERT_EQ(answer.size(), 2);
    EXPECT_TRUE(isAck(answer[0]));
    EXPECT_EQ(answer[1], Syn);
    EXPECT_EQ(host.card.phase(), CardPhase::Syncing);
}

TEST(SimulatedCard, silentCardAndUnknownDevice)
{
    CardOptions silent;
    silent.silent = true;
    Host quiet(silent);
    quiet.card.start();
    quiet.clock.advance(5000);
    quiet.send(AckByteOnly + Syn);
    EXPECT_TRUE(quiet.fromCard.isEmpty());

    CardOptions modem;
    modem.unknownDevice = true;
    Host other(modem);
    other.card.start();
    other.clock.advance(500);
    other.send(AckByteOnly);
    EXPECT_EQ(other.fromCard, QByteArray("OK\rOK\r"));
}

TEST(SimulatedCard, pacedOutputLeavesAtTheLineRate)
{
    CardOptions options;
    options.paceAtLineRate = true;
    Host host(options);
    QList<qint64> times;
    host.card.onSend = [&](const QByteArray& bytes) {
        for (int i = 0; i < bytes.size(); ++i)
            times << host.clock.nowMs();
        host.fromCard += bytes;
    };
    host.card.start();
    host.clock.advance(20);
    host.send(AckByteOnly);
    host.clock.advance(100);
    ASSERT_EQ(host.take().size(), 2); // SYN, LinkSetup
    ASSERT_EQ(times.size(), 1 + 12);
    // 12 frame bytes of 11 bits at 9600 baud take 13.75 ms
    EXPECT_GE(times.last() - times[1], 12);
    EXPECT_LE(times.last() - times[1], 15);
}

TEST(SimulatedCard, startsOverWhenTheHostFallsSilentInAConnection)
{
    Host host;
    host.identify();
    host.clock.advance(11000);
    EXPECT_EQ(host.card.phase(), CardPhase::Ready);
    host.send(host.data(QByteArray::fromHex("020a0b0c0d0e"))); // keep-alive
    host.clock.advance(11000);
    EXPECT_EQ(host.card.phase(), CardPhase::Ready);
    host.clock.advance(1500);
    EXPECT_EQ(host.card.phase(), CardPhase::Syncing);
}

} // namespace

// The benchmark takes the card's wait before calling off a Send's wall time: a wait counted
// where the host was slow would flatter the host.
struct CallRow {
    const char* name;
    QList<double> callsAfterReset; // the card's SYNs, ms after the host's closing SYN
    QString reported;              // empty: nothing is the card's
};

class CardWait : public ::testing::TestWithParam<CallRow> {};

TEST_P(CardWait, isReportedOnlyWhenTheHostAnsweredTheFirstCallAfterItsSyn)
{
    LineMeter meter;
    QStringList lines;
    meter.onReport = [&](const QString& line) { lines << line; };
    meter.hostByte(AckByte, 9600, 0);  // a connection ...
    meter.hostByte(SYN, 9600, 100);    // ... ends with the host's SYN at 100 ms
    for (double call : GetParam().callsAfterReset)
        meter.cardCalled(100 + call);
    meter.hostByte(AckByte, 9600, 100 + GetParam().callsAfterReset.last() + 2);
    const QStringList waits = lines.filter(QStringLiteral("card waited:"));
    EXPECT_EQ(waits.value(0), GetParam().reported);
    EXPECT_LE(waits.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, CardWait,
    ::testing::Values(CallRow{"first_call_answered", {500}, "card waited: 500.0 ms after the host's SYN before calling"},
                      CallRow{"host_missed_a_call", {500, 1000}, QString()}),
    [](const auto& info) { return std::string(info.param.name); });
