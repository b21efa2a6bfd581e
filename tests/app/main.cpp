// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Every run gets a settings store of its own, before anything reads one.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", config.filePath("data").toLocal8Bit()); // the backups' default home
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
