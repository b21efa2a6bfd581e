// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli get and send through ser2net to the paced simulated card, as the program's link
// engine runs them today, over RFC 2217 and raw TCP, directly and through a relay that delays
// each direction.

#include "netfixture.h"

#include "e2e/cardprocess.h"
#include "files/setupfiles.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"

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

TEST_F(NetTransfer, avmCardGetAndDefaultSendSwitchTheServersLineTo1200AndBack)
{
    start({QStringLiteral("--card"), QStringLiteral("avm")});
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
}

// 20 ms each way (QUILLON_RELAY_MS sets another delay, for measuring), with the link's waits as
// they are: the transfers complete. (The acknowledgement wait does not count the round trip
// yet, so a frame may be sent again; the counts are printed.)
TEST_F(NetTransfer, throughARelayOf20MsEachWayTransfersComplete)
{
    start({QStringLiteral("--card"), QStringLiteral("avm")});
    DelayRelay relay(connections[0].port, qEnvironmentVariableIsSet("QUILLON_RELAY_MS") ? qEnvironmentVariableIntValue("QUILLON_RELAY_MS") : 20);
    const QString file = ws.path(QStringLiteral("Card.kxm"));
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), file}, rfc2217(relay.port()));
    ASSERT_EQ(got.exitCode, 0) << got.err.toStdString();
    const CliResult sent = cli({QStringLiteral("send"), file}, rfc2217(relay.port()));
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    std::printf("retransmissions through the relay: get %s, send %s\n",
                qPrintable(QString::fromLatin1(::testing::PrintToString(retransmissions(got)).c_str())),
                qPrintable(QString::fromLatin1(::testing::PrintToString(retransmissions(sent)).c_str())));
    EXPECT_EQ(testsupport::readFile(ws.path(QStringLiteral("flashed.bin"))), sim::defaultCardImage(sim::CardKind::Avm));
}

} // namespace
