// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/appstate.h"
#include "support/testsupport.h"
#include "files/setupfiles.h"
#include "app/core/settingsstore.h"
#include "recordingui.h"
#include "setup/setupimage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quillon {
namespace {

using testsupport::writeFile;
using testsupport::readFile;


using test::RecordingUi;
using test::ScriptedDialogs;

QByteArray avmImage()
{
    QByteArray image(120, '\x5A');
    image[0] = char(24);
    image[1] = char(3);
    return image;
}

class AppStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        store.setValue("File", "load", "");
        quillon::loadDefaults(held.fields);
        app.startAfresh();
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString folder() const { return dir.path() + "/"; }

    // Something a test can recognise as not being the defaults.
    void editSomething() { held.fields.setText(Field::Gpi1Text, "ON AIR"); }

    struct Snapshot {
        QString name, caption, panel1, panel2, folder;
        CardType loaded;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() const
    {
        return {app.currentFileName(), ui.shownCaption, ui.panels.value(1), ui.panels.value(2),
                app.storedFolder(), held.loadedCardType};
    }

    QTemporaryDir dir;
    HeldSetup held;
    RecordingUi ui;
    SettingsStore store{dir.filePath("Quillon.conf")};
    AppState app{held, ui, store};
    ScriptedDialogs dialogs;
};

// ---- the caption update --------------------------------------------------------------------

struct NameRow {
    QString path, bareName, folder;
    CardType kind;
};

void PrintTo(const NameRow& row, std::ostream* os)
{
    *os << row.path.toStdString();
}

class CaptionUpdate : public AppStateTest, public ::testing::WithParamInterface<NameRow> {};

TEST_P(CaptionUpdate, reducesTheNameAndShowsItsKind)
{
    const NameRow row = GetParam();
    dialogs.nextAnswer = row.path;
    app.saveFileToDisk(dialogs);
    ASSERT_TRUE(ui.messages.isEmpty()) << ui.reasons.join("; ").toStdString();
    EXPECT_EQ(app.currentFileName(), row.bareName);
    EXPECT_EQ(app.storedFolder(), row.folder);
    EXPECT_EQ(held.loadedCardType, row.kind);
    EXPECT_EQ(ui.shownCaption, "Norvane - Quillon - " + row.bareName);
    EXPECT_EQ(ui.panels.value(1),
              row.kind == CardType::AVM ? "AVM Config Loaded" : "SID Config Loaded");
}

QTemporaryDir& namesDir()
{
    static QTemporaryDir d;
#ifdef Q_OS_WIN
    static const bool setsIsAFolder = QDir(d.path()).mkdir("Sets"); // as the backslash row says
    (void)setsIsAFolder;
#endif
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    Names, CaptionUpdate,
    ::testing::Values(
        NameRow{namesDir().path() + "/Studio.kxd", "Studio", namesDir().path() + "/", CardType::SID},
        NameRow{namesDir().path() + "/Studio.A.kxm", "Studio", namesDir().path() + "/", CardType::AVM},
        NameRow{namesDir().path() + "/Studio.KXM", "Studio", namesDir().path() + "/", CardType::AVM},
        NameRow{namesDir().path() + "/Studio.txt", "Studio", namesDir().path() + "/", CardType::SID},
        NameRow{namesDir().path() + "/Studio", "Studio", namesDir().path() + "/", CardType::SID},
        // A backslash ends a folder too, as in names from Windows.
        NameRow{namesDir().path() + "/Sets\\Studio.A.kxm", "Studio",
                namesDir().path() + "/Sets\\", CardType::AVM}));

TEST_F(AppStateTest, freshStateIsUnsavedWithThePlainCaption)
{
    EXPECT_EQ(app.currentFileName(), "Unsaved");
    EXPECT_EQ(app.caption(), "Quillon");
    EXPECT_TRUE(ui.shownCaption.isEmpty()); // the caption update does not run at start-up
}

// ---- New / Close and Reset -----------------------------------------------------------------

TEST_F(AppStateTest, newRestoresDefaultsAndNamesTheSetupUnsaved)
{
    writeFile(path("Studio.kxm"), avmImage());
    dialogs.nextAnswer = path("Studio.kxm");
    app.openFileFromDisk(dialogs);
    editSomething();
    QStringList calls;
    app.beforeDefaults = [&] { calls << "hide"; };
    app.afterDefaults = [&] { calls << "maximise"; };

    app.newSetup();

    EXPECT_EQ(held.fields.values(), defaultSetupValues());
    EXPECT_EQ(calls, QStringList({"hide", "maximise"}));
    EXPECT_EQ(app.currentFileName(), "Unsaved");
    EXPECT_EQ(ui.shownCaption, "Norvane - Quillon - Unsaved");
    EXPECT_EQ(app.caption(), ui.shownCaption);
    EXPECT_EQ(ui.panels.value(1), "SID Config Loaded");
    EXPECT_EQ(held.loadedCardType, CardType::SID);
    EXPECT_EQ(app.storedFolder(), "");
}

TEST_F(AppStateTest, resetRestoresDefaultsOnlyEvenWithAnAvmFileOpen)
{
    writeFile(path("Studio.kxm"), avmImage());
    dialogs.nextAnswer = path("Studio.kxm");
    app.openFileFromDisk(dialogs);
    editSomething();
    const Snapshot before = snapshot();

    app.resetConfiguration();

    EXPECT_EQ(held.fields.values(), defaultSetupValues());
    EXPECT_EQ(before.caption, "Norvane - Quillon - Studio*");
    Snapshot unmarked = before;
    unmarked.caption = "Norvane - Quillon - Studio"; // the settings are as opened again
    EXPECT_EQ(snapshot(), unmarked);
    EXPECT_EQ(held.loadedCardType, CardType::AVM);
    EXPECT_EQ(held.setupImage, avmImage());
}

TEST_F(AppStateTest, editsDuringAGetStayUndoableWhetherOrNotTheGetReplacedTheSetup)
{
    editSomething();
    app.getStarted();
    held.fields.setText(Field::MissingSidMessage, "WHILE READING");
    app.getEnded(false); // the card never answered: the edit is a step of its own
    ASSERT_EQ(app.history().stack().count(), 2);
    app.history().undo();
    EXPECT_EQ(held.fields.values().text(Field::MissingSidMessage), "NO AVM");
    EXPECT_EQ(held.fields.values().text(Field::Gpi1Text), "ON AIR");
    app.history().redo();
    const SetupValues before = held.fields.values();

    app.getStarted();
    SetupValues onCard = defaultSetupValues();
    onCard.setText(Field::Gpi2Text, "FROM CARD");
    held.setupImage = encodeSidImage(onCard).image;
    held.fields.setValues(onCard);
    app.getEnded(true);
    EXPECT_FALSE(app.modified());
    EXPECT_EQ(app.history().stack().undoText(), "Get Configuration");
    held.setupImage = avmImage(); // a SID set-up's image is built afresh at each Send
    EXPECT_FALSE(app.modified());

    app.history().undo();
    EXPECT_EQ(held.fields.values(), before);
    EXPECT_TRUE(app.modified());
    EXPECT_EQ(ui.shownCaption, "Quillon*");
}

// ---- Save ----------------------------------------------------------------------------------

TEST_F(AppStateTest, saveQuestionFollowsTheKindOfSetupHeld)
{
    app.saveFileToDisk(dialogs); // cancelled
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.kinds.front(), "save");
    EXPECT_EQ(dialogs.questions[0].filter, "Norvane KX40SID Card Set-up|*.kxd");
    EXPECT_EQ(dialogs.questions[0].filterIndex, 1);
    EXPECT_EQ(dialogs.questions[0].proposedName, "Unsaved.kxd");

    held.loadedCardType = CardType::AVM; // as after an AVM card's set-up arrived
    app.saveFileToDisk(dialogs);
    EXPECT_EQ(dialogs.questions[1].filter, "Norvane KX40AVM Card Set-up|*.kxm");
    EXPECT_EQ(dialogs.questions[1].filterIndex, 1);
    EXPECT_EQ(dialogs.questions[1].proposedName, "Unsaved.kxm");
}

TEST_F(AppStateTest, saveProposesTheCurrentBareName)
{
    dialogs.nextAnswer = path("Studio.kxd");
    app.saveFileToDisk(dialogs);
    dialogs.nextAnswer.reset();
    app.saveFileToDisk(dialogs);
    EXPECT_EQ(dialogs.questions.back().proposedName, "Studio.kxd");
}

TEST_F(AppStateTest, savingASidNameWritesTheSettingsAndAdoptsTheName)
{
    editSomething();
    dialogs.nextAnswer = path("Studio.kxd");
    app.saveFileToDisk(dialogs);

    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(readFile(path("Studio.kxd")), setupText(held.fields.values()));
    EXPECT_EQ(app.currentFileName(), "Studio");
    EXPECT_EQ(ui.shownCaption, "Norvane - Quillon - Studio");
    EXPECT_EQ(ui.panels.value(1), "SID Config Loaded");
    EXPECT_EQ(ui.panels.value(2), "File Studio Saved");
    EXPECT_EQ(app.storedFolder(), folder());
}

TEST_F(AppStateTest, theKindOfFileSavedFollowsTheChosenNameNotTheFilter)
{
    held.setupImage = avmImage();
    dialogs.nextAnswer = path("Studio.KXM"); // asked under the SID filter
    app.saveFileToDisk(dialogs);
    EXPECT_EQ(readFile(path("Studio.KXM")), avmImage());
    EXPECT_EQ(held.loadedCardType, CardType::AVM);
    EXPECT_EQ(ui.panels.value(1), "AVM Config Loaded");

    dialogs.nextAnswer = path("Studio.txt"); // asked under the AVM filter now
    app.saveFileToDisk(dialogs);
    EXPECT_EQ(dialogs.questions.back().filter, AvmFilter);
    EXPECT_EQ(readFile(path("Studio.txt")), setupText(held.fields.values()));
    EXPECT_EQ(held.loadedCardType, CardType::SID);
}

TEST_F(AppStateTest, savingOverAnExistingFileReplacesIt)
{
    writeFile(path("Studio.kxd"), QByteArray(5000, 'x'));
    dialogs.nextAnswer = path("Studio.kxd");
    app.saveFileToDisk(dialogs);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(readFile(path("Studio.kxd")), setupText(held.fields.values()));
}

// A cancelled or failed Save or Open leaves everything the operator sees as it was.
struct FailureRow {
    const char* what;
    bool open;
    std::function<QString(const QTemporaryDir&)> answer; // empty result: cancel
    QString message;
    bool hasReason;
};

void PrintTo(const FailureRow& row, std::ostream* os)
{
    *os << row.what;
}

class CommandFailure : public AppStateTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CommandFailure, leavesNameKindCaptionPanelsAndFolderAsTheyWere)
{
    const FailureRow row = GetParam();
    // A SID file in use first, so that every piece of state has a value to lose.
    dialogs.nextAnswer = path("Before.kxd");
    app.saveFileToDisk(dialogs);
    ASSERT_TRUE(ui.messages.isEmpty());
    writeFile(path("Broken.kxm"), QByteArray()); // an AVM file with nothing in it
    const QByteArray image = held.setupImage;
    const SetupValues values = held.fields.values();
    Snapshot before = snapshot();

    const QString answer = row.answer(dir);
    dialogs.nextAnswer = answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
    if (row.open)
        app.openFileFromDisk(dialogs);
    else
        app.saveFileToDisk(dialogs);

    ASSERT_EQ(ui.messages, QStringList{row.message});
    EXPECT_EQ(!ui.reasons.front().isEmpty(), row.hasReason);
    if (row.open)
        before.panel2 = "Getting Saved Data";
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(held.setupImage, image);
    EXPECT_EQ(held.fields.values(), values);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandFailure,
    ::testing::Values(
        FailureRow{"saveCancelled", false, [](const QTemporaryDir&) { return QString(); },
                   "Error during save, save aborted!", false},
        FailureRow{"saveIntoMissingFolder", false,
                   [](const QTemporaryDir& d) { return d.filePath("missing/Studio.kxm"); },
                   "Error during save, save aborted!", true},
        FailureRow{"openCancelled", true, [](const QTemporaryDir&) { return QString(); },
                   "Error during load, save aborted!", false},
        FailureRow{"openMissingAvmName", true,
                   [](const QTemporaryDir& d) { return d.filePath("Nowhere\\Studio.A.kxm"); },
                   "Error during load, save aborted!", true},
        FailureRow{"openMissingSidName", true,
                   [](const QTemporaryDir& d) { return d.filePath("Nowhere.kxd"); },
                   "Error during load, save aborted!", true},
        FailureRow{"openEmptyAvmFile", true,
                   [](const QTemporaryDir& d) { return d.filePath("Broken.kxm"); },
                   "Error during load, save aborted!", true}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.what); });

// ---- Open ----------------------------------------------------------------------------------

TEST_F(AppStateTest, openAsksWithBothFiltersAndTheAvmEntrySelected)
{
    app.openFileFromDisk(dialogs);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.kinds.front(), "open");
    EXPECT_EQ(dialogs.questions[0].filter,
              "Norvane SID Card Set-up|*.kxd|Norvane KX40AVM Card Set-up|*.kxm");
    EXPECT_EQ(dialogs.questions[0].filterIndex, 2);
    EXPECT_EQ(dialogs.questions[0].proposedName, ".kxm");
}

TEST_F(AppStateTest, openingASidFileLoadsTheSettingsAndKeepsTheImage)
{
    editSomething();
    const SetupValues edited = held.fields.values();
    exportSetupText(path("Studio.kxd"), edited);
    quillon::loadDefaults(held.fields);
    held.setupImage = avmImage();
    held.connectedCardType = CardType::AVM;

    dialogs.nextAnswer = path("Studio.kxd");
    app.openFileFromDisk(dialogs);

    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(held.fields.values(), edited);
    EXPECT_EQ(held.setupImage, avmImage());
    EXPECT_EQ(held.connectedCardType, CardType::SID);
    EXPECT_EQ(held.loadedCardType, CardType::SID);
    EXPECT_EQ(app.currentFileName(), "Studio");
    EXPECT_EQ(ui.panels.value(2), "File Studio Loaded");
}

TEST_F(AppStateTest, openingAnAvmFileLoadsTheImageAndKeepsTheSettings)
{
    writeFile(path("Studio.A.kxm"), avmImage());
    editSomething();
    const SetupValues edited = held.fields.values();

    dialogs.nextAnswer = path("Studio.A.kxm");
    app.openFileFromDisk(dialogs);

    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(held.setupImage, avmImage());
    EXPECT_EQ(held.fields.values(), edited);
    EXPECT_EQ(held.connectedCardType, CardType::AVM);
    EXPECT_EQ(held.loadedCardType, CardType::AVM);
    EXPECT_EQ(ui.shownCaption, "Norvane - Quillon - Studio");
    EXPECT_EQ(ui.panels.value(1), "AVM Config Loaded");
    EXPECT_EQ(ui.panels.value(2), "File Studio Loaded");
    EXPECT_EQ(app.storedFolder(), folder());
}

TEST_F(AppStateTest, dialogsStartInTheStoredFolderOnlyWhenItExistsHere)
{
#ifdef Q_OS_WIN
    store.setValue("File", "load", QDir::toNativeSeparators(path("Gone")) + "\\"); // since removed
#else
    store.setValue("File", "load", "C:\\windows"); // another computer's
#endif
    app.openFileFromDisk(dialogs);
    EXPECT_TRUE(dialogs.questions.back().startFolder.isEmpty());

    store.setValue("File", "load", folder());
    app.saveFileToDisk(dialogs);
    EXPECT_EQ(dialogs.questions.back().startFolder, folder());
}

// ---- filters -------------------------------------------------------------------------------

TEST(NameFilters, pairsBecomeDialogFilters)
{
    EXPECT_EQ(nameFiltersFromPairs(OpenFilter),
              QStringList({"Norvane SID Card Set-up (*.kxd)", "Norvane KX40AVM Card Set-up (*.kxm)"}));
    EXPECT_EQ(nameFiltersFromPairs(AvmFilter), QStringList{"Norvane KX40AVM Card Set-up (*.kxm)"});
    EXPECT_EQ(nameFiltersFromPairs("Both|*.kxd;*.kxm"), QStringList{"Both (*.kxd *.kxm)"});
    EXPECT_EQ(nameFiltersFromPairs("No pattern"), QStringList());
    EXPECT_EQ(nameFiltersFromPairs(""), QStringList());
}

} // namespace
} // namespace quillon
