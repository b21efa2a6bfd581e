// SPDX-License-Identifier: GPL-3.0-or-later
// Why a port fails, in the message box's details, and Options > "Port Assignment...".

#include "guifixture.h"

#include "link/cardlink.h"
#include "link/portcatalogue.h"
#include "support/testsupport.h"

#include <QAccessible>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QSerialPort>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <vector>

namespace quillon::test {
namespace {

using testsupport::PseudoTerminal;
using testsupport::writeFile;

class ListedPorts : public PortCatalogue {
public:
    QList<SerialPortEntry> ports() const override { return list; }
    QList<SerialPortEntry> list;
};

SerialPortEntry usbAdapter(const QString& device)
{
    SerialPortEntry port;
    port.device = device;
    port.description = "FT232R USB UART";
    port.manufacturer = "FTDI";
    port.serialNumber = "TEST123";
    port.vendorId = 0x0403;
    port.productId = 0x6001;
    return port;
}

// Runs what() as user nobody with no supplementary group, then as root again.
void asNobody(const std::function<void()>& what)
{
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    std::vector<gid_t> groups(std::max(::getgroups(0, nullptr), 0));
    ::getgroups(int(groups.size()), groups.data());
    ASSERT_EQ(::setgroups(0, nullptr), 0);
    ASSERT_EQ(::setegid(nobody->pw_gid), 0);
    ASSERT_EQ(::seteuid(nobody->pw_uid), 0);
    what();
    ASSERT_EQ(::seteuid(0), 0);
    ASSERT_EQ(::setegid(0), 0);
    ASSERT_EQ(::setgroups(groups.size(), groups.data()), 0);
}

class PortsInTheProgram : public GuiFixture {
protected:
    void SetUp() override
    {
        prepareSettings();
        settings.setChosenPort(1);
    }
    ShellServices services() override
    {
        ShellServices s = GuiFixture::services();
        s.catalogue = &catalogue;
        return s;
    }
    void startWithCom1(const QString& device)
    {
        window.reset();
        messages.clear();
        findings.clear();
        settings.setPortDevice(1, device);
        window = std::make_unique<MainWindow>(services());
    }

    ListedPorts catalogue;
};

TEST_F(PortsInTheProgram, aPortThatFailsSaysWhatWasFoundAndTheNextStepInTheDetails)
{
    catalogue.list = {usbAdapter("/dev/ttyUSB7")};
    PseudoTerminal held, locked;
    ASSERT_FALSE(held.slave.isEmpty());
    ASSERT_FALSE(locked.slave.isEmpty());
    const QString missing = dir.filePath("ttyGone");
    const QString cannotOpen = QStringLiteral("The serial port could not be opened: ");

    // Missing: no Com item opens at start-up, so the selection is not valid.
    startWithCom1(missing);
    window->link().openPort();
    ASSERT_EQ(messages.value(0), "Current com port selection is not valid");
    for (const QString& part : {"Com1: " + missing + " does not exist.",
                                QStringLiteral("  /dev/ttyUSB7  FT232R USB UART, FTDI, USB 0403:6001")})
        EXPECT_TRUE(findings.value(0).contains(part)) << findings.value(0).toStdString();

    // Busy: another serial port holds the device after the start-up probe.
    startWithCom1(held.slave);
    ASSERT_TRUE(window->menuItem("optionsCom1")->isEnabled());
    QSerialPort holder(held.slave);
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    window->link().openPort();
    ASSERT_TRUE(messages.value(0).startsWith(cannotOpen + held.slave)) << messages.value(0).toStdString();
    EXPECT_TRUE(findings.value(0).contains(
        QStringLiteral("%1 is in use by process %2 (").arg(held.slave).arg(QCoreApplication::applicationPid())))
        << findings.value(0).toStdString();
    holder.close();

    // Permission denied: the device is its group's, and user nobody is not in it.
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || !dialout || !::getpwnam("nobody"))
        GTEST_SKIP() << "needs root, group dialout and user nobody";
    const QByteArray path = locked.slave.toLocal8Bit();
    ASSERT_EQ(::chown(path.constData(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(path.constData(), 0660), 0);
    startWithCom1(locked.slave);
    // The settings stay readable to nobody: the device is looked up at each opening.
    for (const QString& path : {dir.path(), dir.filePath("Quillon.conf")})
        ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), path.endsWith(".conf") ? 0644 : 0755), 0) << path.toStdString();
    asNobody([&] { window->link().openPort(); });
    ASSERT_EQ(messages.value(0), cannotOpen + locked.slave + ": Permission denied");
    for (const char* part : {"group dialout (crw-rw----)", "User nobody is not in group dialout.",
                             "then log out and in again:\n  sudo usermod -aG dialout nobody"})
        EXPECT_TRUE(findings.value(0).contains(part)) << part << "\n" << findings.value(0).toStdString();
}

TEST_F(PortsInTheProgram, anAdapterChosenForCom2IsStoredByItsOwnNameAndOffered)
{
    PseudoTerminal adapter;
    ASSERT_FALSE(adapter.slave.isEmpty());
    SerialPortEntry entry = usbAdapter(adapter.slave);
    entry.description = "Test Adapter";
    catalogue.list = {entry};
    startWithCom1(dir.filePath("noport"));
    ASSERT_FALSE(window->menuItem("optionsCom2")->isEnabled());

    window->menuItem("optionsPortAssignment")->trigger();
    PortAssignmentDialog* dialog = window->portAssignmentDialog();
    ASSERT_NE(dialog, nullptr);
    QComboBox* com2 = dialog->portBox(2);
    const int index = com2->findText(adapter.slave);
    ASSERT_GE(index, 0);
    // The list shows each port's description beside its device.
    auto* list = qobject_cast<QTreeView*>(com2->view());
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->isColumnHidden(1));
    EXPECT_EQ(com2->model()->index(index, 1).data().toString(), "Test Adapter");
    com2->setCurrentIndex(index);
    EXPECT_EQ(dialog->verdictLabel(2)->text(), "usable");
    EXPECT_EQ(dialog->verdictLabel(1)->text(), "does not exist");
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();

    // Kept by vendor, product and serial number: found again wherever it is plugged in.
    EXPECT_EQ(settings.value("Ports", "Com2"), "usb:0403:6001:TEST123");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->menuItem("optionsCom2")->isEnabled(); }, 10000));
    EXPECT_FALSE(window->menuItem("optionsCom1")->isEnabled());
    window->menuItem("optionsCom2")->trigger();
    EXPECT_TRUE(window->menuItem("optionsCom2")->isChecked());
}

// The four fields are named for a screen reader, and the dialog keeps its size while a path
// is typed, whatever the verdict beside it says on the way.
TEST_F(PortsInTheProgram, portAssignmentNamesItsFieldsAndDoesNotGrowWhileTyping)
{
    catalogue.list = {usbAdapter("/dev/ttyUSB7")};
    startWithCom1(dir.filePath("noport"));
    window->show();
    window->menuItem("optionsPortAssignment")->trigger();
    PortAssignmentDialog* dialog = window->portAssignmentDialog();
    ASSERT_NE(dialog, nullptr);
    for (int port = 1; port <= 4; ++port) {
        const QString name = QStringLiteral("Com%1 device").arg(port);
        for (QWidget* field : {static_cast<QWidget*>(dialog->portBox(port)), static_cast<QWidget*>(dialog->portBox(port)->lineEdit())})
            EXPECT_EQ(QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name), name);
    }

    PseudoTerminal held;
    ASSERT_FALSE(held.slave.isEmpty());
    QSerialPort holder(held.slave);
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    writeFile(dir.filePath("plain"), "not a device");
    QApplication::processEvents();
    const QSize size = dialog->size();
    QLineEdit* com1 = dialog->portBox(1)->lineEdit();
    QStringList verdicts;
    for (const QString& path : {dir.filePath("plain"), held.slave}) {
        com1->selectAll();
        for (const QChar typed : path) {
            QTest::keyClick(com1, typed.toLatin1());
            QApplication::processEvents();
            verdicts << dialog->verdictLabel(1)->text();
            ASSERT_EQ(dialog->size(), size) << com1->text().toStdString() << ": " << verdicts.last().toStdString();
        }
    }
    verdicts.removeDuplicates(); // the typing went through "does not exist", "not a serial device", "in use by"
    EXPECT_GE(verdicts.size(), 3) << verdicts.join(" / ").toStdString();
}

} // namespace
} // namespace quillon::test
