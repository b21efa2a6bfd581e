// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Every run gets a settings store of its own, before anything reads one.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    testsupport::useOwnUserFolders(config);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
