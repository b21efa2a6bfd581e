// SPDX-License-Identifier: GPL-3.0-or-later
#include "portcatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace quillon {

namespace {

const QString UsbPrefix = QStringLiteral("usb:");

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// Device -> its /dev/serial/by-id name, as udev made them.
QHash<QString, QString> byIdNames()
{
    QHash<QString, QString> names;
#if defined(Q_OS_LINUX)
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    const QFileInfoList links = dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links) {
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty())
            names.insert(device, link.absoluteFilePath());
    }
#endif
    return names;
}

bool sameDevice(const QString& a, const QString& b)
{
#if defined(Q_OS_WIN)
    // "com3", "COM3" and "\\.\COM3" name one port.
    const auto bare = [](const QString& name) {
        return name.startsWith(QLatin1String("\\\\.\\")) ? name.mid(4) : name;
    };
    return bare(a).compare(bare(b), Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

} // namespace

QString SerialPortEntry::usbId() const
{
    return isUsb() ? hex4(*vendorId) + QLatin1Char(':') + hex4(*productId) : QString();
}

QList<SerialPortEntry> SystemPortCatalogue::ports() const
{
    const QHash<QString, QString> byId = byIdNames();
    QList<SerialPortEntry> list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry entry;
#if defined(Q_OS_WIN)
        entry.device = info.portName(); // "COM3", not "\\.\COM3": the name operators know and store
#else
        entry.device = info.systemLocation();
#endif
#if defined(Q_OS_MACOS)
        if (!entry.device.startsWith(QLatin1String("/dev/cu.")))
            continue; // the /dev/tty.* twin waits for a carrier before it opens
#endif
        entry.description = info.description();
        entry.manufacturer = info.manufacturer();
        entry.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            entry.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            entry.productId = info.productIdentifier();
        entry.byIdName = byId.value(entry.device);
        list << entry;
    }
    return list;
}

QString stableNameOf(const SerialPortEntry& port)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return port.device; // the system's names already follow the adapter
#else
    if (!port.byIdName.isEmpty())
        return port.byIdName;
    if (port.isUsb() && !port.serialNumber.isEmpty())
        return UsbPrefix + port.usbId() + QLatin1Char(':') + port.serialNumber;
    return port.device;
#endif
}

const SerialPortEntry* findPort(const QString& deviceOrName, const QList<SerialPortEntry>& present)
{
    for (const SerialPortEntry& port : present) {
        if (sameDevice(port.device, deviceOrName) || (!port.byIdName.isEmpty() && port.byIdName == deviceOrName)
            || stableNameOf(port) == deviceOrName)
            return &port;
    }
    return nullptr;
}

QString resolveAssignment(const QString& assigned, const PortCatalogue& catalogue)
{
    if (assigned.startsWith(UsbPrefix)) {
        const QList<SerialPortEntry> present = catalogue.ports();
        const SerialPortEntry* port = findPort(assigned, present);
        return port ? port->device : assigned;
    }
    // Followed here rather than by the serial layer, so its lock file and every diagnosis
    // name the device itself.
    const QFileInfo file(assigned);
    if (file.isSymLink()) {
        const QString target = file.canonicalFilePath();
        return target.isEmpty() ? assigned : target;
    }
    return assigned;
}

} // namespace quillon
