// SPDX-License-Identifier: GPL-3.0-or-later
#include "portdoctor.h"

#include "netfailure.h"
#include "netportname.h"

#include <QStringList>

namespace quillon {

namespace {

const QString Brltty = QStringLiteral("brltty");
const QString ModemManager = QStringLiteral("ModemManager");

QString holderText(const PortHolder& holder)
{
    return QStringLiteral("process %1 (%2)").arg(QString::number(holder.pid), holder.name.isEmpty() ? QStringLiteral("?") : holder.name);
}

bool isNamedAssignment(const QString& device)
{
    return device.startsWith(QLatin1String("usb:")) || device.startsWith(QLatin1String("/dev/serial/"));
}

QString brlttyAdvice()
{
    return QStringLiteral(
        "brltty, the braille display daemon, is running: it claims USB serial adapters (CH340, "
        "CP210x and others) that look like braille displays, and their device disappears.\n"
        "Next step, if no braille display is used: sudo systemctl stop brltty-udev.service "
        "brltty.service && sudo systemctl mask brltty-udev.service (or remove the brltty package), "
        "then unplug the adapter and plug it in again.");
}

QString modemManagerAdvice(const QString& device)
{
    return QStringLiteral(
        "ModemManager is running: it opens new USB serial devices for a while to look for modems.\n"
        "Next step: wait a few seconds and try again; to keep it away from %1 for good: "
        "sudo systemctl stop ModemManager, or a udev rule with ENV{ID_MM_DEVICE_IGNORE}=\"1\" for "
        "the adapter.").arg(device);
}

QStringList permissionLines(const PortFindings& f)
{
    const QString who = f.user.isEmpty() ? QStringLiteral("this user") : QStringLiteral("user ") + f.user;
    const QString Who = who.left(1).toUpper() + who.mid(1);
    QStringList lines{QStringLiteral("%1 belongs to user %2 and group %3 (%4); %5 may not read and write it.")
                          .arg(f.device, f.owner, f.group, f.mode, who)};
    if (!f.groupMayUse) {
        lines << QStringLiteral("Group %1 may not read and write it either.").arg(f.group)
              << QStringLiteral("Next step: ask the administrator for a udev rule that gives the device "
                                "a group with read and write access (GROUP=\"dialout\", MODE=\"0660\").");
    } else if (f.inThisLogin) {
        lines << QStringLiteral("%1 is in group %2, yet access is refused (an access list or a security "
                                "module).").arg(Who, f.group)
              << QStringLiteral("Next step: ask the administrator.");
    } else if (f.inGroupDatabase) {
        lines << QStringLiteral("%1 was added to group %2, but this login does not have it yet.").arg(Who, f.group)
              << QStringLiteral("Next step: log out and in again (or restart the computer).");
    } else {
        lines << QStringLiteral("%1 is not in group %2.").arg(Who, f.group)
              << QStringLiteral("Next step: add %1 to the group, then log out and in again:").arg(who)
              << QStringLiteral("  sudo usermod -aG %1 %2").arg(f.group, f.user.isEmpty() ? QStringLiteral("$USER") : f.user);
    }
    return lines;
}

QStringList holderLines(const PortFindings& f)
{
    QStringList lines;
    bool brltty = false;
    bool modemManager = false;
    for (const PortHolder& h : f.holders) {
        lines << (h.lockFile.isEmpty()
                      ? QStringLiteral("%1 is in use by %2.").arg(f.device, holderText(h))
                      : QStringLiteral("%1 is in use by %2; lock file %3.").arg(f.device, holderText(h), h.lockFile));
        brltty = brltty || h.name == Brltty;
        modemManager = modemManager || h.name == ModemManager;
    }
    if (brltty)
        lines << brlttyAdvice();
    else if (modemManager)
        lines << modemManagerAdvice(f.device);
    else
        lines << QStringLiteral("Next step: quit that program (or close the port in it) and try again.");
    return lines;
}

} // namespace

QString presentPortsText(const QList<SerialPortEntry>& present)
{
    if (present.isEmpty())
        return QStringLiteral("No serial port is present now.");
    QStringList lines{QStringLiteral("Serial ports present now:")};
    for (const SerialPortEntry& port : present) {
        QStringList about;
        for (const QString& part : {port.description, port.manufacturer})
            if (!part.isEmpty())
                about << part;
        if (port.isUsb())
            about << QStringLiteral("USB ") + port.usbId();
        QString line = QStringLiteral("  ") + port.device;
        if (!about.isEmpty())
            line += QStringLiteral("  ") + about.join(QStringLiteral(", "));
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString explanationOf(const PortFindings& f)
{
    QStringList lines;
    if (f.device.isEmpty()) {
        lines << QStringLiteral("No device is assigned to this port.") << presentPortsText(f.present)
              << QStringLiteral("Next step: assign one of the ports present to it.");
    } else if (!f.exists) {
        lines << QStringLiteral("%1 does not exist%2.").arg(f.device,
                     isNamedAssignment(f.device) ? QStringLiteral(": the adapter it names is not plugged in") : QString())
              << presentPortsText(f.present);
        if (f.brlttyRunning)
            lines << brlttyAdvice();
        lines << QStringLiteral("Next step: plug the adapter in, or use one of the ports present instead of %1.").arg(f.device);
    } else if (!f.accessible) {
        lines << permissionLines(f);
    } else if (!f.holders.isEmpty()) {
        lines << holderLines(f);
    } else if (f.holderUnknown) {
        lines << QStringLiteral("%1 is in use by another program.").arg(f.device)
              << QStringLiteral("Next step: quit that program (a terminal or another configuration program) and try again.");
    } else if (!f.staleLockFile.isEmpty()) {
        lines << QStringLiteral("The lock file %1 names process %2, which no longer runs.").arg(f.staleLockFile, QString::number(f.stalePid))
              << QStringLiteral("Next step: sudo rm %1").arg(f.staleLockFile);
    } else if (!f.serialDevice) {
        lines << QStringLiteral("%1 is not a serial device.").arg(f.device) << presentPortsText(f.present)
              << QStringLiteral("Next step: use one of the ports present instead.");
    } else if (f.usb && f.modemManagerRunning) {
        lines << modemManagerAdvice(f.device);
    } else {
        lines << QStringLiteral("%1 exists, this user may open it and no other program holds it: it may "
                                "have no hardware behind it (common for /dev/ttyS1 to /dev/ttyS3).").arg(f.device)
              << presentPortsText(f.present)
              << QStringLiteral("Next step: use one of the ports present instead.");
    }
    return lines.join(QLatin1Char('\n'));
}

QString verdictOf(const PortFindings& f)
{
    if (f.device.isEmpty())
        return QStringLiteral("no device assigned");
    if (!f.exists)
        return QStringLiteral("does not exist");
    if (!f.accessible) {
        if (f.groupMayUse && !f.inThisLogin && f.inGroupDatabase)
            return QStringLiteral("no permission: log out and in again to get group %1").arg(f.group);
        if (f.groupMayUse && !f.inThisLogin)
            return QStringLiteral("no permission: needs group %1 (sudo usermod -aG %1 %2)").arg(f.group, f.user);
        return QStringLiteral("no permission (%1 %2 %3)").arg(f.mode, f.owner, f.group);
    }
    if (!f.holders.isEmpty()) {
        const PortHolder& h = f.holders.first();
        if (h.name == Brltty)
            return QStringLiteral("claimed by brltty, the braille display daemon");
        return QStringLiteral("in use by ") + holderText(h);
    }
    if (f.holderUnknown)
        return QStringLiteral("present"); // whether another program holds it shows only on opening
    if (!f.staleLockFile.isEmpty())
        return QStringLiteral("locked by process %1, which no longer runs (%2)").arg(QString::number(f.stalePid), f.staleLockFile);
    if (!f.serialDevice)
        return QStringLiteral("not a serial device");
    return QStringLiteral("usable");
}

// A port on a serial server is not this computer's to examine: its name is checked, and the
// server is reached only when a connection opens.
QString PortDoctor::explain(const QString& device) const
{
    if (looksLikeNetPortName(device))
        return netPortExplanation(device);
    return explanationOf(examine(device));
}

QString PortDoctor::verdict(const QString& device) const
{
    if (looksLikeNetPortName(device))
        return netPortVerdict(device);
    return verdictOf(examine(device));
}

QString netPortExplanation(const QString& name)
{
    QString error;
    if (!parseNetPortName(name, &error))
        return error + QLatin1Char('\n') + netFailureAdvice({NetFailure::Kind::BadName, error}, name);
    return QStringLiteral("%1 is a port on a serial server, reached only when a connection opens.\n"
                          "Next step: quillon-cli ports --probe %1 connects to it and says what it finds.").arg(name.trimmed());
}

} // namespace quillon
