#include "progressdialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace quillon {

namespace {

constexpr int StageCount = 4;

int stageNumber(TransferStage stage)
{
    switch (stage) {
    case TransferStage::LinkSetUp: return 1;
    case TransferStage::CardIdentified: return 2;
    case TransferStage::ImageTransferred: return 3;
    case TransferStage::FlashResult: return 4;
    }
    return 0;
}

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

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(label_);
    column->addWidget(bar_);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

QString ProgressDialog::stageText(TransferStage stage)
{
    switch (stage) {
    case TransferStage::LinkSetUp: return QStringLiteral("Connecting to the card");
    case TransferStage::CardIdentified: return QStringLiteral("Card identified");
    case TransferStage::ImageTransferred: return QStringLiteral("Set-up transferred");
    case TransferStage::FlashResult: return QStringLiteral("Card has written its flash memory");
    }
    return {};
}

void ProgressDialog::showForTransfer()
{
    label_->setText(QStringLiteral("Loading"));
    bar_->setValue(0);
    cancel_->show();
    adjustSize();
    centreOnScreen();
    show();
    raise();
}

void ProgressDialog::setStage(TransferStage stage)
{
    bar_->setValue(stageNumber(stage));
    label_->setText(stageText(stage));
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
