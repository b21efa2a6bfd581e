// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli get and send through ser2net to the paced simulated card, over RFC 2217 and raw
// TCP, directly and through a relay that delays each direction; and how each failure of a
// server reads.

#include "netfixture.h"

#include "e2e/cardprocess.h"
#include "files/setupfiles.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace e2e;
using namespace nettest;
using namespace quillon;

namespace {

class NetTransfer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Ser2net::program().isEmpty()) << "ser2net is not installed: bash scripts/deps.sh installs it"; }

    // The card, and ser2net in front of it with an RFC 2217 and a raw TCP port, configured as
    // the manual advises.
    void start(QStringList cardOptions)
    {
        cardOptions << QStringLiteral("--save-image") << ws.path(QStringLiteral("flashed.bin"));
        ASSERT_TRUE(card.start(cardOptions)) << card.lines().join('\n').toStdString();
        connections = {{QStringLiteral("telnet(rfc2217)"), card.device, QStringLiteral("19200n81"), true},
                       {QString(), card.device, QStringLiteral("9600n82"), true}};
        ASSERT_TRUE(server.start(connections)) << server.output().toStdString();
    }
    QString rfc2217(quint16 port = 0) const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port ? port : connections[0].port); }
    QString raw() const { return QStringLiteral("socket://127.0.0.1:%1").arg(connections[1].port); }
    CliResult cli(QStringList args, const QString& port)
    {
        args << QStringLiteral("--port") << port << QStringLiteral("--stats");
        return runCli(ws, args);
    }
    // The retransmissions of each connection, from --stats.
    static QList<int> retransmissions(const CliResult& r)
    {
        static const QRegularExpression count(QStringLiteral("retransmissions (\\d+)"));
        QList<int> counts;
        for (auto it = count.globalMatch(r.out + r.err); it.hasNext();)
            counts << it.next().captured(1).toInt();
        return counts;
    }
    // The host's closing SYNs the card heard at this speed.
    int closingSyns(int baud) { return int(card.lines().count(QStringLiteral("SYN from the host at %1 baud").arg(baud))); }

    Workspace ws;
    SimulatedCardProcess card{ws};
    std::vector<Ser2net::Connection> connections;
    Ser2net server;
};

TEST_F(NetTransfer, sidCardGetAndDefaultSendOverRfc2217AndGetOverRawTcp)
{
    start({});
    const QString file = ws.path(QStringLiteral("Studio.kxd"));
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), file}, rfc2217());
    ASSERT_EQ(got.exitCode, 0) << got.err.toStdString();
    EXPECT_EQ(testsupport::readFile(file), setupText(defaultSetupValues()));

    const CliResult sent = cli({QStringLiteral("send"), file}, rfc2217());
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_TRUE(sent.out.contains(QStringLiteral("Card Setup Verified."))) << sent.out.toStdString();
    EXPECT_EQ(testsupport::readFile(ws.path(QStringLiteral("flashed.bin"))), encodeSidImage(defaultSetupValues()).image);

    const CliResult rawGot = cli({QStringLiteral("get"), QStringLiteral("-o"), file}, raw());
    ASSERT_EQ(rawGot.exitCode, 0) << rawGot.err.toStdString();
    EXPECT_EQ(retransmissions(got) + retransmissions(sent) + retransmissions(rawGot), QList<int>(5, 0));
    EXPECT_FALSE(card.lines().join('\n').contains(QStringLiteral("garbled")));
}

// Then over raw TCP, whose line stays at 9600 baud: refused once the card has identified
// itself, with nothing sent to it but the Ack of its application id and the closing SYN.
TEST_F(NetTransfer, avmCardGetAndDefaultSendSwitchTheServersLineTo1200AndBackAndRawTcpIsRefused)
{
    start({QStringLiteral("--card"), QStringLiteral("avm"), QStringLiteral("--verbose")});
    const QString file = ws.path(QStringLiteral("Card.kxm"));
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), file}, rfc2217());
    ASSERT_EQ(got.exitCode, 0) << got.err.toStdString();
    EXPECT_EQ(testsupport::readFile(file), sim::defaultCardImage(sim::CardKind::Avm));

    const CliResult sent = cli({QStringLiteral("send"), file}, rfc2217());
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_TRUE(sent.out.contains(QStringLiteral("Card Setup Verified."))) << sent.out.toStdString();
    EXPECT_EQ(testsupport::readFile(ws.path(QStringLiteral("flashed.bin"))), sim::defaultCardImage(sim::CardKind::Avm));
    // Each connection ends with the host's SYN heard clearly at 1200 baud: the server's line
    // was let go only after it had left.
    ASSERT_TRUE(waitFor([&] { return closingSyns(1200) == 4; }, 3000)) << card.lines().join('\n').toStdString();
    EXPECT_EQ(retransmissions(got) + retransmissions(sent), QList<int>(4, 0));
    EXPECT_FALSE(card.lines().join('\n').contains(QStringLiteral("garbled")));

    const qsizetype before = card.lines().size();
    const CliResult refused = cli({QStringLiteral("get"), QStringLiteral("-o"), ws.path(QStringLiteral("Raw.kxm"))}, raw());
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("AVM card"))) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(rfc2217(connections[1].port))) << "points to rfc2217:// " << refused.err.toStdString();
    ASSERT_TRUE(waitFor([&] { return closingSyns(9600) >= 1; }, 3000));
    const QStringList heard = card.lines().mid(before);
    const qsizetype identified = heard.lastIndexOf(QStringLiteral("identified to the host"));
    ASSERT_GE(identified, 0) << heard.join('\n').toStdString();
    EXPECT_EQ(heard.mid(identified).filter(QStringLiteral("<- ")), QStringList{QStringLiteral("kx40-sim: <- SYN: starting over")})
        << heard.join('\n').toStdString();
    EXPECT_TRUE(heard.filter(QStringLiteral("1200 baud")).isEmpty());
}

// 20 ms each way (QUILLON_RELAY_MS sets another delay, for measuring): no frame is sent again
// by either side, and the card hears the speed change only after the host's last byte at 9600.
TEST_F(NetTransfer, throughARelayOf20MsEachWayNothingIsSentAgain)
{
    start({QStringLiteral("--card"), QStringLiteral("avm")});
    const int delay = qEnvironmentVariableIsSet("QUILLON_RELAY_MS") ? qEnvironmentVariableIntValue("QUILLON_RELAY_MS") : 20;
    DelayRelay relay(connections[0].port, delay);
    const QString file = ws.path(QStringLiteral("Card.kxm"));
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), file}, rfc2217(relay.port()));
    ASSERT_EQ(got.exitCode, 0) << got.err.toStdString();
    const CliResult sent = cli({QStringLiteral("send"), file}, rfc2217(relay.port()));
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_EQ(testsupport::readFile(ws.path(QStringLiteral("flashed.bin"))), sim::defaultCardImage(sim::CardKind::Avm));
    ASSERT_TRUE(waitFor([&] { return closingSyns(1200) == 4; }, 3000)) << card.lines().join('\n').toStdString();
    const QStringList heard = card.lines();
    EXPECT_EQ(retransmissions(got) + retransmissions(sent), QList<int>(4, 0)) << "host";
    EXPECT_TRUE(heard.filter(QStringLiteral("sent again")).isEmpty()) << "card: " << heard.join('\n').toStdString();
    EXPECT_EQ(heard.count(QStringLiteral("card at 1200 baud")), 4);
    EXPECT_TRUE(heard.filter(QStringLiteral("garbled")).isEmpty()) << heard.join('\n').toStdString();
}

// Each way a port on a server fails, as the operator reads it: what happened, naming the
// server, and the next step.
TEST_F(NetTransfer, failuresSayWhatHappenedAndTheNextStep)
{
    start({QStringLiteral("--card"), QStringLiteral("avm")});
    struct Row {
        const char* name;
        QString port;
        QString said, next;
    };
    const quint16 stopped = freeTcpPort();
    const QList<Row> rows{
        {"wrong port", rfc2217(stopped), QStringLiteral("refused the connection"), QStringLiteral("is running")},
        {"no RFC 2217", rfc2217(connections[1].port), QStringLiteral("does not agree to RFC 2217"), QStringLiteral("socket://")},
    };
    for (const Row& row : rows) {
        const CliResult r = cli({QStringLiteral("get"), QStringLiteral("-o"), ws.path(QStringLiteral("Card.kxm"))}, row.port);
        EXPECT_NE(r.exitCode, 0) << row.name;
        EXPECT_TRUE(r.err.contains(row.port + QStringLiteral(": "))) << row.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(row.said)) << row.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(row.next)) << row.name << ": " << r.err.toStdString();
    }

    // Killed while the card's set-up comes at 1200 baud: the transfer ends at once.
    QProcess getting;
    getting.setProcessEnvironment(ws.environment());
    getting.start(QStringLiteral(QUILLON_CLI_PATH), {QStringLiteral("get"), QStringLiteral("-o"), ws.path(QStringLiteral("Card.kxm")),
                                                     QStringLiteral("--port"), rfc2217()});
    ASSERT_TRUE(card.said(QStringLiteral("card at 1200 baud"), 10000)) << card.lines().join('\n').toStdString();
    server.kill();
    QElapsedTimer ended;
    ended.start();
    ASSERT_TRUE(waitFor([&] { return getting.state() == QProcess::NotRunning; }, 10000));
    EXPECT_LT(ended.elapsed(), 4000) << "not left to the keep-alive (5 s)";
    const QString err = QString::fromLocal8Bit(getting.readAllStandardError());
    EXPECT_NE(getting.exitCode(), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("The transfer stopped: ") + rfc2217() + QStringLiteral(": the connection to the server was lost")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("check the network and the server"))) << err.toStdString();

    // And the server stopped: nothing listens any more.
    const CliResult r = cli({QStringLiteral("get"), QStringLiteral("-o"), ws.path(QStringLiteral("Card.kxm"))}, rfc2217());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("refused the connection"))) << r.err.toStdString();
}

} // namespace
