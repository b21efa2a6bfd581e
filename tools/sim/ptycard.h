// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "linemeter.h"
#include "simulatedcard.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace quillon::sim {

// Puts a SimulatedCard on the master side of a pseudo-terminal. The host opens the slave (or a
// symbolic link to it) as its serial port. The simulator keeps its own descriptor of the slave
// open, so the host's closing never ends the line, and reads the slave's settings to follow the
// speed the host set: bytes between a host and a card at different speeds arrive as 0xFF.
// Paced, the host's bytes take their line time to reach the card, one after the other, and
// a byte counts as sent at the host's speed only when that speed held for the byte's whole
// time on the line: a host that changes speed or closes its port (which restores the speed
// it found) before its bytes have left garbles them, as a real line would.
class PtyCard : public QObject {
public:
    explicit PtyCard(SimulatedCard& card, bool paced = true, QObject* parent = nullptr);
    ~PtyCard() override;

    // Creates the pseudo-terminal and, when linkPath is not empty, a symbolic link to its slave.
    bool open(const QString& linkPath, QString* error);
    QString slaveName() const { return slaveName_; }
    QString linkPath() const { return linkPath_; }

    std::function<void(int baud)> onHostSpeedChanged;
    std::function<void(const QString& line)> onNotice;
    // Times each connection against its line time.
    LineMeter meter;

private:
    struct HostSide {
        bool open = false;
        int baud = 9600;
    };
    HostSide hostSide();
    void readFromHost();
    void writeToHost(const QByteArray& bytes);
    void dropStaleOutput();
    void toCard(char byte, int sentBaud);
    void deliverDue();

    struct InboundByte {
        char byte;
        int baud;     // the host's speed when the byte went on the line
        double endMs; // when it has fully arrived
    };

    SimulatedCard& card_;
    int master_ = -1;
    int slave_ = -1;
    QString slaveName_;
    QString linkPath_;
    QSocketNotifier* notifier_ = nullptr;
    int reportedBaud_ = 0;
    bool paced_ = true;
    bool garbling_ = false;
    QElapsedTimer elapsed_;
    QTimer deliverTimer_;
    QList<InboundByte> inbound_;
    double hostLineFreeMs_ = 0;
};

} // namespace quillon::sim
