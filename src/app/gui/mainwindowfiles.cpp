// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands around set-up files: recent files, opening from the command line
// and by dropping, comparing, and the printable report.

#include "mainwindow.h"

#include "app/core/backups.h"
#include "backupchooser.h"
#include "cardswindow.h"
#include "comparewindow.h"
#include "files/setupfiles.h"
#include "files/setupnames.h"
#include "files/setupreport.h"
#include "forms/settingswindow.h"
#include "app/core/portmanager.h"
#include "report/pdfreport.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>

namespace quillon {

namespace {

const QString ReportFilter = QStringLiteral("PDF document|*.pdf");

// The set-up file a drag carries, if it carries exactly one.
QString droppedSetupFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return {};
    const QString path = data->urls().first().toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("kxd") || suffix == QLatin1String("kxm") ? path : QString();
}

} // namespace

void MainWindow::buildFileExtras(QMenu* file, QAction* exit)
{
    auto* report = new QAction(QStringLiteral("Expo&rt Report..."), file);
    report->setObjectName(QStringLiteral("fileExportReport"));
    file->insertAction(exit, report);
    connect(report, &QAction::triggered, this, &MainWindow::exportReport);
    recentSeparator_ = file->insertSeparator(exit);
    for (int i = 0; i < int(recentItems_.size()); ++i) {
        auto* item = new QAction(file);
        item->setObjectName(QStringLiteral("fileRecent%1").arg(i + 1));
        file->insertAction(exit, item);
        connect(item, &QAction::triggered, this, [this, item] { app_->openFile(item->data().toString()); });
        recentItems_[i] = item;
    }
    file->insertSeparator(exit);
    app_->recentFilesChanged = [this] { refreshRecentFiles(); };
    setAcceptDrops(true);
    refreshRecentFiles();
}

void MainWindow::refreshRecentFiles()
{
    const QStringList files = app_->recentFiles().files();
    for (int i = 0; i < int(recentItems_.size()); ++i) {
        QAction* item = recentItems_[i];
        item->setVisible(i < files.size());
        item->setData(files.value(i));
        QString shown = QDir::toNativeSeparators(files.value(i));
        item->setText(QStringLiteral("&%1 %2").arg(QString::number(i + 1), shown.replace(u'&', QStringLiteral("&&"))));
    }
    recentSeparator_->setVisible(!files.isEmpty());
}

void MainWindow::openBackupCommand()
{
    app_->whenReplacing([this] {
        if (closed_)
            return;
        if (backupChooser_) {
            backupChooser_->raise();
            return;
        }
        auto* chooser = new BackupChooser(store_.backupFolder(), this);
        chooser->setAttribute(Qt::WA_DeleteOnClose);
        // Cancel is a cancel: nothing is said and nothing changes.
        connect(chooser, &QDialog::accepted, this, [this, chooser] { app_->openBackup(chooser->chosenPath()); });
        backupChooser_ = chooser;
        chooser->open();
    });
}

void MainWindow::openFromCommandLine(const QStringList& arguments)
{
    if (!arguments.isEmpty())
        app_->openFile(arguments.first());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedSetupFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString path = droppedSetupFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    app_->openFile(path);
}

// ---- comparing -----------------------------------------------------------------------------

void MainWindow::showComparison(const QString& otherName, const ComparedSetup& other)
{
    if (!compare_) {
        compare_ = new CompareWindow(held_.fields, [this] { return comparedSetupOf(held_); }, this);
        compare_->shownInWindows = [this](Field field) {
            QString key;
            const QWidget* control = settingControl(field, &key);
            return control && control->isVisibleTo(settingsWindow(key));
        };
        connect(compare_, &CompareWindow::settingChosen, this, &MainWindow::showSetting);
        connect(compare_, &CompareWindow::exportRequested, this, &MainWindow::exportReport);
        compare_->asOneStep = [this](const std::function<void()>& take) {
            app_->history().change(QStringLiteral("Take Selected Values"), take);
        };
        placeBesideSettings(compare_);
    }
    compare_->compareWith(otherName, other);
    compare_->show();
    compare_->raise();
    compare_->activateWindow();
}

CardsWindow* MainWindow::cardsWindow() const { return cards_; }

void MainWindow::cardsCommand()
{
    if (cards_) {
        cards_->raise();
        cards_->activateWindow();
        return;
    }
    auto desk = std::make_unique<FleetDesk>(store_, defaultInventoryPath());
    cards_ = new CardsWindow(std::move(desk), [this] { return comparedSetupOf(held_); }, this);
    cards_->show();
}

void MainWindow::compareWithFile()
{
    const FileQuestion question{OpenFilter, held_.loadedCardType == CardType::AVM ? 2 : 1, QString(),
                                app_->storedFolder()};
    const std::optional<QString> path = dialogs_->askOpenName(question);
    if (!path || path->isEmpty())
        return;
    try {
        showComparison(QFileInfo(*path).fileName(), readSetupFile(*path));
    } catch (const SetupFileError& e) {
        ui_.failure(QStringLiteral("The set-up file could not be read for the comparison."), e.message());
    }
}

void MainWindow::compareWithCard()
{
    if (session_->busy()) {
        ui_.message(QStringLiteral("The card is busy with a transfer; compare with it when the transfer has ended."));
        return;
    }
    comparingWithCard_ = true;
    holdOperationMessages();
    session_->compare();
}

QWidget* MainWindow::settingControl(Field field, QString* windowKey) const
{
    const FieldInfo& info = fieldInfo(field);
    for (const Window& w : windows_) {
        if (!w.form || w.form->objectName() != QLatin1String(info.window))
            continue;
        if (windowKey)
            *windowKey = w.key;
        return w.form->findChild<QWidget*>(QString::fromLatin1(info.name).section(u'.', 1));
    }
    return nullptr;
}

void MainWindow::showSetting(Field field)
{
    QString key;
    QWidget* control = settingControl(field, &key);
    if (key.isEmpty())
        return;
    showSettingsWindow(key);
    if (control) {
        activateWindow();
        control->setFocus(Qt::OtherFocusReason);
    }
}

// A window of its own opens beside the settings windows' controls, below the menu bar and the
// toolbar: at the right of the settings area, or below the strip the main window is restored
// to, shortened to the room there.
void MainWindow::placeBesideSettings(QWidget* other)
{
    const QRect screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    const QRect area(mdi_->mapToGlobal(QPoint(0, 0)), mdi_->size());
    QSize size = other->size().boundedTo(screen.size());
    const int margin = style()->pixelMetric(QStyle::PM_LayoutTopMargin);
    QPoint at;
    if (area.height() >= size.height()) {
        // Right of the controls of the settings window in front, narrowed to the room there,
        // and below its title bar, whose buttons stay in reach.
        int left = area.left();
        if (const QMdiSubWindow* front = mdi_->activeSubWindow(); front && front->isVisible()) {
            if (const auto* page = front->findChild<QWidget*>(QStringLiteral("page")))
                left = page->mapToGlobal(QPoint(page->width(), 0)).x() + margin;
        }
        const int room = area.right() - margin - left;
        size.setWidth(std::clamp(room, std::min(size.width(), other->minimumSizeHint().width()), size.width()));
        at = QPoint(area.right() - size.width() - margin,
                    area.top() + style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * margin);
    } else {
        at = QPoint(frameGeometry().left(), frameGeometry().bottom() + margin);
        const int frame = other->frameGeometry().height() - other->height(); // none until it is shown
        const int room = screen.bottom() - at.y() - std::max(frame, style()->pixelMetric(QStyle::PM_TitleBarHeight));
        size.setHeight(std::clamp(room, std::min(size.height(), other->minimumSizeHint().height()), size.height()));
    }
    at.setX(std::clamp(at.x(), screen.left(), screen.right() - size.width()));
    at.setY(std::clamp(at.y(), screen.top(), screen.bottom() - size.height()));
    other->resize(size);
    other->move(at);
}

// ---- the report ----------------------------------------------------------------------------

void MainWindow::exportReport()
{
    const bool differences = compare_ && compare_->isVisible() && sender() == compare_;
    const QString name = app_->currentFileName();
    const FileQuestion question{ReportFilter, 1, name + QStringLiteral(".pdf"), app_->storedFolder()};
    const std::optional<QString> path = dialogs_->askSaveName(question);
    if (!path || path->isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const QString html = differences
        ? differencesReportHtml(name, compare_->otherName(), compare_->comparison(), now)
        : setupReportHtml(name, comparedSetupOf(held_), now);
    const QString problem = writePdfReport(html, QStringLiteral("Quillon report: ") + name, *path);
    if (!problem.isEmpty()) {
        ui_.failure(QStringLiteral("The report could not be written."), problem);
        return;
    }
    ui_.status(2, QStringLiteral("Report %1 written").arg(QFileInfo(*path).fileName()));
}

} // namespace quillon
