// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serialcontrol.h"
#include "virtualclock.h"
#include "simulatedcard.h"

#include <QList>
#include <deque>
#include <set>

namespace quillon::sim {

// A serial control joined by a virtual line to a SimulatedCard, on virtual time. Each byte takes
// its line time (11 bits at the sender's baud) to arrive, one after the other, each a receive
// event of its own, so a frame spreads over time as on a cable; bytes that arrive at a receiver set to
// another speed arrive as 0xFF. Events are delivered on the clock, never inside a call.
class VirtualSerialLine : public SerialControl {
public:
    struct Transfer {
        qint64 sentMs = 0;
        bool fromHost = false;
        QByteArray bytes;   // as sent
        int baud = 0;       // the sender's speed
        bool garbled = false;
        bool lost = false;  // the host's port was closed when they arrived
    };

    // The card is joined to cardPort; openablePorts lists every port that opens.
    VirtualSerialLine(VirtualClock& clock, SimulatedCard& card, int cardPort = 1,
                      std::set<int> openablePorts = {1});
    ~VirtualSerialLine() override;

    void setOpenablePorts(std::set<int> ports) { openable_ = std::move(ports); }
    // The card's device disappears: an open port on it closes and a receive event follows;
    // it cannot be opened again.
    void unplug();
    // The platform reports a write that timed out.
    void raiseWriteTimeout();

    int hostBaud() const { return baudOfSettings(settings_); }
    const QList<Transfer>& log() const { return log_; }
    QByteArray sentByHost() const;
    QByteArray sentByCard() const;
    int openings() const { return openings_; }

    // SerialControl
    void setCommPort(int port) override { commPort_ = port; }
    int commPort() const override { return commPort_; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return open_; }
    int inBufferCount() const override { return static_cast<int>(inBuffer_.size()); }
    int outBufferCount() const override { return static_cast<int>(pendingStartsMs_.size()); }
    QByteArray input(int maxBytes) override;
    void output(const QByteArray& bytes) override;
    void discardOutput() override;
    QString lastError() const override { return lastError_; }
    void whenSent(std::function<void()> done) override;

private:
    bool joinedToCard() const { return open_ && openPort_ == cardPort_; }
    void fromCard(const QByteArray& bytes);
    qint64 occupyLine(double& freeAtMs, qsizetype bytes, int baud);

    VirtualClock& clock_;
    SimulatedCard& card_;
    int cardPort_;
    std::set<int> openable_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    int commPort_ = 1;
    int openPort_ = 0;
    QString settings_ = QStringLiteral("9600,n,8,1");
    QString lastError_;
    bool open_ = false;
    int openings_ = 0;
    QByteArray inBuffer_;
    std::deque<double> pendingStartsMs_; // when each byte of the host not yet arrived starts along the line
    QList<double> discardedAtMs_;        // by output generation: when its bytes not yet started were dropped
    double hostLineFreeMs_ = 0;
    double cardLineFreeMs_ = 0;
    QList<Transfer> log_;
};

} // namespace quillon::sim
