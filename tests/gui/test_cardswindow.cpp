// SPDX-License-Identifier: GPL-3.0-or-later
// The Cards window over simulated cards on virtual lines: the table, each card's progress and
// outcome while a run goes on, one summary at the end, and add, edit and remove.
#if defined(QUILLON_HAVE_SIM)

#include "app/core/settingsstore.h"
#include "app/gui/cardswindow.h"
#include "files/setupfiles.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "support/testsupport.h"
#include "support/virtualclock.h"
#include "support/virtualserialline.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace quillon::test {
namespace {

class CardsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.setValue(QStringLiteral("Backups"), QStringLiteral("Folder"), dir.filePath("backups"));
        settings.setValue(QStringLiteral("Trace"), QStringLiteral("Path"), dir.filePath("Out.bin"));
        exportSetupText(dir.filePath("ref.kxd"), defaultSetupValues());
        testsupport::writeFile(inventory, "[A]\nport = /dev/rack/a\nkind = SID\nserial = 4B58340001\ngroups = studio3\nreference = ref.kxd\n\n"
                                          "[B]\nport = /dev/rack/b\nkind = SID\nserial = 4B58340002\n\n"
                                          "[Silent]\nport = /dev/rack/silent\n");
        addCard(QStringLiteral("A"), "4b58340001", false);
        addCard(QStringLiteral("B"), "4b58340002", false);
        addCard(QStringLiteral("Silent"), "4b58340003", true);
        auto desk = std::make_unique<FleetDesk>(settings, inventory, &clock, [this](const InventoryCard& card) -> std::unique_ptr<SerialControl> {
            return std::make_unique<sim::VirtualSerialLine>(clock, *cards.at(card.name));
        });
        window = new CardsWindow(std::move(desk), [] { return ComparedSetup{}; }, nullptr);
        window->tell = [this](const QString& text) { told << text; };
    }
    void TearDown() override { delete window.data(); }

    void addCard(const QString& name, const char* serial, bool silent)
    {
        sim::CardOptions options;
        options.serialNumber = QByteArray::fromHex(serial);
        options.silent = silent;
        cards[name] = std::make_unique<sim::SimulatedCard>(clock, options);
        cards[name]->start();
    }

    QString cell(int row, int column) const { return window->table()->item(row, column)->text(); }
    bool runToEnd() { return clock.advanceUntil([this] { return !window->desk().busy(); }, 120000, 5); }

    QTemporaryDir dir;
    const QString inventory = dir.filePath("cards.ini");
    VirtualClock clock;
    SettingsStore settings{dir.filePath("Quillon.conf")};
    std::map<QString, std::unique_ptr<sim::SimulatedCard>> cards;
    QPointer<CardsWindow> window;
    QStringList told;
};

TEST_F(CardsWindowTest, aCheckShowsEachCardsProgressAndOutcomeAndOneSummary)
{
    QTableWidget* table = window->table();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(cell(0, CardsWindow::Name), "A");
    EXPECT_EQ(cell(0, CardsWindow::Groups), "studio3");
    EXPECT_EQ(cell(1, CardsWindow::Serial), "4B58340002");
    EXPECT_EQ(cell(2, CardsWindow::Kind), "");

    window->findChild<QPushButton*>("checkCards")->click();
    EXPECT_FALSE(window->findChild<QPushButton*>("checkCards")->isEnabled()) << "one run at a time";
    EXPECT_TRUE(window->findChild<QPushButton*>("stopCards")->isEnabled());
    clock.advance(300);
    EXPECT_FALSE(cell(0, CardsWindow::Status).isEmpty()) << "its progress while it runs";
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(told, QStringList{"3 cards: 2 ok, 1 failed, 0 skipped"});
    EXPECT_EQ(cell(0, CardsWindow::Status), "OK: SID card, serial 4B58340001, set-up version 0");
    EXPECT_TRUE(cell(2, CardsWindow::Status).startsWith("Failed: ")) << cell(2, CardsWindow::Status).toStdString();
    EXPECT_FALSE(table->item(2, CardsWindow::Status)->toolTip().isEmpty()) << "a failed row says why";
    EXPECT_FALSE(cell(0, CardsWindow::LastSeen).isEmpty());
    EXPECT_TRUE(cell(2, CardsWindow::LastSeen).isEmpty());
    EXPECT_TRUE(window->findChild<QPushButton*>("checkCards")->isEnabled());

    // Back Up and Verify on the selected card alone.
    table->selectRow(0);
    told.clear();
    window->backUp();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(told, QStringList{"1 card: 1 ok, 0 failed, 0 skipped"});
    EXPECT_FALSE(cell(0, CardsWindow::LastBackup).isEmpty());
    EXPECT_TRUE(cell(1, CardsWindow::LastBackup).isEmpty());
    window->verify();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(cell(0, CardsWindow::Matches), "Yes");

    // A set-up to the second card alone.
    SetupValues studio = defaultSetupValues();
    studio.setText(Field::MissingSidMessage, QStringLiteral("STUDIO 3"));
    table->selectRow(1);
    told.clear();
    window->sendSetup(ComparedSetup{CardType::SID, studio, {}}, QStringLiteral("Studio"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(told, QStringList{"1 card: 1 ok, 0 failed, 0 skipped"});
    EXPECT_EQ(cards.at(QStringLiteral("B"))->image(), encodeSidImage(studio).image);
    EXPECT_NE(cards.at(QStringLiteral("A"))->image(), encodeSidImage(studio).image);
}

TEST_F(CardsWindowTest, aStopEndsTheRunAndAddEditAndRemoveWriteTheFile)
{
    window->check(); // nothing selected: every card
    clock.advance(100);
    window->desk().stop();
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].startsWith("3 cards: 0 ok")) << told[0].toStdString();

    InventoryCard spare;
    spare.name = QStringLiteral("Spare");
    spare.port = QStringLiteral("rfc2217://rack3:7001");
    EXPECT_EQ(window->desk().put(spare), QString());
    EXPECT_EQ(window->table()->rowCount(), 4);
    EXPECT_NE(window->desk().put(spare), QString()) << "a name taken";
    spare.name = QStringLiteral("Spare 2");
    EXPECT_EQ(window->desk().put(spare, QStringLiteral("Spare")), QString());
    EXPECT_EQ(cell(3, CardsWindow::Name), "Spare 2");
    EXPECT_EQ(window->desk().remove(QStringLiteral("Spare 2")), QString());
    EXPECT_EQ(window->table()->rowCount(), 3);
    QFile file(inventory);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("Spare"));
}

// Closing the window in the middle of a run leaves nothing behind that runs on (the sanitizer
// build sees any timer or port callback that outlives the window).
TEST_F(CardsWindowTest, closingTheWindowMidRunEndsTheConnections)
{
    window->desk().run(FleetAction::Backup, {QStringLiteral("A"), QStringLiteral("B")});
    clock.advanceUntil([this] { return cards.at(QStringLiteral("A"))->phase() == sim::CardPhase::Ready; }, 10000, 1);
    ASSERT_TRUE(window->desk().busy());
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    clock.advance(30000); // no timer of the window's runs on
    EXPECT_TRUE(told.isEmpty()) << "no summary from a window that is gone";
}

} // namespace
} // namespace quillon::test

#endif
