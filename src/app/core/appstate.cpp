// SPDX-License-Identifier: GPL-3.0-or-later
#include "appstate.h"

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
    : held_(held), ui_(ui), store_(store), recent_(store), saved_(SetupSnapshot::of(held)), history_(held, *this)
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
    showCaption();
    showKind();
}

void AppState::showKind()
{
    ui_.status(1, loadedSetupText(held_.loadedCardType));
}

bool AppState::modified() const
{
    return !SetupSnapshot::of(held_).sameSetup(saved_);
}

void AppState::showCaption()
{
    shownCaption_ = caption_ + (modified() ? ModifiedMark : QString());
    ui_.caption(shownCaption_);
}

void AppState::refreshCaption()
{
    // Until the program has its starting set-up there is nothing to mark.
    if (!started_)
        return;
    if (caption_ + (modified() ? ModifiedMark : QString()) != shownCaption_)
        showCaption();
}

void AppState::markSaved()
{
    saved_ = SetupSnapshot::of(held_);
    refreshCaption();
}

void AppState::loadDefaults()
{
    if (beforeDefaults)
        beforeDefaults();
    quillon::loadDefaults(held_.fields);
    if (afterDefaults)
        afterDefaults();
}

void AppState::startAfresh()
{
    started_ = true;
    saved_ = SetupSnapshot::of(held_);
    history_.clear();
    refreshCaption();
}

void AppState::newSetup()
{
    history_.replace(QStringLiteral("Close File"), [this] {
        loadDefaults();
        currentFileName_ = UnsavedName;
        showSetupName();
        markSaved();
    });
}

void AppState::resetConfiguration()
{
    history_.change(QStringLiteral("Reset Configuration"), [this] { loadDefaults(); });
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
    markSaved();
    history_.breakMerging();
    remember(*path);
    ui_.status(2, QStringLiteral("File ") + currentFileName_ + QStringLiteral(" Saved"));
}

// As Save: the name is adopted only once the file has been read; the readers change nothing
// when they fail.
void AppState::openFileFromDisk(FileDialogs& dialogs)
{
    whenReplacing([this, &dialogs] { openFile(dialogs, startFolder()); });
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
    whenReplacing([this, path] {
        ui_.status(2, QStringLiteral("Getting Saved Data"));
        readFile(path);
    });
}

bool AppState::readSetup(const QString& path)
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
        return false;
    }
    return true;
}

void AppState::readFile(const QString& path)
{
    history_.replace(QStringLiteral("Open ") + QFileInfo(path).fileName(), [this, path] {
        if (!readSetup(path))
            return;
        adoptPath(path);
        markSaved();
        remember(path);
        ui_.status(2, QStringLiteral("File ") + currentFileName_ + QStringLiteral(" Loaded"));
    });
}

void AppState::openBackup(const QString& path)
{
    history_.replace(QStringLiteral("Open Backup"), [this, path] {
        ui_.status(2, QStringLiteral("Getting Saved Data"));
        if (!readSetup(path))
            return;
        // The kind is the file's; the name, the caption and the stored folder are a new set-up's.
        held_.loadedCardType = setupKindFromName(path);
        currentFileName_ = UnsavedName;
        caption_ = CaptionPrefix + currentFileName_;
        saved_ = SetupSnapshot::of(held_);
        showCaption();
        showKind();
        ui_.status(2, QStringLiteral("File ") + splitSetupName(path).bareName + QStringLiteral(" Loaded"));
    });
}

void AppState::whenReplacing(const std::function<void()>& proceed, const QString& question)
{
    if (!modified()) {
        proceed();
        return;
    }
    ui_.askBeforeReplacing(question, [this, proceed](ReplaceAnswer answer) {
        if (answer == ReplaceAnswer::Cancel)
            return;
        if (answer == ReplaceAnswer::Save) {
            if (!dialogs_)
                return;
            saveFileToDisk(*dialogs_);
            if (modified()) // not saved: it said why
                return;
        }
        proceed();
    });
}

void AppState::getStarted()
{
    history_.hold();
}

void AppState::getEnded(bool replaced)
{
    if (!replaced) {
        history_.endHoldUnchanged();
        return;
    }
    const DocumentState before = documentState();
    saved_ = SetupSnapshot::of(held_);
    history_.endHold(QStringLiteral("Get Configuration"), before);
}

DocumentState AppState::documentState() const
{
    return {SetupSnapshot::of(held_), currentFileName_, caption_, saved_};
}

void AppState::restore(const DocumentState& state)
{
    held_.setupImage = state.setup.image;
    held_.loadedCardType = state.setup.loaded;
    held_.connectedCardType = state.setup.connected;
    held_.fields.setValues(state.setup.fields);
    currentFileName_ = state.fileName;
    caption_ = state.caption;
    saved_ = state.saved;
    showCaption();
    showKind();
}

void AppState::remember(const QString& path)
{
    recent_.add(path);
    if (recentFilesChanged)
        recentFilesChanged();
}

} // namespace quillon
