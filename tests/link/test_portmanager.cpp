// Port discovery, the Options menu's port and speed choice, and the settings store they keep
// their choice in.

#include "link/portmanager.h"
#include "link/serialcontrol.h"
#include "link/settingsstore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using namespace quillon;

namespace {

// The store must be moved before the first QSettings use of the process.
QTemporaryDir& configHome()
{
    static QTemporaryDir dir;
    return dir;
}
const bool configMoved = [] {
    qputenv("XDG_CONFIG_HOME", configHome().path().toLocal8Bit());
    return true;
}();

void clearStore()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"), QStringLiteral("Quillon")).clear();
}

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

    int openings = 0;

private:
    std::set<int> openable_;
    int port_ = 0;
    bool open_ = false;
};

class PortManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(configMoved && configHome().isValid());
        clearStore();
    }
    void TearDown() override { clearStore(); }

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

    SettingsStore settings;
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
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"), QStringLiteral("Quillon"));
    raw.beginGroup(QStringLiteral("File"));
    EXPECT_EQ(raw.childKeys(), QStringList{QStringLiteral("load")});

    EXPECT_EQ(settings.value(QStringLiteral("File"), QStringLiteral("Missing"), QStringLiteral("1")), QStringLiteral("1"));
    EXPECT_FALSE(settings.contains(QStringLiteral("Other"), QStringLiteral("load")));
}

} // namespace
