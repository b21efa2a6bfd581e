// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet's card jobs on real card sessions: simulated cards over virtual lines, on virtual
// time, several at once. What each card ends up holding, what was refused before anything was
// sent, and how a stop ends the connections.

#include "app/core/fleetjob.h"
#include "app/core/settingsstore.h"
#include "files/setupfiles.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "support/virtualclock.h"
#include "support/virtualserialline.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace quillon {
namespace {

using sim::CardKind;
using sim::CardOptions;
using sim::SimulatedCard;
using sim::VirtualSerialLine;

// One simulated card in the rack: what it is, what the inventory says of it.
struct RackEntry {
    QString name;
    CardKind kind = CardKind::Sid;
    QByteArray serial = QByteArray::fromHex("4b58340001");
    std::optional<CardType> listedKind; // the inventory's; the card's own when not set below
    bool listKind = true;
    QString listedSerial;               // the inventory's; the card's own when empty
    QString reference;
    CardOptions more;
};

class FleetJobs : public ::testing::Test {
protected:
    void SetUp() override
    {
        setup->settings = &settings;
        setup->clock = &clock;
        setup->inventoryPath = dir.filePath("cards.ini");
        setup->trace = false;
        setup->makePort = [this](const InventoryCard& card) -> std::unique_ptr<SerialControl> {
            return std::make_unique<VirtualSerialLine>(clock, *cards.at(card.name));
        };
        task.options.backupFolder = dir.filePath("backups");
    }

    // A card in the rack and its inventory entry; tweak changes the entry's defaults.
    void add(const char* name, CardKind kind, const char* serial, const std::function<void(RackEntry&)>& tweak = {})
    {
        RackEntry entry;
        entry.name = QLatin1String(name);
        entry.kind = kind;
        entry.serial = QByteArray::fromHex(serial);
        if (tweak)
            tweak(entry);
        CardOptions options = entry.more;
        options.kind = entry.kind;
        options.serialNumber = entry.serial;
        auto card = std::make_unique<SimulatedCard>(clock, options);
        card->onNotice = [this, name = entry.name](const QString& line) { notices[name] << line; };
        card->start();
        cards[entry.name] = std::move(card);
        InventoryCard listed;
        listed.name = entry.name;
        listed.port = QStringLiteral("/dev/rack/") + entry.name;
        const CardType own = entry.kind == CardKind::Avm ? CardType::AVM : CardType::SID;
        if (entry.listKind)
            listed.kind = entry.listedKind.value_or(own);
        listed.serial = entry.listedSerial.isEmpty() ? QString::fromLatin1(entry.serial.toHex().toUpper()) : entry.listedSerial;
        listed.reference = entry.reference;
        inventory << listed;
    }

    // Runs every card to the end; what the runner holds afterwards.
    const QList<FleetRunner::Row>& run(FleetAction action, const std::function<void()>& meanwhile = {})
    {
        task.action = action;
        runner = std::make_unique<FleetRunner>(clock, sessionJobFactory(setup));
        runner->run(inventory, task);
        if (meanwhile)
            meanwhile();
        clock.advanceUntil([this] { return runner->finished(); }, 120000, 5);
        EXPECT_TRUE(runner->finished());
        return runner->rows();
    }

    const CardResult& result(const QString& name) const
    {
        for (const FleetRunner::Row& row : runner->rows()) {
            if (row.card.name == name)
                return row.result;
        }
        throw std::runtime_error("no such card");
    }

    // The set-up images the card was sent (the payloads it acted on that were images).
    QList<QByteArray> imagesSentTo(const QString& name) const
    {
        QList<QByteArray> images;
        for (const QByteArray& payload : cards.at(name)->received()) {
            if (payload.size() >= SidImageSize && quint8(payload.at(0)) == SetupDataCommand)
                images << payload;
        }
        return images;
    }

    QString writeSidFile(const QString& name, const std::function<void(SetupValues&)>& change)
    {
        SetupValues values = defaultSetupValues();
        change(values);
        const QString path = dir.filePath(name);
        exportSetupText(path, values);
        return path;
    }

    QTemporaryDir dir;
    VirtualClock clock;
    SettingsStore settings{dir.filePath("Quillon.conf")};
    std::shared_ptr<FleetJobSetup> setup = std::make_shared<FleetJobSetup>();
    std::map<QString, std::unique_ptr<SimulatedCard>> cards;
    std::map<QString, QStringList> notices;
    QList<InventoryCard> inventory;
    FleetTask task;
    std::unique_ptr<FleetRunner> runner;
};

TEST_F(FleetJobs, statusIdentifiesEachCardChangesNothingAndFlagsASwappedOne)
{
    add("sid", CardKind::Sid, "4b58340001");
    add("avm", CardKind::Avm, "4b58340002");
    add("swapped", CardKind::Sid, "4b58340099", [](RackEntry& e) { e.listedSerial = QStringLiteral("4B58340003"); });
    run(FleetAction::Status);

    EXPECT_EQ(result("sid").outcome, CardOutcome::Ok) << result("sid").message.toStdString();
    EXPECT_EQ(result("sid").message, "SID card, serial 4B58340001, set-up version 0");
    EXPECT_EQ(result("avm").outcome, CardOutcome::Ok) << result("avm").message.toStdString();
    EXPECT_EQ(result("avm").kind, CardType::AVM);
    EXPECT_EQ(result("avm").version, 1);
    EXPECT_EQ(result("swapped").outcome, CardOutcome::Failed);
    EXPECT_TRUE(result("swapped").message.contains("reports serial 4B58340099")) << result("swapped").message.toStdString();
    for (const char* name : {"sid", "avm", "swapped"}) {
        EXPECT_TRUE(imagesSentTo(QLatin1String(name)).isEmpty()) << name;
        EXPECT_TRUE(result(QLatin1String(name)).backup.isEmpty()) << name;
    }
    EXPECT_FALSE(QDir(dir.filePath("backups")).exists());
}

TEST_F(FleetJobs, backupKeepsEachCardsSetUpByTheBackupRules)
{
    add("sid", CardKind::Sid, "4b58340001");
    add("avm", CardKind::Avm, "4b58340002");
    run(FleetAction::Backup);
    const QString sidBackup = result("sid").backup;
    EXPECT_TRUE(QFileInfo(sidBackup).fileName().startsWith("SID-4B58340001-")) << sidBackup.toStdString();
    EXPECT_TRUE(QFileInfo(result("avm").backup).fileName().startsWith("AVM-4B58340002-"));
    EXPECT_EQ(readSetupImageFile(result("avm").backup), cards.at(QStringLiteral("avm"))->image());

    run(FleetAction::Backup); // the same set-up again: the newest backup is named, not written again
    EXPECT_EQ(result("sid").outcome, CardOutcome::Ok);
    EXPECT_EQ(result("sid").backup, sidBackup);
    EXPECT_EQ(QDir(dir.filePath("backups")).entryList(QDir::Files).size(), 2);
}

// The set-up goes to the cards it is for; a card of the other kind, or one that is not the
// inventory's, is refused before anything is sent to it, with a backup or without.
TEST_F(FleetJobs, sendGoesOnlyToTheCardsItIsForAndIsVerified)
{
    const QString file = writeSidFile(QStringLiteral("Studio.kxd"), [](SetupValues& v) { v.setText(Field::MissingSidMessage, QStringLiteral("STUDIO 3")); });
    setup->setup = readSetupFile(file);
    task.file = file;
    add("good", CardKind::Sid, "4b58340001");
    add("listed-avm", CardKind::Avm, "4b58340002");
    add("unlisted-avm", CardKind::Avm, "4b58340003", [](RackEntry& e) { e.listKind = false; });
    add("swapped", CardKind::Sid, "4b58340099", [](RackEntry& e) { e.listedSerial = QStringLiteral("4B58340004"); });
    add("faulty", CardKind::Sid, "4b58340005", [](RackEntry& e) { e.more.storeDifferently = true; });

    for (const bool backup : {true, false}) {
        SCOPED_TRACE(backup ? "with a backup" : "without a backup");
        task.options.backup = backup;
        run(FleetAction::Send);
        EXPECT_EQ(result("good").outcome, CardOutcome::Ok) << result("good").message.toStdString();
        EXPECT_EQ(cards.at(QStringLiteral("good"))->image(), encodeSidImage(setup->setup->values).image);
        EXPECT_EQ(result("good").backup.isEmpty(), !backup);
        for (const char* name : {"listed-avm", "unlisted-avm", "swapped"}) {
            EXPECT_EQ(result(QLatin1String(name)).outcome, CardOutcome::Failed) << name;
            EXPECT_TRUE(result(QLatin1String(name)).message.contains("Nothing was sent")) << name << ": " << result(QLatin1String(name)).message.toStdString();
            EXPECT_TRUE(imagesSentTo(QLatin1String(name)).isEmpty()) << name;
        }
        EXPECT_TRUE(result("swapped").message.contains("4B58340099"));
        EXPECT_TRUE(cards.at(QStringLiteral("listed-avm"))->received().isEmpty()) << "never even connected";
        EXPECT_EQ(result("faulty").outcome, CardOutcome::Failed);
        EXPECT_EQ(result("faulty").differences.size(), 1) << result("faulty").message.toStdString();
    }
}

TEST_F(FleetJobs, anAvmImageGoesByteForByteToTheAvmCardsAlone)
{
    QByteArray image = sim::defaultCardImage(CardKind::Avm);
    image[40] = char(0x5A);
    setup->setup = ComparedSetup{CardType::AVM, {}, image};
    add("avm", CardKind::Avm, "4b58340001");
    add("sid", CardKind::Sid, "4b58340002", [](RackEntry& e) { e.listKind = false; });
    run(FleetAction::Send);
    EXPECT_EQ(result("avm").outcome, CardOutcome::Ok) << result("avm").message.toStdString();
    EXPECT_EQ(cards.at(QStringLiteral("avm"))->image(), image);
    EXPECT_EQ(result("sid").outcome, CardOutcome::Failed);
    EXPECT_TRUE(imagesSentTo(QStringLiteral("sid")).isEmpty());
}

TEST_F(FleetJobs, verifyAndDiffCompareEachCardWithItsReference)
{
    const QString reference = writeSidFile(QStringLiteral("ref.kxd"), [](SetupValues&) {});
    const QString other = writeSidFile(QStringLiteral("other.kxd"), [](SetupValues& v) { v.setText(Field::MissingSidMessage, QStringLiteral("ELSEWHERE")); });
    // same's reference is relative to the inventory.
    add("same", CardKind::Sid, "4b58340001", [](RackEntry& e) { e.reference = QStringLiteral("ref.kxd"); });
    add("differs", CardKind::Sid, "4b58340002", [&](RackEntry& e) { e.reference = other; });
    add("none", CardKind::Sid, "4b58340003");
    add("avm", CardKind::Avm, "4b58340004", [&](RackEntry& e) { e.listKind = false; e.reference = reference; });

    run(FleetAction::Diff);
    EXPECT_EQ(result("same").outcome, CardOutcome::Ok) << result("same").message.toStdString();
    EXPECT_TRUE(result("same").differences.isEmpty());
    EXPECT_EQ(result("differs").outcome, CardOutcome::Failed);
    EXPECT_EQ(result("differs").message, "Differs from its reference set-up: 1 setting differs.");
    ASSERT_EQ(result("differs").differences.size(), 1);
    EXPECT_TRUE(result("differs").differences[0].contains("\"ELSEWHERE\" -> ")) << result("differs").differences[0].toStdString();
    EXPECT_EQ(result("none").outcome, CardOutcome::Failed);
    EXPECT_TRUE(result("none").message.contains("no reference set-up"));
    EXPECT_TRUE(cards.at(QStringLiteral("none"))->received().isEmpty()) << "not connected without a reference";
    EXPECT_EQ(result("avm").outcome, CardOutcome::Failed);
    EXPECT_FALSE(result("avm").message.isEmpty());
}

// Ctrl+C in the middle: the running cards end their connection with a SYN the card hears, the
// others are skipped, and no port is left open.
TEST_F(FleetJobs, aStopEndsRunningConnectionsWithASynAndSkipsTheRest)
{
    const QString file = writeSidFile(QStringLiteral("Studio.kxd"), [](SetupValues&) {});
    setup->setup = readSetupFile(file);
    add("first", CardKind::Sid, "4b58340001");
    add("second", CardKind::Sid, "4b58340002");
    add("third", CardKind::Sid, "4b58340003");
    inventory[1].port = inventory[0].port; // the second waits for the first's line
    run(FleetAction::Send, [this] {
        clock.advanceUntil([this] { return cards.at(QStringLiteral("first"))->phase() == sim::CardPhase::Ready; }, 10000, 1);
        notices.clear();
        runner->stop(QStringLiteral("the run was stopped by SIGINT"));
    });
    EXPECT_EQ(result("first").outcome, CardOutcome::Failed);
    EXPECT_TRUE(result("first").message.startsWith("Stopped.")) << result("first").message.toStdString();
    EXPECT_EQ(result("second").outcome, CardOutcome::Skipped);
    EXPECT_EQ(result("second").message, "Not started: the run was stopped by SIGINT.");
    for (const char* name : {"first", "third"}) {
        EXPECT_TRUE(notices[QLatin1String(name)].join('\n').contains("SYN from the host")) << name;
        EXPECT_TRUE(imagesSentTo(QLatin1String(name)).isEmpty()) << name;
    }
    EXPECT_TRUE(cards.at(QStringLiteral("second"))->received().isEmpty());
}

TEST(FleetJobPaths, eachCardHasFilesOfItsOwn)
{
    EXPECT_EQ(perCardPath(QStringLiteral("/tmp/frames.log"), QStringLiteral("Studio 3/A")), "/tmp/frames-Studio_3_A.log");
    EXPECT_EQ(perCardPath(QStringLiteral("frames"), QStringLiteral("b")), "frames-b");
    EXPECT_EQ(perCardPath(QString(), QStringLiteral("b")), QString());
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("Quillon.conf"));
    settings.setPortDevice(2, QStringLiteral("rfc2217://rack3:7002"));
    EXPECT_EQ(cardPortDevice(QStringLiteral("com2"), settings), "rfc2217://rack3:7002");
    EXPECT_EQ(cardPortDevice(QStringLiteral("/dev/ttyUSB0"), settings), "/dev/ttyUSB0");
}

} // namespace
} // namespace quillon
