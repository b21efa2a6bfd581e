// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/gui/mainwindow.h"
#include "app/recordingui.h"
#include "forms/settingswindow.h"
#include "setup/setupimage.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace quillon::test {

// The main window with its messages, file questions and opened links recorded.
class GuiFixture : public ::testing::Test {
protected:
    // A settings store of the test's own, whose ports name no device: nothing here opens a real
    // serial port unless the test says so.
    void SetUp() override
    {
        prepareSettings();
        window = std::make_unique<MainWindow>(services());
    }
    void prepareSettings()
    {
        for (int port = 1; port <= 4; ++port)
            settings.setPortDevice(port, dir.filePath(QStringLiteral("noport%1").arg(port)));
        settings.setValue("Trace", "Path", dir.filePath("Out.bin"));
        settings.setValue("Backups", "Folder", dir.filePath("backups"));
    }
    void TearDown() override
    {
        window.reset();
        QApplication::processEvents();
    }

    virtual ShellServices services()
    {
        ShellServices s;
        s.settings = &settings;
        s.fileDialogs = &dialogs;
        s.messages = [this](const OperatorMessage& message) {
            messages << message.text;
            details << message.detail;
            findings << message.findings;
            severities << message.severity;
        };
        s.replaceQuestion = [this](const QString& question, std::function<void(ReplaceAnswer)> answered) {
            ++replaceQuestions;
            lastQuestion = question;
            answered(replaceAnswer);
        };
        s.openUrl = [this](const QUrl& url) {
            opened << url;
            return true;
        };
        return s;
    }

    QString panel(int n) const { return window->statusPanel(n)->text(); }
    bool checked(const char* item) const { return window->menuItem(item)->isChecked(); }
    QStringList checkedSetupItems() const
    {
        QStringList on;
        for (const char* item : {"setupAudio", "setupSourceId", "setupWindows", "setupColours", "setupControls"}) {
            if (checked(item))
                on << item;
        }
        return on;
    }
    template <typename T = QWidget>
    T* control(const QString& key, const QString& name) const
    {
        SettingsWindow* form = window->settingsWindow(key);
        return form ? form->findChild<T*>(name) : nullptr;
    }
    // Types over a box's text as the operator does.
    void typeInto(const QString& key, const QString& name, const QString& text);

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("Quillon.conf")};
    ScriptedDialogs dialogs;
    QStringList messages;
    QStringList details;
    QStringList findings; // the message boxes' details: what a port's diagnosis found
    QList<MessageSeverity> severities; // the boxes' icons
    QList<QUrl> opened;
    ReplaceAnswer replaceAnswer = ReplaceAnswer::Discard; // the answer before replacing a modified set-up
    int replaceQuestions = 0;
    QString lastQuestion;
    std::unique_ptr<MainWindow> window;
};

inline void GuiFixture::typeInto(const QString& key, const QString& name, const QString& text)
{
    auto* box = control<QLineEdit>(key, name);
    ASSERT_NE(box, nullptr) << name.toStdString();
    box->selectAll();
    QTest::keyClicks(box, text);
}

inline const std::array<const char*, 5> WindowKeys{"Audio", "SourceId", "Windows", "Colors", "Controls"};

} // namespace quillon::test
