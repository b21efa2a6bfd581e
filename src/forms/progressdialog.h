// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <vector>

class QGridLayout;
class QLabel;
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
    // dialog centred on the screen and shown without holding up the rest of the program. Within
    // an operation the next connection keeps the dialog where it is, as it is.
    void showForTransfer();
    // Stage 1 to 4 of a connection (link set up, card identified, set-up transferred, flash
    // written): its text, and the bar at its number when no operation's list shows.
    static constexpr int StageCount = 4;
    void setStage(int number);
    static QString stageText(int number);

    // A whole operation of several connections: its stages as a list marked off as each
    // completes, the link's counters, the elapsed time; the link's hides between connections
    // are ignored until endOperation().
    void beginOperation(const QStringList& stages);
    // busy: nothing tells how far the stage has come (the card writing its flash); the bar runs
    // without an end until the stage completes.
    void startStage(int index, bool busy = false);
    void completeStage(int index);
    // The bar follows a frame of this many bytes through the line at this speed (11 bit times
    // a byte) from now on.
    void followFrame(int bytes, int baud);
    void setCounters(const QString& text);
    void endOperation();
    bool inOperation() const { return inOperation_; }
    QStringList stageLines() const; // "[x] Connecting", "[>] Sending", "[ ] Verifying", for tests and tools

public Q_SLOTS:
    // Escape and the window's close button count as Cancel while it is offered.
    void reject() override;

Q_SIGNALS:
    void cancelClicked();

private:
    enum class StageState { ToCome, Running, Done };
    struct Stage {
        QLabel* mark;
        QLabel* text;
        StageState state;
    };
    void cancel();
    void centreOnScreen();
    void showStage(Stage& stage, StageState state);
    void tick();

    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QWidget* stageList_ = nullptr;
    QGridLayout* stageRows_ = nullptr;
    std::vector<Stage> stages_;
    QLabel* counters_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QTimer* ticker_ = nullptr;
    qint64 operationStartMs_ = 0;
    qint64 frameStartMs_ = -1;
    int frameBytes_ = 0;
    int frameBaud_ = 9600;
    int busyStage_ = -1;
    bool inOperation_ = false;
};

} // namespace quillon
