#pragma once

#include "simulatedcard.h"

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quillon::sim {

// Puts a SimulatedCard on the master side of a pseudo-terminal. The host opens the slave (or a
// symbolic link to it) as its serial port. The simulator keeps its own descriptor of the slave
// open, so the host's closing never ends the line, and reads the slave's settings to follow the
// speed the host set: bytes between a host and a card at different speeds arrive as 0xFF.
class PtyCard : public QObject {
public:
    explicit PtyCard(SimulatedCard& card, QObject* parent = nullptr);
    ~PtyCard() override;

    // Creates the pseudo-terminal and, when linkPath is not empty, a symbolic link to its slave.
    bool open(const QString& linkPath, QString* error);
    QString slaveName() const { return slaveName_; }
    QString linkPath() const { return linkPath_; }

    std::function<void(int baud)> onHostSpeedChanged;

private:
    struct HostSide {
        bool open = false;
        int baud = 9600;
    };
    HostSide hostSide();
    void readFromHost();
    void writeToHost(const QByteArray& bytes);
    void dropStaleOutput();

    SimulatedCard& card_;
    int master_ = -1;
    int slave_ = -1;
    QString slaveName_;
    QString linkPath_;
    QSocketNotifier* notifier_ = nullptr;
    int lastOpenBaud_ = 9600; // the host's speed when its port was last seen open
    int reportedBaud_ = 0;
};

} // namespace quillon::sim
