// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli get and send against a simulated card on a pseudo-terminal.

#include "cardprocess.h"

#include "files/setupfiles.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

using namespace e2e;
using namespace quillon;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class CliTransfer : public ::testing::Test {
protected:
    void startCard(QStringList options)
    {
        options << QStringLiteral("--save-image") << ws.path(QStringLiteral("flashed.bin"));
        ASSERT_TRUE(card.start(options)) << card.lines().join('\n').toStdString();
    }
    CliResult cli(QStringList args)
    {
        args << QStringLiteral("--port") << card.device;
        return runCli(ws, args);
    }

    Workspace ws;
    SimulatedCardProcess card{ws};
};

TEST_F(CliTransfer, sidCardGetGivesItsSettingsAndSendFlashesThemBack)
{
    startCard({});
    const QString file = ws.path(QStringLiteral("Studio.kxd"));
    const QString backups = ws.path(QStringLiteral("backups"));
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), file, QStringLiteral("--no-backup"),
                               QStringLiteral("--backup-dir"), backups});
    ASSERT_EQ(got.exitCode, 0) << got.err.toStdString();
    EXPECT_TRUE(got.out.contains(QStringLiteral("Card Setup Retrieved")));
    EXPECT_FALSE(QFileInfo::exists(backups)) << "backups turned off";
    EXPECT_EQ(contentOf(file), setupText(defaultSetupValues()));
    EXPECT_FALSE(card.lines().contains(QStringLiteral("host at 1200 baud")));

    const CliResult sent = cli({QStringLiteral("send"), file});
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_TRUE(sent.out.contains(QStringLiteral("Studio Transferred.")));
    EXPECT_TRUE(sent.out.contains(QStringLiteral("Card Setup Sent!")));
    ASSERT_TRUE(card.said(QStringLiteral("image received: 89 bytes, version 0")));
    EXPECT_EQ(contentOf(ws.path(QStringLiteral("flashed.bin"))), encodeSidImage(defaultSetupValues()).image);
}

TEST_F(CliTransfer, avmCardTalksAt1200BaudAndItsImageRoundTrips)
{
    startCard({QStringLiteral("--card"), QStringLiteral("avm")});
    const QString file = ws.path(QStringLiteral("Studio.kxm"));
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), file, QStringLiteral("--trace"),
                               ws.path(QStringLiteral("trace.bin")), QStringLiteral("--log"),
                               ws.path(QStringLiteral("frames.log")), QStringLiteral("--verbose")});
    ASSERT_EQ(got.exitCode, 0) << got.err.toStdString();
    EXPECT_TRUE(got.out.contains(QStringLiteral("AVM Card Detected")));
    EXPECT_EQ(contentOf(file), sim::defaultCardImage(sim::CardKind::Avm));
    // The device saw the host move to 1200 baud.
    const QStringList lines = card.lines();
    EXPECT_TRUE(lines.contains(QStringLiteral("host at 1200 baud"))) << lines.join('\n').toStdString();
    EXPECT_TRUE(card.said(QStringLiteral("SYN from the host at 1200 baud"))) << "the closing SYN left before the port closed";
    EXPECT_TRUE(contentOf(ws.path(QStringLiteral("trace.bin"))).contains("Start Out"));
    // The frame log, in the file and live on standard error alike.
    const QString frameLog = QString::fromUtf8(contentOf(ws.path(QStringLiteral("frames.log"))));
    for (const char* expected : {" -- connection opened", "-> 02 C2 ", "| BaudChange 1200 | CRC good", "-- SPEED 1200 baud",
                                 "| SetupData 120 bytes v1 | CRC good", "-> 16 | SYN, link reset", "-- connection ended, reason 7"}) {
        EXPECT_TRUE(frameLog.contains(QLatin1String(expected))) << expected << "\n" << frameLog.toStdString();
        EXPECT_TRUE(got.err.contains(QLatin1String(expected))) << expected;
    }

    const CliResult sent = cli({QStringLiteral("send"), file});
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    ASSERT_TRUE(card.said(QStringLiteral("image received: 120 bytes, version 1")));
    EXPECT_EQ(contentOf(ws.path(QStringLiteral("flashed.bin"))), contentOf(file));
}

TEST_F(CliTransfer, aSetupOfTheOtherKindIsNotSavedUnderTheName)
{
    startCard({QStringLiteral("--card"), QStringLiteral("avm")});
    const QString file = ws.path(QStringLiteral("Studio.kxd"));
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), file});
    EXPECT_EQ(got.exitCode, 1);
    EXPECT_TRUE(got.err.contains(QStringLiteral("AVM set-up"))) << got.err.toStdString();
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(CliTransfer, aFailedFlashWriteFailsTheSend)
{
    startCard({QStringLiteral("--flash-result"), QStringLiteral("2")});
    const QString file = ws.path(QStringLiteral("Studio.kxd"));
    exportSetupText(file, defaultSetupValues());
    const CliResult sent = cli({QStringLiteral("send"), file});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_TRUE(sent.err.contains(QStringLiteral("Error writing Studio to flash. Error 02."))) << sent.err.toStdString();
}

// A default Send is three connections: the card read for a backup, the send, the read-back.
struct SafetyRow {
    const char* name;
    bool avm;     // the card and the file to send
    bool cardSid; // ... except that the card is a SID card
    QStringList cardOptions;
    QStringList cliOptions;
    int exitCode;
    const char* message; // in the command's output
    int connections;     // the card identified itself this often
    bool imageSent;
};

void PrintTo(const SafetyRow& row, std::ostream* os) { *os << row.name; }

class CliSafetyNet : public CliTransfer, public ::testing::WithParamInterface<SafetyRow> {};

TEST_P(CliSafetyNet, backsUpBeforeAndVerifiesAfterASend)
{
    const SafetyRow& row = GetParam();
    const QStringList serial{QStringLiteral("--serial"), QStringLiteral("0a0b0c0d0e")};
    const bool cardAvm = row.avm && !row.cardSid;
    startCard(row.cardOptions + serial + (cardAvm ? QStringList{QStringLiteral("--card"), QStringLiteral("avm")} : QStringList{}));
    // The file to send differs from what the card holds, so the backup cannot be it.
    const QString file = ws.path(row.avm ? QStringLiteral("Studio.kxm") : QStringLiteral("Studio.kxd"));
    const QByteArray onCard = sim::defaultCardImage(cardAvm ? sim::CardKind::Avm : sim::CardKind::Sid);
    if (row.avm) {
        QByteArray toSend = sim::defaultCardImage(sim::CardKind::Avm);
        toSend[10] = char(0x5A);
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(toSend);
    } else {
        SetupValues values = defaultSetupValues();
        values.setText(Field::Gpi1Text, QStringLiteral("ON AIR"));
        exportSetupText(file, values);
    }
    QStringList args{QStringLiteral("send"), file, QStringLiteral("--backup-dir"), ws.path(QStringLiteral("backups"))};
    const CliResult sent = cli(args + row.cliOptions);
    const QString output = sent.out + sent.err;
    EXPECT_EQ(sent.exitCode, row.exitCode) << output.toStdString();
    EXPECT_TRUE(output.contains(QString::fromLatin1(row.message))) << output.toStdString();

    const QStringList lines = card.lines();
    EXPECT_EQ(lines.filter(QStringLiteral("identified to the host")).size(), row.connections) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral("image received")).size(), row.imageSent ? 1 : 0);

    const QStringList backups = QDir(ws.path(QStringLiteral("backups"))).entryList(QDir::Files);
    if (row.cliOptions.contains(QStringLiteral("--no-backup"))) {
        EXPECT_TRUE(backups.isEmpty()) << backups.join(' ').toStdString();
        return;
    }
    ASSERT_EQ(backups.size(), 1);
    EXPECT_TRUE(backups[0].startsWith(cardAvm ? QStringLiteral("AVM-0A0B0C0D0E-") : QStringLiteral("SID-0A0B0C0D0E-")));
    const QByteArray backup = contentOf(ws.path(QStringLiteral("backups/")) + backups[0]);
    if (cardAvm)
        EXPECT_EQ(backup, onCard);
    else
        EXPECT_EQ(backup, setupText(decodeSidImage(onCard, defaultSetupValues())));
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CliSafetyNet,
    ::testing::Values(
        SafetyRow{"sid_verified", false, false, {}, {}, 0, "Card Setup Verified.", 3, true},
        SafetyRow{"avm_verified", true, false, {}, {}, 0, "Card Setup Verified.", 3, true},
        SafetyRow{"sid_stored_differently", false, false, {QStringLiteral("--store-differently")}, {}, 1,
                  "The card holds a different set-up than was sent.\nSet-up Audio, Level: Peak Analog: sent 14dBu  -10dB, read back 13dBu  -11dB", 3, true},
        SafetyRow{"avm_stored_differently", true, false, {QStringLiteral("--store-differently")}, {}, 1,
                  "The card holds a different set-up than was sent.\nAVM image, byte at offset 119: sent 0x", 3, true},
        SafetyRow{"plain_send", false, false, {}, {QStringLiteral("--no-backup"), QStringLiteral("--no-verify")}, 0,
                  "Card Setup Sent!", 1, true},
        SafetyRow{"card_of_the_other_kind", true, true, {}, {}, 1,
                  "The card on the line is a SID card; the set-up to send is an AVM set-up. Nothing was sent.", 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTransfer, aSendWhoseBackupCannotBeWrittenSendsNothing)
{
    startCard({});
    const QString file = ws.path(QStringLiteral("Studio.kxd"));
    exportSetupText(file, defaultSetupValues());
    QFile blocker(ws.path(QStringLiteral("notafolder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    const CliResult sent = cli({QStringLiteral("send"), file, QStringLiteral("--backup-dir"), blocker.fileName()});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_TRUE(sent.err.contains(blocker.fileName())) << sent.err.toStdString();
    EXPECT_TRUE(sent.err.contains(QStringLiteral("Nothing was sent."))) << sent.err.toStdString();
    EXPECT_EQ(card.lines().filter(QStringLiteral("identified to the host")).size(), 1);
    EXPECT_TRUE(card.lines().filter(QStringLiteral("image received")).isEmpty());
}

TEST_F(CliTransfer, getKeepsItsBackupAndStatsCountEachConnection)
{
    startCard({});
    const CliResult got = cli({QStringLiteral("get"), QStringLiteral("-o"), ws.path(QStringLiteral("Got.kxd")),
                               QStringLiteral("--backup-dir"), ws.path(QStringLiteral("backups")), QStringLiteral("--stats")});
    ASSERT_EQ(got.exitCode, 0) << got.err.toStdString();
    EXPECT_EQ(QDir(ws.path(QStringLiteral("backups"))).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(got.out.contains(QRegularExpression(QStringLiteral(
        "link: card's SYN after \\d+ ms, frames sent [1-9]\\d*, received [1-9]\\d*, retransmissions 0, NACKs 0, CRC errors 0, last failure: none"))))
        << got.out.toStdString();
}

// A logout or Ctrl+C in the middle of a transfer (the card holds each answer back for 2 s):
// quillon-cli ends the connection with a SYN, as the program does when its window closes.
TEST(CliStop, aStopSignalMidTransferEndsTheConnectionWithTheSynAndFails)
{
    const struct {
        const char* command;
        int signal;
        const char* named;
    } rows[] = {{"get", SIGTERM, "SIGTERM"}, {"send", SIGINT, "SIGINT"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.named);
        Workspace ws;
        SimulatedCardProcess card(ws);
        ASSERT_TRUE(card.start({QStringLiteral("--verbose"), QStringLiteral("--ack-delay"), QStringLiteral("2000")}));
        const QString file = ws.path(QStringLiteral("Studio.kxd"));
        QStringList args{QString::fromLatin1(row.command), file, QStringLiteral("--port"), card.device};
        if (args[0] == QLatin1String("get"))
            args.insert(1, QStringLiteral("-o"));
        else
            exportSetupText(file, defaultSetupValues());

        QProcess cli;
        cli.setProcessEnvironment(ws.environment());
        cli.start(QStringLiteral(QUILLON_CLI_PATH), args);
        ASSERT_TRUE(card.said(QStringLiteral("identified to the host"), 10000)) << card.lines().join('\n').toStdString();
        ::kill(cli.processId(), row.signal);
        ASSERT_TRUE(waitFor([&] { return cli.state() == QProcess::NotRunning; }, 15000));
        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(cli.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
        EXPECT_TRUE(err.contains(QStringLiteral("Stopped by %1").arg(row.named))) << err.toStdString();
        EXPECT_TRUE(card.said(QStringLiteral("kx40-sim: <- SYN: starting over")));
        EXPECT_FALSE(card.lines().contains(QStringLiteral("image received: 89 bytes, version 0")));
        if (args[0] == QLatin1String("get")) {
            EXPECT_FALSE(QFile::exists(file));
        }
    }
}

TEST_F(CliTransfer, diffComparesAFileWithTheSetupOnTheCard)
{
    startCard({});
    SetupValues edited = defaultSetupValues();
    edited.setText(Field::Gpi2Text, QStringLiteral("LIVE"));
    edited.setText(Field::AudioWindowHorizontal, QStringLiteral("30")); // not kept by a card
    exportSetupText(ws.path(QStringLiteral("Same.kxd")), defaultSetupValues());
    exportSetupText(ws.path(QStringLiteral("Edited.kxd")), edited);
    const QString onCard = QStringLiteral("card:") + card.device;

    const CliResult same = runCli(ws, {QStringLiteral("diff"), ws.path(QStringLiteral("Same.kxd")), onCard});
    EXPECT_EQ(same.exitCode, 0) << same.err.toStdString();
    EXPECT_EQ(same.out, QStringLiteral("0 settings differ\n"));
    const CliResult edits = runCli(ws, {QStringLiteral("diff"), onCard, ws.path(QStringLiteral("Edited.kxd"))});
    EXPECT_EQ(edits.exitCode, 1) << edits.err.toStdString();
    EXPECT_EQ(edits.out, QStringLiteral("Set-up Controls / Program GPI #2: Message Text: \"REPLAY\" -> \"LIVE\"\n"
                                        "1 setting differs\n"));
}

// Sends at line speed, the card writing its flash after the acknowledgement (or in its place).
struct SendRow {
    const char* name;
    QStringList cardOptions;
    bool avm;
    int exitCode;
    const char* message;
};

void PrintTo(const SendRow& row, std::ostream* os) { *os << row.name; }

class CliSendAtLineSpeed : public CliTransfer, public ::testing::WithParamInterface<SendRow> {};

TEST_P(CliSendAtLineSpeed, reportsWhatTheCardReportedAndClosesWithASynTheCardHears)
{
    const SendRow& row = GetParam();
    startCard(row.cardOptions + (row.avm ? QStringList{QStringLiteral("--card"), QStringLiteral("avm")} : QStringList{}));
    const QString file = ws.path(row.avm ? QStringLiteral("Studio.kxm") : QStringLiteral("Studio.kxd"));
    if (row.avm) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(sim::defaultCardImage(sim::CardKind::Avm));
    } else {
        exportSetupText(file, defaultSetupValues());
    }
    // The plain send of one connection; the safety net around it is tested above.
    const CliResult sent = cli({QStringLiteral("send"), file, QStringLiteral("--no-backup"), QStringLiteral("--no-verify")});
    EXPECT_EQ(sent.exitCode, row.exitCode) << sent.err.toStdString();
    EXPECT_TRUE((sent.out + sent.err).contains(QString::fromLatin1(row.message))) << (sent.out + sent.err).toStdString();
    EXPECT_EQ(sent.out.contains(QStringLiteral("Card Setup Sent!")), row.exitCode == 0);

    const QString syn = QStringLiteral("SYN from the host at %1 baud").arg(row.avm ? 1200 : 9600);
    ASSERT_TRUE(card.said(syn)) << card.lines().join('\n').toStdString();
    const QStringList lines = card.lines();
    if (row.exitCode == 0 || QString::fromLatin1(row.message).startsWith(QLatin1String("Error"))) {
        const qsizetype acked = lines.indexOf(QStringLiteral("flash report acknowledged"));
        EXPECT_GE(acked, 0) << lines.join('\n').toStdString();
        EXPECT_LT(acked, lines.indexOf(syn)) << "the flash report is acknowledged before the closing SYN";
    }
    EXPECT_FALSE(lines.filter(QStringLiteral("garbled")).size()) << lines.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CliSendAtLineSpeed,
    ::testing::Values(
        SendRow{"sid_ack_then_flash", {}, false, 0, "Studio Transferred."},
        SendRow{"sid_ack_then_failed_flash", {QStringLiteral("--flash-result"), QStringLiteral("2")}, false, 1,
                "Error writing Studio to flash. Error 02."},
        SendRow{"sid_implicit_ack", {QStringLiteral("--implicit-ack")}, false, 0, "Studio Transferred."},
        SendRow{"avm_ack_then_flash", {}, true, 0, "Studio Transferred."},
        SendRow{"avm_implicit_ack_failed_flash", {QStringLiteral("--implicit-ack"), QStringLiteral("--flash-result"), QStringLiteral("2")},
                true, 1, "Error writing Studio to flash. Error 02."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTransfer, aRefusedVersionEndsTheCommandAtOnce)
{
    startCard({QStringLiteral("--card"), QStringLiteral("avm"), QStringLiteral("--setup-version"), QStringLiteral("0")});
    const QString file = ws.path(QStringLiteral("Studio.kxm"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(sim::defaultCardImage(sim::CardKind::Avm));
    out.close();
    const CliResult sent = cli({QStringLiteral("send"), file});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_TRUE(sent.err.contains(QStringLiteral("Card Setup Newer than Card Firmware"))) << sent.err.toStdString();
    EXPECT_FALSE(sent.err.contains(QStringLiteral("Version Packet Not Verified"))) << "no wait for a report that cannot come";
}

TEST(CliUsage, wrongArgumentsAndUnreadableFiles)
{
    Workspace ws;
    EXPECT_EQ(runCli(ws, {QStringLiteral("get")}).exitCode, 2);
    EXPECT_EQ(runCli(ws, {QStringLiteral("get"), QStringLiteral("-o")}).exitCode, 2);
    EXPECT_EQ(runCli(ws, {QStringLiteral("send")}).exitCode, 2);
    EXPECT_EQ(runCli(ws, {QStringLiteral("send"), QStringLiteral("a.kxd"), QStringLiteral("b.kxd")}).exitCode, 2);
    EXPECT_EQ(runCli(ws, {QStringLiteral("get"), QStringLiteral("--bogus"), QStringLiteral("-o"), QStringLiteral("x.kxd")}).exitCode, 2);
    EXPECT_EQ(runCli(ws, {QStringLiteral("get"), QStringLiteral("--help")}).exitCode, 0);

    const CliResult missing = runCli(ws, {QStringLiteral("send"), ws.path(QStringLiteral("None.kxm"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_FALSE(missing.err.isEmpty());

    // No card where the device should be.
    const CliResult noDevice = runCli(ws, {QStringLiteral("get"), QStringLiteral("--port"), ws.path(QStringLiteral("nothing")),
                                           QStringLiteral("-o"), ws.path(QStringLiteral("x.kxd"))});
    EXPECT_EQ(noDevice.exitCode, 1);
    EXPECT_TRUE(noDevice.err.contains(QStringLiteral("could not be opened"))) << noDevice.err.toStdString();
    EXPECT_FALSE(QFile::exists(ws.path(QStringLiteral("x.kxd"))));
}

} // namespace
