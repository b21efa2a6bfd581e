// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptycard.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::sim {

namespace {

int baudOfSpeed(speed_t speed)
{
    switch (speed) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B150: return 150;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

QString systemError(const char* what) { return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno))); }

} // namespace

PtyCard::PtyCard(SimulatedCard& card, bool paced, QObject* parent) : QObject(parent), card_(card), paced_(paced)
{
    elapsed_.start();
    deliverTimer_.setSingleShot(true);
    deliverTimer_.setTimerType(Qt::PreciseTimer);
    connect(&deliverTimer_, &QTimer::timeout, this, [this] { deliverDue(); });
    card_.onSend = [this](const QByteArray& bytes) { writeToHost(bytes); };
    card_.onSyncAttempt = [this] {
        dropStaleOutput();
        meter.cardCalled(static_cast<double>(elapsed_.elapsed()));
    };
    card_.onPause = [this](double ms) { meter.pause(ms); };
}

PtyCard::~PtyCard()
{
    card_.onSend = nullptr;
    card_.onSyncAttempt = nullptr;
    card_.onPause = nullptr;
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

bool PtyCard::open(const QString& linkPath, QString* error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = systemError("cannot create a pseudo-terminal");
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        *error = systemError("ptsname");
        return false;
    }
    slaveName_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_ < 0) {
        *error = systemError("cannot open the pseudo-terminal's slave");
        return false;
    }
    // Raw at 9600 baud: no echo of our own bytes back to us, no line editing, while no host
    // holds the port (the host's serial layer puts these settings back when it closes).
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | CSTOPB;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    if (!linkPath.isEmpty()) {
        QFile::remove(linkPath); // a link left behind by a simulator that was killed
        if (!QFile::link(slaveName_, linkPath)) {
            *error = QStringLiteral("cannot create the link %1").arg(linkPath);
            return false;
        }
        linkPath_ = linkPath;
    }
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readFromHost(); });
    return true;
}

PtyCard::HostSide PtyCard::hostSide()
{
    HostSide side;
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0)
        side.baud = baudOfSpeed(::cfgetospeed(&tio));
    // The host's serial layer takes the port for itself while it has it open.
    int exclusive = 0;
    side.open = ::ioctl(slave_, TIOCGEXCL, &exclusive) != 0 || exclusive != 0;
    if (side.open) {
        if (side.baud != reportedBaud_) {
            reportedBaud_ = side.baud;
            if (onHostSpeedChanged)
                onHostSpeedChanged(side.baud);
        }
    }
    return side;
}

void PtyCard::readFromHost()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: all read
        // The speed the line has now, whether the host still holds the port or not.
        const int baud = hostSide().baud;
        for (ssize_t i = 0; i < n; ++i) {
            if (!paced_) {
                toCard(buffer[i], baud);
                continue;
            }
            const double start = std::max(hostLineFreeMs_, static_cast<double>(elapsed_.elapsed()));
            hostLineFreeMs_ = start + 11000.0 / std::max(1, baud);
            inbound_.append({buffer[i], baud, hostLineFreeMs_});
        }
    }
    deliverDue();
}

void PtyCard::deliverDue()
{
    while (!inbound_.isEmpty() && inbound_.first().endMs <= elapsed_.elapsed()) {
        const InboundByte in = inbound_.takeFirst();
        // A change of speed before the byte had left garbles it.
        toCard(in.byte, hostSide().baud == in.baud ? in.baud : 0);
    }
    if (!inbound_.isEmpty())
        deliverTimer_.start(static_cast<int>(std::ceil(inbound_.first().endMs - elapsed_.elapsed())));
}

void PtyCard::toCard(char byte, int sentBaud)
{
    const bool garbled = sentBaud != card_.baud();
    if (garbled != garbling_ && onNotice) {
        onNotice(garbled ? QStringLiteral("garbled bytes from the host (card at %1 baud)").arg(card_.baud())
                         : QStringLiteral("clear bytes from the host again"));
    }
    garbling_ = garbled;
    if (!garbled)
        meter.hostByte(static_cast<quint8>(byte), sentBaud, static_cast<double>(elapsed_.elapsed()));
    card_.receive(QByteArray(1, garbled ? '\xFF' : byte));
}

void PtyCard::writeToHost(const QByteArray& bytes)
{
    const HostSide host = hostSide();
    QByteArray out = bytes;
    if (host.open && host.baud != card_.baud())
        out.fill('\xFF');
    for (qsizetype i = 0; i < out.size(); ++i)
        meter.cardByte(card_.baud());
    qsizetype done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(master_, out.constData() + done, static_cast<size_t>(out.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // the host does not read: what does not fit is lost, as on a line
        }
        done += n;
    }
}

void PtyCard::dropStaleOutput()
{
    // Output the host has not read (its port closed) would pile up as a run of old SYNs.
    // The master's output flush drops what has not reached the slave yet, the slave's input
    // flush what already waits there.
    ::tcflush(master_, TCOFLUSH);
    ::tcflush(slave_, TCIFLUSH);
}

} // namespace quillon::sim
