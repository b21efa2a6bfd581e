// SPDX-License-Identifier: GPL-3.0-or-later
#include "progressdialog.h"

#include <QGuiApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon {

namespace {

} // namespace

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("progressDialog"));
    setWindowTitle(QStringLiteral("Progress (Please Wait)"));
    setModal(false);

    label_ = new QLabel(QStringLiteral("Loading"), this);
    label_->setObjectName(QStringLiteral("stageLabel"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progressBar"));
    bar_->setRange(0, StageCount);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(280);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::cancel);

    stages_ = new QListWidget(this);
    stages_->setObjectName(QStringLiteral("stageList"));
    stages_->setSelectionMode(QAbstractItemView::NoSelection);
    stages_->setFocusPolicy(Qt::NoFocus);
    stages_->hide();
    counters_ = new QLabel(this);
    counters_->setObjectName(QStringLiteral("countersLabel"));
    counters_->hide();
    elapsed_ = new QLabel(this);
    elapsed_->setObjectName(QStringLiteral("elapsedLabel"));
    elapsed_->hide();
    ticker_ = new QTimer(this);
    ticker_->setInterval(50);
    connect(ticker_, &QTimer::timeout, this, &ProgressDialog::tick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(stages_);
    column->addWidget(label_);
    column->addWidget(bar_);
    column->addWidget(elapsed_);
    column->addWidget(counters_);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressDialog::showForTransfer()
{
    label_->setText(QStringLiteral("Loading"));
    if (!inOperation_)
        bar_->setValue(0);
    cancel_->show();
    adjustSize();
    centreOnScreen();
    show();
    raise();
}

void ProgressDialog::setStage(int number, const QString& text)
{
    if (!inOperation_) // an operation's bar follows the image frame instead
        bar_->setValue(std::clamp(number, 0, StageCount));
    label_->setText(text);
}

void ProgressDialog::beginOperation(const QStringList& stages)
{
    inOperation_ = true;
    stages_->clear();
    for (const QString& stage : stages) {
        auto* item = new QListWidgetItem(stage, stages_);
        item->setFlags(Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
    }
    stages_->setFixedHeight(stages_->sizeHintForRow(0) * int(stages.size()) + 2 * stages_->frameWidth());
    for (QWidget* part : {static_cast<QWidget*>(stages_), static_cast<QWidget*>(counters_), static_cast<QWidget*>(elapsed_)})
        part->show();
    counters_->clear();
    frameStartMs_ = -1;
    bar_->setRange(0, 1);
    bar_->setValue(0);
    operationStartMs_ = QDateTime::currentMSecsSinceEpoch();
    ticker_->start();
    tick();
    showForTransfer();
}

void ProgressDialog::startStage(int index)
{
    if (QListWidgetItem* item = stages_->item(index)) {
        item->setCheckState(Qt::PartiallyChecked);
        label_->setText(item->text());
    }
    frameStartMs_ = -1; // until the stage's image frame starts along the line
    bar_->setValue(0);
}

void ProgressDialog::completeStage(int index)
{
    if (QListWidgetItem* item = stages_->item(index))
        item->setCheckState(Qt::Checked);
}

void ProgressDialog::followFrame(int bytes, int baud)
{
    frameBytes_ = std::max(1, bytes);
    frameBaud_ = std::max(1, baud);
    frameStartMs_ = QDateTime::currentMSecsSinceEpoch();
    bar_->setRange(0, frameBytes_);
    bar_->setValue(0);
}

void ProgressDialog::setCounters(const QString& text) { counters_->setText(text); }

void ProgressDialog::endOperation()
{
    inOperation_ = false;
    ticker_->stop();
    bar_->setRange(0, StageCount);
}

QStringList ProgressDialog::stageLines() const
{
    QStringList lines;
    for (int i = 0; i < stages_->count(); ++i) {
        const Qt::CheckState state = stages_->item(i)->checkState();
        lines << QStringLiteral("[%1] ").arg(QLatin1Char(state == Qt::Checked ? 'x' : state == Qt::PartiallyChecked ? '>' : ' '))
                     + stages_->item(i)->text();
    }
    return lines;
}

void ProgressDialog::tick()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    elapsed_->setText(QStringLiteral("Elapsed: %1 s").arg(double(now - operationStartMs_) / 1000.0, 0, 'f', 1));
    if (frameStartMs_ >= 0) {
        const qint64 bytesOnLine = (now - frameStartMs_) * frameBaud_ / 11 / 1000;
        bar_->setValue(int(std::min<qint64>(bytesOnLine, frameBytes_)));
    }
}

void ProgressDialog::centreOnScreen()
{
    const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target)
        return;
    const QRect area = target->geometry();
    const QSize size = frameGeometry().size().expandedTo(sizeHint());
    move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void ProgressDialog::cancel()
{
    // Hidden before anyone hears of it, so a second press cannot follow while the transfer is
    // being ended.
    if (!cancel_->isVisibleTo(this))
        return;
    cancel_->hide();
    hide();
    Q_EMIT cancelClicked();
}

void ProgressDialog::reject()
{
    if (cancel_->isVisibleTo(this))
        cancel();
    else
        hide();
}

} // namespace quillon
