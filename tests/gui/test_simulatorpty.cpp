// SPDX-License-Identifier: GPL-3.0-or-later
// The program as shipped (Qt serial port, Qt timers) against kx40-sim on a pseudo-terminal.
#if defined(KX40_SIM)

#include "guifixture.h"

#include "forms/progressdialog.h"
#include "link/cardlink.h"

#include <QFile>
#include <QTableWidget>
#include <QProcess>

namespace quillon::test {
namespace {

class SimulatorOnPty : public GuiFixture {
protected:
    void SetUp() override {}
    void launch(const QStringList& cardOptions = {})
    {
        ASSERT_TRUE(dir.isValid());
        received = dir.filePath("received.bin");
        sim.setProgram(QStringLiteral(KX40_SIM));
        sim.setArguments(QStringList{"--link", dir.filePath("kx40"), "--save-image", received} + cardOptions);
        sim.start();
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(sim.waitForReadyRead(5000)) << sim.readAllStandardError().toStdString();
        const QString link = QString::fromLocal8Bit(sim.readLine()).trimmed();
        ASSERT_FALSE(link.isEmpty());
        prepareSettings();
        settings.setPortDevice(1, link);
        settings.setChosenPort(1);
        window = std::make_unique<MainWindow>(services());
        ASSERT_TRUE(window->menuItem("optionsCom1")->isChecked());
    }
    void TearDown() override
    {
        GuiFixture::TearDown();
        sim.terminate();
        sim.waitForFinished(5000);
    }
    bool waitForMessage(const QString& text)
    {
        return QTest::qWaitFor([&] { return messages.contains(text) && !window->link().portOpen(); },
                               20000);
    }

    QProcess sim;
    QString received;
};

TEST_F(SimulatorOnPty, getThenSendFromTheToolbar)
{
    ASSERT_NO_FATAL_FAILURE(launch());
    window->show();
    window->toolbarButtonClicked(6);
    ASSERT_TRUE(waitForMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_EQ(panel(2), "Process Complete");
    EXPECT_EQ(panel(3), "SID Card Detected");
    EXPECT_EQ(window->held().fields.values(), defaultSetupValues()); // the simulator's set-up

    typeInto("Controls", "gpi1Text", "ON AIR");
    window->toolbarButtonClicked(5);
    // Read first for the backup, sent, then read back and compared.
    ASSERT_TRUE(waitForMessage("Card Setup Verified.")) << messages.join(" / ").toStdString();
    EXPECT_EQ(panel(2), "Card Setup Verified");
    EXPECT_TRUE(messages.contains("Unsaved Transferred."));
    EXPECT_TRUE(messages.contains("Card Setup Sent!"));
    QFile image(received);
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    EXPECT_EQ(image.readAll(), encodeSidImage(window->held().fields.values()).image);
    EXPECT_TRUE(window->toolbarButton(5)->isEnabled());
    EXPECT_TRUE(window->toolbarButton(6)->isEnabled());
}

// The card's device vanishes under a running Get or Send (kx40-sim killed takes its
// pseudo-terminal with it; the card holds each answer back, so the transfer is still waiting).
TEST_F(SimulatorOnPty, aPortThatVanishesMidTransferFailsItAndGivesTheButtonsBack)
{
    for (const int button : {6, 5}) {
        SCOPED_TRACE(button == 6 ? "Get" : "Send");
        ASSERT_NO_FATAL_FAILURE(launch({"--ack-delay", "1000"}));
        window->show();
        window->toolbarButtonClicked(button);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->link().state().cardIdentified; }, 10000));
        sim.kill();
        sim.waitForFinished(3000);

        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->link().flowRunning(); }, 5000));
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].startsWith("The serial port closed during the transfer")) << messages[0].toStdString();
        EXPECT_EQ(panel(2), "Port Closed 10");
        EXPECT_FALSE(window->link().portOpen());
        EXPECT_TRUE(window->toolbarButton(5)->isEnabled());
        EXPECT_TRUE(window->toolbarButton(6)->isEnabled());
        EXPECT_FALSE(window->progressDialog(false) && window->progressDialog(false)->isVisible());
        EXPECT_EQ(window->held().fields.values(), defaultSetupValues());
        TearDown();
        messages.clear();
    }
}

TEST_F(SimulatorOnPty, compareWithTheCardLeavesTheWindowsAndTheLinkAsTheyWere)
{
    ASSERT_NO_FATAL_FAILURE(launch());
    window->show();
    typeInto("Controls", "gpi1Text", "ON AIR");
    window->held().fields.setText(Field::AudioWindowHorizontal, "30"); // from a file; a card does not keep it
    const SetupValues edited = window->held().fields.values();
    window->menuItem("toolsCompareWithCard")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->compareWindow() && !window->comparingWithCard(); }, 20000))
        << messages.join(" / ").toStdString();
    EXPECT_EQ(window->compareWindow()->windowTitle(), "Compare With Card 4B58343031"); // its serial
    QTableWidget* table = window->compareWindow()->table();
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 1)->text(), "Program GPI #1: Message Text");
    EXPECT_EQ(table->item(0, 3)->text(), "\"RECORD\"");
    EXPECT_EQ(window->held().fields.values(), edited);
    EXPECT_EQ(panel(1), "SID Config Loaded");

    // The program's own link has its port back.
    messages.clear();
    window->toolbarButtonClicked(6);
    ASSERT_TRUE(waitForMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_EQ(table->rowCount(), 0);
}

TEST_F(SimulatorOnPty, closingTheWindowWhileComparingWithTheCardEndsThatConnection)
{
    ASSERT_NO_FATAL_FAILURE(launch());
    window->show();
    window->menuItem("toolsCompareWithCard")->trigger();
    ASSERT_TRUE(window->comparingWithCard());
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel(3) == "SID Card Detected"; }, 10000));
    window->close();
    EXPECT_FALSE(window->comparingWithCard());
    EXPECT_FALSE(window->link().portOpen());
    EXPECT_EQ(window->compareWindow(), nullptr);
}

} // namespace
} // namespace quillon::test

#endif
