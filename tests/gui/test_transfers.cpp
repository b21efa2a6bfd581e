// Get and Send from the toolbar, with a simulated card on a virtual serial line: the whole
// program above the serial control, on virtual time.
#if defined(QUILLON_HAVE_SIM)

#include "guifixture.h"

#include "forms/progressdialog.h"
#include "link/cardlink.h"
#include "link/virtualclock.h"
#include "simulatedcard.h"
#include "virtualserialline.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
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
    QAction* logFrames = window->menuItem("optionsLogFrames");
    ASSERT_FALSE(logFrames->isChecked()) << "off by default";
    logFrames->trigger();
    EXPECT_EQ(SettingsStore().value("Trace", "FrameLog"), "true");
    window->menuItem("toolsGetConfiguration")->trigger();
    ASSERT_TRUE(runUntilMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_EQ(panel(1), "AVM Config Loaded");
    EXPECT_EQ(panel(3), "AVM Card Detected");
    // The frame log, next to the trace file.
    QFile frameLog(QFileInfo(SettingsStore().value("Trace", "Path")).dir().filePath("frames.log"));
    ASSERT_TRUE(frameLog.open(QIODevice::ReadOnly));
    const QByteArray logged = frameLog.readAll();
    EXPECT_TRUE(logged.contains(" -- SPEED 1200 baud\n") && logged.contains("| SetupData 120 bytes v1 | CRC good\n")) << logged.constData();
    logFrames->trigger();
    EXPECT_EQ(SettingsStore().value("Trace", "FrameLog"), "false");

    dialogs.nextAnswer = dir.filePath("Card.kxm");
    window->toolbarButtonClicked(3);
    EXPECT_EQ(dialogs.questions.back().proposedName, "Unsaved.kxm");
    QFile saved(dir.filePath("Card.kxm"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), sim::defaultCardImage(CardKind::Avm));
}

TEST_F(Transfers, sendFromTheToolbarDeliversTheWindowsSettings)
{
    start();
    typeInto("Controls", "gpi1Text", "ON AIR");

    window->toolbarButtonClicked(5);
    ASSERT_TRUE(runUntilMessage("Card Setup Sent!")) << messages.join(" / ").toStdString();

    EXPECT_EQ(messages, QStringList({"Unsaved Transferred.", "Card Setup Sent!"}));
    EXPECT_EQ(panel(2), "Card Setup Sent");
    EXPECT_EQ(panel(3), "SID Card Detected");
    EXPECT_TRUE(transferButtonsEnabled());
    EXPECT_EQ(card->image(), encodeSidImage(window->held().fields.values()).image);
    EXPECT_TRUE(card->image().contains("ON AIR"));
}

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
