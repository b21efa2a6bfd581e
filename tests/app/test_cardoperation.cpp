// SPDX-License-Identifier: GPL-3.0-or-later
// A whole Get or Send (backup read, send, verify read) with the simulated card over the virtual
// serial line, on virtual time: what the card received and holds, what the operator was told,
// and what was left in the backup folder.

#include "app/core/cardsession.h"
#include "app/core/linkpresenter.h"
#include "files/setupfiles.h"
#include "link/cardlink.h"
#include "app/core/settingsstore.h"
#include "link/tracefile.h"
#include "support/virtualclock.h"
#include "recordingui.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "support/testsupport.h"
#include "support/virtualserialline.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quillon {
namespace {

using sim::CardKind;
using sim::CardOptions;

const QByteArray GetRequest = QByteArray::fromHex("1500");

QByteArray avmToSend() { return sim::defaultCardImage(CardKind::Avm); }
QByteArray sidToSend() { return encodeSidImage(defaultSetupValues()).image; }

// What the card holds before the operation: not what will be sent.
QByteArray cardImageBefore(CardKind kind)
{
    QByteArray image = sim::defaultCardImage(kind);
    image[kind == CardKind::Sid ? 3 : 50] = 0x05; // SID: another audio level
    return image;
}

// The program's link and a card operation on a virtual line to a simulated card.
struct Rig {
    Rig(CardKind cardKind, CardKind heldKind, CardOptions cardOptions = {}) : card(clock, [&] {
        cardOptions.kind = cardKind;
        cardOptions.image = cardImageBefore(cardKind);
        return cardOptions;
    }())
    {
        session.presenter().fileName = [] { return QStringLiteral("Studio"); };
        session.trace().setPath({});
        loadDefaults(held.fields);
        if (heldKind == CardKind::Avm) {
            held.setupImage = avmToSend();
            held.loadedCardType = held.connectedCardType = CardType::AVM;
        }
        card.onImageReceived = [this](const QByteArray&) { ++imagesAtCard; };
        QObject::connect(&operation, &CardOperation::finished, [this](const OperationResult& r) { finished << r.succeeded; });
        QObject::connect(&operation, &CardOperation::stageChanged, [this](OperationStage s, bool done) {
            stages << std::pair(s, done);
            if (onStage)
                onStage(s, done);
        });
        options.backupFolder = dir.filePath("backups");
        card.start();
        clock.advance(700); // the card has been calling for a while
    }
    bool runToEnd() { return clock.advanceUntil([this] { return !finished.isEmpty(); }, 60000, 5); }
    QStringList backups() const { return QDir(options.backupFolder).entryList(QDir::Files); }
    QString panel2() const { return ui.panels.value(2); }
    QString allMessages() const { return ui.messages.join(QStringLiteral(" | ")); }

    QTemporaryDir dir;
    VirtualClock clock;
    sim::SimulatedCard card;
    sim::VirtualSerialLine line{clock, card};
    FixedPort ports{1};
    HeldSetup held;
    test::RecordingUi ui;
    SettingsStore settings{dir.filePath("Quillon.conf")};
    CardSession session{line, ports, held, ui, settings, &clock};
    CardLink& link = session.link();
    CardOperation& operation = session.operation();
    std::function<void(OperationStage, bool)> onStage; // besides recording
    OperationOptions options;
    QList<bool> finished;
    QList<std::pair<OperationStage, bool>> stages;
    int imagesAtCard = 0;
};

// ---------------------------------------------------------------- Cancel

enum class Moment { BackupOpening, BackupImageComing, BetweenConnections, SendImageOnItsWay, WaitingForFlash, VerifyRead };

struct CancelRow {
    const char* name;
    CardKind kind;
    Moment moment;
    int imagesAtCard; // -1: not checked
    int backups;
};

void PrintTo(const CancelRow& row, std::ostream* os) { *os << row.name; }

// Runs the Send until the moment comes, then presses Cancel (or does stop); false when it never
// came. Each connection opens the port once.
bool cancelAt(Rig& r, Moment moment, const std::function<void()>& stop = {})
{
    const auto at = [&](std::function<bool()> when) {
        if (!r.clock.advanceUntil([&] { return when() || !r.finished.isEmpty(); }, 30000, 1) || !r.finished.isEmpty())
            return false;
        stop ? stop() : r.operation.cancel();
        return true;
    };
    switch (moment) {
    case Moment::BackupOpening:
        return at([&] { return r.line.portOpen() && !r.link.state().linkUp; });
    case Moment::BackupImageComing:
        return at([&] { return r.link.state().cardIdentified && r.card.received().contains(GetRequest); });
    case Moment::BetweenConnections: {
        // A Cancel that arrives after the backup read has ended, before the send's connection.
        bool between = false;
        r.onStage = [&](OperationStage s, bool done) {
            if (s == OperationStage::ReadingCard && done)
                r.clock.post(0, [&] {
                    between = r.operation.betweenConnections();
                    r.operation.cancel();
                });
        };
        r.clock.advanceUntil([&] { return !r.finished.isEmpty(); }, 30000, 5);
        r.onStage = nullptr;
        return between && r.line.openings() == 1;
    }
    case Moment::SendImageOnItsWay:
        return at([&] { return r.line.openings() == 2 && r.line.outBufferCount() > 40; });
    case Moment::WaitingForFlash: // the card has acknowledged the image
        return at([&] { return r.stages.contains(std::pair(OperationStage::WritingToFlash, false)); });
    case Moment::VerifyRead:
        return at([&] { return r.line.openings() == 3 && r.link.state().cardIdentified; });
    }
    return false;
}

class CancelledSend : public ::testing::TestWithParam<CancelRow> {};

TEST_P(CancelledSend, endsOnceWithReason8AndStartsNoFurtherConnection)
{
    const CancelRow& row = GetParam();
    Rig r(row.kind, row.kind);
    r.operation.send(r.options);
    ASSERT_TRUE(cancelAt(r, row.moment)) << r.allMessages().toStdString();
    const int openings = r.line.openings();
    r.clock.advance(60000); // well past every timer of the link and the operation
    EXPECT_EQ(r.finished, QList<bool>{false});
    EXPECT_FALSE(r.operation.running());
    EXPECT_EQ(r.panel2(), "Port Closed 8");
    EXPECT_EQ(r.line.openings(), openings) << "no connection after the Cancel";
    if (row.imagesAtCard >= 0) {
        EXPECT_EQ(r.imagesAtCard, row.imagesAtCard);
    }
    if (row.imagesAtCard == 0) {
        EXPECT_EQ(r.card.image(), cardImageBefore(row.kind));
    }
    EXPECT_EQ(r.backups().size(), row.backups) << "a backup written stays";
    EXPECT_EQ(r.operation.backupPath().isEmpty(), row.backups == 0);
    // Cancelled once the image was written: the operator learns the card may hold it, and
    // where its previous set-up is.
    const bool received = row.moment == Moment::WaitingForFlash;
    const bool onItsWay = row.moment == Moment::SendImageOnItsWay;
    EXPECT_EQ(r.allMessages().contains("had already received the set-up when the Send was cancelled"), received);
    EXPECT_EQ(r.allMessages().contains("was on its way to the card when the Send was cancelled"), onItsWay);
    if (received || onItsWay) { // braces: GCC 14 takes EXPECT_TRUE's own if-else for a dangling else
        EXPECT_TRUE(r.allMessages().contains(QDir::toNativeSeparators(r.operation.backupPath())));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Moments, CancelledSend,
    ::testing::Values(CancelRow{"backup_before_link_up", CardKind::Sid, Moment::BackupOpening, 0, 0},
                      CancelRow{"backup_image_coming_sid", CardKind::Sid, Moment::BackupImageComing, 0, 0},
                      CancelRow{"backup_image_coming_avm", CardKind::Avm, Moment::BackupImageComing, 0, 0},
                      CancelRow{"between_connections", CardKind::Sid, Moment::BetweenConnections, 0, 1},
                      // The rest of an image on its way stays at the host: the card takes nothing.
                      CancelRow{"send_image_on_its_way", CardKind::Avm, Moment::SendImageOnItsWay, 0, 1},
                      CancelRow{"send_waiting_for_flash", CardKind::Sid, Moment::WaitingForFlash, 1, 1},
                      CancelRow{"verify_read", CardKind::Avm, Moment::VerifyRead, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Closing the program stops an image on its way as Cancel does.
TEST(ClosedProgram, leavesTheRestOfAnImageOnItsWayAtTheHost)
{
    Rig r(CardKind::Avm, CardKind::Avm);
    r.operation.send(r.options);
    ASSERT_TRUE(cancelAt(r, Moment::SendImageOnItsWay, [&] { r.session.shutdown(); }));
    r.clock.advance(60000);
    EXPECT_EQ(r.imagesAtCard, 0);
}

// ---------------------------------------------------------------- whole operations

enum class Folder { Writable, IsAFile, UnderAFile };

struct OperationRow {
    const char* name;
    bool send;
    CardKind cardKind;
    CardKind heldKind;
    bool backup, verify, storeDifferently;
    Folder folder;
    bool succeeded;
    int connections;
    int imagesAtCard;
    int backups;
    const char* lastMessage; // the operation's last message begins with it
    const char* alsoSaid;    // and some message holds this ("" none)
    const char* panel2;
};

void PrintTo(const OperationRow& row, std::ostream* os) { *os << row.name; }

class Operation : public ::testing::TestWithParam<OperationRow> {};

TEST_P(Operation, tellsTheOperatorAndLeavesTheCardAndBackupsAsExpected)
{
    const OperationRow& row = GetParam();
    CardOptions card;
    card.storeDifferently = row.storeDifferently;
    Rig r(row.cardKind, row.heldKind, card);
    r.options.backup = row.backup;
    r.options.verify = row.verify;
    if (row.folder != Folder::Writable) {
        testsupport::writeFile(r.dir.filePath("plain"), "a file, not a folder");
        r.options.backupFolder = r.dir.filePath(row.folder == Folder::IsAFile ? "plain" : "plain/backups");
    }
    row.send ? r.operation.send(r.options) : r.operation.get(r.options);
    ASSERT_TRUE(r.runToEnd());
    r.clock.advance(30000);
    const std::string said = r.allMessages().toStdString();
    EXPECT_EQ(r.finished, QList<bool>{row.succeeded}) << said;
    EXPECT_EQ(r.line.openings(), row.connections) << said;
    EXPECT_EQ(r.imagesAtCard, row.imagesAtCard) << said;
    ASSERT_FALSE(r.ui.messages.isEmpty());
    EXPECT_TRUE(r.ui.messages.last().startsWith(row.lastMessage)) << said;
    EXPECT_TRUE(r.allMessages().contains(row.alsoSaid)) << said;
    EXPECT_EQ(r.panel2(), row.panel2) << said;
    if (row.folder != Folder::Writable) {
        EXPECT_TRUE(r.allMessages().contains(QDir::toNativeSeparators(r.options.backupFolder)))
            << "the message names the folder: " << said;
        EXPECT_TRUE(r.operation.backupPath().isEmpty());
        return;
    }
    EXPECT_EQ(r.backups().size(), row.backups);

    const QByteArray before = cardImageBefore(row.cardKind);
    if (row.backups == 1) {
        // The backup is what the card held before: the image itself, or the settings it decodes to.
        const QByteArray backup = testsupport::readFile(r.operation.backupPath());
        const QByteArray backedUp = row.cardKind == CardKind::Avm
            ? backup : encodeSidImage(parseSetupText(backup, defaultSetupValues())).image;
        EXPECT_EQ(backedUp, before);
    }
    if (!row.send) {
        EXPECT_EQ(r.held.setupImage, before) << "the Get's set-up is held";
    } else if (row.imagesAtCard == 1 && !row.storeDifferently) {
        EXPECT_EQ(r.card.image(), row.heldKind == CardKind::Avm ? avmToSend() : sidToSend());
    } else if (row.imagesAtCard == 0) {
        EXPECT_EQ(r.card.image(), before);
    }
}

constexpr auto Sid = CardKind::Sid, Avm = CardKind::Avm;
constexpr auto Writable = Folder::Writable;

INSTANTIATE_TEST_SUITE_P(
    Rows, Operation,
    ::testing::Values(
        OperationRow{"send_sid_backs_up_sends_verifies", true, Sid, Sid, true, true, false, Writable, true, 3, 1, 1,
                     "Card Setup Verified.", "Card Setup Sent!", "Card Setup Verified"},
        OperationRow{"send_avm_backs_up_sends_verifies", true, Avm, Avm, true, true, false, Writable, true, 3, 1, 1,
                     "Card Setup Verified.", "Card Setup Sent!", "Card Setup Verified"},
        OperationRow{"verify_names_the_changed_setting", true, Sid, Sid, true, true, true, Writable, false, 3, 1, 1,
                     "The card holds a different set-up than was sent.\nSet-up Audio, Level", "Card Setup Sent!",
                     "Card Setup Verify Failed"},
        OperationRow{"verify_names_the_changed_offset", true, Avm, Avm, true, true, true, Writable, false, 3, 1, 1,
                     "The card holds a different set-up than was sent.\nAVM image, byte at offset 119", "",
                     "Card Setup Verify Failed"},
        OperationRow{"no_backup_no_verify_is_one_connection", true, Avm, Avm, false, false, false, Writable, true, 1,
                     1, 0, "Card Setup Sent!", "", "Card Setup Sent"},
        OperationRow{"avm_card_sid_setup_sends_nothing", true, Avm, Sid, true, true, false, Writable, false, 1, 0, 1,
                     "The card on the line is an AVM card; the set-up to send is a SID set-up. Nothing was sent.", "",
                     "Card Setup Failed"},
        OperationRow{"sid_card_avm_setup_sends_nothing", true, Sid, Avm, true, true, false, Writable, false, 1, 0, 1,
                     "The card on the line is a SID card; the set-up to send is an AVM set-up. Nothing was sent.", "",
                     "Card Setup Failed"},
        OperationRow{"send_backup_folder_is_a_file", true, Sid, Sid, true, true, false, Folder::IsAFile, false, 1, 0,
                     0, "", "Nothing was sent.", "Card Setup Failed"},
        OperationRow{"send_backup_folder_under_a_file", true, Avm, Avm, true, false, false, Folder::UnderAFile, false,
                     1, 0, 0, "", "Nothing was sent.", "Card Setup Failed"},
        OperationRow{"get_keeps_a_backup", false, Avm, Sid, true, true, false, Writable, true, 1, 0, 1,
                     "Card Setup Retrieved", "", "Process Complete"},
        OperationRow{"get_goes_on_without_its_backup", false, Sid, Sid, true, true, false, Folder::UnderAFile, true,
                     1, 0, 0, "Card Setup Retrieved", "", "Process Complete"}),
    [](const auto& info) { return std::string(info.param.name); });

// Get or Send pressed again while a Send's connection runs: the running connection ends and
// the new operation runs whole, with a backup of its own reading.
TEST(OperationPressedAgain, theNewOperationRunsToItsEnd)
{
    for (bool again : {false, true}) {
        Rig r(Sid, Sid);
        r.operation.send(r.options);
        ASSERT_TRUE(r.clock.advanceUntil([&] { return r.line.openings() == 2 && r.link.state().cardIdentified; }, 30000));
        again ? r.operation.send(r.options) : r.operation.get(r.options);
        ASSERT_TRUE(r.runToEnd());
        r.clock.advance(30000);
        const std::string said = r.allMessages().toStdString();
        EXPECT_EQ(r.finished, QList<bool>{true}) << said;
        EXPECT_EQ(r.line.openings(), again ? 5 : 3) << said;
        EXPECT_EQ(r.ui.messages.last(), again ? "Card Setup Verified." : "Card Setup Retrieved") << said;
        // Both read the same set-up: the new operation's backup is the first one, not a copy.
        EXPECT_EQ(r.backups().size(), 1) << said;
        EXPECT_EQ(QFileInfo(r.operation.backupPath()).fileName(), r.backups().value(0)) << said;
    }
}

// The stages a default Send reports: each starts, then completes, in the order of the list.
TEST(OperationStages, aDefaultSendStartsAndCompletesEachStageInOrder)
{
    Rig r(Sid, Sid);
    r.operation.send(r.options);
    ASSERT_TRUE(r.runToEnd());
    ASSERT_EQ(r.finished, QList<bool>{true});
    QList<std::pair<OperationStage, bool>> firsts; // a stage told twice counts once
    for (const auto& event : r.stages) {
        if (!firsts.contains(event))
            firsts << event;
    }
    QList<std::pair<OperationStage, bool>> expected;
    for (OperationStage s : r.operation.stages())
        expected << std::pair(s, false) << std::pair(s, true);
    EXPECT_EQ(firsts, expected);
    for (OperationStage s : r.operation.stages())
        EXPECT_TRUE(r.stages.lastIndexOf(std::pair(s, false)) < r.stages.indexOf(std::pair(s, true)))
            << "no stage starts again once complete: " << qPrintable(operationStageText(s));
}

} // namespace
} // namespace quillon
