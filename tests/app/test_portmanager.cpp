// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery, the Options menu's port and speed choice, and the settings store they keep
// their choice in.

#include "app/core/portlisting.h"
#include "app/core/portmanager.h"
#include "app/core/settingsstore.h"
#include "link/portcatalogue.h"
#include "link/portdoctor.h"
#include "link/serialcontrol.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using namespace quillon;

namespace {

// A serial control whose openable ports the test chooses.
class PortsFake : public SerialControl {
public:
    explicit PortsFake(std::set<int> openable) : openable_(std::move(openable)) {}
    void setCommPort(int port) override { port_ = port; }
    int commPort() const override { return port_; }
    void setSettings(const QString&) override {}
    QString settings() const override { return QStringLiteral("9600,n,8,2"); }
    bool setPortOpen(bool open) override
    {
        if (!open) {
            open_ = false;
            return true;
        }
        if (!openable_.contains(port_))
            return false;
        open_ = true;
        ++openings;
        return true;
    }
    bool portOpen() const override { return open_; }
    int inBufferCount() const override { return 0; }
    int outBufferCount() const override { return 0; }
    QByteArray input(int) override { return {}; }
    void output(const QByteArray&) override {}

    QString diagnose(int port) const override { return QStringLiteral("diagnosis of Com%1").arg(port); }

    int openings = 0;
    std::set<int> openable_;

private:
    int port_ = 0;
    bool open_ = false;
};

class PortManagerTest : public ::testing::Test {
protected:
    void store(const char* key, const char* value)
    {
        settings.setValue(QStringLiteral("File"), QString::fromLatin1(key), QString::fromLatin1(value));
    }
    QString stored(const char* key) const
    {
        return settings.value(QStringLiteral("File"), QString::fromLatin1(key), QStringLiteral("<absent>"));
    }
    static QString marks(const PortManager& pm)
    {
        QString out;
        for (int p = 1; p <= 4; ++p)
            out += pm.comItem(p).checked ? QLatin1Char('x') : (pm.comItem(p).enabled ? QLatin1Char('o') : QLatin1Char('-'));
        return out;
    }

    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("Quillon.conf"));
    SettingsStore settings{file};
};

struct StartRow {
    std::set<int> usable;
    const char* comm;  // nullptr: not stored
    const char* speed; // nullptr: not stored
    const char* marks; // per Com item: x marked, o enabled, - disabled
    int selected;
    bool slow;
    bool turbo;
};

void PrintTo(const StartRow& row, std::ostream* os) { *os << "Comm " << (row.comm ? row.comm : "absent") << ", marks " << row.marks; }

class StartUp : public PortManagerTest, public ::testing::WithParamInterface<StartRow> {};

TEST_P(StartUp, marksTheRememberedUsablePortAndSpeed)
{
    const StartRow& row = GetParam();
    if (row.comm)
        store("Comm", row.comm);
    if (row.speed)
        store("Speed", row.speed);
    PortsFake port(row.usable);
    PortManager pm(port, settings);
    pm.start();

    EXPECT_EQ(marks(pm), QString::fromLatin1(row.marks));
    EXPECT_EQ(pm.selectedPort(), row.selected);
    EXPECT_EQ(pm.slowChecked(), row.slow);
    EXPECT_EQ(pm.turboChecked(), row.turbo);
    EXPECT_EQ(stored("Comm"), row.comm ? QString::fromLatin1(row.comm) : QStringLiteral("<absent>"))
        << "start-up never rewrites the stored port";
    EXPECT_FALSE(port.portOpen());
    if (row.selected) {
        EXPECT_EQ(port.commPort(), row.selected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartUp,
    ::testing::Values(
        StartRow{{1, 3}, "3", nullptr, "o-x-", 3, false, true},  // remembered port is usable
        StartRow{{2, 4}, "1", nullptr, "-x-o", 2, false, true},  // remembered port unusable
        StartRow{{1, 2, 3, 4}, nullptr, nullptr, "xooo", 1, false, true}, // nothing stored
        StartRow{{1, 2}, "2", "0", "ox--", 2, true, false},
        StartRow{{1, 2}, "2", "5", "ox--", 2, false, false}, // a speed of 5 marks nothing
        StartRow{{1, 2}, " 2", "junk", "xo--", 1, false, false},
        StartRow{{1, 2}, "02", "1", "xo--", 1, false, true},
        StartRow{{}, "3", nullptr, "----", 0, false, true})); // no usable port at all

TEST_F(PortManagerTest, discoveryListsTheUsablePortsAndClosesEachAgain)
{
    PortsFake port({1, 3});
    PortManager pm(port, settings);
    EXPECT_EQ(pm.discoverPorts(), QStringLiteral("13"));
    EXPECT_EQ(port.openings, 2);
    EXPECT_FALSE(port.portOpen());
    EXPECT_TRUE(pm.isPortUsable(1));
    EXPECT_FALSE(pm.isPortUsable(2));
    EXPECT_TRUE(pm.isPortUsable(3));
    for (int outside : {0, 5, 16, -1})
        EXPECT_FALSE(pm.isPortUsable(outside)) << outside;

    // Probed again after the ports were assigned anew: a port that no longer opens is dropped.
    port.openable_ = {3};
    EXPECT_EQ(pm.discoverPorts(), QStringLiteral("3"));
    EXPECT_FALSE(pm.isPortUsable(1));
}

TEST_F(PortManagerTest, anInvalidSelectionIsDiagnosedOnTheRememberedPort)
{
    store("Comm", "3");
    PortsFake port({});
    PortManager pm(port, settings);
    pm.start();
    ASSERT_EQ(pm.selectedPort(), 0);
    EXPECT_TRUE(pm.diagnosis().startsWith(QStringLiteral("Com3: diagnosis of Com3\n"))) << pm.diagnosis().toStdString();
    EXPECT_TRUE(pm.diagnosis().contains(QStringLiteral("Options > Port Assignment...")));
}

TEST_F(PortManagerTest, choosingAPortMarksAndStoresItWithoutTouchingTheControl)
{
    PortsFake port({1, 2, 3});
    PortManager pm(port, settings);
    pm.start();
    int menuChanges = 0;
    pm.onMenusChanged = [&] { ++menuChanges; };

    pm.clickComItem(3);
    EXPECT_EQ(marks(pm), QStringLiteral("oox-"));
    EXPECT_EQ(pm.selectedPort(), 3);
    EXPECT_EQ(stored("Comm"), QStringLiteral("3"));
    EXPECT_EQ(port.commPort(), 1) << "the choice takes effect at the next opening";
    EXPECT_EQ(menuChanges, 1);

    pm.clickComItem(4); // disabled: cannot be clicked
    EXPECT_EQ(pm.selectedPort(), 3);
    EXPECT_EQ(stored("Comm"), QStringLiteral("3"));
}

TEST_F(PortManagerTest, reclickingTheMarkedPortOnlyRereadsTheSpeedMarks)
{
    PortsFake port({1, 2});
    PortManager pm(port, settings);
    pm.start();
    ASSERT_TRUE(pm.turboChecked());
    store("Comm", "2");  // changed behind the menu's back: must not be picked up
    store("Speed", "0");

    pm.clickComItem(1);
    EXPECT_EQ(marks(pm), QStringLiteral("xo--"));
    EXPECT_EQ(pm.selectedPort(), 1);
    EXPECT_EQ(stored("Comm"), QStringLiteral("2"));
    EXPECT_TRUE(pm.slowChecked());
    EXPECT_FALSE(pm.turboChecked());
}

TEST_F(PortManagerTest, speedClicksStoreTheChoiceAndIgnoreTheMarkedItem)
{
    PortsFake port({1});
    PortManager pm(port, settings);
    pm.start();
    int menuChanges = 0;
    pm.onMenusChanged = [&] { ++menuChanges; };

    pm.clickTurbo(); // already marked
    EXPECT_EQ(stored("Speed"), QStringLiteral("<absent>"));
    EXPECT_EQ(menuChanges, 0);

    pm.clickSlow();
    EXPECT_TRUE(pm.slowChecked());
    EXPECT_FALSE(pm.turboChecked());
    EXPECT_EQ(stored("Speed"), QStringLiteral("0"));

    pm.clickTurbo();
    EXPECT_TRUE(pm.turboChecked());
    EXPECT_FALSE(pm.slowChecked());
    EXPECT_EQ(stored("Speed"), QStringLiteral("1"));
    EXPECT_EQ(menuChanges, 2);
}

TEST_F(PortManagerTest, comItemsNameTheirDevices)
{
    settings.setValue(QStringLiteral("Ports"), QStringLiteral("Com2"), QStringLiteral("/dev/ttyUSB0"));
    PortsFake port({});
    PortManager pm(port, settings);
    pm.start();
    EXPECT_EQ(pm.comItem(2).device, QStringLiteral("/dev/ttyUSB0"));
#if defined(Q_OS_LINUX)
    EXPECT_EQ(pm.comItem(1).device, QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(pm.comItem(4).device, QStringLiteral("/dev/ttyS3"));
#elif defined(Q_OS_WIN)
    EXPECT_EQ(pm.comItem(1).device, QStringLiteral("COM1"));
    EXPECT_EQ(pm.comItem(4).device, QStringLiteral("COM4"));
#endif
    EXPECT_TRUE(pm.comItem(0).device.isEmpty());
    EXPECT_TRUE(settings.portDevice(5).isEmpty());
}

TEST_F(PortManagerTest, storeReadsKeysWhateverTheirLetterCase)
{
    settings.setValue(QStringLiteral("File"), QStringLiteral("Load"), QStringLiteral("C:\\Sets\\"));
    EXPECT_EQ(settings.value(QStringLiteral("File"), QStringLiteral("load")), QStringLiteral("C:\\Sets\\"));
    EXPECT_TRUE(settings.contains(QStringLiteral("File"), QStringLiteral("LOAD")));

    // Writing under another spelling replaces the value instead of adding a second one.
    settings.setValue(QStringLiteral("File"), QStringLiteral("load"), QString());
    EXPECT_EQ(settings.value(QStringLiteral("File"), QStringLiteral("Load"), QStringLiteral("fallback")), QString());
    QSettings raw(file, QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("File"));
    // (One key: spelt as written now, or on Windows, whose settings ignore letter case, as first.)
    ASSERT_EQ(raw.childKeys().size(), 1);
    EXPECT_EQ(raw.childKeys().front().compare(QStringLiteral("load"), Qt::CaseInsensitive), 0);

    EXPECT_EQ(settings.value(QStringLiteral("File"), QStringLiteral("Missing"), QStringLiteral("1")), QStringLiteral("1"));
    EXPECT_FALSE(settings.contains(QStringLiteral("Other"), QStringLiteral("load")));
}

// The trace goes where the settings say, else to the platform's place for it.
TEST_F(PortManagerTest, traceIsThePlatformsPlaceUnlessTheSettingsNameAnother)
{
#ifdef Q_OS_WIN
    EXPECT_EQ(settings.tracePath(), QStringLiteral("C:\\Out.bin"));
#else
    EXPECT_EQ(settings.tracePath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Quillon/Out.bin");
#endif
    const QString chosen = QDir::temp().filePath(QStringLiteral("Elsewhere.bin"));
    settings.setValue(QStringLiteral("Trace"), QStringLiteral("Path"), chosen);
    EXPECT_EQ(settings.tracePath(), chosen);
}

// ---- the ports present, their diagnosis and listing -----------------------------------------

class ListedPorts : public PortCatalogue {
public:
    QList<SerialPortEntry> ports() const override { return list; }
    QList<SerialPortEntry> list;
};

// Every listed device is usable, anything else does not exist.
class ListedDoctor : public PortDoctor {
public:
    explicit ListedDoctor(const PortCatalogue& catalogue) : catalogue_(catalogue) {}
    PortFindings examine(const QString& device) const override
    {
        PortFindings f;
        f.device = device;
        f.present = catalogue_.ports();
        f.exists = findPort(device, f.present) != nullptr;
        return f;
    }
private:
    const PortCatalogue& catalogue_;
};

SerialPortEntry ftdi()
{
    SerialPortEntry port;
    port.device = QStringLiteral("/dev/ttyUSB0");
    port.description = QStringLiteral("FT232R USB UART");
    port.manufacturer = QStringLiteral("FTDI");
    port.serialNumber = QStringLiteral("A10K3ZQ7");
    port.vendorId = 0x0403;
    port.productId = 0x6001;
    port.byIdName = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3ZQ7-if00-port0");
    return port;
}

#if !defined(Q_OS_WIN) // Windows keeps COM names, and its default devices are COM1 to COM4
TEST_F(PortManagerTest, portListingShowsEachPortThenWhatTheComItemsStandFor)
{
    ListedPorts catalogue;
    SerialPortEntry ch340;
    ch340.device = QStringLiteral("/dev/ttyUSB1");
    ch340.vendorId = 0x1a86;
    ch340.productId = 0x7523;
    ch340.serialNumber = QStringLiteral("X1");
    catalogue.list = {ftdi(), ch340};
    const ListedDoctor doctor(catalogue);
    settings.setValue(QStringLiteral("Ports"), QStringLiteral("Com1"), ftdi().byIdName);
    settings.setValue(QStringLiteral("Ports"), QStringLiteral("Com2"), QStringLiteral("usb:1a86:7523:X1"));
    settings.setValue(QStringLiteral("Ports"), QStringLiteral("Com3"), QString());
    store("Comm", "2");

    const QStringList expected{
        QStringLiteral("Serial ports:"),
        QStringLiteral("  /dev/ttyUSB0"),
        QStringLiteral("    description:    FT232R USB UART"),
        QStringLiteral("    manufacturer:   FTDI"),
        QStringLiteral("    vendor:product: 0403:6001"),
        QStringLiteral("    serial number:  A10K3ZQ7"),
        QStringLiteral("    stable name:    /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3ZQ7-if00-port0"),
        QStringLiteral("    verdict:        usable"),
        QStringLiteral("  /dev/ttyUSB1"),
        QStringLiteral("    description:    -"),
        QStringLiteral("    manufacturer:   -"),
        QStringLiteral("    vendor:product: 1a86:7523"),
        QStringLiteral("    serial number:  X1"),
        QStringLiteral("    stable name:    usb:1a86:7523:X1"),
        QStringLiteral("    verdict:        usable"),
        QString(),
        QStringLiteral("Com ports (section \"Ports\" of the settings):"),
        QStringLiteral("  Com1  /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3ZQ7-if00-port0: usable"),
        QStringLiteral("  Com2  usb:1a86:7523:X1 = /dev/ttyUSB1: usable [chosen in Options]"),
        QStringLiteral("  Com3  (none): no device assigned"),
        QStringLiteral("  Com4  /dev/ttyS3 (default): does not exist"),
    };
    EXPECT_EQ(portListing(catalogue, doctor, settings).join('\n').toStdString(), expected.join('\n').toStdString());

    catalogue.list.clear();
    EXPECT_EQ(portListing(catalogue, doctor, settings).first(), QStringLiteral("No serial port is present."));
}
#endif

#if !defined(Q_OS_WIN)
TEST(PortNames, anAdapterIsKeptByItsStableNameAndFoundAgainByIt)
{
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB3"));
    QFile(device).open(QIODevice::WriteOnly);
    const QString link = dir.filePath(QStringLiteral("usb-Maker_Adapter_S1-if00-port0"));
    ASSERT_TRUE(QFile::link(device, link));

    ListedPorts catalogue;
    SerialPortEntry moved = ftdi();
    moved.device = QStringLiteral("/dev/ttyUSB5"); // the same adapter, in another socket
    moved.byIdName.clear();
    catalogue.list = {moved};
    const struct {
        QString assigned;
        QString device;
    } rows[] = {
        {QStringLiteral("usb:0403:6001:A10K3ZQ7"), QStringLiteral("/dev/ttyUSB5")},
        {QStringLiteral("usb:0403:6001:OTHER"), QStringLiteral("usb:0403:6001:OTHER")}, // not plugged in
        {link, device},
        {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS0")},
    };
    for (const auto& row : rows)
        EXPECT_EQ(resolveAssignment(row.assigned, catalogue), row.device) << row.assigned.toStdString();

#if defined(Q_OS_LINUX)
    EXPECT_EQ(stableNameOf(ftdi()), ftdi().byIdName);
    EXPECT_EQ(stableNameOf(moved), QStringLiteral("usb:0403:6001:A10K3ZQ7"));
    moved.serialNumber.clear();
    EXPECT_EQ(stableNameOf(moved), QStringLiteral("/dev/ttyUSB5")) << "without a serial number only the device names it";
#endif
}
#endif

TEST(PortFindingsText, sayWhatWasFoundAndTheNextStep)
{
    const auto base = [] {
        PortFindings f;
        f.device = QStringLiteral("/dev/ttyUSB0");
        f.exists = true;
        f.owner = QStringLiteral("root");
        f.group = QStringLiteral("dialout");
        f.mode = QStringLiteral("crw-rw----");
        f.user = QStringLiteral("alice");
        return f;
    };
    const struct {
        const char* what;
        std::function<void(PortFindings&)> change;
        QStringList explanation; // each in the explanation, in this order
        QString verdict;
    } rows[] = {
        {"usable", [](PortFindings&) {}, {}, QStringLiteral("usable")},
        {"missing, one port present",
         [](PortFindings& f) { f.exists = false; f.present = {ftdi()}; },
         {QStringLiteral("/dev/ttyUSB0 does not exist."), QStringLiteral("Serial ports present now:\n  /dev/ttyUSB0  FT232R USB UART, FTDI, USB 0403:6001"),
          QStringLiteral("Next step: plug the adapter in")},
         QStringLiteral("does not exist")},
        {"missing, none present, brltty running",
         [](PortFindings& f) { f.exists = false; f.brlttyRunning = true; },
         {QStringLiteral("No serial port is present now."), QStringLiteral("brltty, the braille display daemon, is running"),
          QStringLiteral("sudo systemctl stop brltty-udev.service")},
         QStringLiteral("does not exist")},
        {"not in the group",
         [](PortFindings& f) { f.accessible = false; },
         {QStringLiteral("User alice is not in group dialout."), QStringLiteral("  sudo usermod -aG dialout alice")},
         QStringLiteral("no permission: needs group dialout (sudo usermod -aG dialout alice)")},
        {"not in the group uucp, the device's own",
         [](PortFindings& f) { f.accessible = false; f.group = QStringLiteral("uucp"); },
         {QStringLiteral("User alice is not in group uucp."), QStringLiteral("  sudo usermod -aG uucp alice")},
         QStringLiteral("no permission: needs group uucp (sudo usermod -aG uucp alice)")},
        {"added to plugdev, but not in this login",
         [](PortFindings& f) { f.accessible = false; f.inGroupDatabase = true; f.group = QStringLiteral("plugdev"); },
         {QStringLiteral("User alice was added to group plugdev, but this login does not have it yet."),
          QStringLiteral("Next step: log out and in again")},
         QStringLiteral("no permission: log out and in again to get group plugdev")},
        {"the group may not use it",
         [](PortFindings& f) { f.accessible = false; f.groupMayUse = false; f.mode = QStringLiteral("crw-------"); },
         {QStringLiteral("Group dialout may not read and write it either."), QStringLiteral("udev rule")},
         QStringLiteral("no permission (crw------- root dialout)")},
        {"held, with a lock file",
         [](PortFindings& f) { f.holders = {{4242, QStringLiteral("minicom"), QStringLiteral("/run/lock/LCK..ttyUSB0")}}; },
         {QStringLiteral("/dev/ttyUSB0 is in use by process 4242 (minicom); lock file /run/lock/LCK..ttyUSB0."),
          QStringLiteral("Next step: quit that program")},
         QStringLiteral("in use by process 4242 (minicom)")},
        {"claimed by brltty",
         [](PortFindings& f) { f.holders = {{77, QStringLiteral("brltty"), {}}}; },
         {QStringLiteral("/dev/ttyUSB0 is in use by process 77 (brltty)."), QStringLiteral("sudo systemctl mask brltty-udev.service")},
         QStringLiteral("claimed by brltty, the braille display daemon")},
        {"probed by ModemManager",
         [](PortFindings& f) { f.holders = {{88, QStringLiteral("ModemManager"), {}}}; },
         {QStringLiteral("ModemManager is running"), QStringLiteral("ID_MM_DEVICE_IGNORE")},
         QStringLiteral("in use by process 88 (ModemManager)")},
        {"held on Windows",
         [](PortFindings& f) { f.device = QStringLiteral("COM3"); f.holderUnknown = true; },
         {QStringLiteral("COM3 is in use by another program.")},
         QStringLiteral("present")},
        {"stale lock file",
         [](PortFindings& f) { f.staleLockFile = QStringLiteral("/run/lock/LCK..ttyUSB0"); f.stalePid = 99; },
         {QStringLiteral("names process 99, which no longer runs"), QStringLiteral("Next step: sudo rm /run/lock/LCK..ttyUSB0")},
         QStringLiteral("locked by process 99, which no longer runs (/run/lock/LCK..ttyUSB0)")},
    };
    for (const auto& row : rows) {
        PortFindings f = base();
        row.change(f);
        const QString text = explanationOf(f);
        qsizetype at = 0;
        for (const QString& part : row.explanation) {
            const qsizetype found = text.indexOf(part, at);
            EXPECT_GE(found, 0) << row.what << ": " << part.toStdString() << "\n" << text.toStdString();
            at = std::max<qsizetype>(found, 0);
        }
        EXPECT_EQ(verdictOf(f), row.verdict) << row.what;
    }
}

#ifdef Q_OS_WIN
// ---- Windows ---------------------------------------------------------------------------------

// The user's own store is the registry; what the test changes there is put back.
TEST(WindowsSettings, theUsersChoicesAreKeptInTheirRegistry)
{
    QSettings registry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quillon\\Quillon"), QSettings::NativeFormat);
    const QVariant comm = registry.value(QStringLiteral("File/Comm"));
    const QVariant com2 = registry.value(QStringLiteral("Ports/Com2"));
    SettingsStore user;
    user.setChosenPort(3);
    user.setPortDevice(2, QStringLiteral("COM7"));
    registry.sync();
    EXPECT_EQ(registry.value(QStringLiteral("File/Comm")).toString(), QStringLiteral("3"));
    EXPECT_EQ(registry.value(QStringLiteral("Ports/Com2")).toString(), QStringLiteral("COM7"));
    EXPECT_EQ(user.portDevice(2), QStringLiteral("COM7"));
    for (const auto& [key, old] : {std::pair{QStringLiteral("File/Comm"), comm}, std::pair{QStringLiteral("Ports/Com2"), com2}})
        old.isValid() ? registry.setValue(key, old) : registry.remove(key);
}

// Windows names no process that holds a port: a COM port that is listed but fails is in use.
// Its name is the one operators type, in any letter case, and the one stored: COM names follow
// an adapter already.
TEST(WindowsPortDoctor, aListedPortIsInUseAnUnlistedOneDoesNotExist)
{
    ListedPorts catalogue;
    SerialPortEntry com3;
    com3.device = QStringLiteral("COM3");
    com3.description = QStringLiteral("Communications Port");
    catalogue.list = {com3};
    const SystemPortDoctor doctor(catalogue);
    const struct {
        const char* device;
        bool exists;
        const char* said;
    } rows[] = {
        {"COM3", true, "COM3 is in use by another program."},
        {"com3", true, "com3 is in use by another program."},
        {"\\\\.\\COM3", true, "is in use by another program."},
        {"COM9", false, "COM9 does not exist.\nSerial ports present now:\n  COM3  Communications Port"},
    };
    for (const auto& row : rows) {
        const PortFindings f = doctor.examine(QString::fromLatin1(row.device));
        EXPECT_EQ(f.exists, row.exists) << row.device;
        EXPECT_EQ(f.holderUnknown, row.exists) << row.device;
        EXPECT_TRUE(explanationOf(f).contains(QString::fromLatin1(row.said))) << explanationOf(f).toStdString();
    }
    EXPECT_EQ(stableNameOf(com3), QStringLiteral("COM3"));
    EXPECT_EQ(resolveAssignment(QStringLiteral("COM3"), catalogue), QStringLiteral("COM3"));
}
#endif

} // namespace
