// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the main window, each settings window, the compare window, the backup chooser, a
// settings window with an AVM set-up held and a Send's one answer into PNG files for the README:
//   quillon-screenshots OUTPUT_FOLDER
// It uses a settings store of its own whose ports name no device, so it touches no serial port.

#include "app/core/backups.h"
#include "app/gui/backupchooser.h"
#include "app/gui/mainwindow.h"
#include "files/setupfiles.h"
#include "setup/setupimage.h"
#include "forms/settingswindow.h"
#include "app/core/settingsstore.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QDir>
#include <QFile>
#include <QAbstractButton>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

bool save(QWidget* widget, const QDir& folder, const QString& name)
{
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus(); // no selected text in the pictures
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    if (!widget->grab().save(path)) {
        QTextStream(stderr) << "could not write " << path << "\n";
        return false;
    }
    QTextStream(stdout) << path << "\n";
    return true;
}

// Answers every file question with one name.
class FixedAnswer : public quillon::FileDialogs {
public:
    explicit FixedAnswer(QString path) : path_(std::move(path)) {}
    std::optional<QString> askSaveName(const quillon::FileQuestion&) override { return path_; }
    std::optional<QString> askOpenName(const quillon::FileQuestion&) override { return path_; }

private:
    QString path_;
};

// A studio's set-up that differs from the defaults in a few settings.
QString studioFile(const QTemporaryDir& dir)
{
    using quillon::Field;
    quillon::SetupValues studio = quillon::defaultSetupValues();
    studio.setChoice(Field::PeakLevel, 6);
    studio.setOption(Field::OutputMono, true);
    studio.setText(Field::MissingSidMessage, QStringLiteral("STUDIO 4"));
    studio.setLevel(Field::TextBrightness, 200);
    studio.setText(Field::Gpi1Text, QStringLiteral("ON AIR"));
    const QString path = dir.filePath(QStringLiteral("Studio 4.kxd"));
    quillon::exportSetupText(path, studio);
    return path;
}

// An AVM card's image: opaque bytes after its command and version.
QByteArray avmImage()
{
    QByteArray image(120, '\x5A');
    image[0] = char(24);
    image[1] = char(3);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir config;
    QApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: quillon-screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path()))
        return 1;
    quillon::SettingsStore store(config.filePath(QStringLiteral("Quillon.conf")));
    for (int port = 1; port <= 4; ++port)
        store.setPortDevice(port, config.filePath(QStringLiteral("none%1").arg(port)));
    store.setValue(QStringLiteral("Backups"), QStringLiteral("Folder"), config.filePath(QStringLiteral("backups")));

    FixedAnswer dialogs(studioFile(config));
    quillon::ShellServices services;
    services.settings = &store;
    services.fileDialogs = &dialogs;
    services.messages = [](const quillon::OperatorMessage&) {};
    quillon::MainWindow window(services);
    // The pointer rests where no picture shows it hovering over a button.
    QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
    window.show();
    bool ok = save(&window, folder, QStringLiteral("main-window.png"));

    // A maximised settings window keeps its controls at their natural size.
    window.showSettingsWindow(QStringLiteral("Windows"));
    // The window manager maximises the main window in its own time, once it runs.
    QTest::qWaitFor([&window] {
        if (window.width() > window.stripSize().width())
            return true;
        window.showMaximized();
        return false;
    }, 10000);
    QTest::qWait(200);
    ok = save(&window, folder, QStringLiteral("maximised.png")) && ok;
    window.settingsSubWindow(QStringLiteral("Windows"))->close();

    // Each settings window restored, as the operator sees it after pressing its Restore button.
    const std::vector<std::pair<const char*, QString>> forms{{"Audio", "audio.png"},
                                                             {"SourceId", "source-id.png"},
                                                             {"Windows", "windows.png"},
                                                             {"Colors", "colors.png"},
                                                             {"Controls", "controls.png"}};
    for (const auto& [key, name] : forms) {
        window.showSettingsWindow(QString::fromLatin1(key));
        QMdiSubWindow* sub = window.settingsSubWindow(QString::fromLatin1(key));
        sub->showNormal();
        ok = save(sub, folder, name) && ok;
        sub->close();
    }

    window.compareWithFile();
    QWidget* compare = window.compareWindow();
    compare->resize(compare->sizeHint().expandedTo(QSize(720, 300)));
    ok = save(compare, folder, QStringLiteral("compare.png")) && ok;
    compare->close();

    // The backup chooser, over backups of two SID cards and an AVM card.
    QDateTime time(QDate(2026, 12, 8), QTime(10, 15, 0));
    const std::pair<QByteArray, const char*> cards[] = {
        {quillon::encodeSidImage(quillon::defaultSetupValues()).image, "4b58343031"},
        {avmImage(), "0a0b0c0d0e"},
        {quillon::encodeSidImage(quillon::readSetupFile(studioFile(config)).values).image, "4b58343032"},
        {quillon::encodeSidImage(quillon::defaultSetupValues()).image, "4b58343032"}};
    for (const auto& [image, serial] : cards) {
        quillon::BackupFolder(store.backupFolder(), 365, [&time] { return time; })
            .write(image, QByteArray::fromHex(serial));
        time = time.addSecs(-3 * 3600 - 17 * 60 - 41);
    }
    window.openBackupCommand();
    ok = save(window.backupChooser(), folder, QStringLiteral("open-backup.png")) && ok;
    window.backupChooser()->reject();

    // With an AVM set-up held, the settings do not apply.
    const QString avm = config.filePath(QStringLiteral("Card.kxm"));
    QFile image(avm);
    if (!image.open(QIODevice::WriteOnly) || image.write(avmImage()) != avmImage().size())
        return 1;
    image.close();
    window.appState().openFile(avm);
    window.showSettingsWindow(QStringLiteral("Audio"));
    QMdiSubWindow* audio = window.settingsSubWindow(QStringLiteral("Audio"));
    audio->showNormal();
    ok = save(audio, folder, QStringLiteral("avm-held.png")) && ok;
    audio->close();

    // A default Send's one answer, when the card keeps something else than it was sent.
    quillon::OperatorMessage answer;
    answer.text = QStringLiteral("Studio 4 Transferred.\nCard Setup Sent!\nThe card holds a different set-up than was sent.");
    answer.findings = QStringLiteral("Set-up Audio, Level: Peak Analog: sent 14dBu  -10dB, read back 13dBu  -11dB\n\n"
                                     "Backup of the card's set-up: "
                                     "/home/studio/.local/share/Quillon/backups/SID-4B58343031-20261208-101500.kxd");
    answer.severity = quillon::MessageSeverity::Warning;
    quillon::showMessageBox(&window, answer);
    if (auto* box = window.findChild<QMessageBox*>()) {
        for (QAbstractButton* button : box->buttons())
            if (box->buttonRole(button) == QMessageBox::ActionRole)
                button->click(); // "Show Details..."
        QTest::qWait(200);
        ok = save(box, folder, QStringLiteral("send-answer.png")) && ok;
        box->close();
    }

    window.helpAbout();
    ok = save(window.aboutBox(), folder, QStringLiteral("about.png")) && ok;
    window.closeWithoutAsking();
    return ok ? 0 : 1;
}
