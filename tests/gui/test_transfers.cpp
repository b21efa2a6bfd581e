// Get and Send from the toolbar, with a simulated card on a virtual serial line: the whole
// program above the serial control, on virtual time.
#if defined(QUILLON_HAVE_SIM)

#include "guifixture.h"

#include "app/core/backups.h"
#include "forms/progressdialog.h"
#include "link/settingsstore.h"
#include "link/cardlink.h"
#include "link/virtualclock.h"
#include "simulatedcard.h"
#include "virtualserialline.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QPushButton>

namespace quillon::test {
namespace {

using sim::CardKind;
using sim::CardOptions;
using sim::SimulatedCard;
using sim::VirtualSerialLine;

class Transfers : public GuiFixture {
protected:
    void SetUp() override
    {
        SettingsStore().setValue("File", "Comm", "1");
    }
    // The card is switched on and calling before the window starts.
    void start(CardOptions options = {})
    {
        card = std::make_unique<SimulatedCard>(clock, std::move(options));
        line = std::make_unique<VirtualSerialLine>(clock, *card);
        card->start();
        clock.advance(700);
        GuiFixture::SetUp();
    }
    void TearDown() override
    {
        GuiFixture::TearDown();
        line.reset();
        card.reset();
    }
    ShellServices services() override
    {
        ShellServices s = GuiFixture::services();
        s.serial = line.get();
        s.clock = &clock;
        return s;
    }
    // Runs virtual time until the message shows and the port is closed again.
    bool runUntilMessage(const QString& text)
    {
        return clock.advanceUntil(
            [&] { return messages.contains(text) && !window->link().portOpen(); }, 30000, 5);
    }
    bool transferButtonsEnabled() const
    {
        return window->toolbarButton(5)->isEnabled() && window->toolbarButton(6)->isEnabled();
    }

    VirtualClock clock;
    std::unique_ptr<SimulatedCard> card;
    std::unique_ptr<VirtualSerialLine> line;
};

TEST_F(Transfers, getFromTheToolbarFillsTheWindows)
{
    CardOptions options;
    SetupValues onCard = defaultSetupValues();
    onCard.setText(Field::Gpi1Text, "ON AIR");
    onCard.setChoice(Field::PeakLevel, 3);
    const QByteArray image = encodeSidImage(onCard).image;
    options.image = image;
    start(options);
    ASSERT_TRUE(window->menuItem("optionsCom1")->isChecked());

    window->toolbarButtonClicked(6);
    clock.advance(1);
    EXPECT_FALSE(window->toolbarButton(5)->isEnabled());
    EXPECT_FALSE(window->toolbarButton(6)->isEnabled());

    ASSERT_TRUE(runUntilMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_EQ(messages, QStringList{"Card Setup Retrieved"});
    EXPECT_EQ(panel(1), "SID Config Loaded");
    EXPECT_EQ(panel(2), "Process Complete");
    EXPECT_EQ(panel(3), "SID Card Detected");
    EXPECT_TRUE(transferButtonsEnabled());
    EXPECT_EQ(window->held().setupImage, image);
    EXPECT_EQ(window->held().fields.values(), onCard);
    EXPECT_EQ(control<QLineEdit>("Controls", "gpi1Text")->text(), "ON AIR");
    EXPECT_EQ(control<QComboBox>("Audio", "peakLevel")->currentIndex(), 3);
    EXPECT_FALSE(window->progressDialog(false) && window->progressDialog(false)->isVisible());
}

TEST_F(Transfers, getFromAnAvmCardIsSavedAsAnAvmFile)
{
    CardOptions options;
    options.kind = CardKind::Avm;
    start(options);
    window->menuItem("toolsGetConfiguration")->trigger();
    ASSERT_TRUE(runUntilMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_EQ(panel(1), "AVM Config Loaded");
    EXPECT_EQ(panel(3), "AVM Card Detected");

    dialogs.nextAnswer = dir.filePath("Card.kxm");
    window->toolbarButtonClicked(3);
    EXPECT_EQ(dialogs.questions.back().proposedName, "Unsaved.kxm");
    QFile saved(dir.filePath("Card.kxm"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), sim::defaultCardImage(CardKind::Avm));
}

// A Send with both safety options on: backup read, send, read back; the stages ticked off,
// the link's counters shown, and the verdict of the comparison.
struct SendRow {
    const char* name;
    bool storeDifferently;
    const char* lastMessage; // its first line
    const char* panel2;
};

class VerifiedSend : public Transfers, public ::testing::WithParamInterface<SendRow> {};

TEST_P(VerifiedSend, fromTheToolbarDeliversTheWindowsSettingsAndReadsThemBack)
{
    const SendRow& row = GetParam();
    CardOptions options;
    options.storeDifferently = row.storeDifferently;
    start(options);
    typeInto("Controls", "gpi1Text", "ON AIR");

    window->toolbarButtonClicked(5);
    ASSERT_TRUE(clock.advanceUntil([&] { return !window->operationRunning(); }, 30000, 5));

    ASSERT_EQ(messages.size(), 3) << messages.join(" / ").toStdString();
    EXPECT_EQ(messages.mid(0, 2), QStringList({"Unsaved Transferred.", "Card Setup Sent!"}));
    EXPECT_EQ(messages[2].section('\n', 0, 0), row.lastMessage);
    if (row.storeDifferently) // one line per setting that differs: the level the card changed
        EXPECT_EQ(messages[2].section('\n', 1), "Set-up Audio, Level: Peak Analog: sent 14dBu  -10dB, read back 13dBu  -11dB");
    EXPECT_EQ(panel(2), row.panel2);
    EXPECT_EQ(panel(3), "SID Card Detected");
    EXPECT_TRUE(transferButtonsEnabled());
    EXPECT_TRUE(card->image().contains("ON AIR"));

    ProgressDialog* progress = window->progressDialog(false);
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(progress->isVisible());
    const QString verifying = row.storeDifferently ? "[>] Verifying" : "[x] Verifying";
    EXPECT_EQ(progress->stageLines(), QStringList({"[x] Reading the card (backup)", "[x] Connecting",
                                                   "[x] Identifying the card", "[x] Sending the set-up",
                                                   "[x] Writing to flash", verifying}));
    const QString counters = progress->findChild<QLabel*>("countersLabel")->text();
    EXPECT_TRUE(counters.contains(QRegularExpression("^Frames sent [1-9][0-9]*, received [1-9]"))) << counters.toStdString();
    EXPECT_TRUE(counters.endsWith("Last failure: none")) << counters.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cards, VerifiedSend,
    ::testing::Values(SendRow{"card_keeps_what_was_sent", false, "Card Setup Verified.", "Card Setup Verified"},
                      SendRow{"card_stores_differently", true, "The card holds a different set-up than was sent.",
                              "Card Setup Verify Failed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Transfers, progressCancelEndsTheTransferAndOffersTheButtonsAgain)
{
    start();
    window->toolbarButtonClicked(6);
    clock.advanceUntil([&] { return window->progressDialog(false) != nullptr; }, 2000, 1);
    ProgressDialog* progress = window->progressDialog(false);
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());

    progress->findChild<QPushButton*>("cancelButton")->click();
    clock.runDue();

    EXPECT_EQ(panel(2), "Port Closed 8");
    EXPECT_FALSE(window->link().portOpen());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(transferButtonsEnabled());
}

// Cancel during the send, after the backup read: the whole operation ends (no read-back
// follows) and the backup stays.
TEST_F(Transfers, cancelInTheSendStageEndsTheWholeSendAndKeepsTheBackup)
{
    start();
    window->toolbarButtonClicked(5);
    ASSERT_TRUE(clock.advanceUntil([&] {
        ProgressDialog* progress = window->progressDialog(false);
        return progress && progress->stageLines().value(3) == "[>] Sending the set-up";
    }, 30000, 1));
    ProgressDialog* progress = window->progressDialog(false);
    progress->findChild<QPushButton*>("cancelButton")->click();
    clock.advance(5000);

    EXPECT_EQ(panel(2), "Port Closed 8");
    EXPECT_FALSE(window->operationRunning());
    EXPECT_FALSE(window->link().portOpen());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(progress->stageLines().value(5).startsWith("[ ]")) << "no read-back";
    const QString backups = QDir(backupFolder(SettingsStore())).absolutePath();
    EXPECT_FALSE(QDir(backups).entryList(QDir::Files).isEmpty()) << backups.toStdString();
}

TEST_F(Transfers, closingTheWindowDuringATransferClosesThePortWithoutAQuestion)
{
    start();
    window->toolbarButtonClicked(6);
    clock.advanceUntil([&] { return window->link().portOpen(); }, 2000, 1);
    ASSERT_TRUE(window->link().portOpen());
    window->close();
    EXPECT_FALSE(window->link().portOpen());
    EXPECT_FALSE(line->portOpen());
    clock.advance(30000); // no timer of the link is left to fire
    EXPECT_TRUE(messages.isEmpty());
}

} // namespace
} // namespace quillon::test

#endif
