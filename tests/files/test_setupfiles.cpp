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
#include <sys/resource.h>
#include <sys/stat.h>

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
    v.setChoice(Field::cGroup, 3);
    v.setOption(Field::cChannel34, true);
    v.setOption(Field::oMono, false); // a group with neither button set
    v.setOption(Field::oStereo, false);
    v.setChoice(Field::cLevel, -1);
    v.setText(Field::tA1Left0, "-3.5");
    v.setText(Field::tB1Right1, "abc");
    v.setLevel(Field::Slider1_2, -128);
    v.setLevel(Field::Slider1_5, 255);
    v.setText(Field::tSIDNot, QString::fromUtf8("On Air  twice"));
    v.setCheck(Field::cGPI1_1, 1);
    v.setCheck(Field::cGPI2_0, 0);
    v.setText(Field::tGPIText1, "");
    v.setOption(Field::oDIPEn, true);
    v.setChoice(Field::cStandard, 0);
    v.setText(Field::tVITC0, "12");
    v.setText(Field::tPesa0, "13");
    v.setText(Field::tVITC1, "6");
    v.setText(Field::tPesa1, "22");
    v.setOption(Field::oCompDispBW, true);
    v.setOption(Field::oVU, true);
    v.setOption(Field::oOff2, true);
    v.setText(Field::tHor0, "39");
    v.setText(Field::tVer3, "29");
    v.setOption(Field::oSID1, true);
    v.setText(Field::tHor1, "30");
    v.setText(Field::tVer1, "7");
    v.setText(Field::tHor6, "30");
    v.setText(Field::tVer6, "7");
    v.setText(Field::tHor5, "");
    return v;
}

SetupValues parsed(const QByteArray& content)
{
    return parseSetupText(content, defaultSetupValues());
}

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

} // namespace

TEST(SidSetupFile, theDefaultsWriteSixtyEightCrlfLinesInTheFixedOrder)
{
    const QList<QByteArray> lines = linesOf(setupText(defaultSetupValues()));
    ASSERT_EQ(lines.size(), 68);
    const QList<QByteArray> firstTwelve = {"0", "#TRUE#", "#FALSE#", "#TRUE#", "#FALSE#", "#TRUE#",
                                           "#FALSE#", "10", "\"0\"", "\"0\"", "\"0\"", "\"0\""};
    EXPECT_EQ(lines.mid(0, 12), firstTwelve);
    EXPECT_EQ(lines[12], "160");
    EXPECT_EQ(lines[14], "-56");
    EXPECT_EQ(lines[18], "\"NO AVM\"");
    EXPECT_EQ(lines[22], "1");
    EXPECT_EQ(lines[31], "2");
    EXPECT_EQ(lines[32], "\"10\"");
    EXPECT_EQ(lines[34], "\"10\"");
    EXPECT_EQ(lines[35], "\"11\"");
    EXPECT_EQ(lines[48], "\"22\"");
    EXPECT_EQ(lines[66], "\"22\"");
    EXPECT_EQ(lines[67], "\"4\"");
}

TEST(SidSetupFile, theLastTwoLinesCarryTheSidWindowPositionIntoTheNoSidMessage)
{
    SetupValues v = defaultSetupValues();
    v.setText(Field::tHor1, "31");
    v.setText(Field::tVer1, "9");
    v.setText(Field::tHor6, "1");
    const QList<QByteArray> lines = linesOf(setupText(v));
    EXPECT_EQ(lines[66], "\"31\"");
    EXPECT_EQ(lines[67], "\"9\"");
    const SetupValues back = parsed(setupText(v));
    EXPECT_EQ(back.text(Field::tHor6), "31");
    EXPECT_EQ(back.text(Field::tVer6), "9");
}

TEST(SidSetupFile, everySettingComesBackFromAFileWrittenAndReadAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Unusual.kxd");
    const SetupValues written = unusualSetup();
    ExportSetupText(path, written);
    EXPECT_EQ(readFile(path), setupText(written));

    HeldSetup held;
    held.ConnectedCardType = CardType::AVM;
    ImportSetupText(path, held);
    EXPECT_EQ(held.fields.values(), written);
    EXPECT_EQ(held.ConnectedCardType, CardType::SID);
    // The standard is chosen before the line numbers, so the file's numbers survive it.
    EXPECT_EQ(held.fields.values().text(Field::tVITC1), "6");
    EXPECT_EQ(held.fields.values().text(Field::tPesa0), "13");
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
        EXPECT_EQ(v.text(Field::tSIDNot), row.text) << row.line.constData();
    }
}

TEST(SidSetupFile, readSetupLineEndsAtCarriageReturnsOnly)
{
    QBuffer buffer;
    buffer.setData("one\ntwo\r\nthree");
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(ReadSetupLine(buffer), "onetwo");
    EXPECT_EQ(ReadSetupLine(buffer), "three");
    EXPECT_EQ(ReadSetupLine(buffer), "");
}

TEST(SidSetupFile, aShortFileLeavesTheMissingLinesEmptyAndLinesAfter68AreIgnored)
{
    QList<QByteArray> lines = linesOf(setupText(defaultSetupValues()));
    const SetupValues sixty = parsed(lines.mid(0, 60).join("\r\n") + "\r\n");
    EXPECT_FALSE(sixty.option(Field::oSID1));
    EXPECT_FALSE(sixty.option(Field::oSIDwA1));
    for (Field f : {Field::tHor4, Field::tVer4, Field::tHor5, Field::tVer5, Field::tHor6, Field::tVer6})
        EXPECT_EQ(sixty.text(f), "") << fieldInfo(f).name;
    EXPECT_TRUE(sixty.option(Field::oSIDwA0));

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
        {1, " 3", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::cGroup), 3); }},
        {1, "2.5", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::cGroup), 2); }},
        {1, "-1", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::cGroup), -1); }},
        {1, "x", [](const SetupValues& v) { EXPECT_EQ(v.choice(Field::cGroup), 0); }},
        {3, "#true#", [](const SetupValues& v) { EXPECT_FALSE(v.option(Field::cChannel34)); }},
        {3, "#TRUE#", [](const SetupValues& v) {
             EXPECT_TRUE(v.option(Field::cChannel34));
             EXPECT_FALSE(v.option(Field::cChannel12));
         }},
        {2, "#FALSE#", [](const SetupValues& v) {
             EXPECT_FALSE(v.option(Field::cChannel12));
             EXPECT_FALSE(v.option(Field::cChannel34));
         }},
        {23, "2", [](const SetupValues& v) { EXPECT_EQ(v.check(Field::cGPI1_0), 0); }},
        {24, "1", [](const SetupValues& v) { EXPECT_EQ(v.check(Field::cGPI1_1), 1); }},
        {15, "-128", [](const SetupValues& v) { EXPECT_EQ(v.level(Field::Slider1_2), -128); }},
        {9, "\"12abc\"", [](const SetupValues& v) { EXPECT_EQ(v.text(Field::tA1Left0), "12abc"); }},
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
        {8, "25", "frmAudioConfig.cLevel"},
        {1, "-2", "frmAudioConfig.cGroup"},
        {32, "40000", "frmSIDConfig.cStandard"},
        {13, "300", "frmColorConfig.Slider1(0)"},
        {18, "256", "frmColorConfig.Slider1(5)"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("Bad.kxd");
    for (const auto& row : rows) {
        QList<QByteArray> lines = linesOf(setupText(unusualSetup()));
        lines[row.line - 1] = row.content;
        writeFile(path, lines.join("\r\n") + "\r\n");
        HeldSetup held;
        LoadDefaultConfig(held.fields);
        held.ConnectedCardType = CardType::AVM;
        try {
            ImportSetupText(path, held);
            ADD_FAILURE() << "line " << row.line << " was taken";
        } catch (const SetupFileError& e) {
            const QString message = e.message();
            EXPECT_TRUE(message.contains(path)) << e.what();
            EXPECT_TRUE(message.contains(QStringLiteral("line %1").arg(row.line))) << e.what();
            EXPECT_TRUE(message.contains(row.field)) << e.what();
        }
        EXPECT_EQ(held.fields.values(), defaultSetupValues());
        EXPECT_EQ(held.ConnectedCardType, CardType::AVM);
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
        LoadDefaultConfig(held.fields);
        held.fields.setChoice(Field::cGroup, 2);
        try {
            ImportSetupText(path, held);
            EXPECT_FALSE(row.said) << row.name << " was read";
            EXPECT_EQ(held.fields.values(), defaultSetupValues());
        } catch (const SetupFileError& e) {
            ASSERT_TRUE(row.said) << e.what();
            EXPECT_TRUE(e.message().contains(path)) << e.what();
            EXPECT_TRUE(e.message().contains(row.said)) << e.what();
            EXPECT_EQ(held.fields.values().choice(Field::cGroup), 2);
        }
    }
}

TEST(SidSetupFile, aCarriageReturnInsideATextCannotShiftTheLinesAfterIt)
{
    SetupValues v = defaultSetupValues();
    v.setText(Field::tSIDNot, "NO\rSIGNAL");
    const QByteArray text = setupText(v);
    EXPECT_EQ(linesOf(text).size(), 68);
    EXPECT_EQ(parsed(text).text(Field::tSIDNot), "NOSIGNAL");
}

TEST(SidSetupFile, aTextTheCodePageCannotHoldRefusesTheSaveAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Old.kxd");
    writeFile(path, "old content");
    SetupValues v = defaultSetupValues();
    v.setText(Field::tGPIText0, QString::fromUtf8("Ωmega"));
    try {
        ExportSetupText(path, v);
        ADD_FAILURE() << "saved a character the file cannot hold";
    } catch (const SetupFileError& e) {
        EXPECT_TRUE(e.message().contains("frmControlConfig.tGPIText(0)")) << e.what();
    }
    EXPECT_EQ(readFile(path), "old content");
}

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
        EXPECT_THROW(ExportSetupText(sidPath, defaultSetupValues()), SetupFileError);
        EXPECT_THROW(SaveSetupImage(avmPath, QByteArray(120, '\x44')), SetupFileError);
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
                image ? SaveSetupImage(row.path, QByteArray(120, '\x18'))
                      : ExportSetupText(row.path, defaultSetupValues());
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
    ExportSetupText(link, defaultSetupValues());
    EXPECT_EQ(readFile(real), setupText(defaultSetupValues()));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST(AvmSetupFile, aSmallerImageSavedOverABiggerFileLeavesExactlyTheImage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Studio.kxm");
    writeFile(path, QByteArray(300, '\x11'));
    QByteArray image(120, '\x22');
    image[0] = 24;
    image[1] = 3;
    SaveSetupImage(path, image);
    EXPECT_EQ(readFile(path), image);

    HeldSetup held;
    LoadSetupImage(path, held);
    EXPECT_EQ(held.SetupImage, image);
    EXPECT_EQ(held.ConnectedCardType, CardType::AVM);
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
            LoadSetupImage(path, held);
            ADD_FAILURE() << row.name << " was taken";
        } catch (const SetupFileError& e) {
            EXPECT_TRUE(e.message().contains(path)) << e.what();
            EXPECT_TRUE(e.message().contains(row.reason)) << e.what();
        }
        EXPECT_EQ(held.SetupImage, HeldSetup::emptySidImage());
        EXPECT_EQ(held.ConnectedCardType, CardType::SID);
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
    LoadSetupImage(path, held);
    held.LoadedCardType = CardType::AVM;
    SilentUi ui;
    EXPECT_EQ(BuildSetupImage(held, quint8(1), ui), 0);
}
