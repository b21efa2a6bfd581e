// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/settingsstore.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A settings store of the tests' own, whose ports name no device: nothing here opens a real
// serial port.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    testsupport::useOwnUserFolders(config);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quillon::SettingsStore store;
    for (int port = 1; port <= 4; ++port)
        store.setValue("Ports", QStringLiteral("Com%1").arg(port), config.filePath(QStringLiteral("noport%1").arg(port)));
    store.setValue("Trace", "Path", config.filePath("Out.bin"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
