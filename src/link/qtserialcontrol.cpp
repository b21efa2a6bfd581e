#include "qtserialcontrol.h"

#include "serialsettings.h"
#include "settingsstore.h"

#include <QDeadlineTimer>
#include <QMetaObject>

namespace quillon {

namespace {

// How long closing waits for queued output to leave.
constexpr int CloseDrainMs = 1000;

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

QtSerialControl::QtSerialControl(const SettingsStore& store, QObject* parent)
    : QObject(parent), store_(store)
{
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    applySettings();
    // Queued: the link must never see an event from inside one of its own calls (a bounded
    // wait in setPortOpen(false) can read, and a write can fail, synchronously).
    connect(&serial_, &QSerialPort::readyRead, this, [this] {
        if (!closing_) // what arrives while closing is dropped with the port
            QMetaObject::invokeMethod(this, [this] { raise(DataReceived); }, Qt::QueuedConnection);
    });
    connect(&serial_, &QSerialPort::bytesWritten, this, [this] {
        if (closing_)
            return;
        QMetaObject::invokeMethod(this, [this] {
            if (serial_.isOpen() && serial_.bytesToWrite() == 0 && onOutputDrained)
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
    close();
}

QString QtSerialControl::device() const
{
    return forcedDevice_.isEmpty() ? store_.portDevice(commPort_) : forcedDevice_;
}

void QtSerialControl::setSettings(const QString& settings)
{
    if (!parseLineSettings(settings))
        return; // a text the line cannot take leaves the settings as they were
    settings_ = settings;
    applySettings();
}

void QtSerialControl::applySettings()
{
    const auto s = parseLineSettings(settings_);
    if (!s)
        return;
    // QSerialPort keeps these while closed and applies them when it opens; while open they
    // take effect at once.
    serial_.setBaudRate(s->baud);
    serial_.setParity(parityOf(s->parity));
    serial_.setDataBits(static_cast<QSerialPort::DataBits>(s->dataBits));
    serial_.setStopBits(stopBitsOf(s->stopBits));
}

bool QtSerialControl::setPortOpen(bool open)
{
    if (!open) {
        close();
        return true;
    }
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
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    applySettings();
    return true;
}

void QtSerialControl::close()
{
    if (!serial_.isOpen())
        return;
    closing_ = true;
    const QDeadlineTimer deadline(CloseDrainMs);
    while (serial_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!serial_.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    serial_.close();
    serial_.clearError();
    closing_ = false;
}

int QtSerialControl::inBufferCount() const
{
    return serial_.isOpen() ? static_cast<int>(serial_.bytesAvailable()) : 0;
}

int QtSerialControl::outBufferCount() const
{
    return serial_.isOpen() ? static_cast<int>(serial_.bytesToWrite()) : 0;
}

QByteArray QtSerialControl::input(int maxBytes)
{
    if (!serial_.isOpen() || maxBytes <= 0)
        return {};
    return serial_.read(maxBytes);
}

void QtSerialControl::output(const QByteArray& bytes)
{
    if (serial_.isOpen())
        serial_.write(bytes);
}

void QtSerialControl::raise(int event)
{
    if (onComm)
        onComm(event);
}

void QtSerialControl::handleError(QSerialPort::SerialPortError error, quint64 session)
{
    if (closing_ || error == QSerialPort::NoError)
        return;
    switch (error) {
    case QSerialPort::TimeoutError:
        // Only a write can time out outside our own bounded waits.
        QMetaObject::invokeMethod(this, [this, session] {
            if (session == session_ && serial_.isOpen())
                raise(WriteTimeout);
        }, Qt::QueuedConnection);
        break;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // The device is gone or unusable: close it, and let waiters look again.
        lastError_ = serial_.errorString();
        QMetaObject::invokeMethod(this, [this, session] {
            if (session != session_ || !serial_.isOpen())
                return;
            serial_.close();
            serial_.clearError();
            raise(DataReceived);
        }, Qt::QueuedConnection);
        break;
    default:
        break; // open errors are reported by setPortOpen's result
    }
}

} // namespace quillon
