// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gui/helplocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quillon::test {
namespace {

// A tree with an installed program (usr/bin) and its Windows-style help folder (also the build
// folder's); each case puts the manual in some of the places. The documentation folder is not
// one of them: a system may leave /usr/share/doc out.
TEST(HelpLocation, installedManualFirstThenTheProgramsHelpFolder)
{
    const QString installed = "usr/share/quillon/help/QuillonHelp.html";
    const QString beside = "usr/bin/help/QuillonHelp.html";
    const QString docs = "usr/share/doc/quillon/html/QuillonHelp.html";
    const struct {
        QStringList present;
        QString found;
    } cases[] = {
        {{installed, beside}, installed},
        {{beside, docs}, beside},
        {{docs}, installed}, // nothing where it is looked for: the installed path, for the viewer
        {{}, installed},
    };
    for (const auto& c : cases) {
        QTemporaryDir root;
        QDir tree(root.path());
        tree.mkpath("usr/bin");
        for (const QString& file : c.present) {
            tree.mkpath(QFileInfo(file).path());
            QFile(tree.filePath(file)).open(QIODevice::WriteOnly);
        }
        const QString expected = QFileInfo(tree.filePath(c.found)).absoluteFilePath();
        const bool exists = c.present.contains(c.found);
        EXPECT_EQ(findHelpFile(tree.filePath("usr/bin")),
                  exists ? QFileInfo(expected).canonicalFilePath() : expected)
            << c.present.join(", ").toStdString();
    }
}

#ifdef Q_OS_WIN
// The installer puts the manual in help\ beside quillon.exe; nothing is installed under
// ..\share, and the folder may come in Windows' own spelling.
TEST(HelpLocation, onWindowsTheManualBesideTheInstalledProgramIsFound)
{
    QTemporaryDir root;
    QDir tree(root.path());
    tree.mkpath("Program Files/Quillon/help");
    QFile(tree.filePath("Program Files/Quillon/help/QuillonHelp.html")).open(QIODevice::WriteOnly);
    const QString program = QDir::toNativeSeparators(tree.filePath("Program Files/Quillon"));
    EXPECT_EQ(findHelpFile(program),
              QFileInfo(tree.filePath("Program Files/Quillon/help/QuillonHelp.html")).canonicalFilePath());
}
#endif

} // namespace
} // namespace quillon::test
