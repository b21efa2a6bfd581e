// SPDX-License-Identifier: GPL-3.0-or-later
// The program as shipped (Qt serial port, Qt timers) against kx40-sim on a pseudo-terminal.
#if defined(KX40_SIM)

#include "guifixture.h"

#include "forms/progressdialog.h"
#include "link/cardlink.h"

#include <QDir>
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
        ASSERT_NO_FATAL_FAILURE(startCard(cardOptions));
        ASSERT_NO_FATAL_FAILURE(openWindow());
        ASSERT_TRUE(window->menuItem("optionsCom1")->isChecked());
    }
    // The card's device is dir/kx40, a link the simulator makes.
    void startCard(const QStringList& cardOptions = {})
    {
        ASSERT_TRUE(dir.isValid());
        received = dir.filePath("received.bin");
        sim.setProgram(QStringLiteral(KX40_SIM));
        sim.setArguments(QStringList{"--link", dir.filePath("kx40"), "--save-image", received} + cardOptions);
        sim.start();
        ASSERT_TRUE(sim.waitForStarted(15000));
        ASSERT_TRUE(sim.waitForReadyRead(15000)) << sim.readAllStandardError().toStdString();
        ASSERT_EQ(QString::fromLocal8Bit(sim.readLine()).trimmed(), dir.filePath("kx40"));
    }
    void openWindow()
    {
        prepareSettings();
        settings.setPortDevice(1, dir.filePath("kx40"));
        settings.setChosenPort(1);
        window = std::make_unique<MainWindow>(services());
    }
    void TearDown() override
    {
        GuiFixture::TearDown();
        sim.terminate();
        sim.waitForFinished(5000);
    }
    // An operation answers with one box, a line for each thing it has to say.
    bool said(const QString& line) const { return messages.join('\n').split('\n').contains(line); }
    bool waitForMessage(const QString& text)
    {
        return QTest::qWaitFor([&] { return said(text) && !window->link().portOpen(); }, 20000);
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
    EXPECT_TRUE(said("Unsaved Transferred."));
    EXPECT_TRUE(said("Card Setup Sent!"));
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

        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->link().flowRunning() && !messages.isEmpty(); }, 15000));
        QTest::qWait(50);
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

// A default Send (backup read, send, verify) answers once, when it has ended: the send's and the
// flash's words as they always were, then the verify's, under the icon of the worst of them,
// and the backup in the details.
TEST_F(SimulatorOnPty, aDefaultSendAnswersOnceWithTheIconOfItsWorstPart)
{
    const struct {
        const char* name;
        QStringList cardOptions;
        QString text;
        MessageSeverity icon;
    } rows[] = {
        {"kept", {}, "Unsaved Transferred.\nCard Setup Sent!\nCard Setup Verified.", MessageSeverity::Information},
        {"stored differently", {"--store-differently"},
         "Unsaved Transferred.\nCard Setup Sent!\nThe card holds a different set-up than was sent.", MessageSeverity::Warning},
        {"flash write fails", {"--flash-result", "2"}, "Error writing Unsaved to flash. Error 02.", MessageSeverity::Critical},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(launch(row.cardOptions));
        window->show();
        window->toolbarButtonClicked(5);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, 30000));
        QTest::qWait(200); // nothing more comes
        ASSERT_EQ(messages.size(), 1) << messages.join(" / ").toStdString();
        EXPECT_EQ(messages[0], row.text);
        EXPECT_EQ(severities[0], row.icon);
        const QString backup = "Backup of the card's set-up: " + QDir::toNativeSeparators(dir.filePath("backups"));
        EXPECT_TRUE(findings[0].contains(backup)) << findings[0].toStdString();
        TearDown();
        messages.clear();
        severities.clear();
        findings.clear();
    }
}

// A port that appears after start-up (an adapter plugged in later) is tried again at the next
// Get, and works.
TEST_F(SimulatorOnPty, aPortCreatedAfterStartUpWorksAtTheNextGet)
{
    ASSERT_NO_FATAL_FAILURE(openWindow());
    ASSERT_FALSE(window->menuItem("optionsCom1")->isEnabled());
    window->show();
    window->toolbarButtonClicked(6);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, 15000));
    ASSERT_EQ(messages[0], "Current com port selection is not valid");
    EXPECT_TRUE(findings[0].startsWith("Com1 was tried again just now and did not open (")) << findings[0].toStdString();
    EXPECT_TRUE(findings[0].contains(dir.filePath("kx40") + " does not exist.")) << findings[0].toStdString();

    messages.clear();
    ASSERT_NO_FATAL_FAILURE(startCard());
    window->toolbarButtonClicked(6);
    ASSERT_TRUE(waitForMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_TRUE(window->menuItem("optionsCom1")->isEnabled());
    EXPECT_TRUE(window->menuItem("optionsCom1")->isChecked());
    EXPECT_EQ(panel(3), "SID Card Detected");
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
    QTest::qWait(50);
    EXPECT_TRUE(messages.isEmpty()) << "the window is the answer: " << messages.join(" / ").toStdString();

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
