// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "portdoctor.h"
#include "portselection.h"
#include "serialcontrol.h"
#include "serialsettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <functional>
#include <vector>

namespace quillon {

// The calls that change an open device's line or let it go, in one place: their order is what
// keeps the last bytes (the closing SYN) from being cut off or sent at the wrong speed.
struct DeviceCalls {
    // Waits until the driver has put everything on the line (tcdrain, FlushFileBuffers).
    std::function<void(QSerialPort&)> drain;
    // Drops what is written and not yet on the line: Qt's buffer and the driver's queue.
    std::function<void(QSerialPort&)> dropOutput;
    std::function<void(QSerialPort&, const LineSettings&)> applySettings;
    std::function<void(QSerialPort&)> close;

    static DeviceCalls system();
};

// The serial control over Qt SerialPort. Port numbers 1..4 stand for the devices the names say,
// found again at each opening, unless a device path is forced. Every event is queued, so none
// is raised from inside one of the calls.
class QtSerialControl : public QObject, public SerialControl {
    Q_OBJECT
public:
    // catalogue: the ports present, for stored adapter names and diagnoses (nullptr: the system's).
    explicit QtSerialControl(const ComPortNames& names, const PortCatalogue* catalogue = nullptr,
                             QObject* parent = nullptr);
    ~QtSerialControl() override;

    // Opens this device whatever the port number (quillon-cli --port); empty: back to the names.
    void forceDevice(const QString& device) { forcedDevice_ = device; }
    // The device the port number stands for now.
    QString device() const;

    void setCommPort(int port) override { commPort_ = port; }
    int commPort() const override { return commPort_; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return serial_.isOpen() && !releasing_; }
    int inBufferCount() const override;
    int outBufferCount() const override;
    QByteArray input(int maxBytes) override;
    void output(const QByteArray& bytes) override;
    void discardOutput() override;
    QString lastError() const override { return lastError_; }
    void whenSent(std::function<void()> done) override;
    QString diagnose(int port) const override;
    // Replaces the system's own calls (DeviceCalls::system()), for instance to watch them.
    void setDeviceCalls(DeviceCalls calls) { calls_ = std::move(calls); }

private:
    void applySettings();
    void raise(int event);
    void handleError(QSerialPort::SerialPortError error, quint64 session);
    // Closing: the caller sees the port closed at once; the device is let go once sent.
    void startRelease();
    void finishReleaseNow(); // blocking, bounded by the line time still owed
    void release();
    // The line's state, for the waits for sent output.
    bool lineIdle();
    int driverQueued() const;
    void settleDriver(bool giveUp);
    void checkSent();
    void checkHangUp();
    void scheduleSentCheck();
    double byteMs() const;

    QString deviceOf(int port) const;

    const ComPortNames& names_;
    SystemPortCatalogue systemCatalogue_;
    const PortCatalogue& catalogue_;
    SystemPortDoctor doctor_;
    QSerialPort serial_;
    DeviceCalls calls_ = DeviceCalls::system();
    QString forcedDevice_;
    QString settings_ = QStringLiteral("9600,n,8,1");
    QString lastError_;
    int commPort_ = 1;
    quint64 session_ = 0; // counts openings, so a late error never closes a newer session
    bool releasing_ = false; // closed for the caller, still sending what was queued

    QElapsedTimer elapsed_;
    double lineFreeAtMs_ = 0; // when the bytes written so far will have left the line
    qint64 sentLimitAtMs_ = -1; // the waits for sent output give up then
    std::vector<std::function<void()>> sentWaiters_;
    QTimer sentCheck_;
    QTimer hangUpCheck_; // while open: a device that went away (see checkHangUp)
};

} // namespace quillon
