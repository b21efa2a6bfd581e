// SPDX-License-Identifier: GPL-3.0-or-later
// Get and Send from the toolbar, with a simulated card on a virtual serial line: the whole
// program above the serial control, on virtual time.
#if defined(QUILLON_HAVE_SIM)

#include "guifixture.h"

#include "app/core/backups.h"
#include "forms/progressdialog.h"
#include "app/core/settingsstore.h"
#include "link/cardlink.h"
#include "link/framelog.h"
#include "support/testsupport.h"
#include "support/virtualclock.h"
#include "simulatedcard.h"
#include "support/virtualserialline.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <csignal>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quillon::test {
namespace {

// Asks the program to stop as the system does: a signal on Unix; on Windows the console's
// Ctrl+C for SIGINT, Ctrl+Break for SIGTERM. False when that cannot be done here: a Windows
// program without a console (as under ctest and Wine).
bool raiseStop(int signal)
{
#ifdef Q_OS_WIN
    return ::GenerateConsoleCtrlEvent(signal == SIGINT ? CTRL_C_EVENT : CTRL_BREAK_EVENT, 0);
#else
    return std::raise(signal) == 0;
#endif
}

using sim::CardKind;
using sim::CardOptions;
using sim::SimulatedCard;
using sim::VirtualSerialLine;

class Transfers : public GuiFixture {
protected:
    void SetUp() override
    {
        settings.setValue("File", "Comm", "1");
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
    // A fresh card and window, for tables that run a transfer per row.
    void restart(CardOptions options)
    {
        TearDown();
        messages.clear();
        start(std::move(options));
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
    ASSERT_NE(window->progressDialog(false), nullptr);
    EXPECT_FALSE(window->progressDialog(false)->isVisible());
    EXPECT_EQ(window->progressDialog(false)->stageLines(),
              QStringList({"[x] Connecting", "[x] Identifying the card", "[x] Reading the card's set-up"}));
}

TEST_F(Transfers, getFromAnAvmCardIsSavedAsAnAvmFile)
{
    CardOptions options;
    options.kind = CardKind::Avm;
    start(options);
    QAction* logFrames = window->menuItem("optionsLogFrames");
    ASSERT_FALSE(logFrames->isChecked()) << "off by default";
    logFrames->trigger();
    EXPECT_EQ(settings.value("Trace", "FrameLog"), "true");
    window->menuItem("toolsGetConfiguration")->trigger();
    ASSERT_TRUE(runUntilMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_EQ(panel(1), "AVM Config Loaded");
    EXPECT_EQ(panel(3), "AVM Card Detected");
    EXPECT_FALSE(control("Audio", "peakLevel")->isEnabled()); // its settings do not apply
    // The frame log, next to the trace file.
    QFile frameLog(QFileInfo(settings.value("Trace", "Path")).dir().filePath("frames.log"));
    ASSERT_TRUE(frameLog.open(QIODevice::ReadOnly | QIODevice::Text)); // CRLF on Windows
    const QByteArray logged = frameLog.readAll();
    EXPECT_TRUE(logged.contains(" -- SPEED 1200 baud\n") && logged.contains("| SetupData 120 bytes v1 | CRC good\n")) << logged.constData();
    logFrames->trigger();
    EXPECT_EQ(settings.value("Trace", "FrameLog"), "false");

    dialogs.nextAnswer = dir.filePath("Card.kxm");
    window->toolbarButtonClicked(3);
    EXPECT_EQ(dialogs.questions.back().proposedName, "Unsaved.kxm");
    QFile saved(dir.filePath("Card.kxm"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), sim::defaultCardImage(CardKind::Avm));
}

// An undo reflex in a text box edits the box and sends nothing: the card hears no frame. The
// same key outside a text box still starts the transfer.
TEST_F(Transfers, undoAndCutInATextBoxEditItAndTheCardHearsNothing)
{
    start();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const int openings = line->openings(); // the ports tried at start-up
    QTest::keyClick(window.get(), Qt::Key_5, Qt::ControlModifier); // Set-up Controls
    auto* text = control<QLineEdit>("Controls", "gpi1Text");
    text->setFocus();
    QTest::keyClicks(text, " ON AIR");
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(text->text(), "RECORD");
    EXPECT_EQ(window->held().fields.values().text(Field::Gpi1Text), "RECORD");
    text->selectAll();
    QTest::keyClick(text, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(text->text(), "");
    clock.advance(10000);
    EXPECT_EQ(line->openings(), openings);
    EXPECT_TRUE(line->sentByHost().isEmpty());
    EXPECT_TRUE(card->received().isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();

    auto* blink = control("Controls", "gpi1Blink");
    blink->setFocus();
    QTest::keyClick(blink, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(runUntilMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
    EXPECT_EQ(text->text(), "RECORD"); // the card's
}

// A Get over an edited set-up, asked about first: one undo step, after which the set-up is
// the card's and unmarked; undone, the edits, the kind of set-up and the mark come back.
TEST_F(Transfers, anAppliedGetIsOneUndoStepAndCountsAsGot)
{
    SetupValues onCard = defaultSetupValues();
    onCard.setText(Field::Gpi1Text, "ON AIR");
    const struct {
        CardKind kind;
        QByteArray image;
        const char* panel1;
    } rows[] = {{CardKind::Sid, encodeSidImage(onCard).image, "SID Config Loaded"},
                {CardKind::Avm, sim::defaultCardImage(CardKind::Avm), "AVM Config Loaded"}};
    for (const auto& row : rows) {
        CardOptions options;
        options.kind = row.kind;
        options.image = row.image;
        restart(options);
        typeInto("Windows", "missingSidMessage", "EDITED");
        const SetupValues edited = window->held().fields.values();
        ASSERT_EQ(window->windowTitle(), "Quillon*");

        window->toolbarButtonClicked(6);
        EXPECT_EQ(replaceQuestions, 1);
        ASSERT_TRUE(runUntilMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
        EXPECT_EQ(window->held().setupImage, row.image);
        EXPECT_EQ(window->windowTitle(), "Quillon");
        EXPECT_EQ(window->menuItem("editUndo")->text(), "&Undo Get Configuration");

        window->menuItem("editUndo")->trigger();
        EXPECT_EQ(window->held().fields.values(), edited);
        EXPECT_EQ(window->held().loadedCardType, CardType::SID);
        EXPECT_EQ(panel(1), "SID Config Loaded");
        EXPECT_EQ(window->windowTitle(), "Quillon*");

        window->menuItem("editRedo")->trigger();
        EXPECT_EQ(window->held().setupImage, row.image);
        EXPECT_EQ(panel(1), row.panel1);
        EXPECT_EQ(window->windowTitle(), "Quillon");
        if (row.kind == CardKind::Sid) { // braces: EXPECT_EQ's own if-else
            EXPECT_EQ(window->held().fields.values(), onCard);
        }

        // The card holds what its newest backup holds: a second Get writes no other.
        const qsizetype kept = BackupFolder(settings.backupFolder()).list().size();
        messages.clear();
        window->toolbarButtonClicked(6);
        ASSERT_TRUE(runUntilMessage("Card Setup Retrieved")) << messages.join(" / ").toStdString();
        EXPECT_EQ(BackupFolder(settings.backupFolder()).list().size(), kept);
        replaceQuestions = 0;
    }
}

// A Send with both safety options on: backup read, send, read back; the stages ticked off,
// the link's counters added up over the three connections, one answer at the end under the
// icon of its worst part, and the frame log of all three connections.
struct SendRow {
    const char* name;
    bool storeDifferently;
    const char* lastMessage;
    const char* panel2;
    MessageSeverity icon;
};

class VerifiedSend : public Transfers, public ::testing::WithParamInterface<SendRow> {};

TEST_P(VerifiedSend, fromTheToolbarDeliversTheWindowsSettingsAndReadsThemBack)
{
    const SendRow& row = GetParam();
    CardOptions options;
    options.storeDifferently = row.storeDifferently;
    settings.setFrameLog(true);
    start(options); // the store of this test alone: both on, as unless turned off
    typeInto("Controls", "gpi1Text", "ON AIR");
    LinkCounters summed;
    QObject::connect(&window->session(), &CardSession::connectionEnded, [&](const LinkCounters& c) {
        summed.framesSent += c.framesSent;
        summed.framesReceived += c.framesReceived;
    });

    window->toolbarButtonClicked(5);
    ASSERT_TRUE(clock.advanceUntil([&] { return !window->operationRunning(); }, 30000, 5));
    clock.advance(10); // the answer shows once the operation has ended

    ASSERT_EQ(messages.size(), 1) << messages.join(" / ").toStdString();
    EXPECT_EQ(messages[0], QStringLiteral("Unsaved Transferred.\nCard Setup Sent!\n") + row.lastMessage);
    EXPECT_EQ(severities[0], row.icon);
    // In the details, one line per setting that differs (the level the card changed), then the backup.
    const QString differs = "Set-up Audio, Level: Peak Analog: sent 14dBu  -10dB, read back 13dBu  -11dB\n\n";
    const QStringList backups = QDir(settings.backupFolder()).entryList(QDir::Files);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(findings[0], (row.storeDifferently ? differs : QString()) + "Backup of the card's set-up: "
                               + QDir::toNativeSeparators(QDir(settings.backupFolder()).filePath(backups[0])));
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
    EXPECT_TRUE(counters.startsWith(QStringLiteral("Frames sent %1, received %2\n")
                                        .arg(summed.framesSent).arg(summed.framesReceived))) << counters.toStdString();
    EXPECT_TRUE(counters.endsWith("Last failure: none")) << counters.toStdString();

    // The frame log holds the whole Send, each connection under its header.
    const QString log = testsupport::readText(FrameLog::pathNextTo(settings.tracePath()));
    QStringList headers;
    for (const QString& line : log.split('\n'))
        if (line.startsWith("==== ") || line.endsWith("-- connection opened"))
            headers << line.trimmed();
    EXPECT_EQ(headers, QStringList({"==== backup read ====", "0 -- connection opened", "==== send ====",
                                    "0 -- connection opened", "==== verify ====", "0 -- connection opened"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cards, VerifiedSend,
    ::testing::Values(SendRow{"card_keeps_what_was_sent", false, "Card Setup Verified.", "Card Setup Verified",
                              MessageSeverity::Information},
                      SendRow{"card_stores_differently", true, "The card holds a different set-up than was sent.",
                              "Card Setup Verify Failed", MessageSeverity::Warning}),
    [](const auto& info) { return std::string(info.param.name); });

// A card that never answers (powered off, the wrong cable, the wrong port): the message as it
// always was, with what arrived and what to check in its details and in the frame log.
TEST_F(Transfers, aSilentCardSaysWhatArrivedAndWhatToCheck)
{
    CardOptions options;
    options.silent = true;
    settings.setFrameLog(true);
    start(options);
    window->toolbarButtonClicked(6);
    ASSERT_TRUE(clock.advanceUntil([&] { return !messages.isEmpty(); }, 30000, 5));

    const QString heard = "Nothing was received from the card on Com1 (" + dir.filePath("noport1") + ") in 5 s.";
    ASSERT_EQ(messages, QStringList{"Port not functioning, please try another port #2"});
    EXPECT_EQ(severities, QList<MessageSeverity>{MessageSeverity::Critical});
    EXPECT_TRUE(findings[0].startsWith(heard + "\nCheck that the card is powered on, that it is connected with a "
                                                "null-modem cable")) << findings[0].toStdString();
    EXPECT_TRUE(findings[0].contains("Options > Port Assignment...")) << findings[0].toStdString();
    const QString log = testsupport::readText(FrameLog::pathNextTo(settings.tracePath()));
    for (const QString& words : {QStringLiteral("-- Port not functioning, please try another port #2\n"), "-- " + heard + "\n"})
        EXPECT_TRUE(log.contains(words)) << log.toStdString();
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
    const QString backups = QDir(settings.backupFolder()).absolutePath();
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

// The main window is closed, by its close box or by a stop signal, at each stage of a Get or a
// Send: nothing is left running, the card sees the SYN, the settings are kept.
TEST_F(Transfers, closingAtAnyStageOfATransferEndsItCleanly)
{
    using Reached = std::function<bool()>;
    auto state = [this]() -> const LinkState& { return window->link().state(); };
    auto lastActedOn = [this](char command) {
        const auto& acted = card->received();
        return !acted.isEmpty() && acted.last().at(0) == command;
    };
    const Reached opening = [this] { return window->link().portOpen(); };
    const Reached linkSetUp = [state] { return state().headerMode && !state().cardIdentified; };
    const Reached identified = [state] { return state().cardIdentified; };
    const Reached awaitingSetup = [lastActedOn] { return lastActedOn(0x15); };
    const Reached awaitingAck = [state] { return state().cardIdentified && !state().ackReceived; };
    const Reached awaitingImageAck = [state] {
        return !state().ackReceived && state().savedPacket.size() == SidImageSize;
    };
    const Reached awaitingFlashReport = [state, lastActedOn] {
        return lastActedOn(0x18) && state().ackReceived;
    };
    CardOptions plain;
    CardOptions slowAcks;
    slowAcks.faults.ackDelayMs = 1000; // within the 3 s the version report may take
    CardOptions ackFirst;
    ackFirst.flashMs = 2000; // acknowledges the image, then writes its flash for a while
    const struct {
        const char* what;
        FlowKind kind;
        CardOptions options;
        Reached reached;
        int signal; // 0: the close box
    } rows[] = {
        {"Get, opening", FlowKind::Get, plain, opening, 0},
        {"Get, link set-up", FlowKind::Get, plain, linkSetUp, SIGTERM},
        {"Get, identified", FlowKind::Get, plain, identified, 0},
        {"Get, waiting for the set-up", FlowKind::Get, plain, awaitingSetup, SIGINT},
        {"Get, waiting for the acknowledgement", FlowKind::Get, slowAcks, awaitingAck, 0},
        {"Send, opening", FlowKind::Send, plain, opening, SIGINT},
        {"Send, link set-up", FlowKind::Send, plain, linkSetUp, 0},
        {"Send, identified", FlowKind::Send, plain, identified, SIGTERM},
        {"Send, waiting for the acknowledgement", FlowKind::Send, slowAcks, awaitingImageAck, 0},
        {"Send, waiting for the flash report", FlowKind::Send, ackFirst, awaitingFlashReport, SIGTERM},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        settings.setValue("File", "Speed", "1");
        restart(row.options);
        QStringList cardLog;
        card->onLog = [&cardLog](const QString& line) { cardLog << line; };
        window->closeOnStopSignals();
        QSignalSpy shutDown(window.get(), &MainWindow::shutDown);

        // The stages of one connection: the safety net's extra connections are tested on their own.
        settings.setBackupBeforeSend(false);
        settings.setVerifyAfterSend(false);
        window->toolbarButtonClicked(row.kind == FlowKind::Get ? 6 : 5);
        ASSERT_TRUE(clock.advanceUntil(row.reached, 20000, 1));
        ASSERT_TRUE(window->link().flowRunning() && window->link().portOpen());
        window->menuItem("speedSnailSlow")->trigger();
        cardLog.clear();

        if (row.signal == 0) {
            window->close();
        } else if (raiseStop(row.signal)) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return shutDown.count() > 0; }, 10000));
        } else {
            // The shut-down is the close box's then; Ctrl+C in a console is tried end to end
            // (scripts/windows/e2e.sh).
            window->close();
        }
        EXPECT_EQ(shutDown.count(), 1);
        EXPECT_FALSE(line->portOpen());
        EXPECT_FALSE(window->link().flowRunning());
        EXPECT_EQ(window->link().jobCount(), 0u);
        EXPECT_TRUE(line->sentByHost().endsWith(char(SYN)));
        clock.advance(30000); // nothing of the link is left to fire
        EXPECT_TRUE(cardLog.contains("<- SYN: starting over")) << cardLog.join(" / ").toStdString();
        EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
        EXPECT_EQ(settings.value("File", "Speed"), "0");
    }
}

} // namespace
} // namespace quillon::test

#endif
