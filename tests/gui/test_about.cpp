// SPDX-License-Identifier: GPL-3.0-or-later
#include "guifixture.h"

#include <QFile>
#include <QPushButton>

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
