// SPDX-License-Identifier: GPL-3.0-or-later
#include "guifixture.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>

namespace quillon::test {
namespace {

// The about box, with a PATH of the test's choosing so no real tool is found or started.
class AboutBox : public GuiFixture {
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        savedPath = qgetenv("PATH");
        qputenv("PATH", tools.path().toLocal8Bit());
        window->menuItem("helpAbout")->trigger();
        ASSERT_NE(window->aboutBox(), nullptr);
    }
    void TearDown() override
    {
        qputenv("PATH", savedPath);
        GuiFixture::TearDown();
    }
    QString text(const char* name) const
    {
        if (auto* label = window->aboutBox()->findChild<QLabel*>(name))
            return label->text();
        if (auto* button = window->aboutBox()->findChild<QPushButton*>(name))
            return button->text();
        return "<missing>";
    }

    QTemporaryDir tools;
    QByteArray savedPath;
};

TEST_F(AboutBox, showsItsTextsExactly)
{
    EXPECT_EQ(window->aboutBox()->windowTitle(), "About Quillon");
    EXPECT_EQ(text("title"), "Quillon");
    EXPECT_EQ(text("release"), " Release 1.2.0");
    EXPECT_EQ(text("description"),
              "Quillon provides an all in one interface for the Norvane KX40 product line. This "
              "intuative Graphical User Interface allows you to extract, save and send KX40 hardware "
              "setups. Thank You for choosing Norvane.");
    EXPECT_EQ(text("disclaimer"),
              "Warning... This product is designed to interface with Norvane KX40 products only. "
              "Unexpected results may occur if connections are made to other Norvane products.");
    EXPECT_EQ(text("okButton"), "OK");
    EXPECT_EQ(text("systemInfoButton"), "&System Info...");
    EXPECT_FALSE(window->aboutBox()->isModal());
}

TEST_F(AboutBox, systemInfoWithoutAToolSaysSoAndStaysOpen)
{
    window->aboutBox()->findChild<QPushButton*>("systemInfoButton")->click();
    EXPECT_EQ(messages, QStringList{"System Information Is Unavailable At This Time"});
    EXPECT_TRUE(window->aboutBox()->isVisible());
}

#if defined(Q_OS_WIN)
// Windows' System Information (MSINFO32) is where the registry says: its path, else the
// shared tools' folder.
TEST_F(AboutBox, systemInfoIsTheToolTheRegistryNames)
{
    QSettings msinfo("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", QSettings::NativeFormat);
    QSettings location("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location", QSettings::NativeFormat);
    const QVariant savedPath = msinfo.value("PATH");
    const QVariant savedFolder = location.value("MSINFO");
    const QString folder = QDir::toNativeSeparators(tools.path());
    const QString tool = folder + "\\MSINFO32.EXE";
    const struct {
        const char* what;
        QString path;
        QString folder;
        bool toolThere;
        QString found; // empty: none
    } rows[] = {
        {"the path", "C:\\Tools\\msinfo32.exe", folder, true, "C:\\Tools\\msinfo32.exe"},
        {"the folder, the tool in it", {}, folder, true, tool},
        {"the folder, no tool in it", {}, folder, false, {}},
        {"neither", {}, {}, false, {}},
    };
    for (const auto& row : rows) {
        row.path.isEmpty() ? msinfo.remove("PATH") : msinfo.setValue("PATH", row.path);
        row.folder.isEmpty() ? location.remove("MSINFO") : location.setValue("MSINFO", row.folder);
        msinfo.sync();
        location.sync();
        if (msinfo.status() != QSettings::NoError || location.status() != QSettings::NoError)
            GTEST_SKIP() << "needs write access to HKEY_LOCAL_MACHINE";
        QFile file(tool);
        if (row.toolThere)
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        else
            file.remove();
        const auto found = AboutDialog::systemInfoTool();
        EXPECT_EQ(found ? found->program : QString(), row.found) << row.what;
    }
    savedPath.isValid() ? msinfo.setValue("PATH", savedPath) : msinfo.remove("PATH");
    savedFolder.isValid() ? location.setValue("MSINFO", savedFolder) : location.remove("MSINFO");
}
#elif !defined(Q_OS_MACOS)
TEST_F(AboutBox, systemInfoFindsAKnownToolOnThePath)
{
    const QString tool = tools.filePath("hardinfo");
    QFile file(tool);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto found = AboutDialog::systemInfoTool();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->program, tool);
}
#endif

TEST_F(AboutBox, okUnloadsTheBoxAndAboutShowsAFreshOne)
{
    QPointer<AboutDialog> first = window->aboutBox();
    window->menuItem("helpAbout")->trigger(); // already shown: the same box comes forward
    EXPECT_EQ(window->aboutBox(), first.data());

    first->findChild<QPushButton*>("okButton")->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(window->aboutBox(), nullptr);

    window->menuItem("helpAbout")->trigger();
    EXPECT_NE(window->aboutBox(), nullptr);
    EXPECT_TRUE(window->aboutBox()->isVisible());
}

} // namespace
} // namespace quillon::test
