// SPDX-License-Identifier: GPL-3.0-or-later
#include "netserialcontrol.h"

#include <QHostInfo>
#include <QMetaObject>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cmath>

#if defined(Q_OS_LINUX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace quillon {

namespace {

const QString FixedLine = QStringLiteral("9600,n,8,2");
// Bytes past their line time get this much more before the line counts as idle.
constexpr int SettleMs = 5;
// A line that has not sent everything by its bytes' line time plus this is given up on.
constexpr int SentMarginMs = 500;
// A raw server that lets go within this time after the connection (at least) refused it.
constexpr int RawSettleMs = 250;
// The flood limit: a burst this large, then twice what the line can carry.
constexpr double FloodBurst = 16 * 1024;

QString printable(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes.left(80))
        text += (c >= 0x20 && c < 0x7F) ? QLatin1Char(c) : QLatin1Char(' ');
    return text.simplified();
}

} // namespace

NetSerialControl::NetSerialControl(QObject* parent) : QObject(parent)
{
    elapsed_.start();
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, [this] { checkDeadline(); });
    sentCheck_.setSingleShot(true);
    sentCheck_.setTimerType(Qt::PreciseTimer);
    connect(&sentCheck_, &QTimer::timeout, this, [this] { checkSent(); });
    releaseTimer_.setSingleShot(true);
    releaseTimer_.setTimerType(Qt::PreciseTimer);
    connect(&releaseTimer_, &QTimer::timeout, this, [this] { release(); });
}

NetSerialControl::~NetSerialControl()
{
    onComm = nullptr;
    onOutputDrained = nullptr;
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    // Nothing runs after this (the program is ending): as the serial control does, the bytes
    // still owed their line time (the closing SYN at 1200 baud) get it before the connection
    // goes, for the server restores the line's settings when it lets the line go.
    if (closing_ && releaseTimer_.isActive()) {
        closing_->flush();
        const double owed = releaseAtMs_ - preciseNow();
        if (owed > 0)
            QThread::msleep(static_cast<unsigned long>(std::ceil(owed)));
    }
    for (auto* s : {socket_.get(), closing_.get()}) {
        if (s) {
            s->disconnect(this);
            s->disconnectFromHost();
        }
    }
}

// ---------------------------------------------------------------- settings

void NetSerialControl::setSettings(const QString& settings)
{
    const auto line = parseLineSettings(settings);
    if (!line)
        return; // a text the line cannot take leaves the settings as they were
    settings_ = settings;
    if (!rfc_ || !portOpen())
        return; // the next opening starts at these settings
    const QByteArray commands = rfc_->setLine(*line, preciseNow());
    if (!commands.isEmpty()) {
        write(commands);
        armDeadline(qint64(*rfc_->oldestRequestMs()) + AnswerLimitMs);
    }
}

QString NetSerialControl::settingsRefusal(const QString& settings) const
{
    const auto parsed = parsed_ ? parsed_ : parseNetPortName(name_);
    if (!parsed || parsed->kind != NetPortName::Kind::RawTcp || sameSettings(settings, FixedLine))
        return {};
    const QString line = QString::number(baudOfSettings(settings));
    NetPortName rfc = *parsed;
    rfc.kind = NetPortName::Kind::Rfc2217;
    return QStringLiteral("%1 is a raw TCP connection: the line's speed is set at the server, and cannot be switched "
                          "to %2 baud as an AVM card needs. Use %3, with RFC 2217 enabled on that port of the "
                          "server.").arg(parsed->text(), line, rfc.text());
}

double NetSerialControl::roundTripMs() const
{
    if (rfc_) {
        if (const auto measured = rfc_->roundTripMs())
            return *measured;
    }
    return connectMs_;
}

// ---------------------------------------------------------------- opening and closing

bool NetSerialControl::portOpen() const
{
    return phase_ != Phase::Closed;
}

bool NetSerialControl::portOpening() const
{
    return portOpen() && phase_ != Phase::Ready;
}

QString NetSerialControl::lastError() const
{
    return lastError_;
}

QString NetSerialControl::diagnose(int port) const
{
    (void)port;
    return netFailureAdvice(failure_, name_);
}

bool NetSerialControl::setPortOpen(bool open)
{
    if (!open) {
        if (phase_ == Phase::Ready) {
            // What was written still leaves the far line at its speed before the connection
            // goes; a next opening waits for that.
            dropSocket(true, std::min(lineFreeAtMs_ + SettleMs, preciseNow() + SentMarginMs + oneWayMs() + 1000));
        } else if (phase_ != Phase::Closed) {
            if (lookupId_ >= 0)
                QHostInfo::abortHostLookup(std::exchange(lookupId_, -1));
            dropSocket(false);
        }
        phase_ = Phase::Closed;
        deadline_.stop();
        held_.clear();
        input_.clear();
        if (!sentWaiters_.empty())
            sentCheck_.start(0);
        return true;
    }
    if (portOpen())
        return true;
    ++session_;
    failure_ = {};
    lastError_.clear();
    QString error;
    parsed_ = parseNetPortName(name_, &error);
    if (!parsed_) {
        fail(NetFailure::Kind::BadName, error);
        return false;
    }
    held_.clear();
    inUseRetries_ = 0;
    unconfirmedRetried_ = false;
    // Nothing touches the network before the caller is back: an opening closed at once (the
    // ports probed at start-up) never reaches the server.
    restartLater(0);
    return true;
}

void NetSerialControl::restartLater(int delayMs)
{
    input_.clear();
    staleText_.clear();
    connectMs_ = 0;
    lineFreeAtMs_ = 0;
    floodTokens_ = FloodBurst;
    floodAtMs_ = now();
    const auto line = parseLineSettings(settings_);
    rfc_ = rfc2217() ? std::make_unique<Rfc2217Session>(line.value_or(LineSettings{9600, 'n', 8, 2})) : nullptr;
    phase_ = Phase::AwaitingClose;
    const quint64 session = session_;
    QTimer::singleShot(delayMs, this, [this, session] {
        if (session == session_ && phase_ == Phase::AwaitingClose)
            begin();
    });
}

// A server that takes one client per line refuses the next connection until it has let the
// previous one go: wait for that first.
void NetSerialControl::begin()
{
    if (closing_ && closing_->state() != QAbstractSocket::UnconnectedState) {
        armDeadline(qint64(std::ceil(std::max(releaseAtMs_, preciseNow()))) + AnswerLimitMs);
        return; // disconnected() or the deadline comes back here
    }
    if (closing_)
        closing_.release()->deleteLater();
    phase_ = Phase::Resolving;
    const QHostAddress literal(parsed_->host);
    if (!literal.isNull()) {
        lookedUp({literal}, {});
        return;
    }
    armDeadline(now() + LookupLimitMs);
    const quint64 session = session_;
    lookupId_ = QHostInfo::lookupHost(parsed_->host, this, [this, session](const QHostInfo& info) {
        if (session != session_ || phase_ != Phase::Resolving)
            return;
        lookupId_ = -1;
        lookedUp(info.addresses(), info.error() == QHostInfo::NoError ? QString() : info.errorString());
    });
}

void NetSerialControl::lookedUp(const QList<QHostAddress>& addresses, const QString& error)
{
    if (addresses.isEmpty()) {
        fail(NetFailure::Kind::NameNotFound, error);
        return;
    }
    addresses_ = addresses;
    phase_ = Phase::Connecting;
    connectStartMs_ = preciseNow();
    armDeadline(now() + AnswerLimitMs);
    connectNext();
}

void NetSerialControl::connectNext()
{
    dropSocket(false);
    if (addresses_.isEmpty()) {
        fail(NetFailure::Kind::ConnectionRefused, connectError_);
        return;
    }
    socket_ = std::make_unique<QTcpSocket>();
    socket_->setReadBufferSize(MaxInput);
    QTcpSocket* s = socket_.get();
    const quint64 session = session_;
    connect(s, &QTcpSocket::connected, this, [this, s, session] {
        if (session == session_ && s == socket_.get())
            connected();
    });
    connect(s, &QTcpSocket::readyRead, this, [this, s, session] {
        if (session == session_ && s == socket_.get())
            readSocket();
    });
    connect(s, &QTcpSocket::errorOccurred, this, [this, s, session] {
        if (session == session_ && s == socket_.get())
            socketError();
    });
    connect(s, &QTcpSocket::disconnected, this, [this, s, session] {
        if (session == session_ && s == socket_.get())
            socketClosed();
    });
    connect(s, &QTcpSocket::bytesWritten, this, [this, s] {
        if (s != socket_.get() || phase_ != Phase::Ready || s->bytesToWrite() > 0)
            return;
        QMetaObject::invokeMethod(this, [this] {
            if (phase_ == Phase::Ready && socket_ && socket_->bytesToWrite() == 0 && held_.isEmpty() && onOutputDrained)
                onOutputDrained();
        }, Qt::QueuedConnection);
    });
    s->connectToHost(addresses_.takeFirst(), parsed_->port);
}

void NetSerialControl::connected()
{
    connectMs_ = preciseNow() - connectStartMs_;
    // Frames go out as they are written, not when the previous one has been acknowledged.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    acknowledgeAtOnce();
    if (rfc_) {
        phase_ = Phase::Negotiating;
        armDeadline(now() + AnswerLimitMs);
        socket_->write(rfc_->start(preciseNow()));
        readSocket();
        return;
    }
    // A raw server that refuses a client (its line in use) says so and lets go at once: the
    // line counts as ready only once that time has passed.
    phase_ = Phase::Settling;
    armDeadline(now() + std::max<qint64>(RawSettleMs, qint64(std::ceil(2 * connectMs_))));
    readSocket();
}

void NetSerialControl::becomeReady()
{
    phase_ = Phase::Ready;
    deadline_.stop();
    deadlineAtMs_ = -1;
    raise(OpeningEnded);
    if (!held_.isEmpty())
        write(std::exchange(held_, {}));
    if (!input_.isEmpty())
        raise(DataReceived);
}

void NetSerialControl::fail(NetFailure::Kind kind, const QString& detail)
{
    const bool wasOpening = portOpening();
    const bool wasOpen = phase_ == Phase::Ready;
    failure_ = {kind, detail};
    lastError_ = netFailureSummary(failure_, name_);
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(std::exchange(lookupId_, -1));
    // In order, where the connection still stands: the server lets the line go before the next
    // opening reaches it (which waits for that).
    dropSocket(true);
    phase_ = Phase::Closed;
    deadline_.stop();
    held_.clear();
    if (wasOpening)
        raise(OpeningEnded);
    else if (wasOpen)
        raise(DataReceived); // closed by itself: the reader looks again and finds it closed
    if (!sentWaiters_.empty())
        sentCheck_.start(0);
}

// Sockets are let go with deleteLater: this may run inside one of the socket's own signals.
// Graceful: at atMs (or at once), what is queued, then the end of the stream; the server closes
// its side once it has let the line go, and a next opening waits for that.
void NetSerialControl::dropSocket(bool graceful, double atMs)
{
    if (!socket_)
        return;
    QTcpSocket* s = socket_.release();
    s->disconnect(this);
    if (!graceful || s->state() != QAbstractSocket::ConnectedState) {
        s->abort();
        s->deleteLater();
        return;
    }
    if (closing_) {
        closing_->abort();
        closing_.release()->deleteLater();
    }
    closing_.reset(s);
    connect(s, &QTcpSocket::disconnected, this, [this, s] {
        if (s != closing_.get())
            return;
        closing_.release()->deleteLater();
        if (phase_ == Phase::AwaitingClose)
            begin();
    });
    releaseAtMs_ = atMs;
    releaseTimer_.start(int(std::max<double>(0, std::ceil(atMs - preciseNow()))));
}

void NetSerialControl::release()
{
    if (closing_)
        closing_->disconnectFromHost();
}

// ---------------------------------------------------------------- the connection's events

// A server that holds back small writes until the last one is acknowledged (Nagle's algorithm,
// as ser2net's TCP port does unless told "nodelay") would wait for this side's delayed
// acknowledgement, up to 40 ms, in the middle of each frame from the card: acknowledge at once.
void NetSerialControl::acknowledgeAtOnce()
{
#if defined(Q_OS_LINUX)
    if (!socket_ || socket_->socketDescriptor() < 0)
        return;
    const int on = 1;
    ::setsockopt(int(socket_->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
}

void NetSerialControl::readSocket()
{
    acknowledgeAtOnce();
    while (socket_ && socket_->bytesAvailable() > 0) {
        const QByteArray chunk = socket_->read(4096);
        if (chunk.isEmpty())
            break;
        if (flooded(chunk.size()))
            return;
        QByteArray data;
        if (rfc_) {
            QByteArray reply;
            rfc_->receive(chunk, preciseNow(), data, reply);
            if (!reply.isEmpty())
                socket_->write(reply);
            if (rfc_->state() == Rfc2217Session::State::Failed) {
                const NetFailure f = rfc_->failure();
                fail(f.kind, f.detail);
                return;
            }
        } else {
            data = chunk;
            if (phase_ == Phase::Settling && staleText_.size() < 80)
                staleText_ += chunk.left(80 - staleText_.size());
            // A Telnet server opens with its negotiation (IAC WILL, DO ...), which a card never sends.
            if (phase_ == Phase::Settling && staleText_.size() >= 2 && quint8(staleText_.at(0)) == telnet::Iac
                && quint8(staleText_.at(1)) >= telnet::Will) {
                fail(NetFailure::Kind::SpeaksTelnet);
                return;
            }
        }
        if (input_.size() + data.size() > MaxInput) {
            data.truncate(std::max<qsizetype>(0, MaxInput - input_.size()));
            raise(ReceiveOverflow);
        }
        input_ += data;
        if (phase_ == Phase::Negotiating && rfc_->state() == Rfc2217Session::State::Ready) {
            becomeReady();
            continue;
        }
        if (phase_ == Phase::Negotiating && rfc_->state() == Rfc2217Session::State::Configuring)
            armDeadline(qint64(*rfc_->oldestRequestMs()) + AnswerLimitMs);
        if (phase_ == Phase::Ready && !data.isEmpty())
            raise(DataReceived);
    }
    if (phase_ == Phase::Ready && rfc_ && !rfc_->oldestRequestMs())
        deadline_.stop();
}

// More than a serial line at its speed can carry, beyond a burst: not a card's line.
bool NetSerialControl::flooded(qsizetype bytes)
{
    const double perMs = 2.0 / byteMs();
    floodTokens_ = std::min(FloodBurst, floodTokens_ + double(now() - floodAtMs_) * perMs);
    floodAtMs_ = now();
    floodTokens_ -= double(bytes);
    if (floodTokens_ >= 0)
        return false;
    fail(NetFailure::Kind::Flood, QStringLiteral("over %1 bytes at once at %2 baud")
             .arg(QString::number(int(FloodBurst)), QString::number(baudOfSettings(settings_))));
    return true;
}

void NetSerialControl::socketError()
{
    const QAbstractSocket::SocketError error = socket_->error();
    const QString text = socket_->errorString();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        socketClosed();
        return;
    }
    if (phase_ == Phase::Connecting) {
        if (error == QAbstractSocket::ConnectionRefusedError) {
            connectError_ = text;
            connectNext(); // the name's next address, if it has one
        } else {
            fail(NetFailure::Kind::NoAnswer, text);
        }
        return;
    }
    fail(portOpening() ? NetFailure::Kind::ClosedAtOnce : NetFailure::Kind::Dropped, text);
}

void NetSerialControl::socketClosed()
{
    readSocket(); // what the server said before it let go
    if (!socket_)
        return;
    if (phase_ == Phase::Negotiating || phase_ == Phase::Settling || phase_ == Phase::Connecting) {
        // The line in use may be a connection that just ended (this program's last one, or
        // another's), which the server lets go a little after the connection: try again for a
        // while before saying so.
        if (inUseRetries_ < MaxInUseRetries) {
            ++inUseRetries_;
            dropSocket(false);
            restartLater(InUseRetryMs);
            return;
        }
        const QString said = printable(rfc_ ? rfc_->staleData() : staleText_);
        fail(NetFailure::Kind::ClosedAtOnce, said);
        return;
    }
    if (phase_ == Phase::Ready)
        fail(NetFailure::Kind::Dropped, QStringLiteral("the server closed it"));
}

// The limit of the phase under way, or of the oldest request the server has not answered.
void NetSerialControl::armDeadline(qint64 atMs)
{
    deadlineAtMs_ = atMs;
    deadline_.start(int(std::max<qint64>(0, atMs - now())));
}

void NetSerialControl::checkDeadline()
{
    if (deadlineAtMs_ >= 0 && now() < deadlineAtMs_) {
        deadline_.start(int(deadlineAtMs_ - now()));
        return;
    }
    switch (phase_) {
    case Phase::AwaitingClose:
        if (closing_) {
            closing_->abort();
            closing_.release()->deleteLater();
        }
        begin();
        return;
    case Phase::Resolving:
        fail(NetFailure::Kind::NameNotFound, QStringLiteral("no answer from the name service within %1 s")
                 .arg(LookupLimitMs / 1000));
        return;
    case Phase::Connecting:
        fail(NetFailure::Kind::NoAnswer);
        return;
    case Phase::Settling:
        becomeReady();
        return;
    case Phase::Negotiating:
        if (rfc_->state() == Rfc2217Session::State::Negotiating)
            fail(NetFailure::Kind::Rfc2217Refused, QStringLiteral("no answer to the RFC 2217 negotiation within 2 s: "
                                                                  "the port speaks raw TCP or plain Telnet"));
        else if (!unconfirmedRetried_) {
            // A server may leave a connection that reached it while the line's previous client
            // was being let go with its options agreed and the line never set (ser2net 4.6
            // does): one more connection, once that one has gone, is answered.
            unconfirmedRetried_ = true;
            dropSocket(false);
            restartLater(InUseRetryMs);
        } else
            fail(NetFailure::Kind::NotConfirmed, rfc_->oldestRequestText());
        return;
    case Phase::Ready:
        if (rfc_ && rfc_->oldestRequestMs() && preciseNow() - *rfc_->oldestRequestMs() >= AnswerLimitMs)
            fail(NetFailure::Kind::NotConfirmed, rfc_->oldestRequestText());
        else if (rfc_ && rfc_->oldestRequestMs())
            armDeadline(qint64(*rfc_->oldestRequestMs()) + AnswerLimitMs);
        return;
    case Phase::Closed:
        return;
    }
}

void NetSerialControl::raise(int event)
{
    const quint64 session = session_;
    QMetaObject::invokeMethod(this, [this, event, session] {
        if (session == session_ && onComm)
            onComm(event);
    }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------- data

QByteArray NetSerialControl::input(int maxBytes)
{
    if (maxBytes <= 0)
        return {};
    const QByteArray out = input_.left(maxBytes);
    input_.remove(0, out.size());
    return out;
}

int NetSerialControl::outBufferCount() const
{
    if (!portOpen())
        return 0;
    return int(held_.size() + (socket_ ? socket_->bytesToWrite() : 0));
}

void NetSerialControl::output(const QByteArray& bytes)
{
    if (!portOpen())
        return;
    if (phase_ != Phase::Ready) {
        held_ += bytes.left(MaxHeld - held_.size());
        return;
    }
    write(rfc_ ? Rfc2217Session::encode(bytes) : bytes);
    // The bytes reach the server after the one-way delay, then take their time on its line.
    const double arrival = preciseNow() + oneWayMs();
    lineFreeAtMs_ = std::max(lineFreeAtMs_, arrival) + double(bytes.size()) * byteMs();
}

void NetSerialControl::write(const QByteArray& bytes)
{
    if (!socket_ || bytes.isEmpty())
        return;
    socket_->write(bytes);
    socket_->flush(); // to the system now: the line time counted starts here
}

void NetSerialControl::discardOutput()
{
    held_.clear();
    if (phase_ == Phase::Ready && rfc_) {
        write(rfc_->purge(preciseNow()));
        armDeadline(qint64(*rfc_->oldestRequestMs()) + AnswerLimitMs);
    }
}

double NetSerialControl::byteMs() const
{
    return 11000.0 / std::max(1, baudOfSettings(settings_));
}

// ---------------------------------------------------------------- waits for sent output

bool NetSerialControl::lineIdle() const
{
    if (phase_ != Phase::Ready)
        return !portOpening(); // held bytes go once the line is ready; a closed port sends nothing
    return (!socket_ || socket_->bytesToWrite() == 0) && preciseNow() >= lineFreeAtMs_ + SettleMs;
}

void NetSerialControl::whenSent(std::function<void()> done)
{
    const qint64 base = std::max<qint64>(now(), qint64(std::ceil(lineFreeAtMs_)));
    const qint64 opening = portOpening() ? 2 * AnswerLimitMs + LookupLimitMs : 0;
    sentLimitAtMs_ = std::max(sentLimitAtMs_, base + opening + SentMarginMs);
    sentWaiters_.push_back(std::move(done));
    sentCheck_.start(0);
}

void NetSerialControl::checkSent()
{
    if (sentWaiters_.empty())
        return;
    if (!lineIdle() && now() < sentLimitAtMs_) {
        const qint64 due = qint64(std::ceil(lineFreeAtMs_ + SettleMs)) - now();
        sentCheck_.start(int(std::clamp<qint64>(due, 1, std::max<qint64>(1, sentLimitAtMs_ - now()))));
        return;
    }
    sentLimitAtMs_ = -1;
    for (auto& done : std::exchange(sentWaiters_, {}))
        done();
}

NetSerialControl::Findings NetSerialControl::findings() const
{
    Findings f;
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState) {
        const QHostAddress peer = socket_->peerAddress();
        f.address = (peer.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2")
                                                                       : QStringLiteral("%1:%2"))
                        .arg(peer.toString(), QString::number(socket_->peerPort()));
    }
    f.connectMs = connectMs_;
    if (rfc_) {
        f.signature = rfc_->signature();
        f.answerTimesMs = rfc_->answerTimesMs();
        if (rfc_->state() == Rfc2217Session::State::Ready)
            f.confirmed = rfc_->confirmed();
    }
    return f;
}

} // namespace quillon
