#pragma once

#include "setup/operatorui.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillon {

// "Progress (Please Wait)": shows how far a Get or Send has come, with a button to cancel it.
class ProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* parent = nullptr);

    // Starts over for a new transfer: an empty bar, the Cancel button offered again, the
    // dialog centred on the screen and shown without holding up the rest of the program.
    void showForTransfer();
    void setStage(TransferStage stage);

    static QString stageText(TransferStage stage);

public Q_SLOTS:
    // Escape and the window's close button count as Cancel while it is offered.
    void reject() override;

Q_SIGNALS:
    void cancelClicked();

private:
    void cancel();
    void centreOnScreen();

    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace quillon
