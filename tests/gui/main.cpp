// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/testsupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The per-user folders (the backups' and the trace's defaults) are the run's own.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    testsupport::useOwnUserFolders(config);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
