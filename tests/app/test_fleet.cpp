// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/fleetreport.h"
#include "app/core/fleetrunner.h"
#include "support/virtualclock.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <map>

namespace quillon {
namespace {

// What a fake card does when its job starts: works for ms of virtual time, then ends so.
struct Behaviour {
    int ms = 1000;
    CardOutcome outcome = CardOutcome::Ok;
    bool endsAtStart = false; // e.g. its reference file cannot be read
    bool ignoresStop = false; // a job that hangs
    QString serial;           // what the card reports
    std::optional<CardType> kind;
};

// Who ran when, across every fake job of a run.
struct Journal {
    std::map<QString, qint64> started, ended;
    QStringList stopped;
    QMap<QString, int> busyLines; // cards talking on each line now
    int mostAtOnce = 0, running = 0;
    bool lineShared = false;
};

class FakeJob : public CardJob {
public:
    FakeJob(VirtualClock& clock, const InventoryCard& card, Behaviour behaviour, Journal& journal)
        : clock_(clock), card_(card), behaviour_(behaviour), journal_(journal), timer_(clock.createTimer())
    {
        timer_->onTimeout = [this] { end(behaviour_.outcome, QStringLiteral("done")); };
    }
    void start() override
    {
        journal_.started[card_.name] = clock_.nowMs();
        journal_.mostAtOnce = std::max(journal_.mostAtOnce, ++journal_.running);
        journal_.lineShared |= ++journal_.busyLines[card_.port] > 1;
        if (behaviour_.endsAtStart)
            end(CardOutcome::Failed, QStringLiteral("The reference set-up cannot be read."));
        else
            timer_->start(behaviour_.ms);
    }
    void stop() override
    {
        journal_.stopped << card_.name;
        if (behaviour_.ignoresStop)
            return;
        timer_->onTimeout = [this] { end(CardOutcome::Failed, QStringLiteral("Stopped.")); };
        timer_->start(20); // the closing SYN on the line
    }

private:
    void end(CardOutcome outcome, const QString& message)
    {
        journal_.ended[card_.name] = clock_.nowMs();
        --journal_.running;
        --journal_.busyLines[card_.port];
        CardResult result;
        result.outcome = outcome;
        result.message = message;
        result.backup = outcome == CardOutcome::Ok ? QStringLiteral("/b/") + card_.name : QString();
        result.serial = behaviour_.serial;
        result.kind = behaviour_.kind;
        finished(result);
    }

    VirtualClock& clock_;
    InventoryCard card_;
    Behaviour behaviour_;
    Journal& journal_;
    std::unique_ptr<LinkTimer> timer_;
};

InventoryCard card(const QString& name, const QString& port)
{
    InventoryCard c;
    c.name = name;
    c.port = port;
    return c;
}

class Fleet : public ::testing::Test {
protected:
    // Runs the cards (name and port; the line is the port) until the runner says it is done.
    void run(const QList<InventoryCard>& cards, int jobs = 0, bool stopOnFailure = false)
    {
        runner.setJobs(jobs);
        runner.setStopOnFailure(stopOnFailure);
        runner.onFinished = [this] { ++finishedTold; };
        runner.run(cards, FleetTask{});
        clock.advanceUntil([this] { return runner.finished(); }, 600000, 10);
        clock.advance(100); // nothing more happens afterwards
    }
    QList<CardOutcome> outcomes() const
    {
        QList<CardOutcome> all;
        for (const FleetRunner::Row& row : runner.rows())
            all << row.result.outcome;
        return all;
    }

    VirtualClock clock;
    Journal journal;
    std::map<QString, Behaviour> behaviours;
    FleetRunner runner{clock, [this](const InventoryCard& c, const FleetTask&) {
                           return std::make_unique<FakeJob>(clock, c, behaviours[c.name], journal);
                       }};
    int finishedTold = 0;
};

// Each row: the cards as name:port:milliseconds, the jobs asked for, when each card started.
TEST_F(Fleet, cardsOnDifferentLinesRunAtOnceUpToTheJobsAndTwoOnOneLineNever)
{
    const struct {
        const char* what;
        QStringList cards;
        int jobs;
        std::map<QString, qint64> started;
    } rows[] = {
        {"one line each, as many as lines by default", {"a:1:1000", "b:2:3000", "c:3:2000"}, 0, {{"a", 0}, {"b", 0}, {"c", 0}}},
        {"two jobs for three lines", {"a:1:1000", "b:2:3000", "c:3:2000"}, 2, {{"a", 0}, {"b", 0}, {"c", 1000}}},
        {"a shared line waits, a free one does not",
         {"a:1:1000", "b:1:1000", "c:2:500", "d:1:1000"}, 8, {{"a", 0}, {"b", 1000}, {"c", 0}, {"d", 2000}}},
        {"a card on a busy line does not hold back the next",
         {"a:1:3000", "b:2:1000", "c:1:1000", "d:3:1000"}, 2, {{"a", 0}, {"b", 0}, {"c", 3000}, {"d", 1000}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        journal = {};
        behaviours.clear();
        QList<InventoryCard> cards;
        for (const QString& entry : row.cards) {
            const QStringList parts = entry.split(':');
            cards << card(parts[0], parts[1]);
            behaviours[parts[0]].ms = parts[2].toInt();
        }
        FleetRunner fresh(clock, [this](const InventoryCard& c, const FleetTask&) {
            return std::make_unique<FakeJob>(clock, c, behaviours[c.name], journal);
        });
        fresh.setJobs(row.jobs);
        const qint64 t0 = clock.nowMs();
        fresh.run(cards, FleetTask{});
        ASSERT_TRUE(clock.advanceUntil([&] { return fresh.finished(); }, 60000, 10));
        std::map<QString, qint64> started;
        for (const auto& [name, at] : journal.started)
            started[name] = at - t0;
        EXPECT_EQ(started, row.started);
        EXPECT_FALSE(journal.lineShared);
        EXPECT_LE(journal.mostAtOnce, row.jobs == 0 ? 16 : row.jobs);
        for (const FleetRunner::Row& r : fresh.rows()) {
            EXPECT_EQ(r.result.outcome, CardOutcome::Ok);
            EXPECT_DOUBLE_EQ(r.result.seconds, behaviours[r.card.name].ms / 1000.0) << r.card.name.toStdString();
        }
    }
}

TEST_F(Fleet, theDefaultJobsAreTheDistinctLinesUpToSixteen)
{
    QList<InventoryCard> cards;
    for (int i = 0; i < 20; ++i)
        cards << card(QString::number(i), QStringLiteral("/dev/ttyUSB%1").arg(i));
    const auto identity = [](const QString& port) { return port; };
    EXPECT_EQ(defaultJobCount(cards, identity), 16);
    EXPECT_EQ(defaultJobCount(cards.mid(0, 5), identity), 5);
    EXPECT_EQ(defaultJobCount(cards.mid(0, 5), [](const QString&) { return QStringLiteral("one server port"); }), 1);
    EXPECT_EQ(defaultJobCount({}, identity), 1);
}

TEST_F(Fleet, afterAFailureGoesOnUnlessToldToStopStartingCards)
{
    const QList<InventoryCard> cards{card("a", "1"), card("b", "2"), card("c", "1"), card("d", "3")};
    behaviours["b"].ms = 500;
    behaviours["b"].outcome = CardOutcome::Failed;
    run(cards, 2);
    EXPECT_EQ(outcomes(), (QList<CardOutcome>{CardOutcome::Ok, CardOutcome::Failed, CardOutcome::Ok, CardOutcome::Ok}));
    EXPECT_EQ(fleetExitCode(runner.rows()), 1);

    journal = {};
    FleetRunner stopping(clock, [this](const InventoryCard& c, const FleetTask&) {
        return std::make_unique<FakeJob>(clock, c, behaviours[c.name], journal);
    });
    stopping.setJobs(2);
    stopping.setStopOnFailure(true);
    stopping.run(cards, FleetTask{});
    ASSERT_TRUE(clock.advanceUntil([&] { return stopping.finished(); }, 60000, 10));
    // a was running when b failed: it ends as it would have; c and d never start.
    EXPECT_EQ(stopping.rows()[0].result.outcome, CardOutcome::Ok);
    EXPECT_EQ(stopping.rows()[1].result.outcome, CardOutcome::Failed);
    for (int i : {2, 3}) {
        EXPECT_EQ(stopping.rows()[i].result.outcome, CardOutcome::Skipped);
        EXPECT_EQ(stopping.rows()[i].result.message, "Not started: card \"b\" failed before it.");
    }
    EXPECT_TRUE(journal.stopped.isEmpty());
    EXPECT_EQ(journal.started.size(), 2u);
}

TEST_F(Fleet, aStopEndsRunningCardsCleanlySkipsTheRestAndGivesUpOnAHungOne)
{
    const QList<InventoryCard> cards{card("a", "1"), card("b", "2"), card("c", "3"), card("d", "1")};
    behaviours["c"].ms = 60000;
    behaviours["c"].ignoresStop = true;
    runner.setJobs(3);
    runner.onFinished = [this] { ++finishedTold; };
    runner.run(cards, FleetTask{});
    clock.advance(400);
    runner.stop(QStringLiteral("stopped by SIGINT"));
    runner.stop(QStringLiteral("stopped by SIGINT")); // a second Ctrl+C changes nothing
    EXPECT_EQ(journal.stopped, (QStringList{"a", "b", "c"}));
    EXPECT_EQ(runner.rows()[3].result.outcome, CardOutcome::Skipped);
    EXPECT_EQ(runner.rows()[3].result.message, "Not started: stopped by SIGINT.");

    clock.advance(100); // a and b have closed their connections; c has not
    EXPECT_EQ(runner.rows()[0].result.message, "Stopped.");
    EXPECT_EQ(runner.rows()[1].result.outcome, CardOutcome::Failed);
    EXPECT_FALSE(runner.finished());
    EXPECT_EQ(finishedTold, 0);
    clock.advance(FleetRunner::StopGraceMs);
    ASSERT_TRUE(runner.finished());
    EXPECT_EQ(runner.rows()[2].result.outcome, CardOutcome::Failed);
    EXPECT_TRUE(runner.rows()[2].result.message.contains("did not end within 10 s of the stop"));
    EXPECT_FALSE(journal.started.count("d"));
    clock.advance(60000); // c's job was let go: nothing more is heard of it
    EXPECT_EQ(finishedTold, 1);
    EXPECT_TRUE(runner.rows()[2].result.message.contains("did not end"));
}

TEST_F(Fleet, jobsThatEndAsTheyStartLetTheNextStartAndTheRunEndsOnce)
{
    QList<InventoryCard> cards;
    for (int i = 0; i < 50; ++i) {
        cards << card(QString::number(i), "one line");
        behaviours[QString::number(i)].endsAtStart = true;
    }
    runner.setJobs(1);
    runner.onFinished = [this] { ++finishedTold; };
    runner.run(cards, FleetTask{});
    EXPECT_TRUE(runner.finished()); // at once, inside run()
    EXPECT_EQ(finishedTold, 1);
    EXPECT_EQ(journal.started.size(), 50u);
    EXPECT_EQ(runner.rows()[49].result.message, "The reference set-up cannot be read.");
    runner.stop(QStringLiteral("stopped by SIGTERM"));
    EXPECT_EQ(finishedTold, 1);
}

TEST_F(Fleet, aCardThatIsNotTheOneTheInventoryNamesHasNotSucceeded)
{
    QList<InventoryCard> cards{card("same", "1"), card("swapped", "2"), card("other kind", "3"), card("unknown", "4"),
                               card("failed anyway", "5")};
    for (InventoryCard& c : cards) {
        c.serial = "4B58343031";
        c.kind = CardType::SID;
        behaviours[c.name].serial = "4b58343031";
        behaviours[c.name].kind = CardType::SID;
    }
    behaviours["swapped"].serial = "0A0B0C0D0E";
    behaviours["other kind"].kind = CardType::AVM;
    cards[3].serial.clear();
    cards[3].kind.reset();
    behaviours["failed anyway"] = {1000, CardOutcome::Failed, false, false, "0A0B0C0D0E", CardType::AVM};
    run(cards);
    EXPECT_EQ(outcomes(), (QList<CardOutcome>{CardOutcome::Ok, CardOutcome::Failed, CardOutcome::Failed, CardOutcome::Ok,
                                              CardOutcome::Failed}));
    EXPECT_EQ(runner.rows()[1].result.message, "The card on 2 reports serial 0A0B0C0D0E, but the inventory has 4B58343031 for "
                                               "\"swapped\": was it swapped? If this card belongs there, change its entry in the inventory.");
    EXPECT_EQ(runner.rows()[2].result.message, "The card on 3 is an AVM card, but the inventory has \"other kind\" as a SID card.");
    EXPECT_EQ(runner.rows()[4].result.message, "done") << "a failure keeps its own reason";
}

// The report of a run: card, port, kind, serial, outcome, time and backup a row, then the count.
TEST(FleetReport, theTableTheSummaryAndTheJsonSayTheSame)
{
    QList<FleetRunner::Row> rows(3);
    rows[0].card = card("Studio 3 A", "/dev/ttyUSB0");
    rows[0].card.kind = CardType::SID;
    rows[0].card.serial = "4B58343031";
    rows[0].result.outcome = CardOutcome::Ok;
    rows[0].result.backup = "/b/SID-4B58343031-20261208-101500.kxd";
    rows[0].result.seconds = 4.2371;
    rows[1].card = card("Spare", "rfc2217://rack3:7001");
    rows[1].result.outcome = CardOutcome::Failed; // kind and serial as the card told them
    rows[1].result.kind = CardType::AVM;
    rows[1].result.serial = "0A0B0C0D0E";
    rows[1].result.message = "The card holds a different set-up than was sent.";
    rows[1].result.differences = QStringList{"AVM image, byte at offset 119: sent 0x00, read back 0x01"};
    rows[1].result.seconds = 12.05;
    rows[2].card = card("B", "Com2");
    rows[2].result.message = "Not started: stopped by SIGINT.";

    EXPECT_EQ(fleetTable(rows), (QStringList{
        "card        port                  kind  serial      outcome  time    backup",
        "Studio 3 A  /dev/ttyUSB0          SID   4B58343031  ok       4.2 s   "
            + QDir::toNativeSeparators("/b/SID-4B58343031-20261208-101500.kxd"),
        "Spare       rfc2217://rack3:7001  AVM   0A0B0C0D0E  failed   12.1 s  -",
        "B           Com2                  -     -           skipped  -       -"}));
    EXPECT_EQ(fleetSummary(rows), "3 cards: 1 ok, 1 failed, 1 skipped");
    EXPECT_EQ(fleetSummary(rows.mid(0, 1)), "1 card: 1 ok, 0 failed, 0 skipped");
    EXPECT_EQ(fleetExitCode(rows), 1);
    EXPECT_EQ(fleetExitCode(rows.mid(0, 1)), 0);
    EXPECT_EQ(fleetExitCode(rows.mid(2)), 1) << "a skipped card did not succeed";

    const QJsonObject json = QJsonDocument::fromJson(fleetJson(rows)).object();
    EXPECT_EQ(json["ok"].toInt(), 1);
    EXPECT_EQ(json["failed"].toInt(), 1);
    EXPECT_EQ(json["skipped"].toInt(), 1);
    const QJsonArray cards = json["cards"].toArray();
    ASSERT_EQ(cards.size(), 3);
    const QJsonObject spare = cards[1].toObject();
    EXPECT_EQ(spare.keys(), (QStringList{"backup", "differences", "kind", "message", "name", "outcome", "port", "seconds", "serial", "version"}));
    EXPECT_EQ(spare["name"].toString(), "Spare");
    EXPECT_EQ(spare["port"].toString(), "rfc2217://rack3:7001");
    EXPECT_EQ(spare["kind"].toString(), "AVM");
    EXPECT_EQ(spare["serial"].toString(), "0A0B0C0D0E");
    EXPECT_EQ(spare["outcome"].toString(), "failed");
    EXPECT_EQ(spare["message"].toString(), "The card holds a different set-up than was sent.");
    EXPECT_EQ(spare["backup"].toString(), "");
    EXPECT_DOUBLE_EQ(spare["seconds"].toDouble(), 12.05);
    EXPECT_EQ(spare["differences"].toArray().size(), 1);
    EXPECT_DOUBLE_EQ(cards[0].toObject()["seconds"].toDouble(), 4.237);
    EXPECT_EQ(cards[2].toObject()["outcome"].toString(), "skipped");
}

TEST(FleetReport, aSelectionIsGroupsOrNamesInTheInventorysOrder)
{
    const Inventory inventory = Inventory::parse("[A]\nport = 1\ngroups = studio3\n[B]\nport = 2\ngroups = night, Studio3\n"
                                                 "[C]\nport = 3\ngroups = night\n[Bad]\nport = 4\nkind = SDI\n");
    const struct {
        const char* what;
        FleetSelection selection;
        QStringList chosen; // empty: refused with the text below
        const char* error;
    } rows[] = {
        {"everything", {}, {"A", "B", "C"}, ""},
        {"a group, its letter case aside", {{"STUDIO3"}, {}}, {"A", "B"}, ""},
        {"two groups, each card once", {{"night", "studio3"}, {}}, {"A", "B", "C"}, ""},
        {"names, in the inventory's order", {{}, {"c", "A", "C"}}, {"A", "C"}, ""},
        {"an unknown name", {{}, {"A", "D"}}, {}, "no card named \"D\" in the inventory"},
        {"a skipped entry", {{}, {"Bad"}}, {}, "card \"Bad\" was skipped: its entry on line 10 has a fault"},
        {"an empty group", {{"studio4"}, {}}, {}, "no card of the inventory is in group \"studio4\""},
        {"both", {{"night"}, {"A"}}, {}, "give --group or --card, not both"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QString error;
        const auto chosen = selectCards(inventory, row.selection, &error);
        QStringList names;
        for (const InventoryCard& c : chosen.value_or(QList<InventoryCard>{}))
            names << c.name;
        EXPECT_EQ(names, row.chosen);
        EXPECT_EQ(error, QLatin1String(row.error));
    }
    QString error;
    EXPECT_FALSE(selectCards(Inventory::parse(""), {}, &error));
    EXPECT_TRUE(error.contains("cards add")) << error.toStdString();
}

} // namespace
} // namespace quillon
