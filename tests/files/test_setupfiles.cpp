// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/setupfiles.h"
#include "support/testsupport.h"
#include "setup/setupimage.h"
#include "../setup/setupprinters.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <map>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using namespace quillon;

namespace {

using testsupport::readFile;
using testsupport::writeFile;


QList<QByteArray> linesOf(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    EXPECT_TRUE(lines.last().isEmpty());
    lines.removeLast();
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r'));
        line.chop(1);
    }
    return lines;
}

// A set-up that differs from the defaults in every kind of field.
SetupValues unusualSetup()
{
    SetupValues v = defaultSetupValues();
    v.setChoice(Field::AudioGroup, 3);
    v.setOption(Field::AudioChannels34, true);
    v.setOption(Field::OutputMono, false); // a group with neither button set
    v.setOption(Field::OutputStereo, false);
    v.setChoice(Field::PeakLevel, -1);
    v.setText(Field::FineAdjustChannel1, "-3.5");
    v.setText(Field::FineAdjustB2, "abc");
    v.setLevel(Field::OperatingRegion, -128);
    v.setLevel(Field::Grey2, 255);
    v.setText(Field::MissingSidMessage, QString::fromUtf8("On Air  twice"));
    v.setCheck(Field::Gpi1Blink, 1);
    v.setCheck(Field::Gpi2DisplayMessage, 0);
    v.setText(Field::Gpi2Text, "");
    v.setOption(Field::DipSwitchesEnable, true);
    v.setChoice(Field::VideoStandard, 0);
    v.setText(Field::SidLine525Vitc, "12");
    v.setText(Field::SidLine525Pesa, "13");
    v.setText(Field::SidLine625Vitc, "6");
    v.setText(Field::SidLine625Pesa, "22");
    v.setOption(Field::CompositeBlackWhite, true);
    v.setOption(Field::AudioBarVu, true);
    v.setOption(Field::TimeCodeWindowOff, true);
    v.setOption(Field::SidWindowOff, true);
    v.setText(Field::AudioWindowHorizontal, "39");
    v.setText(Field::StatusWindowVertical, "29");
    v.setOption(Field::CompositeOutputSid, true);
    v.setText(Field::SidWindowHorizontal, "30");
    v.setText(Field::SidWindowVertical, "7");
    v.setText(Field::NoSidMessageHorizontal, "30");
    v.setText(Field::NoSidMessageVertical, "7");
    v.setText(Field::Gpi2MessageHorizontal, "");
    return v;
}

SetupValues parsed(const QByteArray& content)
{
    return parseSetupText(content, defaultSetupValues());
}

#ifdef Q_OS_UNIX
// Writing a file past 'bytes' fails as on a full disk, until the object goes away.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};
#endif

// The default set-up's file, line by line, kept apart from the table the writer and reader
// share: two lines of one kind swapped in that table change the file.
const QByteArrayList DefaultFileLines = {
    "0", "#TRUE#", "#FALSE#", "#TRUE#", "#FALSE#", "#TRUE#", "#FALSE#", "10",   // 1-8 audio
    "\"0\"", "\"0\"", "\"0\"", "\"0\"",                                      // 9-12 fine adjusts
    "160", "111", "-56", "-82", "84", "64",                                       // 13-18 colours
    "\"NO AVM\"", "#TRUE#", "#FALSE#",                                           // 19-21 missing SID
    "\"RECORD\"", "1", "0", "0", "\"REPLAY\"", "1", "0", "0", "#FALSE#", "#TRUE#", // 22-31 GPIs, DIP
    "2", "\"10\"", "\"11\"", "\"10\"", "\"11\"",                                 // 32-36 standard, lines
    "#TRUE#", "#FALSE#", "#TRUE#", "#FALSE#", "#FALSE#", "#TRUE#",                // 37-42
    "#TRUE#", "#FALSE#", "\"12\"", "\"12\"", "#TRUE#", "#FALSE#", "\"22\"", "\"4\"", // 43-50 windows
    "#TRUE#", "#FALSE#", "\"10\"", "\"11\"", "#TRUE#", "#FALSE#", "\"12\"", "\"11\"", // 51-58
    "#FALSE#", "#TRUE#", "#FALSE#", "#TRUE#",                                     // 59-62 outputs
    "\"10\"", "\"0\"", "\"20\"", "\"0\"", "\"22\"", "\"4\"",                     // 63-68 positions
};

// Where the unusual set-up's file differs from the default one: a second pattern, so that two
// lines alike in the default file are still told apart.
const std::map<int, QByteArray> UnusualFileChanges = {
    {1, "3"}, {2, "#FALSE#"}, {3, "#TRUE#"}, {6, "#FALSE#"}, {8, "-1"}, {9, "\"-3.5\""},
    {12, "\"abc\""}, {15, "-128"}, {18, "255"}, {19, "\"On Air  twice\""}, {24, "1"},
    {26, "\"\""}, {27, "0"}, {30, "#TRUE#"}, {31, "#FALSE#"}, {32, "0"}, {33, "\"12\""},
    {34, "\"13\""}, {35, "\"6\""}, {36, "\"22\""}, {39, "#FALSE#"}, {40, "#TRUE#"},
    {41, "#TRUE#"}, {42, "#FALSE#"}, {45, "\"39\""}, {47, "#FALSE#"}, {48, "#TRUE#"},
    {49, "\"30\""}, {50, "\"7\""}, {51, "#FALSE#"}, {52, "#TRUE#"}, {58, "\"29\""}, {61, "#TRUE#"}, {62, "#FALSE#"},
    {65, "\"\""}, {67, "\"30\""}, {68, "\"7\""},
};

QByteArray fileOf(const QByteArrayList& lines)
{
    return lines.join("\r\n") + "\r\n";
}

} // namespace

TEST(SidSetupFile, theDefaultAndAnUnusualSetUpWriteTheirFilesLineForLine)
{
    ASSERT_EQ(DefaultFileLines.size(), 68);
    EXPECT_EQ(linesOf(setupText(defaultSetupValues())), DefaultFileLines);
    EXPECT_EQ(parsed(fileOf(DefaultFileLines)), defaultSetupValues());

    QByteArrayList unusual = DefaultFileLines;
    for (const auto& [line, content] : UnusualFileChanges)
        unusual[line - 1] = content;
    EXPECT_EQ(linesOf(setupText(unusualSetup())), unusual);
    EXPECT_EQ(parsed(fileOf(unusual)), unusualSetup());
}

TEST(SidSetupFile, theLastTwoLinesCarryTheSidWindowPositionIntoTheNoSidMessage)
{
    SetupValues v = defaultSetupValues();
    v.setText(Field::SidWindowHorizontal, "31");
    v.setText(Field::SidWindowVertical, "9");
    v.setText(Field::NoSidMessageHorizontal, "1");
    const QList<QByteArray> lines = linesOf(setupText(v));
    EXPECT_EQ(lines[66], "\"31\"");
    EXPECT_EQ(lines[67], "\"9\"");
    const SetupValues back = parsed(setupText(v));
    EXPECT_EQ(back.text(Field::NoSidMessageHorizontal), "31");
    EXPECT_EQ(back.text(Field::NoSidMessageVertical), "9");
}

TEST(SidSetupFile, everySettingComesBackFromAFileWrittenAndReadAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Unusual.kxd");
    const SetupValues written = unusualSetup();
    exportSetupText(path, written);
    EXPECT_EQ(readFile(path), setupText(written));

    HeldSetup held;
    held.connectedCardType = CardType::AVM;
    importSetupText(path, held);
    EXPECT_EQ(held.fields.values(), written);
    EXPECT_EQ(held.connectedCardType, CardType::SID);
    // The standard is chosen before the line numbers, so the file's numbers survive it.
    EXPECT_EQ(held.fields.values().text(Field::SidLine625Vitc), "6");
    EXPECT_EQ(held.fields.values().text(Field::SidLine525Pesa), "13");
}

TEST(SidSetupFile, theReaderDropsWhatTheFilterDropsAndKeepsSpaces)
{
    const struct {
        QByteArray line;
        const char* text;
    } rows[] = {
        {"\"Go! \"now\"\"", "Go now"},
        {"\"a\tb  c\"", "ab  c"},
        {"\"!!\"\"\"", ""},
        {QByteArray("\"x\x01y\x7f\xe9z\""), "xyz"},
    };
    for (const auto& row : rows) {
        QList<QByteArray> lines = linesOf(setupText(defaultSetupValues()));
        lines[18] = row.line; // the missing-SID message
        const SetupValues v = parsed(lines.join("\r\n") + "\r\n");
        EXPECT_EQ(v.text(Field::MissingSidMessage), row.text) << row.line.constData();
    }
}

TEST(SidSetupFile, readSetupLineEndsAtCarriageReturnsOnly)
{
    QBuffer buffer;
    buffer.setData("one\ntwo\r\nthree");
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(readSetupLine(buffer), "onetwo");
    EXPECT_EQ(readSetupLine(buffer), "three");
    EXPECT_EQ(readSetupLine(buffer), "");
}

TEST(SidSetupFile, aShortFileLeavesTheMissingLinesEmptyAndLinesAfter68AreIgnored)
{
    QList<QByteArray> lines = linesOf(setupText(defaultSetupValues()));
    const SetupValues sixty = parsed(lines.mid(0, 60).join("\r\n") + "\r\n");
    EXPECT_FALSE(sixty.option(Field::CompositeOutputSid));
    EXPECT_FALSE(sixty.option(Field::CompositeOutputSidAudio));
    for (Field f : {Field::Gpi1MessageHorizontal, Field::Gpi1MessageVertical, Field::Gpi2MessageHorizontal, Field::Gpi2MessageVertical, Field::NoSidMessageHorizontal, Field::NoSidMessageVertical})
        EXPECT_EQ(sixty.text(f), "") << fieldInfo(f).name;
    EXPECT_TRUE(sixty.option(Field::SdiOutputSidAudio));

    lines << "999" << "#TRUE#" << "\"junk\"";
    EXPECT_EQ(parsed(lines.join("\r\n")), defaultSetupValues());
}

TEST(SidSetupFile, linesConvertByTheKindOfTheirSetting)
{
    const struct {
        int line;
        QByteArray content;
        std::function<void(const SetupValues&)> check;
    } rows[] = {
        {1, " 3", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::AudioGroup), 3); }},
        {1, "2.5", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::AudioGroup), 2); }},
        {1, "-1", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::AudioGroup), -1); }},
        {1, "x", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::AudioGroup), 0); }},
        {3, "#true#", [](const SetupValues& v) { EXPECT_FALSE(v.option(Field::AudioChannels34)); }},
        {3, "#TRUE#", [](const SetupValues& v) {
             EXPECT_TRUE(v.option(Field::AudioChannels34));
             EXPECT_FALSE(v.option(Field::AudioChannels12));
         }},
        {2, "#FALSE#", [](const SetupValues& v) {
             EXPECT_FALSE(v.option(Field::AudioChannels12));
             EXPECT_FALSE(v.option(Field::AudioChannels34));
         }},
        {23, "2", [](const SetupValues& v) { EXPECT_EQ(v.check(Field::Gpi1DisplayMessage), 0); }},
        {24, "1", [](const SetupValues& v) { EXPECT_EQ(v.check(Field::Gpi1Blink), 1); }},
        {15, "-128", [](const SetupValues& v) { EXPECT_EQ(v.level(Field::OperatingRegion), -128); }},
        {9, "\"12abc\"", [](const SetupValues& v) { EXPECT_EQ(v.text(Field::FineAdjustChannel1), "12abc"); }},
    };
    for (const auto& row : rows) {
        QList<QByteArray> lines = linesOf(setupText(defaultSetupValues()));
        lines[row.line - 1] = row.content;
        SCOPED_TRACE(row.content.constData());
        row.check(parsed(lines.join("\r\n") + "\r\n"));
    }
}

TEST(SidSetupFile, aRefusedLineFailsTheWholeImportAndChangesNothing)
{
    const struct {
        int line;
        QByteArray content;
        const char* field;
    } rows[] = {
        {8, "25", "\"Level: Peak Analog\" (Set-up Audio)"},
        {1, "-2", "\"Group Select\" (Set-up Audio)"},
        {32, "40000", "\"Video Standard\" (Set-up Source ID)"},
        {13, "300", "\"Text Brightness\" (Set-up Colors)"},
        {18, "256", "\"Grey 2 (red, error)\" (Set-up Colors)"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("Bad.kxd");
    for (const auto& row : rows) {
        QList<QByteArray> lines = linesOf(setupText(unusualSetup()));
        lines[row.line - 1] = row.content;
        writeFile(path, lines.join("\r\n") + "\r\n");
        HeldSetup held;
        loadDefaults(held.fields);
        held.connectedCardType = CardType::AVM;
        try {
            importSetupText(path, held);
            ADD_FAILURE() << "line " << row.line << " was taken";
        } catch (const SetupFileError& e) {
            const QString message = e.message();
            EXPECT_TRUE(message.contains(path)) << e.what();
            EXPECT_TRUE(message.contains(QStringLiteral("line %1").arg(row.line))) << e.what();
            EXPECT_TRUE(message.contains(row.field)) << e.what();
        }
        EXPECT_EQ(held.fields.values(), defaultSetupValues());
        EXPECT_EQ(held.connectedCardType, CardType::AVM);
    }
}

TEST(SidSetupFile, aFileWithoutCarriageReturnsIsOneLongLineAndFails)
{
    QByteArray content = setupText(defaultSetupValues());
    content.replace("\r", "");
    try {
        parsed(content);
        ADD_FAILURE() << "a file of one line was taken";
    } catch (const SetupFileError& e) {
        // Line 1 takes the whole content; line 13, the first slider, is then empty: 0.
        EXPECT_TRUE(e.message().contains("line 13")) << e.what();
    }
}

TEST(SidSetupFile, whatAReadTakesInIsBoundedAndOnlyRegularFilesAreRead)
{
    QTemporaryDir dir;
    const QByteArray defaults = setupText(defaultSetupValues());
    const qsizetype mebibyte = 1024 * 1024;
    QByteArray dropped = defaults;
    dropped.replace("\"NO AVM\"", '"' + QByteArray(70000, '!') + '"'); // line 19
    ASSERT_TRUE(QDir(dir.path()).mkdir("Folder.kxd"));
    const struct {
        const char* name;
        QByteArray content; // written unless the name is there already
        const char* said;   // nullptr: read
    } rows[] = {
        {"Largest.kxd", defaults + QByteArray(mebibyte - defaults.size(), ' '), nullptr},
        {"Large.kxd", defaults + QByteArray(mebibyte + 1 - defaults.size(), ' '), "larger than 1 MiB"},
        {"Dropped.kxd", dropped, "line 19 is longer than 65536 bytes"},
        {"Folder.kxd", {}, "a folder, not a regular file"},
    };
    for (const auto& row : rows) {
        const QString path = dir.filePath(row.name);
        if (!QFileInfo::exists(path))
            writeFile(path, row.content);
        HeldSetup held;
        loadDefaults(held.fields);
        held.fields.setChoice(Field::AudioGroup, 2);
        try {
            importSetupText(path, held);
            EXPECT_FALSE(row.said) << row.name << " was read";
            EXPECT_EQ(held.fields.values(), defaultSetupValues());
        } catch (const SetupFileError& e) {
            ASSERT_TRUE(row.said) << e.what();
            EXPECT_TRUE(e.message().contains(path)) << e.what();
            EXPECT_TRUE(e.message().contains(row.said)) << e.what();
            EXPECT_EQ(held.fields.values().choice(Field::AudioGroup), 2);
        }
    }
}

TEST(SidSetupFile, aCarriageReturnInsideATextCannotShiftTheLinesAfterIt)
{
    SetupValues v = defaultSetupValues();
    v.setText(Field::MissingSidMessage, "NO\rSIGNAL");
    const QByteArray text = setupText(v);
    EXPECT_EQ(linesOf(text).size(), 68);
    EXPECT_EQ(parsed(text).text(Field::MissingSidMessage), "NOSIGNAL");
}

TEST(SidSetupFile, aTextTheCodePageCannotHoldRefusesTheSaveAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Old.kxd");
    writeFile(path, "old content");
    SetupValues v = defaultSetupValues();
    v.setText(Field::Gpi1Text, QString::fromUtf8("Ωmega"));
    try {
        exportSetupText(path, v);
        ADD_FAILURE() << "saved a character the file cannot hold";
    } catch (const SetupFileError& e) {
        EXPECT_TRUE(e.message().contains("\"Program GPI #1: Message Text\" (Set-up Controls)")) << e.what();
    }
    EXPECT_EQ(readFile(path), "old content");
}

#ifdef Q_OS_UNIX // a full disk by a file size limit; pipes
TEST(SetupFileSaving, aSaveThatFailsPartWayKeepsTheOldFileWhole)
{
    QTemporaryDir dir;
    const QString sidPath = dir.filePath("Studio.kxd");
    const QString avmPath = dir.filePath("Studio.kxm");
    const QByteArray oldText = setupText(unusualSetup());
    const QByteArray oldImage(300, '\x33');
    writeFile(sidPath, oldText);
    writeFile(avmPath, oldImage);
    {
        const FileSizeLimit diskAlmostFull(64);
        EXPECT_THROW(exportSetupText(sidPath, defaultSetupValues()), SetupFileError);
        EXPECT_THROW(saveSetupImage(avmPath, QByteArray(120, '\x44')), SetupFileError);
    }
    EXPECT_EQ(readFile(sidPath), oldText);
    EXPECT_EQ(readFile(avmPath), oldImage);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(SetupFileSaving, aSaveNeverReplacesWhatIsNotARegularFile)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath("Pipe.kxd");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString folder = dir.filePath("Folder.kxm");
    ASSERT_TRUE(QDir(dir.path()).mkdir("Folder.kxm"));
    const QString linkToPipe = dir.filePath("LinkToPipe.kxm");
    ASSERT_TRUE(QFile::link(pipe, linkToPipe));
    const struct {
        QString path;
        const char* said;
    } rows[] = {
        {pipe, "a device, pipe or socket, not a regular file"},
        {folder, "a folder, not a regular file"},
        {linkToPipe, "a device, pipe or socket, not a regular file"},
    };
    for (const auto& row : rows) {
        for (const bool image : {false, true}) {
            try {
                image ? saveSetupImage(row.path, QByteArray(120, '\x18'))
                      : exportSetupText(row.path, defaultSetupValues());
                ADD_FAILURE() << "saved over " << row.path.toStdString();
            } catch (const SetupFileError& e) {
                EXPECT_TRUE(e.message().contains(row.path)) << e.what();
                EXPECT_TRUE(e.message().contains(row.said)) << e.what();
            }
        }
    }
    EXPECT_TRUE(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // A link to a regular file is saved through: the file changes, the link stays.
    const QString real = dir.filePath("Real.kxd");
    const QString link = dir.filePath("Link.kxd");
    writeFile(real, "old");
    ASSERT_TRUE(QFile::link(real, link));
    exportSetupText(link, defaultSetupValues());
    EXPECT_EQ(readFile(real), setupText(defaultSetupValues()));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}
#endif

TEST(AvmSetupFile, aSmallerImageSavedOverABiggerFileLeavesExactlyTheImage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Studio.kxm");
    writeFile(path, QByteArray(300, '\x11'));
    QByteArray image(120, '\x22');
    image[0] = 24;
    image[1] = 3;
    saveSetupImage(path, image);
    EXPECT_EQ(readFile(path), image);

    HeldSetup held;
    loadSetupImage(path, held);
    EXPECT_EQ(held.setupImage, image);
    EXPECT_EQ(held.connectedCardType, CardType::AVM);
}

TEST(AvmSetupFile, anEmptyMissingOrOversizedFileIsRefusedAndChangesNothing)
{
    QTemporaryDir dir;
    const struct {
        const char* name;
        int size; // -1: no file
        const char* reason;
    } rows[] = {
        {"Empty.kxm", 0, "empty"},
        {"Huge%1.kxm", 1025, "larger than 1024"}, // the name's %1 is no placeholder
        {"Missing.kxm", -1, "does not exist"},
    };
    for (const auto& row : rows) {
        const QString path = dir.filePath(row.name);
        if (row.size >= 0)
            writeFile(path, QByteArray(row.size, '\x18'));
        HeldSetup held;
        try {
            loadSetupImage(path, held);
            ADD_FAILURE() << row.name << " was taken";
        } catch (const SetupFileError& e) {
            EXPECT_TRUE(e.message().contains(path)) << e.what();
            EXPECT_TRUE(e.message().contains(row.reason)) << e.what();
        }
        EXPECT_EQ(held.setupImage, HeldSetup::emptySidImage());
        EXPECT_EQ(held.connectedCardType, CardType::SID);
    }
    const QString largest = dir.filePath("Largest.kxm");
    writeFile(largest, QByteArray(1024, '\x18'));
    EXPECT_EQ(readSetupImageFile(largest).size(), 1024);
}

TEST(AvmSetupFile, aSidTextOpenedAsAnImageIsTakenAndThenRefusedForSending)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Wrong.kxm");
    writeFile(path, setupText(defaultSetupValues()));
    HeldSetup held;
    loadSetupImage(path, held);
    held.loadedCardType = CardType::AVM;
    EXPECT_FALSE(buildSetupImage(held, quint8(1)).isEmpty());
}
