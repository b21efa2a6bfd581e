#include "app/gui/helplocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quillon::test {
namespace {

// A tree with an installed program (usr/bin), its Windows-style help folder and a source tree;
// each case puts the manual in some of the places.
TEST(HelpLocation, installedManualFirstThenTheProgramsHelpFolderThenTheSourceTree)
{
    const QString installed = "usr/share/doc/quillon/html/QuillonHelp.html";
    const QString beside = "usr/bin/help/QuillonHelp.html";
    const QString source = "src/docs/help/QuillonHelp.html";
    const struct {
        QStringList present;
        QString found;
    } cases[] = {
        {{installed, beside, source}, installed},
        {{beside, source}, beside},
        {{source}, source},
        {{}, installed}, // nothing there: the installed path, for the viewer to report
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
        EXPECT_EQ(findHelpFile(tree.filePath("usr/bin"), tree.filePath("src")),
                  c.present.isEmpty() ? expected : QFileInfo(expected).canonicalFilePath())
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
    EXPECT_EQ(findHelpFile(program, "C:\\nowhere"),
              QFileInfo(tree.filePath("Program Files/Quillon/help/QuillonHelp.html")).canonicalFilePath());
}
#endif

} // namespace
} // namespace quillon::test
