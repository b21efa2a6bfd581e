// SPDX-License-Identifier: GPL-3.0-or-later
#include "guifixture.h"
#include "support/testsupport.h"

#include "app/core/backups.h"
#include "app/gui/backupchooser.h"
#include "app/gui/qtfiledialogs.h"
#include "files/setupfiles.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>
#include <QDir>
#include <QMimeData>
#include <QComboBox>
#include <QMenu>
#include <QMap>
#include <QPushButton>
#include <QTreeWidget>
#include <QDragEnterEvent>

namespace quillon::test {
namespace {

using testsupport::writeFile;


using FileCommands = GuiFixture;

QByteArray avmImage()
{
    QByteArray image(150, '\x33');
    image[0] = char(24);
    image[1] = char(2);
    return image;
}

TEST_F(FileCommands, saveNewOpenRoundTripThroughTheWindows)
{
    window->show();
    window->toolbarButtonClicked(10);
    typeInto("Windows", "missingSidMessage", "STUDIO B");
    window->toolbarButtonClicked(12);
    control<QCheckBox>("Controls", "gpi1Blink")->click();
    const QByteArray image = window->held().setupImage;

    dialogs.nextAnswer = dir.filePath("Studio.kxd");
    window->toolbarButtonClicked(3);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
    EXPECT_EQ(panel(2), "File Studio Saved");

    window->toolbarButtonClicked(2);
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "NO AVM");
    EXPECT_FALSE(control<QCheckBox>("Controls", "gpi1Blink")->isChecked());

    window->menuItem("fileOpen")->trigger();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "STUDIO B");
    EXPECT_TRUE(control<QCheckBox>("Controls", "gpi1Blink")->isChecked());
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
    EXPECT_EQ(panel(1), "SID Config Loaded");
    EXPECT_EQ(panel(2), "File Studio Loaded");
    EXPECT_EQ(window->held().setupImage, image);
    EXPECT_EQ(window->held().connectedCardType, CardType::SID);
}

// Three backups of two cards, both kinds, written a minute apart.
TEST_F(FileCommands, openBackupListsEveryBackupNewestFirstAndOpensOneAsAnUnsavedCopy)
{
    QDir(defaultBackupFolder()).removeRecursively(); // what earlier tests left there
    SetupValues values = defaultSetupValues();
    values.setText(Field::MissingSidMessage, "FROM CARD");
    QDateTime time(QDate(2024, 5, 1), QTime(14, 3, 22));
    auto backup = [&](const QByteArray& image, const char* serial) {
        const BackupResult written = BackupFolder(settings.backupFolder(), 365, [&] { return time; })
                                         .write(image, QByteArray::fromHex(serial));
        time = time.addSecs(60);
        return written.path;
    };
    const QString sid = backup(encodeSidImage(values).image, "4b58343031");
    const QString avm = backup(avmImage(), "4b58343031");
    const QString other = backup(encodeSidImage(defaultSetupValues()).image, "0a0b0c0d0e");
    settings.setLastFolder(dir.path());

    window->menuItem("fileOpenBackup")->trigger();
    BackupChooser* chooser = window->backupChooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_TRUE(chooser->isVisible());
    auto rows = [&] {
        QStringList shown;
        for (int i = 0; i < chooser->list()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = chooser->list()->topLevelItem(i);
            shown << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(" | ");
        }
        return shown;
    };
    EXPECT_EQ(rows(), QStringList({"2024-05-01 14:05:22 | SID | 0A0B0C0D0E | SID-0A0B0C0D0E-20240501-140522.kxd",
                                   "2024-05-01 14:04:22 | AVM | 4B58343031 | AVM-4B58343031-20240501-140422.kxm",
                                   "2024-05-01 14:03:22 | SID | 4B58343031 | SID-4B58343031-20240501-140322.kxd"}));
    EXPECT_EQ(chooser->cardFilter()->count(), 4); // all cards, and each card of each kind
    chooser->cardFilter()->setCurrentText("SID 4B58343031");
    EXPECT_EQ(rows().size(), 1);
    EXPECT_EQ(chooser->chosenPath(), sid);

    chooser->reject(); // a cancel says nothing and changes nothing
    QApplication::processEvents();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(window->windowTitle(), "Quillon");
    EXPECT_EQ(panel(2), "");

    // Opened, each is a copy: Save asks for a name of its own in the folder of set-up files.
    const struct {
        int row;
        const char* panel1;
        const char* bareName;
        const char* proposed;
    } opened[] = {{2, "SID Config Loaded", "SID-4B58343031-20240501-140322", "Unsaved.kxd"},
                  {1, "AVM Config Loaded", "AVM-4B58343031-20240501-140422", "Unsaved.kxm"}};
    for (const auto& row : opened) {
        window->menuItem("fileOpenBackup")->trigger();
        chooser = window->backupChooser();
        chooser->list()->setCurrentItem(chooser->list()->topLevelItem(row.row));
        chooser->openButton()->click();
        EXPECT_TRUE(messages.isEmpty()) << details.join("\n").toStdString();
        EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Unsaved");
        EXPECT_EQ(panel(1), row.panel1);
        EXPECT_EQ(panel(2), QString("File %1 Loaded").arg(row.bareName));
        EXPECT_FALSE(window->menuItem("fileRecent1")->isVisible()); // not among the recent files
        window->toolbarButtonClicked(3); // cancelled: only the question is looked at
        EXPECT_EQ(dialogs.questions.back().proposedName, row.proposed);
        EXPECT_EQ(dialogs.questions.back().startFolder, dir.path());
        messages.clear();
    }
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "FROM CARD");
    EXPECT_EQ(window->held().setupImage, avmImage());
    for (const QString& path : {sid, avm, other})
        QFile::remove(path);
}

TEST_F(FileCommands, openingAnAvmFileNamedWithBackslashesKeepsTheWindows)
{
    const QString path = dir.filePath("Sets\\Studio.A.kxm"); // a Windows-style name
#ifdef Q_OS_WIN
    QDir(dir.path()).mkdir("Sets"); // where it is one
#endif
    writeFile(path, avmImage());
    typeInto("Windows", "missingSidMessage", "KEPT");

    dialogs.nextAnswer = path;
    window->toolbarButtonClicked(1);

    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
    EXPECT_EQ(panel(1), "AVM Config Loaded");
    EXPECT_EQ(panel(2), "File Studio Loaded");
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "KEPT");
    EXPECT_EQ(window->held().setupImage, avmImage());
    EXPECT_EQ(window->appState().storedFolder(), dir.filePath("Sets\\"));

    dialogs.nextAnswer.reset();
    window->toolbarButtonClicked(3); // an AVM set-up is saved as an AVM file
    EXPECT_EQ(dialogs.questions.back().proposedName, "Studio.kxm");
    EXPECT_EQ(dialogs.questions.back().filter, "Norvane KX40AVM Card Set-up|*.kxm");
}

// An AVM set-up is sent as its image: while one is held, the settings windows say so and offer
// nothing to edit; a SID set-up gives them back as they were.
TEST_F(FileCommands, anAvmSetupHeldDisablesTheSettingsWindows)
{
    auto enabledControls = [this] {
        QMap<QString, bool> enabled;
        for (const FieldInfo& info : allFields()) {
            const QString name = QString::fromLatin1(info.name);
            QWidget* control = window->findChild<QWidget*>(name.section('.', 0, 0))->findChild<QWidget*>(name.section('.', 1));
            enabled[name] = control->isEnabled();
        }
        return enabled;
    };
    auto notApplying = [this](const char* key) {
        auto* line = control<QLabel>(key, "settingsDoNotApply");
        return line && line->isVisibleTo(window->settingsWindow(key)) ? line->text() : QString();
    };
    const QMap<QString, bool> offered = enabledControls();
    ASSERT_TRUE(offered.values().contains(true));
    writeFile(dir.filePath("Card.kxm"), avmImage());
    exportSetupText(dir.filePath("Studio.kxd"), defaultSetupValues());

    window->appState().openFile(dir.filePath("Card.kxm"));
    for (const bool enabled : enabledControls())
        EXPECT_FALSE(enabled);
    for (const char* key : WindowKeys)
        EXPECT_EQ(notApplying(key), "An AVM set-up is held: it is sent as an image; these settings do not apply") << key;
    EXPECT_TRUE(control("Controls", "openPort")->isEnabled()); // the port test is no setting
    EXPECT_TRUE(control("Controls", "closePort")->isEnabled());

    window->appState().openFile(dir.filePath("Studio.kxd"));
    EXPECT_EQ(enabledControls(), offered); // what the windows never offer stays disabled
    for (const char* key : WindowKeys)
        EXPECT_EQ(notApplying(key), "") << key;
}

TEST_F(FileCommands, failedOpenOfAnAvmNameLeavesTheSidFileInUse)
{
    dialogs.nextAnswer = dir.filePath("Studio.kxd");
    window->toolbarButtonClicked(3);
    ASSERT_TRUE(messages.isEmpty());
    const QString folder = window->appState().storedFolder();

#ifdef Q_OS_WIN
    dialogs.nextAnswer = QDir::toNativeSeparators(dir.filePath("Sets/Missing.kxm")); // no such folder
#else
    dialogs.nextAnswer = dir.filePath("C:\\Sets\\Missing.kxm"); // a Windows-style name
#endif
    window->toolbarButtonClicked(1);

    EXPECT_EQ(messages, QStringList{"Error during load, save aborted!"});
    EXPECT_FALSE(details.front().isEmpty()); // the reason goes below the message
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
    EXPECT_EQ(window->appState().currentFileName(), "Studio");
    EXPECT_EQ(panel(1), "SID Config Loaded");
    EXPECT_EQ(panel(2), "Getting Saved Data");
    EXPECT_EQ(window->held().loadedCardType, CardType::SID);
    EXPECT_EQ(window->appState().storedFolder(), folder);
}

TEST_F(FileCommands, cancelledSaveAndOpenSayItAndChangeNothing)
{
    window->toolbarButtonClicked(3);
    EXPECT_EQ(messages, QStringList{"Error during save, save aborted!"});
    EXPECT_EQ(details, QStringList{""});
    EXPECT_EQ(window->windowTitle(), "Quillon");
    EXPECT_EQ(panel(2), "");

    window->toolbarButtonClicked(1);
    EXPECT_EQ(messages.last(), "Error during load, save aborted!");
    EXPECT_EQ(window->windowTitle(), "Quillon");
    EXPECT_EQ(panel(1), "SID Config Loaded");
    EXPECT_EQ(panel(2), "Getting Saved Data");
}

// The desktop's dialog, answered from inside its own event loop.
struct DialogSeen {
    QStringList filters;
    QString selectedFilter;
    QString typedName;
    QFileDialog::FileMode mode = QFileDialog::ExistingFile;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    bool confirmsOverwrite = true;
    QString defaultSuffix = "unset";
};

class DesktopDialogs : public ::testing::Test {
protected:
    // Runs one question with the dialog answered by path (empty: Cancel).
    std::optional<QString> run(bool save, const FileQuestion& q, const QString& path)
    {
        auto seen = std::make_shared<DialogSeen>();
        QTimer::singleShot(0, [seen, path] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen->filters = dialog->nameFilters();
            seen->selectedFilter = dialog->selectedNameFilter();
            seen->typedName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            seen->mode = dialog->fileMode();
            seen->acceptMode = dialog->acceptMode();
            seen->confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            seen->defaultSuffix = dialog->defaultSuffix();
            if (path.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept(); // runs the file dialog's own checks
            }
        });
        std::optional<QString> answer = save ? dialogs.askSaveName(q) : dialogs.askOpenName(q);
        last = *seen;
        return answer;
    }

    QWidget parent;
    QtFileDialogs dialogs{&parent};
    DialogSeen last;
    QTemporaryDir dir;
};

TEST_F(DesktopDialogs, openAcceptsANameThatDoesNotExist)
{
    const QString missing = dir.filePath("Nowhere.kxm");
    const auto answer = run(false, {OpenFilter, 2, ".kxm", dir.path()}, missing);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, missing);
    EXPECT_EQ(last.acceptMode, QFileDialog::AcceptOpen);
    EXPECT_EQ(last.mode, QFileDialog::AnyFile);
    EXPECT_EQ(last.filters, QStringList({"Norvane SID Card Set-up (*.kxd)",
                                         "Norvane KX40AVM Card Set-up (*.kxm)"}));
    EXPECT_EQ(last.selectedFilter, "Norvane KX40AVM Card Set-up (*.kxm)");
    EXPECT_EQ(last.typedName, ".kxm");
}

TEST_F(DesktopDialogs, saveReplacesWithoutAskingAndAddsNoExtension)
{
    writeFile(dir.filePath("Studio"), "old");
    const auto answer = run(true, {SidFilter, 1, "Unsaved.kxd", dir.path()}, dir.filePath("Studio"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, dir.filePath("Studio"));
    EXPECT_EQ(last.acceptMode, QFileDialog::AcceptSave);
    EXPECT_FALSE(last.confirmsOverwrite);
    EXPECT_EQ(last.defaultSuffix, "");
    EXPECT_EQ(last.selectedFilter, "Norvane KX40SID Card Set-up (*.kxd)");
    EXPECT_EQ(last.typedName, "Unsaved.kxd");
}

TEST_F(DesktopDialogs, cancelGivesNoName)
{
    EXPECT_FALSE(run(true, {AvmFilter, 1, "Studio.kxm", {}}, {}).has_value());
}

} // namespace
} // namespace quillon::test

namespace quillon::test {
namespace {

class DesktopFiles : public GuiFixture {
protected:
    QStringList recentItems() const
    {
        QStringList shown;
        for (int i = 1; i <= 4; ++i) {
            QAction* item = window->menuItem(QStringLiteral("fileRecent%1").arg(i));
            if (item->isVisible())
                shown << item->text();
        }
        return shown;
    }
    QString numbered(int n, const QString& name) const
    {
        return QStringLiteral("&%1 %2").arg(n).arg(QDir::toNativeSeparators(dir.filePath(name)));
    }
    void send(QEvent* event) { QApplication::sendEvent(window.get(), event); }
};

TEST_F(DesktopFiles, theFourLastFilesSavedOrOpenedAreNumberedAboveExit)
{
    for (const char* name : {"A.kxd", "B.kxd", "C.kxd", "D.kxd", "E.kxd"}) {
        dialogs.nextAnswer = dir.filePath(name);
        window->toolbarButtonClicked(3);
    }
    dialogs.nextAnswer = dir.filePath("C.kxd");
    window->toolbarButtonClicked(1);
    EXPECT_EQ(recentItems(), QStringList({numbered(1, "C.kxd"), numbered(2, "E.kxd"), numbered(3, "D.kxd"),
                                          numbered(4, "B.kxd")}));
    const QList<QAction*> file = window->menuItem("fileMenu")->menu()->actions();
    EXPECT_EQ(file.indexOf(window->menuItem("fileRecent4")) + 2, file.indexOf(window->menuItem("fileExit")));

    window->menuItem("fileRecent3")->trigger();
    EXPECT_EQ(panel(2), "File D Loaded");
    EXPECT_EQ(recentItems().first(), numbered(1, "D.kxd"));

    QFile::remove(dir.filePath("E.kxd"));
    window->menuItem("fileRecent3")->trigger();
    EXPECT_EQ(messages, QStringList{"Error during load, save aborted!"});
    EXPECT_EQ(recentItems(), QStringList({numbered(1, "D.kxd"), numbered(2, "C.kxd"), numbered(3, "B.kxd")}));
    EXPECT_EQ(window->appState().currentFileName(), "D");
}

TEST_F(DesktopFiles, aFileFromTheCommandLineOrADropOpensAsFileOpenWould)
{
    SetupValues studio = defaultSetupValues();
    studio.setText(Field::MissingSidMessage, "FROM DISK");
    exportSetupText(dir.filePath("Studio.kxd"), studio);
    writeFile(dir.filePath("Card.KXM"), avmImage());

    window->openFromCommandLine({dir.filePath("Studio.kxd")});
    EXPECT_EQ(control<QLineEdit>("Windows", "missingSidMessage")->text(), "FROM DISK");
    EXPECT_EQ(window->windowTitle(), "Norvane - Quillon - Studio");
    window->openFromCommandLine({dir.filePath("Gone.kxd")});
    EXPECT_EQ(messages, QStringList{"Error during load, save aborted!"});

    const struct {
        QString file;
        bool accepted;
    } drops[] = {{dir.filePath("Notes.txt"), false}, {dir.filePath("Card.KXM"), true}};
    for (const auto& d : drops) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(d.file)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(&enter);
        EXPECT_EQ(enter.isAccepted(), d.accepted) << d.file.toStdString();
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(&drop);
    }
    EXPECT_EQ(window->held().setupImage, avmImage());
    EXPECT_EQ(panel(1), "AVM Config Loaded");
    EXPECT_EQ(panel(2), "File Card Loaded");
    EXPECT_EQ(messages.size(), 1);
}

} // namespace
} // namespace quillon::test
