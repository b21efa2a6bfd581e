// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli fleet over cards behind a serial server: three paced simulated cards, each on its
// own RFC 2217 port of one ser2net, and a second inventory name of one of those ports.

#include "netfixture.h"

#include "e2e/cardprocess.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace e2e;
using namespace nettest;

namespace {

TEST(NetFleet, cardsBehindASerialServerAreBackedUpAtOnceAndTwoNamesOfOnePortTakeTurns)
{
    ASSERT_FALSE(Ser2net::program().isEmpty()) << "ser2net is not installed: bash scripts/deps.sh installs it";
    Workspace ws;
    const QStringList kinds{QStringLiteral("sid"), QStringLiteral("avm"), QStringLiteral("sid")};
    std::vector<std::unique_ptr<SimulatedCardProcess>> cards;
    std::vector<Ser2net::Connection> connections;
    for (int i = 0; i < kinds.size(); ++i) {
        cards.push_back(std::make_unique<SimulatedCardProcess>(ws, QStringLiteral("card%1").arg(i)));
        cards.back()->launch({QStringLiteral("--card"), kinds[i], QStringLiteral("--serial"), QStringLiteral("4B5834000%1").arg(i + 1)});
    }
    for (const auto& card : cards) {
        ASSERT_TRUE(card->ready());
        connections.push_back({QStringLiteral("telnet(rfc2217)"), card->device, QStringLiteral("19200n81"), true});
    }
    Ser2net server;
    ASSERT_TRUE(server.start(connections)) << server.output().toStdString();

    const QString inventory = ws.path(QStringLiteral("cards.ini"));
    QByteArray text;
    for (std::size_t i = 0; i < connections.size(); ++i)
        text += QStringLiteral("[rack-%1]\nport = rfc2217://127.0.0.1:%2\n\n").arg(QString::number(i + 1), QString::number(connections[i].port)).toUtf8();
    // The first card's port again, written another way: the same line.
    text += QStringLiteral("[rack-1-again]\nport = RFC2217://127.0.0.1:%1\n").arg(connections[0].port).toUtf8();
    testsupport::writeFile(inventory, text);

    const CliResult run = runCli(ws, {QStringLiteral("fleet"), QStringLiteral("backup"), QStringLiteral("--json"), QStringLiteral("--inventory"),
                                      inventory, QStringLiteral("--backup-dir"), ws.path(QStringLiteral("backups"))}, 60000);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
    const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(document[QStringLiteral("ok")].toInt(), 4) << run.out.toStdString();
    const QJsonArray rows = document[QStringLiteral("cards")].toArray();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("kind")].toString(), "AVM");
    EXPECT_EQ(rows[3].toObject()[QStringLiteral("serial")].toString(), "4B58340001");
    const QStringList kept = QDir(ws.path(QStringLiteral("backups"))).entryList(QDir::Files);
    EXPECT_EQ(kept.size(), 3) << "the card named twice holds the same set-up: one backup" << kept.join(' ').toStdString();
}

} // namespace
