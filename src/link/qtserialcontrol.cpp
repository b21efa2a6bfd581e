// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtserialcontrol.h"

#include "serialsettings.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace quillon {

namespace {

// Bytes past their line time may still sit in an adapter's own buffer, or wait for the other
// end of a pseudo-terminal to read them: they get two byte times more, at least this long.
constexpr int SettleMinMs = 5;
// A line that has not sent everything by its bytes' line time plus this (a stuck handshake)
// is given up on: what is left is dropped.
constexpr int SentMarginMs = 500;
// How often an open port's device is looked at for a hang-up (checkHangUp).
constexpr int HangUpCheckMs = 250;

QSerialPort::Parity parityOf(char letter)
{
    switch (letter) {
    case 'e': return QSerialPort::EvenParity;
    case 'o': return QSerialPort::OddParity;
    case 'm': return QSerialPort::MarkParity;
    case 's': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(int stopBits)
{
    switch (stopBits) {
    case 15: return QSerialPort::OneAndHalfStop;
    case 2: return QSerialPort::TwoStop;
    default: return QSerialPort::OneStop;
    }
}

} // namespace

DeviceCalls DeviceCalls::system()
{
    DeviceCalls calls;
    calls.drain = [](QSerialPort& serial) {
#ifdef Q_OS_WIN
        ::FlushFileBuffers(reinterpret_cast<HANDLE>(serial.handle()));
#else
        ::tcdrain(static_cast<int>(serial.handle()));
#endif
    };
    // Qt empties its own buffer and has the driver drop its queue (tcflush, PurgeComm).
    calls.dropOutput = [](QSerialPort& serial) { serial.clear(QSerialPort::Output); };
    // QSerialPort keeps these while closed and applies them when it opens; while open they
    // take effect at once.
    calls.applySettings = [](QSerialPort& serial, const LineSettings& s) {
        serial.setBaudRate(s.baud);
        serial.setParity(parityOf(s.parity));
        serial.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
        serial.setStopBits(stopBitsOf(s.stopBits));
    };
    calls.close = [](QSerialPort& serial) {
        serial.close();
        serial.clearError();
    };
    return calls;
}

QtSerialControl::QtSerialControl(const ComPortNames& names, const PortCatalogue* catalogue, QObject* parent)
    : QObject(parent), names_(names), catalogue_(catalogue ? *catalogue : systemCatalogue_), doctor_(catalogue_)
{
    elapsed_.start();
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    applySettings();
    sentCheck_.setSingleShot(true);
    sentCheck_.setTimerType(Qt::PreciseTimer);
    connect(&sentCheck_, &QTimer::timeout, this, [this] { checkSent(); });
    hangUpCheck_.setInterval(HangUpCheckMs);
    connect(&hangUpCheck_, &QTimer::timeout, this, [this] { checkHangUp(); });
    // Queued: the link must never see an event from inside one of its own calls (a write can
    // fail synchronously).
    connect(&serial_, &QSerialPort::readyRead, this, [this] {
        if (!releasing_) // what arrives while closing is dropped with the port
            QMetaObject::invokeMethod(this, [this] { raise(DataReceived); }, Qt::QueuedConnection);
    });
    connect(&serial_, &QSerialPort::bytesWritten, this, [this] {
        if (releasing_)
            return;
        QMetaObject::invokeMethod(this, [this] {
            if (portOpen() && serial_.bytesToWrite() == 0 && onOutputDrained)
                onOutputDrained();
        }, Qt::QueuedConnection);
    });
    connect(&serial_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { handleError(error, session_); });
}

QtSerialControl::~QtSerialControl()
{
    onComm = nullptr;
    onOutputDrained = nullptr;
    if (releasing_)
        finishReleaseNow();
    else
        release();
}

QString QtSerialControl::device() const
{
    return deviceOf(commPort_);
}

QString QtSerialControl::deviceOf(int port) const
{
    return resolveAssignment(forcedDevice_.isEmpty() ? names_.portDevice(port) : forcedDevice_, catalogue_);
}

QString QtSerialControl::diagnose(int port) const
{
    return doctor_.explain(deviceOf(port));
}

void QtSerialControl::setSettings(const QString& settings)
{
    if (!parseLineSettings(settings))
        return; // a text the line cannot take leaves the settings as they were
    settings_ = settings;
    if (!releasing_) // the bytes still leaving keep the speed they were written at
        applySettings();
}

void QtSerialControl::applySettings()
{
    if (const auto s = parseLineSettings(settings_))
        calls_.applySettings(serial_, *s);
}

bool QtSerialControl::setPortOpen(bool open)
{
    if (!open) {
        startRelease();
        return true;
    }
    if (releasing_)
        finishReleaseNow();
    if (serial_.isOpen())
        return true;
    const QString name = device();
    if (name.isEmpty()) {
        lastError_ = tr("No device for port %1").arg(commPort_);
        return false;
    }
    serial_.setPortName(name);
    ++session_;
    if (!serial_.open(QIODevice::ReadWrite)) {
        lastError_ = QStringLiteral("%1: %2").arg(name, serial_.errorString());
        serial_.clearError();
        return false;
    }
    lastError_.clear();
    lineFreeAtMs_ = 0;
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    applySettings();
    hangUpCheck_.start();
    return true;
}

// Closing the device restores the line settings it had before it was opened, so the bytes
// still queued (the closing SYN at 1200 baud) must have left first.
void QtSerialControl::startRelease()
{
    if (!serial_.isOpen() || releasing_)
        return;
    if (lineIdle()) {
        release();
        return;
    }
    releasing_ = true;
    const quint64 session = session_;
    whenSent([this, session] {
        if (releasing_ && session == session_)
            release();
    });
}

void QtSerialControl::finishReleaseNow()
{
    if (!releasing_)
        return;
    const QDeadlineTimer limit(std::max<qint64>(0, sentLimitAtMs_ - elapsed_.elapsed()));
    while (serial_.bytesToWrite() > 0 && !limit.hasExpired()) {
        if (!serial_.waitForBytesWritten(static_cast<int>(limit.remainingTime())))
            break;
    }
    const double settle = std::max<double>(SettleMinMs, 2 * byteMs());
    const qint64 owed = static_cast<qint64>(std::ceil(lineFreeAtMs_ + settle)) - elapsed_.elapsed();
    if (owed > 0)
        QThread::msleep(static_cast<unsigned long>(std::min(owed, limit.remainingTime())));
    settleDriver(limit.hasExpired());
    release();
}

void QtSerialControl::release()
{
    hangUpCheck_.stop();
    if (serial_.isOpen())
        calls_.close(serial_);
    releasing_ = false;
}

void QtSerialControl::whenSent(std::function<void()> done)
{
    const qint64 now = elapsed_.elapsed();
    // Every waiter extends the limit to cover what has been written since: one left from a
    // closed session must not cut short the wait for the bytes of the next.
    sentLimitAtMs_ = std::max(sentLimitAtMs_, static_cast<qint64>(std::ceil(std::max<double>(now, lineFreeAtMs_))) + SentMarginMs);
    sentWaiters_.push_back(std::move(done));
    scheduleSentCheck();
}

double QtSerialControl::byteMs() const
{
    return 11000.0 / std::max<qint32>(1, serial_.baudRate());
}

int QtSerialControl::driverQueued() const
{
#ifdef Q_OS_WIN
    return 0; // FlushFileBuffers waits for the rest
#else
    int queued = 0;
    if (serial_.isOpen() && ::ioctl(static_cast<int>(serial_.handle()), TIOCOUTQ, &queued) == 0)
        return queued;
    return 0;
#endif
}

bool QtSerialControl::lineIdle()
{
    if (!serial_.isOpen())
        return true;
    const double settle = std::max<double>(SettleMinMs, 2 * byteMs());
    return serial_.bytesToWrite() == 0 && driverQueued() == 0 && elapsed_.elapsed() >= lineFreeAtMs_ + settle;
}

// The driver's queue is empty: wait out the byte in the shift register (on a pseudo-terminal
// nothing), or, giving up, drop what is left.
void QtSerialControl::settleDriver(bool giveUp)
{
    if (!serial_.isOpen())
        return;
    if (giveUp)
        calls_.dropOutput(serial_);
    else
        calls_.drain(serial_);
}

void QtSerialControl::scheduleSentCheck()
{
    const qint64 now = elapsed_.elapsed();
    const double settle = std::max<double>(SettleMinMs, 2 * byteMs());
    qint64 delay = static_cast<qint64>(std::ceil(lineFreeAtMs_ + settle)) - now;
    // Bytes still queued take their line time; never sooner than a millisecond from now.
    delay = std::max<qint64>({delay, static_cast<qint64>(std::ceil(driverQueued() * byteMs())), 1});
    delay = std::min<qint64>(delay, std::max<qint64>(1, sentLimitAtMs_ - now));
    sentCheck_.start(static_cast<int>(delay));
}

void QtSerialControl::checkSent()
{
    if (sentWaiters_.empty())
        return;
    const bool giveUp = elapsed_.elapsed() >= sentLimitAtMs_;
    if (!lineIdle() && !giveUp) {
        scheduleSentCheck();
        return;
    }
    settleDriver(giveUp);
    sentLimitAtMs_ = -1;
    for (auto& done : std::exchange(sentWaiters_, {}))
        done();
}

int QtSerialControl::inBufferCount() const
{
    return portOpen() ? static_cast<int>(serial_.bytesAvailable()) : 0;
}

int QtSerialControl::outBufferCount() const
{
    return portOpen() ? static_cast<int>(serial_.bytesToWrite()) : 0;
}

QByteArray QtSerialControl::input(int maxBytes)
{
    if (!portOpen() || maxBytes <= 0)
        return {};
    return serial_.read(maxBytes);
}

void QtSerialControl::output(const QByteArray& bytes)
{
    if (!portOpen())
        return;
    serial_.write(bytes);
    // Handed to the driver now, not whenever the event loop next runs: their line time starts
    // here, and a program busy meanwhile (writing a backup) must not make the closing SYN's wait
    // end before the SYN has left.
    serial_.flush();
    const double now = static_cast<double>(elapsed_.elapsed());
    lineFreeAtMs_ = std::max(lineFreeAtMs_, now) + bytes.size() * byteMs();
}

void QtSerialControl::discardOutput()
{
    if (!portOpen())
        return;
    // What the device itself holds (a UART's FIFO, a USB adapter's buffers) still goes, so the
    // line time counted for it stays as it was.
    calls_.dropOutput(serial_);
}

void QtSerialControl::raise(int event)
{
    if (onComm)
        onComm(event);
}

// Qt 6.8's QSerialPort no longer reports a device that hung up (an unplugged adapter, a closed
// pseudo-terminal) as an error: it just stops reading. The descriptor says so, and then the
// device is treated as the error would have it treated.
void QtSerialControl::checkHangUp()
{
#ifndef Q_OS_WIN
    if (!serial_.isOpen() || releasing_)
        return;
    pollfd device{static_cast<int>(serial_.handle()), 0, 0};
    if (::poll(&device, 1, 0) == 1 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        handleError(QSerialPort::ResourceError, session_);
#endif
}

void QtSerialControl::handleError(QSerialPort::SerialPortError error, quint64 session)
{
    if (releasing_ || error == QSerialPort::NoError)
        return;
    switch (error) {
    case QSerialPort::TimeoutError:
        // Only a write can time out outside our own bounded waits.
        QMetaObject::invokeMethod(this, [this, session] {
            if (session == session_ && portOpen())
                raise(WriteTimeout);
        }, Qt::QueuedConnection);
        break;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // The device is gone or unusable: close it, and let waiters look again.
        lastError_ = serial_.errorString();
        QMetaObject::invokeMethod(this, [this, session] {
            if (session != session_ || !portOpen())
                return;
            release();
            raise(DataReceived);
        }, Qt::QueuedConnection);
        break;
    default:
        break; // open errors are reported by setPortOpen's result
    }
}

} // namespace quillon
