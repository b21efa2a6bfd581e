// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A real serial server (ser2net) in front of a pseudo-terminal, started by the test on a free
// TCP port, and servers of the test's own that misbehave.

#include "support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

#include <array>
#include <functional>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace nettest {

using testsupport::waitFor;

// A TCP port nothing listens on now.
inline quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Whether something listens on 127.0.0.1:port (read from /proc, so that looking does not
// start a session at the server).
inline bool listening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = QByteArray(":") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0') + " ";
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && (fields[1] + ' ').endsWith(wanted) && fields[3] == "0A")
            return true;
    }
    return false;
}

// A port whose queue of connections is full: the system drops the next client's connection
// request without an answer, as a host behind a firewall that drops packets.
class SilentListener {
public:
    SilentListener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 0) != 0
            || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port = ntohs(address.sin_port);
        for (auto& filler : fillers_) {
            filler = std::make_unique<QTcpSocket>();
            filler->connectToHost(QHostAddress::LocalHost, port);
        }
        waitFor([] { return false; }, 200); // the queue fills
    }
    ~SilentListener()
    {
        fillers_ = {};
        if (fd_ >= 0)
            ::close(fd_);
    }
    quint16 port = 0;

private:
    int fd_ = -1;
    std::array<std::unique_ptr<QTcpSocket>, 3> fillers_;
};

// A pseudo-terminal: the test plays the card on the master side; the server opens the slave.
class TestLine {
public:
    TestLine()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master_));
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        if (!slave.isEmpty())
            slaveFd_ = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        // Raw, at a speed and format neither the server's configuration nor the card uses.
        termios tio{};
        ::tcgetattr(slaveFd_, &tio);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B4800);
        ::cfsetospeed(&tio, B4800);
        ::tcsetattr(slaveFd_, TCSANOW, &tio);
    }
    ~TestLine()
    {
        if (master_ >= 0)
            ::close(master_);
        if (slaveFd_ >= 0)
            ::close(slaveFd_);
    }
    bool ok() const { return master_ >= 0 && slaveFd_ >= 0; }
    void send(const QByteArray& bytes) { (void)!::write(master_, bytes.constData(), size_t(bytes.size())); }
    QByteArray readAll()
    {
        QByteArray out;
        char buffer[256];
        for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;)
            out.append(buffer, n);
        return out;
    }
    // Collects what the server wrote to the line until `count` bytes came or the time is up.
    QByteArray read(qsizetype count, int limitMs = 2000)
    {
        QByteArray seen;
        waitFor([&] {
            seen += readAll();
            return seen.size() >= count;
        }, limitMs);
        return seen;
    }
    termios settings() const
    {
        termios tio{};
        ::tcgetattr(slaveFd_, &tio);
        return tio;
    }

    QString slave;

private:
    int master_ = -1;
    int slaveFd_ = -1;
};

// ser2net with one or more connections, each "ACCEPTER" -> "CONNECTOR" on its own free port.
class Ser2net {
public:
    struct Connection {
        QString accepter;  // "telnet(rfc2217)", "telnet" or "" (raw TCP)
        QString device;
        QString lineSettings = QStringLiteral("19200n81"); // not the card's, on purpose
        // As the manual advises: the server forwards each write at once ("nodelay") and the
        // card's bytes without waiting for more ("chardelay: false").
        bool prompt = false;
        quint16 port = 0;  // chosen by start()
    };

    ~Ser2net() { stop(); }

    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")}); }

    bool start(std::vector<Connection>& connections)
    {
        QString yaml;
        for (std::size_t i = 0; i < connections.size(); ++i) {
            Connection& c = connections[i];
            c.port = freeTcpPort();
            const QString tcp = c.prompt ? QStringLiteral("tcp(nodelay)") : QStringLiteral("tcp");
            const QString accepter = c.accepter.isEmpty() ? tcp : c.accepter + QLatin1Char(',') + tcp;
            yaml += QStringLiteral("connection: &line%1\n  accepter: %2,127.0.0.1,%3\n  connector: serialdev,%4,%5,local\n")
                        .arg(QString::number(i), accepter, QString::number(c.port), c.device, c.lineSettings);
            if (c.prompt)
                yaml += QStringLiteral("  options:\n    chardelay: false\n");
        }
        const QString config = QDir(dir_.path()).filePath(QStringLiteral("ser2net.yaml"));
        testsupport::writeFile(config, yaml.toUtf8());
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // -u: no UUCP lock files for the test's pseudo-terminals.
        process_.start(program(), {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), config});
        process_.waitForStarted(5000);
        return waitFor([&] {
            return process_.state() == QProcess::NotRunning
                || std::all_of(connections.begin(), connections.end(), [](const Connection& c) { return listening(c.port); });
        }, 5000) && process_.state() == QProcess::Running;
    }
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(1000);
    }
    void kill()
    {
        process_.kill();
        process_.waitForFinished(2000);
    }
    QString output()
    {
        return QStringLiteral("ser2net state %1, exit %2, error %3: %4")
            .arg(QString::number(process_.state()), QString::number(process_.exitCode()), process_.errorString(),
                 QString::fromLocal8Bit(process_.readAll()));
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
};

// A server of the test's own: each client that connects is sent `script`, all at once, then
// `more` again and again (0 times: none) while the client stays.
class ScriptedServer {
public:
    ScriptedServer(QByteArray script, QByteArray more = {}, int repeatMs = 1)
        : script_(std::move(script)), more_(std::move(more))
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* client = server_.nextPendingConnection()) {
                ++clients;
                client->write(script_);
                received_ = client;
                QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] { heard += client->readAll(); });
            }
        });
        QObject::connect(&repeat_, &QTimer::timeout, &server_, [this] {
            if (received_ && received_->state() == QAbstractSocket::ConnectedState && received_->bytesToWrite() < 1 << 20)
                received_->write(more_);
        });
        if (!more_.isEmpty())
            repeat_.start(repeatMs);
    }
    quint16 port() const { return server_.serverPort(); }
    QByteArray heard;
    int clients = 0;

private:
    QByteArray script_;
    QByteArray more_;
    QTcpServer server_;
    QTimer repeat_;
    QPointer<QTcpSocket> received_;
};

// A relay on a port of its own in front of a TCP server, which hands every chunk on after a
// delay in each direction, in order: a network with that one-way delay.
class DelayRelay {
public:
    DelayRelay(quint16 target, int delayMs, quint16 listenOn = 0) : target_(target), delayMs_(delayMs)
    {
        clock_.start();
        server_.listen(QHostAddress::LocalHost, listenOn);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* client = server_.nextPendingConnection()) {
                auto* upstream = new QTcpSocket(client);
                upstream->connectToHost(QHostAddress::LocalHost, target_);
                // Each chunk goes on as it is handed over, as a network would carry it.
                client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QObject::connect(upstream, &QTcpSocket::connected, upstream,
                                 [upstream] { upstream->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
                pipe(client, upstream);
                pipe(upstream, client);
                QObject::connect(client, &QTcpSocket::disconnected, &server_, [this] {
                    if (onClientGone)
                        onClientGone();
                });
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }
    // The delay each chunk really had, from being read to being written on, on average: a busy
    // computer adds to the one asked for.
    double meanDelayMs() const { return chunks_ ? totalDelayMs_ / chunks_ : 0; }
    std::function<void()> onClientGone;

private:
    // Bytes from `from` reach `to` delayMs later; an end of the stream too, after them.
    void pipe(QTcpSocket* from, QTcpSocket* to)
    {
        QObject::connect(from, &QTcpSocket::readyRead, to, [this, from, to] {
            const QByteArray bytes = from->readAll();
            const qint64 readAt = clock_.nsecsElapsed();
            QTimer::singleShot(delayMs_, Qt::PreciseTimer, to, [this, to, bytes, readAt] {
                if (to->state() == QAbstractSocket::ConnectedState || to->state() == QAbstractSocket::ConnectingState)
                    to->write(bytes);
                totalDelayMs_ += double(clock_.nsecsElapsed() - readAt) / 1e6;
                ++chunks_;
            });
        });
        QObject::connect(from, &QTcpSocket::disconnected, to, [this, to] {
            QTimer::singleShot(delayMs_ + 1, Qt::PreciseTimer, to, [to] { to->disconnectFromHost(); });
        });
    }

    quint16 target_;
    int delayMs_;
    QTcpServer server_;
    QElapsedTimer clock_;
    double totalDelayMs_ = 0;
    qint64 chunks_ = 0;
};

} // namespace nettest
