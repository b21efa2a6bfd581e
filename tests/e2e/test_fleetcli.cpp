// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli fleet on a rack of paced simulated cards: status, backup, send, verify and diff
// over eight cards at once, what is refused before anything is sent, a stop in the middle.

#include "simulatedrack.h"

#include "app/core/inventory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <csignal>

using namespace e2e;

namespace {

// The JSON of a fleet command: each card's object by its name.
struct FleetOutput {
    int exitCode = -1;
    QString err;
    QMap<QString, QJsonObject> cards;
    QJsonObject document;

    QString outcome(const QString& name) const { return cards.value(name)[QStringLiteral("outcome")].toString(); }
    QString message(const QString& name) const { return cards.value(name)[QStringLiteral("message")].toString(); }
};

class FleetRack : public ::testing::Test {
protected:
    void startRack(QList<RackCard> cards)
    {
        ASSERT_TRUE(rack.start(cards));
        ASSERT_EQ(rack.writeInventory(inventory), QString());
    }

    // Changes one entry of the inventory as an engineer would.
    void edit(const QString& name, const std::function<void(quillon::InventoryCard&)>& change)
    {
        quillon::InventoryFile file = quillon::readInventory(inventory);
        quillon::InventoryCard card = *file.inventory.find(name);
        change(card);
        ASSERT_EQ(file.inventory.put(card), QString());
        ASSERT_EQ(quillon::writeInventory(inventory, file.inventory), QString());
    }

    // quillon-cli's arguments for a fleet command on this rack.
    QStringList fleetArgs(const QStringList& args) const
    {
        return QStringList{QStringLiteral("fleet")} + args
               + QStringList{QStringLiteral("--inventory"), inventory, QStringLiteral("--backup-dir"), ws.path(QStringLiteral("backups"))};
    }

    CliResult fleet(const QStringList& args) { return runCli(ws, fleetArgs(args), 60000); }

    FleetOutput fleetJson(QStringList args)
    {
        args << QStringLiteral("--json");
        const CliResult run = fleet(args);
        FleetOutput output;
        output.exitCode = run.exitCode;
        output.err = run.err;
        output.document = QJsonDocument::fromJson(run.out.toUtf8()).object();
        for (const QJsonValue& value : output.document[QStringLiteral("cards")].toArray())
            output.cards.insert(value[QStringLiteral("name")].toString(), value.toObject());
        return output;
    }

    QStringList backups(const QString& pattern) const
    {
        return QDir(ws.path(QStringLiteral("backups"))).entryList({pattern}, QDir::Files);
    }

    Workspace ws;
    SimulatedRack rack{ws};
    const QString inventory = ws.path(QStringLiteral("cards.ini"));
};

TEST_F(FleetRack, statusBackupVerifyAndDiffOverEightMixedCards)
{
    startRack(SimulatedRack::mixed(8));
    edit(QStringLiteral("card-03"), [](quillon::InventoryCard& c) { c.serial = QStringLiteral("4B58349999"); });

    // A card added by asking it: its kind and serial as it reports them; a --serial it does not
    // report is refused.
    const QString probed = ws.path(QStringLiteral("probed.ini"));
    const CliResult added = runCli(ws, {QStringLiteral("cards"), QStringLiteral("add"), QStringLiteral("Spare"), QStringLiteral("--port"),
                                        rack.process(3).device, QStringLiteral("--probe"), QStringLiteral("--inventory"), probed});
    EXPECT_EQ(added.exitCode, 0) << added.err.toStdString();
    const quillon::InventoryFile spare = quillon::readInventory(probed);
    ASSERT_EQ(spare.inventory.cards().size(), 1);
    EXPECT_EQ(spare.inventory.cards()[0].kind, quillon::CardType::AVM);
    EXPECT_EQ(spare.inventory.cards()[0].serial, "4B58340004");
    const CliResult wrong = runCli(ws, {QStringLiteral("cards"), QStringLiteral("add"), QStringLiteral("Other"), QStringLiteral("--port"),
                                        rack.process(0).device, QStringLiteral("--probe"), QStringLiteral("--serial"),
                                        QStringLiteral("4B58349999"), QStringLiteral("--inventory"), probed});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains("reports serial 4B58340001, not 4B58349999")) << wrong.err.toStdString();

    const FleetOutput status = fleetJson({QStringLiteral("status")});
    EXPECT_EQ(status.exitCode, 1) << status.err.toStdString();
    ASSERT_EQ(status.cards.size(), 8);
    for (const QString& name : status.cards.keys()) {
        EXPECT_EQ(status.outcome(name), name == QLatin1String("card-03") ? "failed" : "ok") << name.toStdString() << ": "
                                                                                           << status.message(name).toStdString();
    }
    EXPECT_TRUE(status.message(QStringLiteral("card-03")).contains("reports serial 4B58340003")) << status.message(QStringLiteral("card-03")).toStdString();
    EXPECT_EQ(status.cards[QStringLiteral("card-04")][QStringLiteral("version")].toString(), "1");
    EXPECT_TRUE(backups(QStringLiteral("*")).isEmpty()) << "status keeps nothing";

    edit(QStringLiteral("card-03"), [](quillon::InventoryCard& c) { c.serial = QStringLiteral("4B58340003"); });
    const FleetOutput backup = fleetJson({QStringLiteral("backup")});
    EXPECT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    EXPECT_EQ(backup.document[QStringLiteral("ok")].toInt(), 8);
    for (int i = 0; i < rack.size(); ++i) {
        const RackCard& card = rack.card(i);
        const QStringList kept = backups((card.avm ? QStringLiteral("AVM-") : QStringLiteral("SID-")) + card.serial + QStringLiteral("-*"));
        ASSERT_EQ(kept.size(), 1) << card.name.toStdString();
        EXPECT_EQ(QFileInfo(backup.cards[card.name][QStringLiteral("backup")].toString()).fileName(), kept.first());
        // Each card's own backup is its reference; card-05's is another card's.
        edit(card.name, [&](quillon::InventoryCard& c) { c.reference = ws.path(QStringLiteral("backups/") + kept.first()); });
    }
    edit(QStringLiteral("card-05"), [&](quillon::InventoryCard& c) {
        testsupport::writeFile(ws.path(QStringLiteral("other.kxd")), testsupport::readFile(c.reference).replace("NO AVM", "STUDIO"));
        c.reference = QStringLiteral("other.kxd");
    });

    const FleetOutput verify = fleetJson({QStringLiteral("verify")});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_EQ(verify.document[QStringLiteral("ok")].toInt(), 7) << verify.err.toStdString();
    EXPECT_EQ(verify.outcome(QStringLiteral("card-05")), "failed");

    const CliResult diff = fleet({QStringLiteral("diff"), QStringLiteral("--group"), QStringLiteral("odd")});
    EXPECT_EQ(diff.exitCode, 1);
    EXPECT_TRUE(diff.out.contains("card-05: Differs from its reference set-up: 1 setting differs.\n"
                                  "    Set-up Windows / SID Window: Missing SID Message: \"STUDIO\" -> \"NO AVM\"\n")) << diff.out.toStdString();
    EXPECT_TRUE(diff.out.endsWith("4 cards: 3 ok, 1 failed, 0 skipped\n")) << diff.out.toStdString();
}

// One set-up to every card: the ones it is not for are refused before anything is sent to
// them, a card that reports a flash error and one that stores differently are reported, the
// others hold it.
TEST_F(FleetRack, sendReachesTheCardsItIsForAndRefusesTheRestBeforeSending)
{
    QList<RackCard> cards = SimulatedRack::mixed(8);
    for (RackCard& card : cards)
        card.options << QStringLiteral("--save-image") << ws.path(card.name + QStringLiteral(".received"));
    cards[2].options << QStringLiteral("--flash-result") << QStringLiteral("1");
    cards[4].options << QStringLiteral("--store-differently");
    startRack(cards);
    edit(QStringLiteral("card-08"), [](quillon::InventoryCard& c) { c.kind.reset(); }); // the card alone says what it is
    const QString file = ws.path(QStringLiteral("Studio.kxd"));
    ASSERT_EQ(runCli(ws, {QStringLiteral("defaults"), QStringLiteral("-o"), file}).exitCode, 0);

    const FleetOutput sent = fleetJson({QStringLiteral("send"), file});
    EXPECT_EQ(sent.exitCode, 1);
    for (const char* name : {"card-01", "card-07"}) {
        EXPECT_EQ(sent.outcome(QLatin1String(name)), "ok") << name << ": " << sent.message(QLatin1String(name)).toStdString();
        EXPECT_TRUE(QFile::exists(ws.path(QLatin1String(name) + QStringLiteral(".received")))) << name;
        EXPECT_FALSE(sent.cards[QLatin1String(name)][QStringLiteral("backup")].toString().isEmpty()) << name;
    }
    for (const char* name : {"card-02", "card-04", "card-06", "card-08"}) {
        EXPECT_EQ(sent.outcome(QLatin1String(name)), "failed") << name;
        EXPECT_TRUE(sent.message(QLatin1String(name)).contains("Nothing was sent")) << name << ": " << sent.message(QLatin1String(name)).toStdString();
        EXPECT_FALSE(QFile::exists(ws.path(QLatin1String(name) + QStringLiteral(".received")))) << name;
    }
    EXPECT_TRUE(sent.message(QStringLiteral("card-08")).contains("an AVM card")) << sent.message(QStringLiteral("card-08")).toStdString();
    EXPECT_EQ(sent.outcome(QStringLiteral("card-03")), "failed");
    EXPECT_EQ(sent.outcome(QStringLiteral("card-05")), "failed");
    EXPECT_EQ(sent.cards[QStringLiteral("card-05")][QStringLiteral("differences")].toArray().size(), 1);

    // After the first failure no card starts.
    const CliResult stopped = fleet({QStringLiteral("send"), file, QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--stop-on-failure"),
                                     QStringLiteral("--card"), QStringLiteral("card-01"), QStringLiteral("--card"), QStringLiteral("card-02"),
                                     QStringLiteral("--card"), QStringLiteral("card-03"), QStringLiteral("--no-verify"),
                                     QStringLiteral("--log"), ws.path(QStringLiteral("frames.log")), QStringLiteral("--stats")});
    EXPECT_EQ(stopped.exitCode, 1);
    // Each card's own frame log.
    EXPECT_TRUE(testsupport::readFile(ws.path(QStringLiteral("frames-card-01.log"))).contains("SerialNumber 4b58340001"));
    EXPECT_EQ(stopped.out.count(QLatin1String("card-01: ")), 3) << "two connections' counters, then its message";
    EXPECT_TRUE(stopped.out.contains("card-03: Not started: card \"card-02\" failed before it.")) << stopped.out.toStdString();
    EXPECT_TRUE(stopped.out.endsWith("3 cards: 1 ok, 1 failed, 1 skipped\n")) << stopped.out.toStdString();
}

// Two entries on one line take turns; Ctrl+C skips the cards not started and ends the running
// connections with a SYN the cards hear.
TEST_F(FleetRack, twoCardsOnOneLineTakeTurnsAndCtrlCEndsTheRunCleanly)
{
    QList<RackCard> cards = SimulatedRack::mixed(4);
    for (RackCard& card : cards)
        card.avm = true; // slow at 1200 baud
    startRack(cards);
    // card-01's entry again under another name: a second entry on the same line.
    edit(QStringLiteral("card-01"), [](quillon::InventoryCard& c) { c.name = QStringLiteral("card-01-twin"); });

    QElapsedTimer wall;
    wall.start();
    // Room for all three at once: the twins still take turns.
    const FleetOutput both = fleetJson({QStringLiteral("status"), QStringLiteral("--jobs"), QStringLiteral("3"), QStringLiteral("--card"),
                                        QStringLiteral("card-01"), QStringLiteral("--card"), QStringLiteral("card-01-twin"),
                                        QStringLiteral("--card"), QStringLiteral("card-02")});
    const double wallSeconds = double(wall.elapsed()) / 1000.0;
    EXPECT_EQ(both.exitCode, 0) << both.err.toStdString();
    const double one = both.cards[QStringLiteral("card-01")][QStringLiteral("seconds")].toDouble();
    const double two = both.cards[QStringLiteral("card-01-twin")][QStringLiteral("seconds")].toDouble();
    EXPECT_GE(wallSeconds, one + two) << "one after the other";

    const auto count = [this](int card, const char* line) { return rack.process(card).lines().count(QLatin1String(line)); };
    const qsizetype identified = count(0, "identified to the host");
    const auto syns = [&](int card) { return count(card, "SYN from the host at 1200 baud") + count(card, "SYN from the host at 9600 baud"); };
    const qsizetype syns0 = syns(0);
    const qsizetype syns1 = syns(1);
    QProcess cli;
    cli.setProcessEnvironment(ws.environment());
    cli.start(QStringLiteral(QUILLON_CLI_PATH), fleetArgs({QStringLiteral("backup"), QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--json")}));
    ASSERT_TRUE(cli.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return count(0, "identified to the host") > identified; }, 10000));
    ::kill(pid_t(cli.processId()), SIGINT);
    ASSERT_TRUE(waitFor([&] { return cli.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 1);
    const QJsonObject document = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    EXPECT_EQ(document[QStringLiteral("skipped")].toInt(), 3) << QJsonDocument(document).toJson().toStdString();
    EXPECT_EQ(document[QStringLiteral("failed")].toInt(), 2);
    for (const QJsonValue& card : document[QStringLiteral("cards")].toArray()) {
        if (card[QStringLiteral("outcome")].toString() == QLatin1String("skipped")) {
            EXPECT_EQ(card[QStringLiteral("message")].toString(), "Not started: the run was stopped by SIGINT.");
        } else {
            EXPECT_TRUE(card[QStringLiteral("message")].toString().startsWith("Stopped.")) << card[QStringLiteral("message")].toString().toStdString();
        }
    }
    // The running cards heard the host's closing SYN.
    EXPECT_TRUE(waitFor([&] { return syns(0) > syns0; }, 10000));
    EXPECT_TRUE(waitFor([&] { return syns(1) > syns1; }, 10000));
}

} // namespace
