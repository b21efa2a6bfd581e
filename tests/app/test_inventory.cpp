// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/fleetports.h"
#include "app/core/inventory.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quillon {
namespace {

using testsupport::readFile;
using testsupport::writeFile;

const QByteArray Facility =
    "# Studio 3\n"
    "[Studio 3 A]\n"
    "Port = /dev/ttyUSB0\n"
    "kind = sid\n"
    "serial = 4b58343031\n"
    "groups = studio3, night ,\n"
    "reference = setups/studio3.kxd\n"
    "location = Rack 3, slot 2 # top\n"
    "owner = Ines ; kept for the engineers\n"
    "\n"
    "[Studio 3 B]\n"
    "port = rfc2217://rack3.example.net:7001\n"
    "kind = AVM\n"
    "\n"
    "; the spare\n"
    "[Spare]\n"
    "port = Com2\n";

QStringList namesOf(const Inventory& inventory)
{
    QStringList names;
    for (const InventoryCard& card : inventory.cards())
        names << card.name;
    return names;
}

TEST(Inventory, readsEveryFieldWhateverTheLetterCaseOfKeysAndValues)
{
    const Inventory inventory = Inventory::parse(Facility);
    EXPECT_TRUE(inventory.problems().isEmpty()) << inventory.problems().value(0).describe().toStdString();
    ASSERT_EQ(namesOf(inventory), (QStringList{"Studio 3 A", "Studio 3 B", "Spare"}));
    const InventoryCard& a = inventory.cards()[0];
    EXPECT_EQ(a.port, "/dev/ttyUSB0");
    EXPECT_EQ(a.kind, CardType::SID);
    EXPECT_EQ(a.serial, "4B58343031");
    EXPECT_EQ(a.groups, (QStringList{"studio3", "night"}));
    EXPECT_EQ(a.reference, "setups/studio3.kxd");
    EXPECT_EQ(a.location, "Rack 3, slot 2 # top"); // only a whole line is a comment
    EXPECT_EQ(a.line, 2);
    EXPECT_EQ(inventory.cards()[1].kind, CardType::AVM);
    EXPECT_FALSE(inventory.cards()[2].kind.has_value());
    EXPECT_TRUE(inventory.cards()[2].serial.isEmpty());
    EXPECT_EQ(inventory.find("studio 3 b"), &inventory.cards()[1]);
    EXPECT_TRUE(a.inGroup("Night"));
    // (On Windows a path from the root is on the current drive.)
    EXPECT_EQ(referencePath(a, "/srv/facility/cards.ini"),
              QFileInfo("/srv/facility/setups/studio3.kxd").absoluteFilePath());
}

// Each row: the file, the cards that are read from it, the line and words of the one problem.
TEST(Inventory, aBadEntryIsReportedWithItsLineAndSkippedAndTheOthersAreRead)
{
    const QByteArray good = "[Good]\nport = /dev/ttyS0\n";
    const QByteArray notUtf8 = "[Bad]\nport = /dev/ttyS1\nlocation = caf\xe9\n";
    const QByteArray longLine = "[Bad]\nport = /dev/ttyS1\nlocation = " + QByteArray(5000, 'x') + "\n";
    const struct {
        const char* what;
        QByteArray text;
        QStringList cards;
        int line;
        const char* said;
    } rows[] = {
        {"a serial that is not 10 hex digits", "[Bad]\nport = /dev/ttyS1\nserial = 4B5834\n" + good, {"Good"}, 3,
         "card \"Bad\" skipped: the serial \"4B5834\" is not 10 hexadecimal digits"},
        {"a kind of card there is not", "[Bad]\nkind = SDI\nport = /dev/ttyS1\n" + good, {"Good"}, 2, "the kind \"SDI\" is neither SID nor AVM"},
        {"no port", "[Bad]\nkind = SID\n\n" + good, {"Good"}, 1, "card \"Bad\" skipped: it has no port"},
        {"an empty port", "[Bad]\nport =\n" + good, {"Good"}, 2, "the port is empty"},
        {"a name used twice, in other letters", good + "[GOOD]\nport = /dev/ttyS1\n", {"Good"}, 3,
         "card \"GOOD\" skipped: a card of that name is on line 1"},
        {"a key given twice", "[Bad]\nport = /dev/ttyS1\nPORT = /dev/ttyS2\n" + good, {"Good"}, 3, "port is given twice (also on line 2)"},
        {"a line without =", "[Bad]\nport = /dev/ttyS1\nrack 3\n" + good, {"Good"}, 3, "\"rack 3\" is not KEY = VALUE"},
        {"a line before the first card", "port = /dev/ttyS1\n" + good, {"Good"}, 1, "is outside of a card's section"},
        {"an unclosed bracket", "[Bad\nport = /dev/ttyS1\n" + good, {"Good"}, 1, "a card's name goes between [ and ]"},
        {"an empty name", "[ ]\nport = /dev/ttyS1\n" + good, {"Good"}, 1, "a card needs a name"},
        {"text that is not UTF-8", notUtf8 + good, {"Good"}, 3, "the line is not UTF-8 text"},
        {"a line too long", longLine + good, {"Good"}, 3, "longer than 4096 bytes"},
        {"an unknown network protocol", "[Bad]\nport = ftp://rack3:7001\n" + good, {"Good"}, 2, "is no kind of network port"},
        {"a TCP port out of range", "[Bad]\nport = socket://rack3:70000\n" + good, {"Good"}, 2, "is not a port number (1 to 65535)"},
#if !defined(Q_OS_WIN)
        {"a Com port the settings do not assign", "[Bad]\nport = Com9\n" + good, {"Good"}, 2, "Com1 to Com4"},
#endif
        {"a reference of the other kind", "[Bad]\nport = /dev/ttyS1\nkind = SID\nreference = studio.kxm\n" + good, {"Good"}, 1,
         "the reference \"studio.kxm\" is an AVM set-up (its name ends in \"m\"), but the card is a SID card"},
        {"a group name too long", "[Bad]\nport = /dev/ttyS1\ngroups = a, " + QByteArray(40, 'g') + "\n" + good, {"Good"}, 3,
         "is not a name of at most 32 characters"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Inventory inventory = Inventory::parse(row.text);
        EXPECT_EQ(namesOf(inventory), row.cards);
        ASSERT_EQ(inventory.problems().size(), 1);
        EXPECT_EQ(inventory.problems()[0].line, row.line);
        EXPECT_TRUE(inventory.problems()[0].text.contains(QLatin1String(row.said))) << inventory.problems()[0].describe().toStdString();
        EXPECT_EQ(Inventory::parse(row.text).text(), row.text) << "a skipped entry is kept as it was written";
    }
}

TEST(Inventory, aHugeOrHostileFileIsBoundedInCardsAndProblems)
{
    QByteArray many;
    for (int i = 0; i < Inventory::MaxCards + 3; ++i)
        many += "[Card " + QByteArray::number(i) + "]\nport = /dev/ttyS0\n";
    const Inventory full = Inventory::parse(many);
    EXPECT_EQ(full.cards().size(), Inventory::MaxCards);
    ASSERT_EQ(full.problems().size(), 3);
    EXPECT_TRUE(full.problems()[0].text.contains("at most 4096 cards"));

    QByteArray noise;
    for (int i = 0; i < 500; ++i)
        noise += "nonsense\n";
    const Inventory noisy = Inventory::parse(noise + QByteArray(100, '\0') + "\n[\n]]]\n=\n");
    EXPECT_TRUE(noisy.cards().isEmpty());
    EXPECT_EQ(noisy.problems().size(), Inventory::MaxProblems);
    EXPECT_GT(noisy.moreProblems(), 400);
}

TEST(Inventory, addingAndEditingACardKeepsCommentsUnknownKeysSkippedEntriesAndLineEnds)
{
    QByteArray windows = Facility + "[Broken]\nport = /dev/ttyS3\nserial = nope\n";
    windows.replace("\n", "\r\n");
    Inventory inventory = Inventory::parse("\xEF\xBB\xBF" + windows);

    InventoryCard c;
    c.name = "Studio 4";
    c.port = "socket://10.0.0.7:4001";
    c.kind = CardType::SID;
    c.groups = {"studio4"};
    ASSERT_EQ(inventory.put(c), QString());
    EXPECT_EQ(inventory.text(), "\xEF\xBB\xBF" + windows + "\r\n[Studio 4]\r\nport = socket://10.0.0.7:4001\r\nkind = SID\r\n"
                                                           "groups = studio4\r\n");

    // An edit: values in place under their own spelling, an emptied key gone, a new one after
    // the last entry; the unknown key and the comment above stay.
    InventoryCard a = *inventory.find("Studio 3 A");
    a.port = "/dev/ttyUSB1";
    a.groups.clear();
    a.location = "Rack 4";
    a.kind.reset();
    a.serial = "0A0B0C0D0E";
    ASSERT_EQ(inventory.put(a), QString());
    EXPECT_TRUE(inventory.text().contains("# Studio 3\r\n[Studio 3 A]\r\nPort = /dev/ttyUSB1\r\nserial = 0A0B0C0D0E\r\n"
                                          "reference = setups/studio3.kxd\r\nlocation = Rack 4\r\n"
                                          "owner = Ines ; kept for the engineers\r\n\r\n[Studio 3 B]"))
        << inventory.text().toStdString();
    const Inventory rewritten = Inventory::parse(inventory.text());
    const InventoryCard* reread = rewritten.find("Studio 3 A");
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->port, "/dev/ttyUSB1");
    EXPECT_FALSE(reread->kind.has_value());
    InventoryCard spare = *inventory.find("Spare");
    spare.serial = "0A0B0C0D0F";
    ASSERT_EQ(inventory.put(spare), QString());
    EXPECT_TRUE(inventory.text().contains("[Spare]\r\nport = Com2\r\nserial = 0A0B0C0D0F\r\n[Broken]")) << inventory.text().toStdString();

    // What cannot be written, and what must be mended by hand, changes nothing.
    const QByteArray before = inventory.text();
    InventoryCard bad = c;
    bad.serial = "4B5834";
    EXPECT_TRUE(inventory.put(bad).contains("serial")) << inventory.put(bad).toStdString();
    bad = c;
    bad.name = "Broken";
    EXPECT_TRUE(inventory.put(bad).contains("line 17")) << inventory.put(bad).toStdString();
    bad.name = "[x]";
    EXPECT_FALSE(inventory.put(bad).isEmpty());
    EXPECT_EQ(inventory.text(), before);
}

TEST(Inventory, removingACardTakesItsCommentAndLeavesTheRestAsWritten)
{
    Inventory inventory = Inventory::parse(Facility);
    EXPECT_EQ(inventory.remove("spare"), 1);
    EXPECT_EQ(inventory.text(), Facility.left(Facility.indexOf("\n\n; the spare")) + "\n");
    EXPECT_EQ(inventory.remove("Studio 3 A"), 1);
    EXPECT_EQ(inventory.text(), "[Studio 3 B]\nport = rfc2217://rack3.example.net:7001\nkind = AVM\n");
    EXPECT_EQ(inventory.remove("Studio 3 A"), 0);
    // Both entries of a name written twice go, the skipped one too.
    Inventory twice = Inventory::parse("[A]\nport = x\n\n[B]\nport = y\n\n[a]\nport = z\n");
    EXPECT_EQ(twice.remove("A"), 2);
    EXPECT_EQ(twice.text(), "[B]\nport = y\n");
    EXPECT_EQ(namesOf(twice), QStringList{"B"});
    Inventory adjacent = Inventory::parse("[B]\nport = y\n\n[A]\nport = x\n\n# the same again\n[a]\nport = z\n");
    EXPECT_EQ(adjacent.remove("A"), 2);
    EXPECT_EQ(adjacent.text(), "[B]\nport = y\n");
}

TEST(Inventory, aNewFileStartsWithAnExplanation)
{
    Inventory inventory;
    InventoryCard c;
    c.name = "A";
    c.port = "/dev/ttyS0";
    ASSERT_EQ(inventory.put(c), QString());
    EXPECT_TRUE(inventory.text().startsWith("# Quillon card inventory"));
    EXPECT_TRUE(inventory.text().endsWith("\n\n[A]\nport = /dev/ttyS0\n"));
    EXPECT_TRUE(Inventory::parse(inventory.text()).problems().isEmpty());
}

class InventoryFiles : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

#ifdef Q_OS_UNIX // pipes, device files and symbolic links
TEST_F(InventoryFiles, whatCannotBeReadIsAnErrorNamingTheFileAndNothingIsUsed)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.ini")).constData(), 0600), 0);
    QDir(dir.path()).mkdir("folder.ini");
    writeFile(path("big.ini"), "[A]\nport = x\n" + QByteArray(Inventory::MaxBytes, '#'));
    const struct {
        QString path;
        const char* said;
    } rows[] = {
        {path("pipe.ini"), "it is a device, pipe or socket, not a regular file"},
        {"/dev/zero", "it is a device, pipe or socket, not a regular file"},
        {path("folder.ini"), "it is a folder"},
        {path("big.ini"), "larger than 1024 KiB"},
    };
    for (const auto& row : rows) {
        const InventoryFile file = readInventory(row.path);
        EXPECT_TRUE(file.error.contains(row.said)) << file.error.toStdString();
        EXPECT_TRUE(file.error.contains(QDir::toNativeSeparators(row.path))) << file.error.toStdString();
        EXPECT_TRUE(file.inventory.cards().isEmpty());
    }
    const InventoryFile missing = readInventory(path("none/cards.ini"));
    EXPECT_TRUE(missing.ok());
    EXPECT_FALSE(missing.exists);
}

TEST_F(InventoryFiles, writingMakesTheFolderFollowsALinkAndNeverWritesThroughADevice)
{
    Inventory inventory = Inventory::parse(Facility);
    ASSERT_EQ(writeInventory(path("new/folder/cards.ini"), inventory), QString());
    EXPECT_EQ(readFile(path("new/folder/cards.ini")), Facility);

    // An inventory kept in a repository and linked from the settings folder.
    writeFile(path("repo.ini"), "[Old]\nport = x\n");
    ASSERT_TRUE(QFile::link(path("repo.ini"), path("cards.ini")));
    ASSERT_EQ(writeInventory(path("cards.ini"), inventory), QString());
    EXPECT_TRUE(QFileInfo(path("cards.ini")).isSymLink());
    EXPECT_EQ(readFile(path("repo.ini")), Facility);

    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.ini")).constData(), 0600), 0);
    EXPECT_TRUE(writeInventory(path("pipe.ini"), inventory).contains("not a regular file"));
    EXPECT_TRUE(QFileInfo(path("pipe.ini")).exists());
}
#endif

TEST(PortNames, whatNamesAPortAndWhichNamesReachOneLine)
{
    for (const char* good : {"/dev/ttyUSB0", "ttyS1", "Com1", "COM4", "rfc2217://rack3.example.net:7001",
                             "socket://10.0.0.7:4001", "RFC2217://[fe80::1]:23"})
        EXPECT_EQ(portNameProblem(QLatin1String(good)), QString()) << good;
    for (const char* bad : {"", " /dev/ttyS0", "rfc2217://rack3", "socket://:7001", "telnet://rack3:23",
                            "rfc2217://rack3:0", "rfc2217://rack 3:23"})
        EXPECT_NE(portNameProblem(QLatin1String(bad)), QString()) << bad;

    QTemporaryDir dir;
    writeFile(dir.filePath("ttyUSB0"), "");
    const auto com = [&](int n) { return n == 2 ? dir.filePath("ttyUSB0") : n == 3 ? QStringLiteral("socket://Rack3:7001") : QString(); };
    const auto key = [&](const QString& port) { return portLineKey(port, com); };
#if !defined(Q_OS_WIN) // a link to a device: Windows has COM names
    ASSERT_TRUE(QFile::link(dir.filePath("ttyUSB0"), dir.filePath("by-id-adapter")));
    EXPECT_EQ(key(dir.filePath("by-id-adapter")), key(dir.filePath("ttyUSB0")));
#endif
    EXPECT_EQ(key("com2"), key(dir.filePath("ttyUSB0")));
    EXPECT_EQ(key("rfc2217://RACK3:7001"), key("socket://rack3:07001"));
    EXPECT_EQ(key("Com3"), key("rfc2217://rack3:7001"));
    EXPECT_NE(key("rfc2217://rack3:7001"), key("rfc2217://rack3:7002"));
    EXPECT_NE(key("Com1"), key("Com2"));
#if !defined(Q_OS_WIN)
    EXPECT_EQ(key("ttyS1"), key("/dev/ttyS1"));
#endif
}

} // namespace
} // namespace quillon
