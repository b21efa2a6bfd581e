// SPDX-License-Identifier: GPL-3.0-or-later
#include "progressdialog.h"

#include <QGuiApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
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
    // One width for every stage, counter and failure text: the dialog does not change its size
    // as they change; a long text wraps.
    const int width = std::max(280, fontMetrics().averageCharWidth() * 46);

    label_ = new QLabel(stageText(1), this);
    label_->setObjectName(QStringLiteral("stageLabel"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progressBar"));
    bar_->setAccessibleName(QStringLiteral("Transfer progress"));
    bar_->setRange(0, StageCount);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::cancel);

    // The stages are text with a mark each, not check boxes: nothing in the list can be chosen.
    stageList_ = new QWidget(this);
    stageList_->setObjectName(QStringLiteral("stageList"));
    stageList_->setAccessibleName(QStringLiteral("Stages"));
    stageRows_ = new QGridLayout(stageList_);
    stageRows_->setContentsMargins(0, 0, 0, 0);
    stageRows_->setColumnStretch(1, 1);
    stageList_->hide();
    counters_ = new QLabel(this);
    counters_->setObjectName(QStringLiteral("countersLabel"));
    counters_->hide();
    elapsed_ = new QLabel(this);
    elapsed_->setObjectName(QStringLiteral("elapsedLabel"));
    elapsed_->hide();
    for (QLabel* text : {label_, counters_, elapsed_})
        text->setWordWrap(true);
    for (QWidget* part : {static_cast<QWidget*>(label_), static_cast<QWidget*>(bar_), stageList_,
                          static_cast<QWidget*>(counters_), static_cast<QWidget*>(elapsed_)})
        part->setFixedWidth(width);
    ticker_ = new QTimer(this);
    ticker_->setInterval(50);
    connect(ticker_, &QTimer::timeout, this, &ProgressDialog::tick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(stageList_);
    column->addWidget(label_);
    column->addWidget(bar_);
    column->addWidget(elapsed_);
    column->addWidget(counters_);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressDialog::showForTransfer()
{
    if (!inOperation_) {
        label_->setText(stageText(1));
        bar_->setValue(0);
    }
    cancel_->show();
    // The next connection of an operation finds the dialog where the operator left it.
    if (!isVisible()) {
        adjustSize();
        centreOnScreen();
    }
    show();
    raise();
}

QString ProgressDialog::stageText(int number)
{
    static const char* const texts[] = {"Connecting to the card", "Card identified", "Set-up transferred",
                                        "Card has written its flash memory"};
    return QString::fromLatin1(texts[std::clamp(number, 1, StageCount) - 1]);
}

void ProgressDialog::setStage(int number)
{
    if (!inOperation_) // an operation's bar follows the image frame instead
        bar_->setValue(std::clamp(number, 0, StageCount));
    label_->setText(stageText(number));
}

void ProgressDialog::showStage(Stage& stage, StageState state)
{
    stage.state = state;
    static const QString marks[] = {QString(), QStringLiteral("\u25B6"), QStringLiteral("\u2713")};
    static const QString words[] = {QStringLiteral("to come"), QStringLiteral("in progress"), QStringLiteral("done")};
    const int i = int(state);
    stage.mark->setText(marks[i]);
    stage.mark->setAccessibleName(words[i]);
    QFont font = stage.text->font();
    font.setBold(state == StageState::Running);
    stage.text->setFont(font);
}

void ProgressDialog::beginOperation(const QStringList& stages)
{
    inOperation_ = true;
    for (const Stage& stage : stages_) {
        delete stage.mark;
        delete stage.text;
    }
    stages_.clear();
    const int markWidth = fontMetrics().horizontalAdvance(QStringLiteral("\u2713\u25B6")) + 2;
    for (const QString& text : stages) {
        Stage stage{new QLabel(stageList_), new QLabel(text, stageList_), StageState::ToCome};
        stage.mark->setFixedWidth(markWidth);
        stage.mark->setAlignment(Qt::AlignCenter);
        const int row = int(stages_.size());
        stageRows_->addWidget(stage.mark, row, 0);
        stageRows_->addWidget(stage.text, row, 1);
        showStage(stage, StageState::ToCome);
        stages_.push_back(stage);
    }
    for (QWidget* part : {stageList_, static_cast<QWidget*>(counters_), static_cast<QWidget*>(elapsed_)})
        part->show();
    counters_->clear();
    frameStartMs_ = -1;
    busyStage_ = -1;
    bar_->setRange(0, 1);
    bar_->setValue(0);
    operationStartMs_ = QDateTime::currentMSecsSinceEpoch();
    ticker_->start();
    tick();
    showForTransfer();
}

void ProgressDialog::startStage(int index, bool busy)
{
    if (index >= 0 && index < int(stages_.size())) {
        showStage(stages_[index], StageState::Running);
        label_->setText(stages_[index].text->text());
    }
    frameStartMs_ = -1; // until the stage's image frame starts along the line
    busyStage_ = busy ? index : -1;
    bar_->setRange(0, busy ? 0 : 1); // a range of nothing: Qt's busy bar
    bar_->setValue(0);
}

void ProgressDialog::completeStage(int index)
{
    if (index >= 0 && index < int(stages_.size()))
        showStage(stages_[index], StageState::Done);
    if (index == busyStage_) {
        busyStage_ = -1;
        bar_->setRange(0, 1);
        bar_->setValue(1);
    }
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
    busyStage_ = -1;
    bar_->setRange(0, StageCount);
}

QStringList ProgressDialog::stageLines() const
{
    QStringList lines;
    for (const Stage& stage : stages_) {
        const char mark = stage.state == StageState::Done ? 'x' : stage.state == StageState::Running ? '>' : ' ';
        lines << QStringLiteral("[%1] ").arg(QLatin1Char(mark)) + stage.text->text();
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
