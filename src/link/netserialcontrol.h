// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netfailure.h"
#include "netportname.h"
#include "rfc2217session.h"
#include "serialcontrol.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpSocket;

namespace quillon {

// The serial control for a card's line on a serial server, over TCP: RFC 2217 (the program
// sets the line's speed and format) or a raw TCP pipe to a line set up at the server. Driven by
// the event loop alone: it never blocks and never waits in a loop. Every event is queued, so
// none is raised from inside one of its calls.
//
// Opening runs in the background (see SerialControl::portOpening): the name is looked up, the
// connection made (no answer within 2 s is a failure), then, for RFC 2217, binary mode and the
// COM-PORT option negotiated, the line set and checked, and both of the server's buffers
// purged (2 s more at most; a server that agreed to the option and left the line unset gets one
// more connection). A failure at any point is a NetFailure, with words.
class NetSerialControl : public QObject, public SerialControl {
    Q_OBJECT
public:
    static constexpr int AnswerLimitMs = 2000;
    static constexpr int LookupLimitMs = 5000;
    // Received bytes held for the reader at most; more is dropped, as a serial driver would.
    static constexpr int MaxInput = 64 * 1024;
    // Bytes written while the line is not ready yet, held at most.
    static constexpr int MaxHeld = 4 * 1024;
    // A server that lets the connection go at once (its line in use) is tried again so often.
    static constexpr int MaxInUseRetries = 6;
    static constexpr int InUseRetryMs = 200;

    explicit NetSerialControl(QObject* parent = nullptr);
    ~NetSerialControl() override;

    // The network port the next opening reaches ("rfc2217://rack3:4001").
    void setName(const QString& name) { name_ = name; }
    QString name() const { return name_; }

    void setCommPort(int port) override { commPort_ = port; }
    int commPort() const override { return commPort_; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override;
    bool portOpening() const override;
    int inBufferCount() const override { return int(input_.size()); }
    int outBufferCount() const override;
    QByteArray input(int maxBytes) override;
    void output(const QByteArray& bytes) override;
    void discardOutput() override;
    QString lastError() const override;
    void whenSent(std::function<void()> done) override;
    QString diagnose(int port) const override;
    QString settingsRefusal(const QString& settings) const override;
    double roundTripMs() const override;
    NetFailure netFailure() const override { return failure_; }

    // Why the last opening failed or the connection was lost; empty while all is well.
    const NetFailure& failure() const { return failure_; }
    // What the last opening found, for a probe.
    struct Findings {
        QString address;           // "127.0.0.1:4001", the address connected to
        double connectMs = 0;      // from the first connection attempt to the connection
        QString signature;         // the server's own name for itself (RFC 2217), when it gave one
        std::vector<double> answerTimesMs; // the server's answers to the settings, each
        std::optional<LineSettings> confirmed; // the line as the server confirmed it (RFC 2217)
    };
    Findings findings() const;

private:
    enum class Phase { Closed, AwaitingClose, Resolving, Connecting, Negotiating, Settling, Ready };

    void restartLater(int delayMs);
    void begin();
    void lookedUp(const QList<QHostAddress>& addresses, const QString& error);
    void connectNext();
    void connected();
    void readSocket();
    void acknowledgeAtOnce();
    void socketError();
    void socketClosed();
    void becomeReady();
    void fail(NetFailure::Kind kind, const QString& detail = {});
    void dropSocket(bool graceful, double atMs = 0);
    void release();
    void raise(int event);
    void write(const QByteArray& bytes);
    void checkDeadline();
    void armDeadline(qint64 atMs);
    void checkSent();
    bool lineIdle() const;
    double byteMs() const;
    double oneWayMs() const { return roundTripMs() / 2; }
    bool rfc2217() const { return parsed_ && parsed_->kind == NetPortName::Kind::Rfc2217; }
    bool flooded(qsizetype bytes);
    qint64 now() const { return elapsed_.elapsed(); }
    double preciseNow() const { return double(elapsed_.nsecsElapsed()) / 1e6; }

    QString name_;
    std::optional<NetPortName> parsed_;
    QString settings_ = QStringLiteral("9600,n,8,2");
    int commPort_ = 1;
    Phase phase_ = Phase::Closed;
    quint64 session_ = 0; // counts openings: a late event of an earlier one is dropped
    NetFailure failure_;
    QString lastError_;

    std::unique_ptr<QTcpSocket> socket_;
    std::unique_ptr<QTcpSocket> closing_; // the previous connection, still being let go
    QTimer releaseTimer_; // lets it go once what was written has had its line time
    double releaseAtMs_ = 0;
    std::unique_ptr<Rfc2217Session> rfc_;
    int lookupId_ = -1;
    QList<QHostAddress> addresses_;
    QString connectError_;
    QByteArray input_;
    QByteArray held_;
    QByteArray staleText_; // what a raw server said before it let go at once
    int inUseRetries_ = 0;
    bool unconfirmedRetried_ = false;

    QElapsedTimer elapsed_;
    QTimer deadline_;     // the limit of the phase, or of the oldest unanswered request
    qint64 deadlineAtMs_ = -1;
    double connectStartMs_ = 0;
    double connectMs_ = 0;
    double lineFreeAtMs_ = 0; // when the bytes written so far will have left the far line
    double floodTokens_ = 0;
    qint64 floodAtMs_ = 0;
    qint64 sentLimitAtMs_ = -1;
    std::vector<std::function<void()>> sentWaiters_;
    QTimer sentCheck_;
};

} // namespace quillon
