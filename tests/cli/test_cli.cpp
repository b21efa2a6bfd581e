// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/setupfiles.h"
#include "support/testsupport.h"
#include "setup/setupimage.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QStandardPaths>
#include <optional>
#include <QTemporaryDir>
#include <csignal>
#include <iostream>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

using testsupport::PseudoTerminal;
using testsupport::readFile;
using testsupport::writeFile;


struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// wrapper: a program that runs the CLI, such as setpriv with its options.
CliRun runCli(const QStringList& args, const QString& workDir,
           const std::function<void()>& inChild = {}, const QStringList& wrapper = {})
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    if (inChild)
        process.setChildProcessModifier(inChild);
    if (wrapper.isEmpty())
        process.start(QStringLiteral(QUILLON_CLI_PATH), args);
    else
        process.start(wrapper.first(), wrapper.mid(1) + QStringList{QStringLiteral(QUILLON_CLI_PATH)} + args);
    process.waitForFinished(30000);
    CliRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

class CliTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    CliRun cli(const QStringList& args) const { return runCli(args, dir.path()); }
    QByteArray defaultImage() const { return encodeSidImage(defaultSetupValues()).image; }

    QTemporaryDir dir;
};

} // namespace

TEST_F(CliTest, defaultsThenImageReproducesTheDefaultImageAndDecodeGivesTheDefaultsBack)
{
    const CliRun defaults = cli({"defaults", "-o", "Defaults.kxd"});
    ASSERT_EQ(defaults.exitCode, 0) << defaults.err.toStdString();
    EXPECT_EQ(readFile(path("Defaults.kxd")), setupText(defaultSetupValues()));

    ASSERT_EQ(cli({"image", "Defaults.kxd", "-o", "Defaults.img"}).exitCode, 0);
    const QByteArray image = readFile(path("Defaults.img"));
    ASSERT_EQ(image.size(), 89);
    EXPECT_EQ(image, defaultImage());
    EXPECT_EQ(quint8(image.at(13)), 254);
    EXPECT_EQ(image.mid(51, 6), "RECORD");

    ASSERT_EQ(cli({"decode", "Defaults.img", "-o", "Back.kxd"}).exitCode, 0);
    EXPECT_EQ(readFile(path("Back.kxd")), readFile(path("Defaults.kxd")));
}

TEST_F(CliTest, showPrintsSettingsUnderTheirWindowsAndAnImageAsBytes)
{
    ASSERT_EQ(cli({"defaults", "-o", "D.kxd"}).exitCode, 0);
    const CliRun sid = cli({"show", "D.kxd"});
    ASSERT_EQ(sid.exitCode, 0);
    for (const char* expected : {"Set-up Audio", "Set-up Source ID", "Set-up Windows",
                                 "Set-up Colors", "Set-up Controls", "14dBu  -10dB", "\"REPLAY\""})
        EXPECT_TRUE(sid.out.contains(expected)) << expected;
    EXPECT_LT(sid.out.indexOf("Set-up Audio"), sid.out.indexOf("Set-up Controls"));

    QByteArray avm(120, '\x01');
    avm[0] = 24;
    avm[1] = 7;
    writeFile(path("Card%2.kxm"), avm); // %2 is no placeholder
    const CliRun image = cli({"show", "Card%2.kxm"});
    ASSERT_EQ(image.exitCode, 0);
    EXPECT_TRUE(image.out.contains("\"Card%2.kxm\": 120 bytes, set-up version 7")) << image.out.toStdString();
    EXPECT_TRUE(image.out.contains("0070  01 01"));
}

TEST_F(CliTest, exitCodesTellSuccessFailureAndUsageApart)
{
    writeFile(path("Short.img"), defaultImage().left(88));
    QByteArray avmVersion = defaultImage();
    avmVersion[1] = 1;
    writeFile(path("Version.img"), avmVersion);
    QByteArray badLevel = defaultImage();
    badLevel[3] = 25;
    writeFile(path("Level.img"), badLevel);
    writeFile(path("Good.img"), defaultImage());
    writeFile(path("Card.kxm"), QByteArray(120, '\x18'));
    writeFile(path("D.kxd"), setupText(defaultSetupValues()));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("Pipe.kxd")).constData(), 0600), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(path("Pipe.pdf")).constData(), 0600), 0);
    const struct {
        QStringList args;
        int exitCode;
        const char* said; // on stderr (or stdout for --help)
    } rows[] = {
        {{"--help"}, 0, "decode IMAGE -o FILE"},
        {{"image", "--help"}, 0, "image FILE -o IMAGE"},
        {{}, 2, "usage"},
        {{"frob"}, 2, "unknown command"},
        {{"image", "D.kxd"}, 2, "-o"},
        {{"decode", "-o"}, 2, "needs a file name"},
        {{"show", "D.kxd", "--fast"}, 2, "unknown option"},
        {{"get", "-o", "Out.kxd", "--log"}, 2, "--log needs a value"},
        {{"get", "--help"}, 0, "--log FILE] [--verbose]"},
        {{"show", "D.kxd", "-o", "x"}, 2, "no -o"},
        {{"defaults", "-o", "Out.kxm"}, 1, "AVM"},
        {{"image", "Missing.kxd", "-o", "Out.img"}, 1, "Missing.kxd"},
        {{"image", "Card.kxm", "-o", "Out.img"}, 1, "AVM"},
        {{"show", "Missing.kxm"}, 1, "does not exist"},
        {{"decode", "Short.img", "-o", "Out.kxd"}, 1, "88 bytes"},
        {{"decode", "Version.img", "-o", "Out.kxd"}, 1, "version is 1"},
        {{"decode", "Level.img", "-o", "Out.kxd"}, 1, "\"Level: Peak Analog\" (Set-up Audio)"},
        {{"decode", "Good.img", "-o", "Out.kxm"}, 1, "AVM"},
        {{"send", "Missing.kxd", "--no-backup", "--no-verify", "--backup-dir", "B", "--stats"}, 1, "Missing.kxd"},
        {{"get", "--no-verify", "-o", "Out.kxd"}, 2, "unknown option --no-verify"},
        {{"backups", "--help"}, 0, "backups [--card SERIAL]"},
        {{"backups", "--card", "4B583430"}, 2, "10 hexadecimal digits"},
        {{"backups", "--backup-dir"}, 2, "needs a value"},
        {{"defaults", "-o", "Pipe.kxd"}, 1, "not a regular file"},
        {{"decode", "Good.img", "-o", "Pipe.kxd"}, 1, "not a regular file"},
        {{"show", "Pipe.kxd"}, 1, "not a regular file"},
        {{"show", "/dev/zero"}, 1, "not a regular file"},
        {{"image", "/dev/zero", "-o", "Out.img"}, 1, "not a regular file"},
        {{"report", "D.kxd", "-o", "Pipe.pdf"}, 1, "not a regular file"},
        {{"cards"}, 2, "cards needs add, remove or list"},
        {{"cards", "--help"}, 0, "cards remove NAME [--inventory FILE]"},
        {{"cards", "add", "A", "--kind", "sid"}, 2, "cards add needs --port PORT"},
        {{"cards", "add", "A", "B", "--port", "/dev/ttyS0"}, 2, "one card name"},
        {{"cards", "add", "A", "--port", "Com9", "--inventory", "Inv.ini"}, 2, "Com1 to Com4"},
        {{"cards", "add", "A", "--port", "/dev/ttyS0", "--serial", "4B58", "--inventory", "Inv.ini"}, 2, "10 hexadecimal digits"},
        {{"cards", "add", "A", "--port", "/dev/ttyS0", "--kind", "avm", "--reference", "S.kxd", "--inventory", "Inv.ini"}, 2,
         "is a SID set-up (its name does not end in \"m\"), but the card is an AVM card"},
        {{"cards", "list", "--inventory"}, 2, "--inventory needs a value"},
        {{"cards", "list", "--inventory", "Pipe.kxd"}, 1, "not a regular file"},
        {{"cards", "remove", "Nobody", "--inventory", "Inv.ini"}, 1, "no card named \"Nobody\""},
    };
    for (const auto& row : rows) {
        const CliRun run = cli(row.args);
        const QString args = row.args.join(' ');
        EXPECT_EQ(run.exitCode, row.exitCode) << args.toStdString();
        const QString& said = row.exitCode == 0 ? run.out : run.err;
        EXPECT_TRUE(said.contains(row.said)) << args.toStdString() << ": " << said.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList({"Out*", "Inv*"}, QDir::Files), QStringList());
    EXPECT_FALSE(QFileInfo(path("Pipe.kxd")).isFile());
}

TEST_F(CliTest, aFileInAFolderThatCannotBeWrittenToIsNotSavedAndTheMessageNamesTheFolder)
{
    // The save makes a new file beside the old one and renames it into place, so it needs the
    // folder; the program says so rather than write the file in place, which a failure could cut.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Locked"));
    writeFile(path("Locked/Studio.kxd"), "previous");
    const auto mode = [this](const char* name, mode_t bits) {
        ASSERT_EQ(::chmod(QFile::encodeName(path(name)).constData(), bits), 0) << name;
    };
    mode("Locked/Studio.kxd", 0666);
    mode("Locked", 0555);
    mode(".", 0755);
    const CliRun run = runCli({"defaults", "-o", "Locked/Studio.kxd"}, dir.path(), [] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) // root writes anywhere
            ::_exit(99);
    });
    mode("Locked", 0755);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("the folder \"" + path("Locked") + "\" cannot be written to"))
        << run.err.toStdString();
    EXPECT_EQ(readFile(path("Locked/Studio.kxd")), "previous");
}

TEST_F(CliTest, backupsListsNewestFirstAndOneCardOnRequest)
{
    QDir().mkpath(path("data/Quillon/backups"));
    for (const char* name : {"SID-4B58343031-20240501-120000.kxd", "SID-4B58343031-20240501-120000-2.kxd",
                             "AVM-0A0B0C0D0E-20240502-080000.kxm", "Studio.kxd"})
        writeFile(path(QStringLiteral("data/Quillon/backups/") + name), "x");
    const QString folder = path("data/Quillon/backups/");
    const CliRun all = runCli({"backups"}, dir.path(), [this] { setenv("XDG_DATA_HOME", qPrintable(path("data")), 1); });
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    EXPECT_EQ(all.out, "2024-05-02 08:00:00  AVM  0A0B0C0D0E  " + folder + "AVM-0A0B0C0D0E-20240502-080000.kxm\n"
                       "2024-05-01 12:00:00  SID  4B58343031  " + folder + "SID-4B58343031-20240501-120000-2.kxd\n"
                       "2024-05-01 12:00:00  SID  4B58343031  " + folder + "SID-4B58343031-20240501-120000.kxd\n");

    const CliRun one = cli({"backups", "--card", "0a0b0c0d0e", "--backup-dir", folder});
    EXPECT_EQ(one.out.count('\n'), 1);
    EXPECT_TRUE(one.out.contains("AVM-0A0B0C0D0E")) << one.out.toStdString();
    const CliRun none = cli({"backups", "--backup-dir", path("nowhere")});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.contains("No backups in")) << none.err.toStdString();
}

TEST_F(CliTest, aSettingThatDoesNotFitItsByteRefusesTheImageAndWritesNothing)
{
    QList<QByteArray> lines = setupText(defaultSetupValues()).split('\n');
    lines[48] = "\"300%1\"\r"; // the SID window's horizontal position; %1 is no placeholder
    writeFile(path("Wide.kxd"), lines.join('\n'));
    writeFile(path("Old.img"), "old");
    const CliRun run = cli({"image", "Wide.kxd", "-o", "Old.img"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("\"SID Window: Window Position: Horizontal\" (Set-up Windows)")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("\"300%1\"; the card takes 0 to 255")) << run.err.toStdString();
    EXPECT_EQ(readFile(path("Old.img")), "old");
}

TEST_F(CliTest, aWriteThatFailsPartWayLeavesNoHalfWrittenOutput)
{
    writeFile(path("Good.img"), defaultImage());
    writeFile(path("Out.kxd"), "previous");
    const CliRun run = runCli({"decode", "Good.img", "-o", "Out.kxd"}, dir.path(), [] {
        // In the child only: files stop growing at 100 bytes, as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 100;
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Out.kxd")) << run.err.toStdString();
    EXPECT_EQ(readFile(path("Out.kxd")), "previous");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(CliTest, diffListsEachDifferenceThenTheCountAndTellsByItsExitStatus)
{
    SetupValues studio = defaultSetupValues();
    studio.setChoice(Field::PeakLevel, 12);
    studio.setCheck(Field::Gpi1Blink, 1);
    exportSetupText(path("A.kxd"), defaultSetupValues());
    exportSetupText(path("Same.kxd"), defaultSetupValues());
    exportSetupText(path("B.kxd"), studio);
    QByteArray image(120, '\x01');
    image[0] = 24;
    image[1] = 7;
    writeFile(path("A.kxm"), image);
    image[0x5a] = '\x0c';
    writeFile(path("B.kxm"), image);
    const struct {
        QStringList args;
        int exitCode;
        QString out; // stdout whole, or a text that stderr holds
    } rows[] = {
        {{"diff", "A.kxd", "Same.kxd"}, 0, "0 settings differ\n"},
        {{"diff", "A.kxd", "B.kxd"}, 1,
         "Set-up Audio / Level: Peak Analog: 14dBu  -10dB -> 12dBu  -12dB\n"
         "Set-up Controls / Program GPI #1: Blink MSG/SID: unchecked -> checked\n"
         "2 settings differ\n"},
        {{"diff", "A.kxm", "B.kxm"}, 1, "byte 0x5a: 0x01 -> 0x0c\n1 byte differs\n"},
        {{"diff", "A.kxd", "A.kxm"}, 2, "do not compare"},
        {{"diff", "A.kxd", "Missing.kxd"}, 2, "Missing.kxd"},
        {{"diff", "A.kxd"}, 2, "usage"},
        {{"diff", "A.kxd", "B.kxd", "--fast"}, 2, "unknown option"},
        {{"diff", "A.kxd", "card:"}, 2, "needs a serial device"},
        {{"diff", "A.kxd", "card:" + path("nothing")}, 2, "no set-up was received"},
    };
    for (const auto& row : rows) {
        const CliRun run = cli(row.args);
        const std::string args = row.args.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, row.exitCode) << args;
        if (row.exitCode == 2)
            EXPECT_TRUE(run.err.contains(row.out)) << args << ": " << run.err.toStdString();
        else
            EXPECT_EQ(run.out, row.out) << args;
    }
}

// The text of a PDF as pdftotext reads it (ligatures undone), or nothing without pdftotext.
static std::optional<QString> pdfText(const QString& pdf)
{
    const QString reader = QStandardPaths::findExecutable("pdftotext");
    if (reader.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(reader, {"-layout", pdf, "-"});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).replace(QChar(0xfb00), "ff");
}

TEST_F(CliTest, reportWritesThePdfOfASetupOrOfItsDifferences)
{
    SetupValues studio = defaultSetupValues();
    studio.setText(Field::Gpi1Text, "ON AIR");
    exportSetupText(path("A.kxd"), defaultSetupValues());
    exportSetupText(path("B.kxd"), studio);
    const struct {
        QStringList args;
        QStringList shown; // in this order
    } rows[] = {
        {{"report", "A.kxd", "-o", "a.pdf"},
         {"Quillon set-up report", "File: A.kxd", "Card kind: SID", "Date: ", "Set-up Audio", "Group Select",
          "Set-up Source ID", "Set-up Windows", "Set-up Colors", "Grey 2 (red, error)", "Set-up Controls",
          "Program GPI #2: Text Off (GPIs Excluded)"}},
        {{"report", "A.kxd", "--against", "B.kxd", "-o", "d.pdf"},
         {"File: A.kxd", "Compared with: B.kxd", "Set-up Controls", "Program GPI #1: Message Text", "\"RECORD\"",
          "\"ON AIR\"", "1 setting differs"}},
    };
    for (const auto& row : rows) {
        const CliRun run = cli(row.args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QString pdf = path(row.args.last());
        EXPECT_TRUE(readFile(pdf).startsWith("%PDF"));
        const auto text = pdfText(pdf);
        if (!text)
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        qsizetype at = 0;
        for (const QString& shown : row.shown) {
            const qsizetype found = text->indexOf(shown, at);
            EXPECT_GE(found, 0) << shown.toStdString() << " in\n" << text->toStdString();
            at = std::max(at, found);
        }
    }
    EXPECT_EQ(cli({"report", "A.kxd"}).exitCode, 2);
    EXPECT_EQ(cli({"report", "Missing.kxd", "-o", "m.pdf"}).exitCode, 1);
    EXPECT_FALSE(QFile::exists(path("m.pdf")));
}

TEST_F(CliTest, aPortThatCannotBeOpenedIsExplainedOnStandardErrorAfterTheMessage)
{
    PseudoTerminal held, locked;
    ASSERT_FALSE(held.slave.isEmpty());
    ASSERT_FALSE(locked.slave.isEmpty());
    QSerialPort holder(held.slave);
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    const QString pid = QString::number(::getpid());
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    // A device of group uucp (as on Arch Linux): the advice names that group, not dialout.
    const group* uucp = ::getgrnam("uucp");
    const bool canDropRoot = ::geteuid() == 0 && uucp && ::getpwnam("nobody") && !setpriv.isEmpty();
    if (canDropRoot) {
        const QByteArray device = locked.slave.toLocal8Bit();
        ASSERT_EQ(::chown(device.constData(), 0, uucp->gr_gid), 0);
        ASSERT_EQ(::chmod(device.constData(), 0660), 0);
    }
    const struct {
        const char* what;
        QString device;
        QStringList wrapper;
        QStringList found;
    } rows[] = {
        {"missing", path("ttyGone"), {}, {path("ttyGone") + " does not exist.", "present now"}},
        {"busy", held.slave, {}, {held.slave + " is in use by process " + pid + " (test_cli)",
                                  "Next step: quit that program"}},
        {"no permission", locked.slave,
         {setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"},
         {"group uucp (crw-rw----); user nobody may not read and write it.",
          "Next step: add user nobody to the group, then log out and in again:\n  sudo usermod -aG uucp nobody"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.wrapper.isEmpty() && !canDropRoot) {
            std::cout << "[  SKIPPED ] " << row.what << ": needs root, setpriv, group uucp and user nobody\n";
            continue;
        }
        const CliRun run = runCli({"get", "--port", row.device, "-o", path("Out.kxd")}, dir.path(), {}, row.wrapper);
        EXPECT_EQ(run.exitCode, 1);
        const qsizetype message = run.err.indexOf("The serial port could not be opened: " + row.device);
        EXPECT_GE(message, 0) << run.err.toStdString();
        for (const QString& part : row.found)
            EXPECT_GT(run.err.indexOf(part), message) << part.toStdString() << "\n" << run.err.toStdString();
    }
}

TEST_F(CliTest, portsListsThePortsAndTheComAssignments)
{
    const CliRun run = cli({"ports"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Com ports (section \"Ports\" of the settings):")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("  Com4  ")) << run.out.toStdString();
    EXPECT_EQ(cli({"ports", "extra"}).exitCode, 2);
}

TEST_F(CliTest, cardsAddListAndRemoveKeepTheInventoryAsTheEngineerWroteIt)
{
    QDir().mkpath(path("config/Quillon/setups"));
    const QString inventory = path("config/Quillon/cards.ini");
    writeFile(inventory, "# Studio 3\n[Studio 3 A]\nport = /dev/ttyUSB0\nkind = SID\nowner = Ines\n\n[Broken]\nport = /dev/ttyS1\nkind = SDI\n");
    const auto cards = [this](const QStringList& args) {
        return runCli(QStringList{"cards"} + args, dir.path(), [this] { setenv("XDG_CONFIG_HOME", qPrintable(path("config")), 1); });
    };
    const CliRun added = cards({"add", " Spare ", "--port=rfc2217://rack3:7001", "--kind", "AVM", "--serial", "0a0b0c0d0e",
                                "--group", "studio3,night", "--group", "Night", "--reference", path("config/Quillon/setups/spare.kxm"),
                                "--location", "Rack 3, slot 4 "});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(added.out, "Added card \"Spare\" to " + inventory + "\n");
    EXPECT_TRUE(added.err.contains(inventory + ":9: card \"Broken\" skipped: the kind \"SDI\" is neither SID nor AVM")) << added.err.toStdString();
    EXPECT_TRUE(added.err.contains("spare.kxm\" is not there (yet)")) << added.err.toStdString();

    const CliRun twice = cards({"add", "spare", "--port", "/dev/ttyS2"});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_TRUE(twice.err.contains("a card named \"spare\" is already in " + inventory + ", on line 11")) << twice.err.toStdString();

    const CliRun listed = cards({"list"});
    EXPECT_EQ(listed.exitCode, 1) << "an entry was skipped";
    EXPECT_EQ(listed.out.toStdString(), "card        port                  kind  serial      groups         reference         location\n"
                          "Studio 3 A  /dev/ttyUSB0          SID   -           -              -\n"
                          "Spare       rfc2217://rack3:7001  AVM   0A0B0C0D0E  studio3,night  setups/spare.kxm  Rack 3, slot 4\n");
    const QJsonObject json = QJsonDocument::fromJson(cards({"list", "--json"}).out.toUtf8()).object();
    const QJsonArray listedCards = json["cards"].toArray();
    ASSERT_EQ(listedCards.size(), 2);
    EXPECT_EQ(listedCards[1].toObject()["reference"].toString(), path("config/Quillon/setups/spare.kxm"));
    EXPECT_EQ(listedCards[1].toObject()["groups"].toArray().size(), 2);
    EXPECT_EQ(json["problems"].toArray()[0].toObject()["line"].toInt(), 9);

    const CliRun removed = cards({"remove", "studio 3 a", "--inventory", inventory});
    ASSERT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_EQ(removed.out, "Removed card \"Studio 3 A\" from " + inventory + "\n");
    EXPECT_EQ(readFile(inventory), "[Broken]\nport = /dev/ttyS1\nkind = SDI\n\n[Spare]\nport = rfc2217://rack3:7001\nkind = AVM\n"
                                   "serial = 0A0B0C0D0E\ngroups = studio3, night\nreference = setups/spare.kxm\nlocation = Rack 3, slot 4\n");

    const CliRun none = cards({"list", "--inventory", path("none.ini")});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.contains("there is no such file yet")) << none.err.toStdString();
}

// Wrong use of fleet ends with status 2 and says what is wrong before any card is reached; a set-up
// file that cannot be read is a failure (1).
TEST_F(CliTest, fleetRefusesWrongUseBeforeReachingAnyCard)
{
    const QString inventory = path("cards.ini");
    writeFile(inventory, "[A]\nport = /dev/ttyS1\ngroups = g\n");
    const struct {
        QStringList args;
        int exitCode;
        const char* says;
    } rows[] = {
        {{}, 2, "fleet needs status, backup, send, verify or diff"},
        {{"reboot"}, 2, "unknown fleet command \"reboot\""},
        {{"send"}, 2, "fleet send takes one set-up file"},
        {{"status", "extra"}, 2, "unexpected argument extra"},
        {{"backup", "--no-backup"}, 2, "would do nothing"},
        {{"verify", "--no-verify"}, 2, "--no-verify is for fleet send"},
        {{"status", "--jobs", "0"}, 2, "--jobs takes a number from 1 to 64"},
        {{"status", "--jobs=65"}, 2, "--jobs takes a number from 1 to 64"},
        {{"status", "--card", "B"}, 2, "no card named \"B\" in the inventory"},
        {{"status", "--group", "h"}, 2, "no card of the inventory is in group \"h\""},
        {{"status", "--group", "g", "--card", "A"}, 2, "give --group or --card, not both"},
        {{"status", "--log="}, 2, "--log needs a file or folder name"},
        {{"send", path("missing.kxd")}, 1, "missing.kxd"},
    };
    for (const auto& row : rows) {
        const CliRun run = cli(QStringList{"fleet"} + row.args + QStringList{"--inventory", inventory});
        EXPECT_EQ(run.exitCode, row.exitCode) << row.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(row.says))) << row.args.join(' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << row.args.join(' ').toStdString();
    }
}
