// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt serial control and the real-time clock, against a pseudo-terminal standing in for the
// device.

#include "link/qtlinkclock.h"
#include "support/testsupport.h"
#include "link/qtserialcontrol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QMap>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace quillon;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "quillon_link_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)instance;
    return *QCoreApplication::instance();
}

// A pseudo-terminal: the test plays the device on the master side.
class Pty {
public:
    Pty()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master_));
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        // Held open to read the line settings: the serial layer takes the port exclusively.
        if (!slave.isEmpty())
            slaveFd_ = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Pty()
    {
        closeMaster();
        if (slaveFd_ >= 0)
            ::close(slaveFd_);
    }
    bool ok() const { return master_ >= 0 && slaveFd_ >= 0; }

    void send(const QByteArray& bytes) { ASSERT_EQ(::write(master_, bytes.constData(), bytes.size()), bytes.size()); }
    QByteArray readAll()
    {
        QByteArray out;
        char buffer[256];
        for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;)
            out.append(buffer, n);
        return out;
    }
    // The line settings the serial layer set on the slave.
    termios lineSettings() const
    {
        termios tio{};
        ::tcgetattr(slaveFd_, &tio);
        return tio;
    }
    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    QString slave;

private:
    int master_ = -1;
    int slaveFd_ = -1;
};

class SerialPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        ASSERT_TRUE(pty.ok());
        port.forceDevice(pty.slave);
        port.onComm = [this](int event) { events.push_back(event); };
        port.onOutputDrained = [this] { ++drained; };
    }

    // What Com1..Com4 stand for.
    struct Names : ComPortNames {
        QString portDevice(int port) const override { return devices.value(port); }
        QMap<int, QString> devices;
    } names;
    Pty pty;
    QStringList deviceCalls; // as watchDeviceCalls() sees them
    QtSerialControl port{names};
    std::vector<int> events;
    int drained = 0;

    // The system's own calls, each noted as it is made: "drain", "close", or the baud rate set.
    void watchDeviceCalls()
    {
        const DeviceCalls system = DeviceCalls::system();
        DeviceCalls watched = system;
        watched.drain = [this, system](QSerialPort& serial) { deviceCalls << "drain"; system.drain(serial); };
        watched.applySettings = [this, system](QSerialPort& serial, const LineSettings& settings) {
            deviceCalls << QString::number(settings.baud);
            system.applySettings(serial, settings);
        };
        watched.close = [this, system](QSerialPort& serial) { deviceCalls << "close"; system.close(serial); };
        port.setDeviceCalls(watched);
    }
};

TEST_F(SerialPty, missingDeviceFailsToOpenWithAReason)
{
    port.forceDevice(QStringLiteral("/dev/quillon-no-such-device"));
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.lastError().isEmpty());
}

TEST_F(SerialPty, receivedBytesRaiseALaterEventAndAreReadInOrder)
{
    ASSERT_TRUE(port.setPortOpen(true));
    pty.send(QByteArray::fromHex("16024203"));
    EXPECT_TRUE(events.empty());
    // The bytes reach the buffer before their queued event is delivered: wait for both.
    ASSERT_TRUE(testsupport::waitFor([&] { return !events.empty() && port.inBufferCount() == 4; }));
    EXPECT_EQ(events.front(), SerialControl::DataReceived);
    EXPECT_EQ(port.input(1), QByteArray::fromHex("16"));
    EXPECT_EQ(port.input(10), QByteArray::fromHex("024203"));
    EXPECT_EQ(port.inBufferCount(), 0);
}

TEST_F(SerialPty, outputReachesTheDeviceAndDrainingIsTold)
{
    ASSERT_TRUE(port.setPortOpen(true));
    for (char c : QByteArray::fromHex("02c2010015007faa03"))
        port.output(QByteArray(1, c));
    EXPECT_EQ(drained, 0) << "never from inside output()";
    QByteArray seen;
    ASSERT_TRUE(testsupport::waitFor([&] {
        seen += pty.readAll();
        return drained > 0 && seen.size() == 9;
    }));
    EXPECT_EQ(seen, QByteArray::fromHex("02c2010015007faa03"));
    EXPECT_EQ(port.outBufferCount(), 0);
}

TEST_F(SerialPty, closingLetsQueuedOutputLeaveAtItsSpeedBeforeTheDeviceIsLetGo)
{
    ASSERT_TRUE(port.setPortOpen(true));
    port.setSettings(QStringLiteral("1200,n,8,2"));
    const QByteArray block(30, 'x');
    port.output(block);
    port.output(QByteArray(1, '\x16'));
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(port.setPortOpen(false));
    EXPECT_FALSE(port.portOpen()) << "closed for the caller at once";
    port.setSettings(QStringLiteral("9600,N,8,2")); // for the next opening
    {
        const termios held = pty.lineSettings();
        EXPECT_EQ(cfgetospeed(&held), speed_t(B1200));
    }
    QByteArray seen;
    // Let go (the line settings of before the opening restored) once the 31 bytes have had
    // their 284 ms on the line at 1200 baud.
    ASSERT_TRUE(testsupport::waitFor([&] {
        seen += pty.readAll();
        const termios tio = pty.lineSettings();
        return cfgetospeed(&tio) != speed_t(B1200);
    }, 10000));
    EXPECT_GE(elapsed.elapsed(), 284);
    EXPECT_EQ(seen, block + QByteArray(1, '\x16'));
    ASSERT_TRUE(port.setPortOpen(true));
    const termios tio = pty.lineSettings();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
}

// A pseudo-terminal has no line to drain: what shows is that the driver is told to drain
// before the speed changes (the acknowledgement of a speed change) and before the device is
// let go (the closing SYN).
TEST_F(SerialPty, theDriverDrainsBeforeTheSpeedChangesAndBeforeTheDeviceIsClosed)
{
    watchDeviceCalls();
    ASSERT_TRUE(port.setPortOpen(true));
    port.output(QByteArray(4, 'x'));
    port.whenSent([this] { port.setSettings(QStringLiteral("1200,n,8,2")); });
    ASSERT_TRUE(testsupport::waitFor([&] { return deviceCalls.contains("1200"); }));
    port.output(QByteArray(1, '\x16'));
    port.setPortOpen(false);
    ASSERT_TRUE(port.setPortOpen(true)); // at once: the closing finishes first
    port.output(QByteArray(1, '\x16'));
    port.setPortOpen(false);
    ASSERT_TRUE(testsupport::waitFor([&] { return deviceCalls.count("close") == 2; }));
    EXPECT_EQ(deviceCalls.join(u' ').toStdString(), "9600 drain 1200 drain close 1200 drain close");
}

// A Cancel: the rest of an image must not reach the card.
TEST_F(SerialPty, discardingDropsWhatThePortAndTheDriverStillHold)
{
    ASSERT_TRUE(port.setPortOpen(true));
    port.output(QByteArray(64 * 1024, 'x')); // more than the driver takes: the rest waits in the port
    port.discardOutput();
    EXPECT_EQ(port.outBufferCount(), 0);
    QByteArray seen;
    testsupport::waitFor([&] { seen += pty.readAll(); return false; }, 300);
    // Only what the far end had already read in (its 4 KB line buffer), not the driver's queue.
    EXPECT_LE(seen.size(), 4096);
}

// A program busy after writing (a backup being saved) must not shorten the line time counted
// for the bytes: they reach the driver as they are written.
TEST_F(SerialPty, outputReachesTheDriverAtOnceSoItsLineTimeStartsThen)
{
    ASSERT_TRUE(port.setPortOpen(true));
    port.setSettings(QStringLiteral("1200,n,8,2"));
    port.output(QByteArray(10, 'x'));
    port.output(QByteArray(1, '\x16'));
    EXPECT_EQ(pty.readAll(), QByteArray(10, 'x') + '\x16') << "no event loop ran in between";
}

TEST_F(SerialPty, whenSentWaitsForTheLineTimeOfWhatWasWritten)
{
    ASSERT_TRUE(port.setPortOpen(true));
    port.setSettings(QStringLiteral("1200,n,8,2"));
    port.output(QByteArray(10, 'x')); // 92 ms at 1200 baud
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 sentAfter = -1;
    port.whenSent([&] { sentAfter = elapsed.elapsed(); });
    EXPECT_EQ(sentAfter, -1) << "never from inside the call";
    ASSERT_TRUE(testsupport::waitFor([&] { return sentAfter >= 0; }, 10000));
    EXPECT_GE(sentAfter, 92);
    EXPECT_LT(sentAfter, 92 + 2000) << "the line time, not a poll or a keep-alive (room for a loaded machine)";
}

TEST_F(SerialPty, settingsTakeEffectAtOnceWhileOpen)
{
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told; speed and stop
    // bits show.
    ASSERT_TRUE(port.setPortOpen(true));
    port.setSettings(QStringLiteral("1200,n,8,2"));
    termios tio = pty.lineSettings();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B1200));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);

    port.setSettings(QStringLiteral("9600,N,8,1"));
    tio = pty.lineSettings();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(port.settings(), QStringLiteral("9600,N,8,1"));
}

TEST_F(SerialPty, settingsMadeWhileClosedApplyAtTheNextOpening)
{
    port.setSettings(QStringLiteral("1200,n,8,2"));
    port.setSettings(QStringLiteral("not settings")); // refused, the text stays
    EXPECT_EQ(port.settings(), QStringLiteral("1200,n,8,2"));
    ASSERT_TRUE(port.setPortOpen(true));
    const termios tio = pty.lineSettings();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B1200));
}

TEST_F(SerialPty, portNumbersStandForTheStoredDevices)
{
    names.devices[3] = pty.slave;
    port.forceDevice({});
    port.setCommPort(3);
    EXPECT_EQ(port.device(), pty.slave);
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_TRUE(port.setPortOpen(true)) << "opening an open port leaves it open";
    EXPECT_TRUE(port.portOpen());
    port.setPortOpen(false);
}

TEST_F(SerialPty, vanishingDeviceClosesThePortAndWakesTheReader)
{
    ASSERT_TRUE(port.setPortOpen(true));
    pty.closeMaster();
    ASSERT_TRUE(testsupport::waitFor([&] { return !port.portOpen(); }));
    ASSERT_TRUE(testsupport::waitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events.back(), SerialControl::DataReceived);
    EXPECT_EQ(port.inBufferCount(), 0);
}

TEST(QtClock, timersFireOnceAfterTheirIntervalUnlessStopped)
{
    app();
    QtLinkClock clock;
    auto fired = clock.createTimer();
    auto stopped = clock.createTimer();
    int firedCount = 0;
    int stoppedCount = 0;
    fired->onTimeout = [&] { ++firedCount; };
    stopped->onTimeout = [&] { ++stoppedCount; };
    const qint64 start = clock.nowMs();
    fired->start(30);
    stopped->start(10);
    stopped->stop();
    EXPECT_TRUE(fired->isActive());
    EXPECT_FALSE(stopped->isActive());
    ASSERT_TRUE(testsupport::waitFor([&] { return firedCount > 0; }));
    EXPECT_GE(clock.nowMs() - start, 29);
    testsupport::waitFor([] { return false; }, 60);
    EXPECT_EQ(firedCount, 1);
    EXPECT_EQ(stoppedCount, 0);
    EXPECT_FALSE(fired->isActive());
}

} // namespace
