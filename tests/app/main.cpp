// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Each test makes its settings store on a file of its own; the per-user folders (the backups'
// and the trace's defaults) are the run's own too.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    testsupport::useOwnUserFolders(config);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
