// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/backups.h"
#include "files/setupfiles.h"
#include "app/core/settingsstore.h"
#include "recordingui.h"
#include "setup/setupimage.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <ctime>
#include <gtest/gtest.h>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace quillon {
namespace {

using testsupport::readFile;
using testsupport::writeFile;

const QByteArray Serial = QByteArray::fromHex("4b58343031");
const QDateTime Noon(QDate(2024, 5, 1), QTime(12, 0, 0));

QByteArray sidImage(const QString& gpiText = "ON AIR")
{
    SetupValues values = defaultSetupValues();
    values.setText(Field::Gpi1Text, gpiText);
    return encodeSidImage(values).image;
}

QByteArray avmImage(int size = 120)
{
    QByteArray image(size, '\x5A');
    image[0] = char(24);
    image[1] = char(3);
    image[size - 1] = char(0);
    return image;
}

class Backups : public ::testing::Test {
protected:
    BackupFolder folder(int keepDays = DefaultBackupKeepDays)
    {
        return BackupFolder(dir.filePath("backups"), keepDays, [this] { return now; });
    }
    QString path(const QString& name) const { return dir.filePath("backups/" + name); }
    QStringList names() const { return QDir(dir.filePath("backups")).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir dir;
    QDateTime now = Noon;
};

TEST_F(Backups, namesTellKindSerialAndTimeAndAClashGetsTheNextSuffix)
{
    BackupFolder backups = folder();
    EXPECT_EQ(backups.write(sidImage("ONE"), Serial).path, path("SID-4B58343031-20240501-120000.kxd"));
    EXPECT_EQ(backups.write(sidImage("TWO"), Serial).path, path("SID-4B58343031-20240501-120000-2.kxd"));
    EXPECT_EQ(backups.write(sidImage("THREE"), Serial).path, path("SID-4B58343031-20240501-120000-3.kxd"));
    EXPECT_EQ(backups.write(avmImage(), Serial).path, path("AVM-4B58343031-20240501-120000.kxm"));
    now = now.addSecs(61);
    EXPECT_EQ(backups.write(avmImage(), QByteArray::fromHex("00ab")).path, path("AVM-0000000000-20240501-120101.kxm"))
        << "a card that sent no serial";
    EXPECT_EQ(backups.write(avmImage(90), QByteArray::fromHex("0a0b0c0d0e")).path,
              path("AVM-0A0B0C0D0E-20240501-120101.kxm"));

    // East of Greenwich a name tells the time on the operator's wall, not UTC.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "IST-5:30");
    tzset();
    now = QDateTime(QDate(2024, 5, 1), QTime(6, 40), Qt::UTC);
    const QString east = backups.write(sidImage("EAST"), Serial).path;
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    tzset();
    EXPECT_EQ(east, path("SID-4B58343031-20240501-121000.kxd"));
}

TEST_F(Backups, aSidBackupIsTheSetupFileOfTheDecodedImageAndAnAvmBackupTheImage)
{
    BackupFolder backups = folder();
    const QByteArray sid = readFile(backups.write(sidImage(), Serial).path);
    EXPECT_EQ(sid, setupText(decodeSidImage(sidImage(), defaultSetupValues())));
    EXPECT_EQ(encodeSidImage(parseSetupText(sid, defaultSetupValues())).image, sidImage());
    EXPECT_EQ(readFile(backups.write(avmImage(), Serial).path), avmImage());
    EXPECT_EQ(names().size(), 2) << "nothing else is left in the folder";
}

TEST_F(Backups, aFailedWriteSaysWhereAndWhyAndLeavesNoFile)
{
    writeFile(dir.filePath("plain"), "a file, not a folder");
    const BackupResult underAFile = BackupFolder(dir.filePath("plain/backups")).write(sidImage(), Serial);
    EXPECT_FALSE(underAFile.ok());
    EXPECT_TRUE(underAFile.error.contains(QDir::toNativeSeparators(dir.filePath("plain/backups"))))
        << underAFile.error.toStdString();
    EXPECT_TRUE(underAFile.error.contains("cannot be created")) << underAFile.error.toStdString();

    QByteArray badLevel = sidImage();
    badLevel[3] = 25;
    const BackupResult undecodable = folder().write(badLevel, Serial);
    EXPECT_TRUE(undecodable.error.contains("25")) << undecodable.error.toStdString();

#ifdef Q_OS_UNIX
    // The disk fills up half-way: the file is written whole or not at all.
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 500;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const BackupResult full = folder().write(avmImage(1000), Serial);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(full.ok());
    EXPECT_TRUE(full.error.contains(dir.filePath("backups"))) << full.error.toStdString();
    EXPECT_EQ(names(), QStringList());
#endif
}

// Each row writes one backup a minute after the one before; a backup the same as the newest
// of its card is not written again, and the newest is named instead.
TEST_F(Backups, theSameSetupAsTheCardsNewestBackupIsNotWrittenAgain)
{
    const QByteArray otherCard = QByteArray::fromHex("0a0b0c0d0e");
    const struct {
        QByteArray image, serial;
        const char* named;
        bool unchanged;
    } rows[] = {
        {sidImage("ONE"), Serial, "SID-4B58343031-20240501-120100.kxd", false},
        {sidImage("ONE"), Serial, "SID-4B58343031-20240501-120100.kxd", true},
        {sidImage("ONE"), otherCard, "SID-0A0B0C0D0E-20240501-120300.kxd", false}, // another card
        {avmImage(), Serial, "AVM-4B58343031-20240501-120400.kxm", false},          // another kind
        {sidImage("ONE"), Serial, "SID-4B58343031-20240501-120100.kxd", true},
        {sidImage("TWO"), Serial, "SID-4B58343031-20240501-120600.kxd", false},
        {sidImage("ONE"), Serial, "SID-4B58343031-20240501-120700.kxd", false}, // only the newest counts
        {avmImage(), Serial, "AVM-4B58343031-20240501-120400.kxm", true},
        {avmImage(121), Serial, "AVM-4B58343031-20240501-120900.kxm", false}, // one byte longer
    };
    int minute = 0;
    for (const auto& row : rows) {
        now = Noon.addSecs(60 * ++minute);
        const BackupResult written = folder().write(row.image, row.serial);
        EXPECT_TRUE(written.ok()) << minute;
        EXPECT_EQ(written.path, path(row.named)) << minute;
        EXPECT_EQ(written.unchanged, row.unchanged) << minute;
    }
    EXPECT_EQ(names().size(), 6);

    // The newest backup changed on disk no longer holds what the card holds: a new one is written.
    writeFile(path("AVM-4B58343031-20240501-120900.kxm"), avmImage(121).left(120));
    now = Noon.addSecs(60 * ++minute);
    EXPECT_FALSE(folder().write(avmImage(121), Serial).unchanged);
    EXPECT_EQ(names().size(), 7);
}

TEST(BackupNames, onlyNamesThisProgramMakesAreBackups)
{
    const struct {
        const char* name;
        bool ours;
    } rows[] = {
        {"SID-4B58343031-20240501-120000.kxd", true},
        {"AVM-4B58343031-20240501-120000-12.kxm", true},
        {"SID-4B58343031-20240501-120000.kxm", false}, // kind and extension disagree
        {"SID-4b58343031-20240501-120000.kxd", false},
        {"SID-4B5834303-20240501-120000.kxd", false},
        {"SID-4B58343031-20241301-120000.kxd", false}, // no month 13
        {"SID-4B58343031-20240501-120000-1.kxd", false},
        {"SID-4B58343031-20240501-120000-02.kxd", false},
        {"SID-4B58343031-20240501-120000.kxd.bak", false},
        {"Studio.kxd", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parseBackupName(row.name).has_value(), row.ours) << row.name;
    const auto entry = parseBackupName("AVM-0A0B0C0D0E-20240501-120101-3.kxm");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->kind, CardType::AVM);
    EXPECT_EQ(entry->serial, "0A0B0C0D0E");
    EXPECT_EQ(entry->time, Noon.addSecs(61));
    EXPECT_EQ(entry->clash, 3);
}

// Backups of card A, one a day back from today, a few of card B of the same kind, and files of others.
TEST_F(Backups, retentionKeepsTheYoungAndTheTwentyNewestOfEachCardAndNothingElseIsTouched)
{
    const QString cardA = "4B58343031", cardB = "0A0B0C0D0E";
    QDir().mkpath(dir.filePath("backups"));
    for (int day = 0; day < 30; ++day)
        writeFile(path("SID-" + cardA + "-" + Noon.addDays(-day).toString("yyyyMMdd-HHmmss") + ".kxd"), "x");
    for (int day : {400, 500})
        writeFile(path("SID-" + cardB + "-" + Noon.addDays(-day).toString("yyyyMMdd-HHmmss") + ".kxd"), "x");
    const QStringList foreign{"Studio.kxd", "SID-" + cardA + "-20000101-000000.kxd.bak", "notes.txt"};
    for (const QString& name : foreign)
        writeFile(path(name), "x");

    const struct {
        int keepDays;
        int keptOfA;
    } rows[] = {{365, 30}, {25, 25}, {10, 20}, {0, 20}};
    for (const auto& row : rows) {
        folder(row.keepDays).prune();
        EXPECT_EQ(folder().list(cardA).size(), row.keptOfA) << row.keepDays;
        EXPECT_EQ(folder().list(cardB).size(), 2) << "fewer than 20 of this card, however old";
        for (const QString& name : foreign)
            EXPECT_TRUE(QFile::exists(path(name))) << name.toStdString();
    }
    const QList<BackupEntry> left = folder().list(cardA);
    EXPECT_EQ(left.first().time, Noon);
    EXPECT_EQ(left.last().time, Noon.addDays(-19));

    // A write thins the folder out too.
    for (int day = 20; day < 25; ++day)
        writeFile(path("SID-" + cardA + "-" + Noon.addDays(-day).toString("yyyyMMdd-HHmmss") + ".kxd"), "x");
    folder(10).write(sidImage(), Serial);
    EXPECT_EQ(folder().list(cardA).size(), 20);
}

TEST_F(Backups, listIsNewestFirstWithClashesInWritingOrder)
{
    BackupFolder backups = folder();
    backups.write(sidImage("ONE"), Serial);
    backups.write(sidImage("TWO"), Serial);
    now = now.addSecs(1);
    backups.write(avmImage(), QByteArray::fromHex("0a0b0c0d0e"));
    QStringList order;
    for (const BackupEntry& entry : backups.list())
        order << QFileInfo(entry.path).fileName();
    EXPECT_EQ(order, QStringList({"AVM-0A0B0C0D0E-20240501-120001.kxm", "SID-4B58343031-20240501-120000-2.kxd",
                                  "SID-4B58343031-20240501-120000.kxd"}));
    EXPECT_EQ(backups.list("0a0b0c0d0e").size(), 1);
}

TEST(BackupSettings, folderAndDaysComeFromTheSettingsWithSoundDefaults)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("Quillon.conf"));
    EXPECT_EQ(store.backupFolder(), defaultBackupFolder());
#ifdef Q_OS_WIN
    // %LOCALAPPDATA%, in which Qt's test mode keeps a folder of its own.
    EXPECT_EQ(defaultBackupFolder(),
              QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA")) + "/qttest/Quillon/backups");
#else
    EXPECT_EQ(defaultBackupFolder(), qEnvironmentVariable("XDG_DATA_HOME") + "/Quillon/backups");
#endif
    store.setValue("Backups", "Folder", "/srv/quillon");
    EXPECT_EQ(store.backupFolder(), "/srv/quillon");

    const struct {
        const char* stored;
        int days;
    } rows[] = {{"", 365}, {"30", 30}, {"0", 0}, {"-5", 365}, {"a year", 365}};
    for (const auto& row : rows) {
        store.setValue("Backups", "KeepDays", row.stored);
        EXPECT_EQ(store.backupKeepDays(), row.days) << row.stored;
    }
}

TEST(TransferOptionsStore, bothAreOnUnlessTurnedOffAndAreRememberedAsTrueOrFalse)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("Quillon.conf"));
    EXPECT_TRUE(store.backupBeforeSend());
    EXPECT_TRUE(store.verifyAfterSend());
    store.setBackupBeforeSend(false);
    EXPECT_EQ(store.value("Transfer", "BackupBeforeSend"), "false");
    EXPECT_FALSE(store.backupBeforeSend());
    EXPECT_TRUE(store.verifyAfterSend());
    store.setVerifyAfterSend(false);
    store.setBackupBeforeSend(true);
    EXPECT_EQ(store.value("Transfer", "BackupBeforeSend"), "true");
    EXPECT_FALSE(store.verifyAfterSend());
    store.setValue("Transfer", "VerifyAfterSend", "garbled");
    EXPECT_TRUE(store.verifyAfterSend());
}

} // namespace
} // namespace quillon
