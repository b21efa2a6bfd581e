// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QElapsedTimer;
class QLabel;
class QListWidget;
class QTimer;
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
    // Stage 1 to 4 of a connection, the bar at its number when no operation's list shows.
    static constexpr int StageCount = 4;
    void setStage(int number, const QString& text);

    // A whole operation of several connections: its stages as a list ticked off as each
    // completes, the link's counters, the elapsed time; the link's hides between connections
    // are ignored until endOperation().
    void beginOperation(const QStringList& stages);
    void startStage(int index);
    void completeStage(int index);
    // The bar follows a frame of this many bytes through the line at this speed (11 bit times
    // a byte) from now on.
    void followFrame(int bytes, int baud);
    void setCounters(const QString& text);
    void endOperation();
    bool inOperation() const { return inOperation_; }
    QStringList stageLines() const; // "[x] Connecting", "[ ] Verifying", for tests and tools

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
    QListWidget* stages_ = nullptr;
    QLabel* counters_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QTimer* ticker_ = nullptr;
    qint64 operationStartMs_ = 0;
    qint64 frameStartMs_ = -1;
    int frameBytes_ = 0;
    int frameBaud_ = 9600;
    bool inOperation_ = false;
    void tick();
};

} // namespace quillon
