// SPDX-License-Identifier: GPL-3.0-or-later
// The network serial control against a real serial server: ser2net in front of a
// pseudo-terminal whose master side the test plays, the line deliberately at 19200 baud, 8N1.

#include "netfixture.h"

#include "link/netprobe.h"
#include "link/netserialcontrol.h"
#include "app/core/portmanager.h"
#include "link/routedserialcontrol.h"
#include "app/core/settingsstore.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace nettest;
using namespace quillon;

namespace {

class NetPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Ser2net::program().isEmpty()) << "ser2net is not installed: bash scripts/deps.sh installs it";
        ASSERT_TRUE(line.ok());
        port.onComm = [this](int event) { events.push_back(event); };
    }

    // ser2net with these accepters, each in front of the test's line (or the first in front of
    // it and the second in front of line2); the ports they got.
    void startServer(const QStringList& accepters, bool linesOfTheirOwn = false)
    {
        for (const QString& accepter : accepters)
            connections.push_back({accepter, linesOfTheirOwn && !connections.empty() ? line2.slave : line.slave});
        ASSERT_TRUE(server.start(connections)) << server.output().toStdString();
    }
    QString name(const char* scheme, int connection = 0) const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme), QString::number(connections.at(connection).port));
    }
    // Opens the port and waits for the opening to end; true when the line is ready.
    bool open(const QString& portName, int limitMs = 8000)
    {
        port.setName(portName);
        events.clear();
        if (!port.setPortOpen(true))
            return false;
        EXPECT_TRUE(port.portOpen()) << "taken at once";
        EXPECT_TRUE(port.portOpening());
        waitFor([&] { return !port.portOpening() && opened(); }, limitMs);
        return port.portOpen() && !port.portOpening();
    }
    bool opened() const { return std::count(events.begin(), events.end(), int(SerialControl::OpeningEnded)) == 1; }
    QByteArray received(qsizetype count, int limitMs = 2000)
    {
        QByteArray seen;
        waitFor([&] {
            seen += port.input(4096);
            return seen.size() >= count;
        }, limitMs);
        return seen;
    }
    std::string why() const { return port.lastError().toStdString(); }

    TestLine line;
    TestLine line2;
    std::vector<Ser2net::Connection> connections;
    Ser2net server;
    NetSerialControl port;
    std::vector<int> events;
};

TEST_F(NetPort, rfc2217OpeningSetsTheLineAt9600With2StopBitsAndMeasuresTheRoundTrip)
{
    startServer({QStringLiteral("telnet(rfc2217)"), QString()});
    // Raw TCP leaves the line as the server's configuration has it.
    ASSERT_TRUE(open(name("socket", 1))) << why();
    {
        const termios tio = line.settings();
        EXPECT_EQ(cfgetospeed(&tio), speed_t(B19200));
        EXPECT_FALSE(tio.c_cflag & CSTOPB);
    }
    port.setPortOpen(false);

    port.setSettings(QStringLiteral("9600,n,8,2"));
    ASSERT_TRUE(open(name("rfc2217"))) << why();
    const termios tio = line.settings();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);

    const NetSerialControl::Findings found = port.findings();
    ASSERT_TRUE(found.confirmed.has_value());
    EXPECT_EQ(*found.confirmed, (LineSettings{9600, 'n', 8, 2}));
    // ser2net 4.3 (Debian 12) names itself; 4.6 (Debian 13) leaves the signature unanswered.
    EXPECT_TRUE(found.signature.isEmpty() || found.signature.startsWith(QStringLiteral("ser2net")))
        << found.signature.toStdString();
    EXPECT_GE(found.answerTimesMs.size(), 6u); // signature, five settings, purge
    EXPECT_GT(port.roundTripMs(), 0.0);
    EXPECT_LT(port.roundTripMs(), 2000.0);
    EXPECT_TRUE(port.settingsRefusal(QStringLiteral("1200,n,8,2")).isEmpty()) << "RFC 2217 can change the speed";
}

// The probe's report: the round trip as measured, and a warning only where the card's own timers
// would be outrun.
TEST_F(NetPort, theProbeWarnsOfARoundTripAboveTheCleanLimit)
{
    startServer({QStringLiteral("telnet(rfc2217)")});
    ASSERT_TRUE(open(name("rfc2217"))) << why();
    const QStringList near = probeReport(name("rfc2217"), port);
    EXPECT_EQ(near.filter(QStringLiteral("round trip:")).size(), 1) << near.join('\n').toStdString();
    EXPECT_TRUE(near.filter(QStringLiteral("warning:")).isEmpty()) << near.join('\n').toStdString();
    port.setPortOpen(false);

    DelayRelay far(connections[0].port, 110);
    const QString farName = QStringLiteral("rfc2217://127.0.0.1:%1").arg(far.port());
    ASSERT_TRUE(open(farName)) << why();
    EXPECT_GT(port.roundTripMs(), 220.0);
    const QStringList report = probeReport(farName, port);
    EXPECT_EQ(report.filter(QStringLiteral("above the 200 ms up to which transfers run clean")).size(), 1)
        << report.join('\n').toStdString();
    EXPECT_EQ(report.last(), QStringLiteral("Nothing was sent to the card."));
}

TEST_F(NetPort, bytesGoBothWaysUnchangedIncluding0xFF)
{
    startServer({QStringLiteral("telnet(rfc2217)")});
    port.setName(name("rfc2217"));
    ASSERT_TRUE(port.setPortOpen(true));
    port.output(QByteArray::fromHex("16")); // written while opening: held until the line is ready
    EXPECT_EQ(port.outBufferCount(), 1);
    ASSERT_TRUE(waitFor([&] { return !port.portOpening(); }, 5000));
    ASSERT_TRUE(port.portOpen()) << why();
    EXPECT_EQ(line.read(1), QByteArray::fromHex("16"));

    const QByteArray toCard = QByteArray::fromHex("02ff10ffff03fffe");
    port.output(toCard);
    EXPECT_EQ(line.read(toCard.size()), toCard);
    const QByteArray fromCard = QByteArray::fromHex("ff16fffffb2c02");
    line.send(fromCard);
    EXPECT_EQ(received(fromCard.size()), fromCard);
    EXPECT_TRUE(waitFor([&] { return std::count(events.begin(), events.end(), int(SerialControl::DataReceived)) >= 1; }));
    EXPECT_EQ(port.inBufferCount(), 0);
}

TEST_F(NetPort, theSpeedChangeReachesTheLineOnlyAfterWhatWasWrittenHadItsLineTime)
{
    startServer({QStringLiteral("telnet(rfc2217)")});
    ASSERT_TRUE(open(name("rfc2217"))) << why();
    port.output(QByteArray(20, 'x')); // 23 ms at 9600 baud
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 sentAfter = -1;
    port.whenSent([&] {
        sentAfter = elapsed.elapsed();
        port.setSettings(QStringLiteral("1200,n,8,2"));
    });
    EXPECT_EQ(sentAfter, -1) << "never from inside the call";
    ASSERT_TRUE(waitFor([&] {
        const termios tio = line.settings();
        return cfgetospeed(&tio) == speed_t(B1200);
    }));
    EXPECT_GE(sentAfter, 22);
    ASSERT_TRUE(waitFor([&] { return port.findings().answerTimesMs.size() >= 8; })) << "the server confirmed it";
    EXPECT_FALSE(port.failure()) << why();
    EXPECT_EQ(port.findings().confirmed->baud, 1200);

    // A purge (a Cancel) is confirmed too, and the line goes on working.
    port.discardOutput();
    ASSERT_TRUE(waitFor([&] { return port.findings().answerTimesMs.size() >= 9; }));
    line.readAll();
    port.output("after");
    EXPECT_EQ(line.read(5), QByteArray("after"));
    EXPECT_TRUE(port.portOpen()) << why();
}

TEST_F(NetPort, closingLetsTheWrittenBytesLeaveAndTheServerTakesTheNextConnection)
{
    startServer({QStringLiteral("telnet(rfc2217)")});
    ASSERT_TRUE(open(name("rfc2217"))) << why();
    port.output(QByteArray::fromHex("16"));
    port.setPortOpen(false);
    EXPECT_FALSE(port.portOpen()) << "closed for the caller at once";
    EXPECT_EQ(line.read(1), QByteArray::fromHex("16"));
    // The next connection right away: it waits until the server has let the last one go.
    ASSERT_TRUE(open(name("rfc2217"))) << why();
    port.setPortOpen(false);
    ASSERT_TRUE(open(name("rfc2217"))) << why();
}

TEST_F(NetPort, rawTcpCarriesTheBytesAsTheyAreButCannotChangeTheSpeed)
{
    startServer({QString()});
    ASSERT_TRUE(open(name("socket"))) << why();
    const QByteArray bytes = QByteArray::fromHex("02ff03");
    port.output(bytes);
    EXPECT_EQ(line.read(bytes.size()), bytes);
    line.send(bytes);
    EXPECT_EQ(received(bytes.size()), bytes);
    EXPECT_TRUE(port.settingsRefusal(QStringLiteral("9600,N,8,2")).isEmpty());
    const QString refusal = port.settingsRefusal(QStringLiteral("1200,n,8,2"));
    EXPECT_TRUE(refusal.contains(QStringLiteral("1200 baud"))) << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(name("rfc2217"))) << refusal.toStdString();
}

TEST_F(NetPort, eachComItemOpensWhatItsNameStandsForAndStartUpConnectsToNoServer)
{
    startServer({QStringLiteral("telnet(rfc2217)")});
    ScriptedServer untouched({});
    SettingsStore store;
    const QString ports = QStringLiteral("Ports");
    store.setValue(ports, QStringLiteral("Com1"), QStringLiteral("socket://127.0.0.1:%1").arg(untouched.port()));
    store.setValue(ports, QStringLiteral("Com2"), name("rfc2217"));
    store.setValue(ports, QStringLiteral("Com3"), line2.slave);
    store.setValue(ports, QStringLiteral("Com4"), QStringLiteral("rfc2217://rack3"));
    RoutedSerialControl routed(store);
    PortManager manager(routed, store);
    manager.start(); // opens and closes each port to see which can be used
    EXPECT_EQ(manager.discoverPorts(), QStringLiteral("123")) << "a network port counts as usable when its name is";
    waitFor([] { return false; }, 100);
    EXPECT_EQ(untouched.clients, 0) << "probing the ports reached a server";

    routed.setCommPort(2);
    ASSERT_TRUE(routed.setPortOpen(true));
    EXPECT_TRUE(routed.portOpening());
    ASSERT_TRUE(waitFor([&] { return !routed.portOpening(); }, 5000));
    ASSERT_TRUE(routed.portOpen()) << routed.lastError().toStdString();
    routed.output("x");
    EXPECT_EQ(line.read(1), QByteArray("x"));
    routed.setPortOpen(false);

    routed.setCommPort(3);
    ASSERT_TRUE(routed.setPortOpen(true));
    EXPECT_FALSE(routed.portOpening()) << "a device is ready at once";
    EXPECT_EQ(routed.device(), line2.slave);
    routed.setPortOpen(false);

    routed.setCommPort(4);
    EXPECT_FALSE(routed.setPortOpen(true));
    EXPECT_TRUE(routed.lastError().contains(QStringLiteral("port number is missing"))) << routed.lastError().toStdString();
    EXPECT_TRUE(routed.diagnose(4).contains(QStringLiteral("Next step"))) << routed.diagnose(4).toStdString();
}

// ---------------------------------------------------------------- failures, each with its words

struct FailureRow {
    const char* name;
    NetFailure::Kind kind;
    const char* words;  // in the summary
    const char* advice; // in the details
};

class NetPortFailure : public NetPort {
protected:
    // Opens, expects the opening to fail with this kind; returns how long it took.
    qint64 expectFailure(const QString& portName, const FailureRow& row)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_FALSE(open(portName)) << row.name;
        const qint64 took = elapsed.elapsed();
        EXPECT_EQ(port.failure().kind, row.kind) << row.name << ": " << why();
        EXPECT_FALSE(port.portOpen()) << row.name;
        EXPECT_TRUE(opened()) << row.name << ": the opening's end is told";
        EXPECT_TRUE(port.lastError().contains(QLatin1String(row.words))) << row.name << ": " << why();
        EXPECT_TRUE(port.lastError().startsWith(portName)) << row.name << ": names the server";
        EXPECT_TRUE(port.diagnose(1).contains(QLatin1String(row.advice))) << row.name << ": " << port.diagnose(1).toStdString();
        EXPECT_TRUE(port.diagnose(1).contains(QStringLiteral("Next step"))) << row.name;
        return took;
    }
};

TEST_F(NetPortFailure, thePortOfTheWrongKindIsNamedWithTheFix)
{
    startServer({QStringLiteral("telnet"), QString()}, true);
    const FailureRow plainTelnet{"plain Telnet", NetFailure::Kind::Rfc2217Refused, "does not agree to RFC 2217", "telnet(rfc2217)"};
    EXPECT_LT(expectFailure(name("rfc2217", 0), plainTelnet), NetSerialControl::AnswerLimitMs) << "a refusal is not waited out";
    const FailureRow raw{"raw TCP", NetFailure::Kind::Rfc2217Refused, "no answer to the RFC 2217 negotiation", "socket://"};
    const qint64 took = expectFailure(name("rfc2217", 1), raw);
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, NetSerialControl::AnswerLimitMs + 3000);
    const FailureRow telnetAsRaw{"Telnet as raw", NetFailure::Kind::SpeaksTelnet, "speaks Telnet", "rfc2217://"};
    expectFailure(name("socket", 0), telnetAsRaw);
}

TEST_F(NetPortFailure, aLineInUseByAnotherClientClosesAtOnceWithTheServersWords)
{
    startServer({QStringLiteral("telnet(rfc2217)"), QString()}, true);
    NetSerialControl first;
    for (int c : {0, 1}) {
        const char* scheme = c == 0 ? "rfc2217" : "socket";
        first.setName(name(scheme, c));
        ASSERT_TRUE(first.setPortOpen(true));
        ASSERT_TRUE(waitFor([&] { return !first.portOpening(); }, 5000));
        ASSERT_TRUE(first.portOpen()) << first.lastError().toStdString();
        const FailureRow inUse{scheme, NetFailure::Kind::ClosedAtOnce, "Port already in use", "another program"};
        expectFailure(name(scheme, c), inUse);
        first.setPortOpen(false);
    }
}

TEST_F(NetPortFailure, noServerNoNameNoAnswerAndABadName)
{
    const FailureRow refused{"refused", NetFailure::Kind::ConnectionRefused, "refused the connection", "is running"};
    expectFailure(QStringLiteral("rfc2217://127.0.0.1:%1").arg(freeTcpPort()), refused);
    const FailureRow unknown{"not found", NetFailure::Kind::NameNotFound, "no-such-server.invalid was not found", "IP address"};
    expectFailure(QStringLiteral("rfc2217://no-such-server.invalid:4001"), unknown);
    const SilentListener dropping;
    const FailureRow silent{"no answer", NetFailure::Kind::NoAnswer, "no answer", "firewall"};
    const qint64 took = expectFailure(QStringLiteral("socket://127.0.0.1:%1").arg(dropping.port), silent);
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, NetSerialControl::AnswerLimitMs + 3000);

    port.setName(QStringLiteral("rfc2217://rack3"));
    EXPECT_FALSE(port.setPortOpen(true)) << "a bad name fails at once";
    EXPECT_EQ(port.failure().kind, NetFailure::Kind::BadName);
    EXPECT_TRUE(port.lastError().contains(QStringLiteral("port number is missing"))) << why();
}

TEST_F(NetPortFailure, theServerGoingAwayClosesThePortAndWakesTheReader)
{
    startServer({QStringLiteral("telnet(rfc2217)")});
    ASSERT_TRUE(open(name("rfc2217"))) << why();
    events.clear();
    server.kill();
    ASSERT_TRUE(waitFor([&] { return !port.portOpen(); }, 3000));
    EXPECT_EQ(port.failure().kind, NetFailure::Kind::Dropped);
    ASSERT_TRUE(waitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events.back(), SerialControl::DataReceived);
    EXPECT_TRUE(port.lastError().contains(QStringLiteral("lost"))) << why();
    port.output("ignored"); // writing to a lost port does nothing
    EXPECT_EQ(port.outBufferCount(), 0);
}

// ---------------------------------------------------------------- a hostile server

TEST_F(NetPortFailure, aHostileServerGetsAClearErrorWithoutAHang)
{
    const QByteArray agree = QByteArray::fromHex("fffd00fffb00fffd2c"); // DO BINARY, WILL BINARY, DO COM-PORT
    struct Hostile {
        const char* name;
        QByteArray script, more;
        NetFailure::Kind kind;
        int connections = 1;
    };
    const Hostile rows[] = {
        {"nonsense command", agree + QByteArray::fromHex("ff05"), {}, NetFailure::Kind::Malformed},
        {"endless sub-negotiation", agree + QByteArray::fromHex("fffa2c65"), QByteArray(512, 'z'), NetFailure::Kind::Malformed},
        {"not Telnet at all", QByteArray::fromHex("ff01"), {}, NetFailure::Kind::Rfc2217Refused},
        {"endless options", {}, QByteArray::fromHex("fffb05fffc05"), NetFailure::Kind::Rfc2217Refused},
        {"flood", {}, QByteArray(64 * 1024, 'x'), NetFailure::Kind::Flood},
        {"silent after agreeing", agree, {}, NetFailure::Kind::NotConfirmed, 2}, // asked again once
        {"wrong speed", agree + QByteArray::fromHex("fffa2c6500004b00fff0"), {}, NetFailure::Kind::SettingRefused},
    };
    for (const Hostile& row : rows) {
        ScriptedServer hostile(row.script, row.more);
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_FALSE(open(QStringLiteral("rfc2217://127.0.0.1:%1").arg(hostile.port()))) << row.name;
        EXPECT_EQ(port.failure().kind, row.kind) << row.name << ": " << why();
        EXPECT_LT(elapsed.elapsed(), (NetSerialControl::AnswerLimitMs + 3000) * row.connections) << row.name;
        EXPECT_EQ(hostile.clients, row.connections) << row.name;
        EXPECT_EQ(port.inBufferCount(), 0) << row.name;
        port.setPortOpen(false);
    }
}

} // namespace
