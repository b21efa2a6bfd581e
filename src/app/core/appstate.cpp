#include "appstate.h"

#include "backups.h"

#include "../../files/setupfiles.h"
#include "../../files/setupnames.h"
#include "settingsstore.h"
#include "../../setup/setupimage.h"

#include <QDir>
#include <QFileInfo>
#include <exception>

namespace quillon {

namespace {
const QString CaptionPrefix = QStringLiteral("Norvane - Quillon - ");

QString reasonOf(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}
} // namespace

AppState::AppState(HeldSetup& held, ShellUi& ui, SettingsStore& store)
    : held_(held), ui_(ui), store_(store), recent_(store)
{
}

QString AppState::storedFolder() const
{
    return store_.lastFolder();
}

void AppState::showSetupName()
{
    held_.loadedCardType = setupKindFromName(currentFileName_);
    const SetupName name = splitSetupName(currentFileName_);
    currentFileName_ = name.bareName;
    store_.setLastFolder(name.folder);
    caption_ = CaptionPrefix + currentFileName_;
    ui_.caption(caption_);
    ui_.status(1, loadedSetupText(held_.loadedCardType));
}

void AppState::loadDefaults()
{
    if (beforeDefaults)
        beforeDefaults();
    quillon::loadDefaults(held_.fields);
    if (afterDefaults)
        afterDefaults();
}

void AppState::newSetup()
{
    loadDefaults();
    currentFileName_ = UnsavedName;
    showSetupName();
}

void AppState::resetConfiguration()
{
    loadDefaults();
}

void AppState::adoptPath(const QString& path)
{
    currentFileName_ = path;
    showSetupName();
}

QString AppState::startFolder() const
{
    // The stored folder may come from another machine ("C:\windows" by default); offer it only
    // where it exists here.
    const QString folder = storedFolder();
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

// A failed or cancelled Save leaves the file name, caption, panels and stored folder as they
// were: the name is adopted only once the file is written.
void AppState::saveFileToDisk(FileDialogs& dialogs)
{
    const CardType kind = held_.loadedCardType;
    const FileQuestion question{kind == CardType::AVM ? AvmFilter : SidFilter, 1,
                                currentFileName_ + setupExtension(kind), startFolder()};
    const std::optional<QString> path = dialogs.askSaveName(question);
    if (!path || path->isEmpty()) {
        ui_.failure(SaveFailedMessage, {});
        return;
    }
    try {
        if (setupKindFromName(*path) == CardType::AVM)
            saveSetupImage(*path, held_.setupImage);
        else
            exportSetupText(*path, held_.fields.values());
    } catch (const std::exception& e) {
        ui_.failure(SaveFailedMessage, reasonOf(e));
        return;
    }
    adoptPath(*path);
    remember(*path);
    ui_.status(2, QStringLiteral("File ") + currentFileName_ + QStringLiteral(" Saved"));
}

// As Save: the name is adopted only once the file has been read; the readers change nothing
// when they fail.
void AppState::openFileFromDisk(FileDialogs& dialogs)
{
    openFile(dialogs, startFolder());
}

// The folder is made if need be, so that the dialog opens there even before the first backup.
void AppState::openBackupFromDisk(FileDialogs& dialogs)
{
    const QString folder = store_.backupFolder();
    QDir().mkpath(folder);
    openFile(dialogs, folder);
}

void AppState::openFile(FileDialogs& dialogs, const QString& folder)
{
    ui_.status(2, QStringLiteral("Getting Saved Data"));
    const FileQuestion question{OpenFilter, 2, QStringLiteral(".kxm"), folder};
    const std::optional<QString> path = dialogs.askOpenName(question);
    if (!path || path->isEmpty()) {
        ui_.failure(OpenFailedMessage, {});
        return;
    }
    readFile(*path);
}

void AppState::openFile(const QString& path)
{
    ui_.status(2, QStringLiteral("Getting Saved Data"));
    readFile(path);
}

void AppState::readFile(const QString& path)
{
    try {
        if (setupKindFromName(path) == CardType::AVM)
            loadSetupImage(path, held_);
        else
            importSetupText(path, held_);
    } catch (const std::exception& e) {
        if (!QFileInfo::exists(path) && recent_.files().contains(QFileInfo(path).absoluteFilePath())) {
            recent_.remove(path);
            if (recentFilesChanged)
                recentFilesChanged();
        }
        ui_.failure(OpenFailedMessage, reasonOf(e));
        return;
    }
    adoptPath(path);
    remember(path);
    ui_.status(2, QStringLiteral("File ") + currentFileName_ + QStringLiteral(" Loaded"));
}

void AppState::remember(const QString& path)
{
    recent_.add(path);
    if (recentFilesChanged)
        recentFilesChanged();
}

} // namespace quillon
