// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace quillon {

// A serial port of this computer, as the system describes it.
struct SerialPortEntry {
    QString device;       // "/dev/ttyUSB0", "COM3"
    QString description;  // "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString serialNumber; // the USB adapter's own, empty when it has none
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    QString byIdName;     // "/dev/serial/by-id/usb-FTDI_..." where udev made one

    bool isUsb() const { return vendorId.has_value() && productId.has_value(); }
    QString usbId() const; // "0403:6001", empty when not USB
};

// The serial ports present now. The program asks the system's; tests give their own list.
class PortCatalogue {
public:
    virtual ~PortCatalogue() = default;
    virtual QList<SerialPortEntry> ports() const = 0;
};

// Qt's list of ports (QSerialPortInfo), with the /dev/serial/by-id names on Linux and only
// the call-out devices (/dev/cu.*) on macOS.
class SystemPortCatalogue : public PortCatalogue {
public:
    QList<SerialPortEntry> ports() const override;
};

// What to store for a port so that the assignment survives a replug into another socket: the
// /dev/serial/by-id name, else "usb:VVVV:PPPP:SERIAL" for a USB adapter with a serial number,
// else the device itself. Windows keeps its COM names (they already follow the adapter).
QString stableNameOf(const SerialPortEntry& port);

// The device a stored assignment stands for now: a "usb:" name is looked up in the list, a
// link (a by-id name) is followed to its device; anything else is the device itself. A name
// that is not found stays as it is, so a failure names what was stored.
QString resolveAssignment(const QString& assigned, const PortCatalogue& catalogue);

// The entry for a device or stored name, nullptr when none is present.
const SerialPortEntry* findPort(const QString& deviceOrName, const QList<SerialPortEntry>& present);

} // namespace quillon
