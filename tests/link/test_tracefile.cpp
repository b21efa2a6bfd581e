// SPDX-License-Identifier: GPL-3.0-or-later
// Where a connection's trace is written: the settings' path, else the platform's place.

#include "link/settingsstore.h"
#include "link/tracefile.h"

#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

TEST(TraceFilePlace, thePlatformsPlaceUnlessTheSettingsNameAnother)
{
    SettingsStore store;
    const QString saved = store.value(QStringLiteral("Trace"), QStringLiteral("Path"));
    store.setValue(QStringLiteral("Trace"), QStringLiteral("Path"), QString());
#ifdef Q_OS_WIN
    EXPECT_EQ(TraceFile::defaultPath(store), QStringLiteral("C:\\Out.bin"));
#else
    EXPECT_EQ(TraceFile::defaultPath(store),
              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Quillon/Out.bin");
#endif
    const QString chosen = QDir::temp().filePath(QStringLiteral("Elsewhere.bin"));
    store.setValue(QStringLiteral("Trace"), QStringLiteral("Path"), chosen);
    EXPECT_EQ(TraceFile::defaultPath(store), chosen);
    store.setValue(QStringLiteral("Trace"), QStringLiteral("Path"), saved);
}

} // namespace
