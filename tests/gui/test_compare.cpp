// SPDX-License-Identifier: GPL-3.0-or-later
#include "guifixture.h"
#include "support/testsupport.h"

#include "app/gui/comparewindow.h"
#include "files/setupfiles.h"
#include "files/setupreport.h"
#include "report/pdfreport.h"

#include <QComboBox>
#include <QFile>
#include <QMdiArea>
#include <QProcess>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QToolBar>

namespace quillon::test {
namespace {

using Compare = GuiFixture;
using testsupport::writeFile;

QStringList rowOf(QTableWidget* table, int row)
{
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column)
        cells << table->item(row, column)->text();
    return cells;
}

TEST_F(Compare, withAFileListsTheDifferencesAndTakesTheSelectedValue)
{
    window->show();
    SetupValues studio = defaultSetupValues();
    studio.setChoice(Field::PeakLevel, 12);
    studio.setText(Field::Gpi1Text, "ON AIR");
    exportSetupText(dir.filePath("Studio.kxd"), studio);
    dialogs.nextAnswer = dir.filePath("Studio.kxd");
    window->menuItem("toolsCompareWithFile")->trigger();

    CompareWindow* compare = window->compareWindow();
    ASSERT_NE(compare, nullptr);
    EXPECT_TRUE(compare->isVisible());
    EXPECT_FALSE(compare->isModal());
    QTableWidget* table = compare->table();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(rowOf(table, 0), QStringList({"Set-up Audio", "Level: Peak Analog", "14dBu  -10dB", "12dBu  -12dB"}));
    EXPECT_EQ(rowOf(table, 1), QStringList({"Set-up Controls", "Program GPI #1: Message Text", "\"RECORD\"", "\"ON AIR\""}));

    table->selectRow(0);
    compare->findChild<QPushButton*>("takeSelectedValues")->click();
    EXPECT_EQ(window->held().fields.values().choice(Field::PeakLevel), 12);
    EXPECT_EQ(control<QComboBox>("Audio", "peakLevel")->currentIndex(), 12);
    EXPECT_EQ(window->held().fields.values().text(Field::Gpi1Text), "RECORD");
    ASSERT_EQ(table->rowCount(), 1); // the table follows the set-up

    Q_EMIT table->cellDoubleClicked(0, 1);
    EXPECT_EQ(window->mdiArea()->activeSubWindow(), window->settingsSubWindow("Controls"));
    EXPECT_EQ(window->settingsSubWindow("Controls")->focusWidget(), control<QLineEdit>("Controls", "gpi1Text"));

    writeFile(dir.filePath("Card.kxm"), QByteArray(120, '\x18'));
    dialogs.nextAnswer = dir.filePath("Card.kxm");
    window->menuItem("toolsCompareWithFile")->trigger();
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_TRUE(compare->findChild<QLabel*>("summary")->text().contains("do not compare"));
    EXPECT_FALSE(compare->findChild<QPushButton*>("takeSelectedValues")->isEnabled());
}

// What the table cannot say, the window does: that the set-ups are identical, which settings no
// window shows, that a report of two set-ups that do not compare is not offered. It opens beside
// the settings windows, never over the menu and the toolbar, and Escape closes it.
TEST_F(Compare, theWindowSaysWhatTheTableCannotAndOpensBesideTheSettings)
{
    window->show();
    window->showSettingsWindow("Audio"); // maximises the main window
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto compareWith = [this](const QString& name) {
        dialogs.nextAnswer = dir.filePath(name);
        window->menuItem("toolsCompareWithFile")->trigger();
        return window->compareWindow();
    };
    exportSetupText(dir.filePath("Same.kxd"), defaultSetupValues());
    SetupValues other = defaultSetupValues();
    other.setText(Field::FineAdjustA2, "5"); // a setting no window shows
    other.setText(Field::Gpi1Text, "ON AIR");
    exportSetupText(dir.filePath("Other.kxd"), other);
    writeFile(dir.filePath("Card.kxm"), QByteArray(120, '\x18'));

    CompareWindow* compare = compareWith("Same.kxd");
    ASSERT_NE(compare, nullptr);
    auto* identical = compare->findChild<QLabel*>("identical");
    auto* report = compare->findChild<QPushButton*>("exportReport");
    EXPECT_EQ(compare->table()->rowCount(), 0);
    EXPECT_TRUE(identical->isVisible());
    EXPECT_EQ(identical->text(), "The set-ups are identical.");
    EXPECT_TRUE(report->isEnabled());
    const int toolbarBottom = window->toolbar()->mapToGlobal(QPoint(0, window->toolbar()->height())).y();
    EXPECT_GE(compare->frameGeometry().top(), toolbarBottom);
    const QWidget* page = window->settingsWindow("Audio")->findChild<QWidget*>("page");
    EXPECT_GE(compare->frameGeometry().left(), page->mapToGlobal(QPoint(page->width(), 0)).x());

    compareWith("Other.kxd");
    EXPECT_FALSE(identical->isVisible());
    ASSERT_EQ(compare->table()->rowCount(), 2);
    EXPECT_EQ(compare->table()->item(0, 1)->text(), "Fine Channel Adjust: A2 (left) (not shown in the windows)");
    EXPECT_EQ(compare->table()->item(1, 1)->text(), "Program GPI #1: Message Text");

    compareWith("Card.kxm");
    EXPECT_FALSE(identical->isVisible());
    EXPECT_FALSE(report->isEnabled()); // a SID and an AVM set-up do not compare

    QApplication::setActiveWindow(compare);
    ASSERT_TRUE(QTest::qWaitForWindowActive(compare));
    QPointer<CompareWindow> closing = compare;
    QTest::keyClick(compare->table(), Qt::Key_Escape);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
}

TEST_F(Compare, takeSelectedValuesTakesExactlyTheRowsChosenAsOneUndoStep)
{
    SetupValues studio = defaultSetupValues();
    studio.setChoice(Field::PeakLevel, 12);
    studio.setText(Field::MissingSidMessage, "STUDIO 4");
    studio.setText(Field::Gpi1Text, "ON AIR");
    exportSetupText(dir.filePath("Studio.kxd"), studio);
    dialogs.nextAnswer = dir.filePath("Studio.kxd");
    window->menuItem("toolsCompareWithFile")->trigger();
    CompareWindow* compare = window->compareWindow();
    QTableWidget* table = compare->table();
    auto* take = compare->findChild<QPushButton*>("takeSelectedValues");
    auto select = [&](int row) {
        table->selectionModel()->select(table->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    auto selected = [&] {
        QStringList settings;
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->item(row, 0)->isSelected())
                settings << table->item(row, 1)->text();
        }
        return settings;
    };
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_FALSE(take->isEnabled()); // nothing chosen yet

    // The selection stays with its setting when an edit elsewhere takes a row out above it.
    select(1);
    window->held().fields.setChoice(Field::PeakLevel, 12);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(selected(), QStringList{"SID Window: Missing SID Message"});
    window->menuItem("editUndo")->trigger();
    EXPECT_EQ(selected(), QStringList{"SID Window: Missing SID Message"});

    select(2);
    EXPECT_TRUE(take->isEnabled());
    take->click();
    EXPECT_EQ(window->held().fields.values().choice(Field::PeakLevel), 10);
    EXPECT_EQ(window->held().fields.values().text(Field::MissingSidMessage), "STUDIO 4");
    EXPECT_EQ(window->held().fields.values().text(Field::Gpi1Text), "ON AIR");
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_TRUE(selected().isEmpty());
    EXPECT_FALSE(take->isEnabled());
    take->click(); // a second click takes nothing the operator did not choose
    EXPECT_EQ(window->held().fields.values().choice(Field::PeakLevel), 10);

    EXPECT_EQ(window->menuItem("editUndo")->text(), "&Undo Take Selected Values");
    window->menuItem("editUndo")->trigger();
    EXPECT_EQ(window->held().fields.values().text(Field::MissingSidMessage), "NO AVM");
    EXPECT_EQ(window->held().fields.values().text(Field::Gpi1Text), "RECORD");
    EXPECT_EQ(table->rowCount(), 3);
}

// A PDF's text as pdftotext reads it, else the document's text before writing.
QString reportText(const QString& pdf, const QString& html)
{
    const QString reader = QStandardPaths::findExecutable("pdftotext");
    if (reader.isEmpty())
        return reportPlainText(html);
    QProcess process;
    process.start(reader, {pdf, "-"});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).replace(QChar(0xfb00), "ff");
}

TEST_F(Compare, exportReportWritesTheSetupInTheWindowsOrTheDifferences)
{
    typeInto("Windows", "missingSidMessage", "STUDIO 4");
    dialogs.nextAnswer = dir.filePath("Studio.kxd");
    window->toolbarButtonClicked(3);
    dialogs.nextAnswer = dir.filePath("Studio.pdf");
    window->menuItem("fileExportReport")->trigger();
    EXPECT_EQ(dialogs.questions.back().proposedName, "Studio.pdf");
    ASSERT_TRUE(messages.isEmpty()) << details.join('\n').toStdString();
    const QString html = setupReportHtml("Studio", comparedSetupOf(window->held()), QDateTime::currentDateTime());
    const QString text = reportText(dir.filePath("Studio.pdf"), html);
    for (const char* shown : {"File: Studio", "Card kind: SID", "Set-up Audio", "Set-up Windows",
                              "SID Window: Missing SID Message", "\"STUDIO 4\"", "Set-up Controls"})
        EXPECT_TRUE(text.contains(shown)) << shown << " in\n" << text.toStdString();

    exportSetupText(dir.filePath("Other.kxd"), defaultSetupValues());
    dialogs.nextAnswer = dir.filePath("Other.kxd");
    window->menuItem("toolsCompareWithFile")->trigger();
    dialogs.nextAnswer = dir.filePath("Differences.pdf");
    window->compareWindow()->findChild<QPushButton*>("exportReport")->click();
    const QString differences = reportText(dir.filePath("Differences.pdf"), {});
    if (differences.isEmpty()) { // no PDF reader here (Windows): a PDF at least
        EXPECT_TRUE(testsupport::readFile(dir.filePath("Differences.pdf")).startsWith("%PDF"));
        return;
    }
    EXPECT_TRUE(differences.contains("Compared with: Other.kxd")) << differences.toStdString();
    EXPECT_TRUE(differences.contains("1 setting differs"));
    EXPECT_FALSE(differences.contains("Set-up Colors"));
}

} // namespace
} // namespace quillon::test
