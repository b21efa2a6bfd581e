// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../setup/heldsetup.h"
#include "filedialogs.h"
#include "recentfiles.h"
#include "setuphistory.h"
#include "shellui.h"

#include <QString>
#include <functional>

namespace quillon {

class SettingsStore;

inline const QString UnsavedName = QStringLiteral("Unsaved");
inline const QString StartCaption = QStringLiteral("Quillon");
inline const QString SaveFailedMessage = QStringLiteral("Error during save, save aborted!");
// The open command has always said "save aborted"; operators and their notes know it so.
inline const QString OpenFailedMessage = QStringLiteral("Error during load, save aborted!");
// The caption's mark while the set-up differs from the one last saved, opened or got.
inline const QString ModifiedMark = QStringLiteral("*");

// The application state the main window owns: the current set-up file's name, the caption,
// the history of the set-up's changes, and the commands that change them (New/Close, Reset
// Configuration, Save, Open).
class AppState {
public:
    AppState(HeldSetup& held, ShellUi& ui, SettingsStore& store);

    // "Unsaved", or the bare name of the last set-up file saved or opened.
    const QString& currentFileName() const { return currentFileName_; }
    // As shown, with the modified mark.
    const QString& caption() const { return shownCaption_; }
    // The folder of the last set-up file, as stored under "load".
    QString storedFolder() const;

    // Called first by loadDefaults, for the windows: they hide before the defaults go in.
    std::function<void()> beforeDefaults;
    // And after the defaults are in (the windows are maximised then).
    std::function<void()> afterDefaults;

    // The caption update: kind of set-up from the name's last letter, bare name, stored
    // folder, caption and status panel 1.
    void showSetupName();
    // Every setting to its default; file name, caption and status bar stay.
    void loadDefaults();
    // What is held now is the program's starting set-up: unmodified, nothing to undo.
    void startAfresh();
    void newSetup();           // File > New, File > Close, toolbar "close"
    void resetConfiguration(); // Edit > Reset Configuration
    void saveFileToDisk(FileDialogs& dialogs);
    void openFileFromDisk(FileDialogs& dialogs);
    // Opens a named set-up file as Open does once its dialog has answered (the recent files,
    // the command line, a dropped file). A file that no longer exists leaves the recent list.
    void openFile(const QString& path);
    // Opens a backup as a copy: named "Unsaved", so that Save never writes over the backup, and
    // not remembered among the recent files.
    void openBackup(const QString& path);

    // The set-up differs from the one last saved, opened or got.
    bool modified() const;
    // Runs proceed at once when nothing would be lost; else asks first (Save, Discard, Cancel).
    // Save uses the file dialogs given here.
    void whenReplacing(const std::function<void()>& proceed, const QString& question = ReplaceQuestion);
    void setFileDialogs(FileDialogs* dialogs) { dialogs_ = dialogs; }

    // A Get has started, and has ended having replaced the set-up or not.
    void getStarted();
    void getEnded(bool replaced);

    SetupHistory& history() { return history_; }
    // For the history.
    DocumentState documentState() const;
    void restore(const DocumentState& state);
    // Shows the modified mark as it stands now.
    void refreshCaption();

    const RecentFiles& recentFiles() const { return recent_; }
    // Told when the recent files have changed.
    std::function<void()> recentFilesChanged;

private:
    // Applies a chosen path as the current file: name, kind, folder, caption, panel 1.
    void adoptPath(const QString& path);
    // Reads a set-up file into the set-up held; says so and returns false when it fails.
    bool readSetup(const QString& path);
    void readFile(const QString& path);
    void remember(const QString& path);
    QString startFolder() const;
    void openFile(FileDialogs& dialogs, const QString& folder);
    // What is held now is what was last saved, opened or got.
    void markSaved();
    void showCaption();
    void showKind();

    HeldSetup& held_;
    ShellUi& ui_;
    SettingsStore& store_;
    RecentFiles recent_;
    FileDialogs* dialogs_ = nullptr;
    QString currentFileName_ = UnsavedName;
    QString caption_ = StartCaption; // without the mark
    QString shownCaption_ = StartCaption;
    SetupSnapshot saved_;
    bool started_ = false;
    SetupHistory history_;
};

} // namespace quillon
