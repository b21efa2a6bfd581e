// SPDX-License-Identifier: GPL-3.0-or-later
// Every seed of the fuzz corpora goes through its entry point, in every build: the entry points
// stay working without clang, and an input that once failed stays fixed.

#include "fuzzentries.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace quillon::fuzz;

TEST(FuzzCorpora, everySeedRunsThroughItsEntryPoint)
{
    for (const Entry& entry : entries()) {
        const QDir dir(QStringLiteral(QUILLON_CORPUS_DIR "/") + QLatin1String(entry.name));
        const QStringList seeds = dir.entryList(QDir::Files);
        EXPECT_FALSE(seeds.isEmpty()) << entry.name;
        for (const QString& seed : seeds) {
            SCOPED_TRACE(dir.filePath(seed).toStdString());
            QFile file(dir.filePath(seed));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray input = file.readAll();
            entry.run(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size()));
        }
    }
}
