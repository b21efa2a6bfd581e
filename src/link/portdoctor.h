// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "portcatalogue.h"

#include <QList>
#include <QString>

namespace quillon {

// A process that holds a serial device.
struct PortHolder {
    qint64 pid = 0;
    QString name;     // "minicom"
    QString lockFile; // the lock file that names it; empty when found by its open descriptor
};

// What the system shows about a device that is to be opened. Only read, never changed.
struct PortFindings {
    QString device;
    bool exists = false;
    bool serialDevice = true; // a character device (or, off Linux, a port the system lists)
    bool accessible = true;   // this user may read and write it
    QString owner;            // "root"
    QString group;            // "dialout"
    QString mode;             // "crw-rw----"
    bool groupMayUse = true;  // the group may read and write it
    QString user;             // who runs the program
    bool inGroupDatabase = false; // the group lists the user (/etc/group)
    bool inThisLogin = false;     // this login has the group (getgroups)
    QList<PortHolder> holders;
    QString staleLockFile;    // a lock file naming a process that no longer runs
    qint64 stalePid = 0;
    bool holderUnknown = false; // held elsewhere, by a program the system does not name (Windows)
    bool usb = false;
    bool brlttyRunning = false;
    bool modemManagerRunning = false;
    QList<SerialPortEntry> present; // the serial ports present now
};

// Finds out why a serial device cannot be used.
class PortDoctor {
public:
    virtual ~PortDoctor() = default;
    virtual PortFindings examine(const QString& device) const = 0;

    // What was found, and the next step, naming the device: a few lines. A network port's name
    // (rfc2217://HOST:PORT) is only checked.
    QString explain(const QString& device) const;
    // One line: "usable", or why not.
    QString verdict(const QString& device) const;
};

// Reads this computer: the device node, the user's groups, lock files and /proc on Linux;
// the port list elsewhere.
class SystemPortDoctor : public PortDoctor {
public:
    explicit SystemPortDoctor(const PortCatalogue& catalogue) : catalogue_(catalogue) {}
    PortFindings examine(const QString& device) const override;

private:
    const PortCatalogue& catalogue_;
};

QString explanationOf(const PortFindings& findings);
// What a network port's name stands for, or what is wrong with it, and the next step.
QString netPortExplanation(const QString& name);
QString verdictOf(const PortFindings& findings);
// "  /dev/ttyUSB0  FT232R USB UART, FTDI, USB 0403:6001" per port, or that none is present.
QString presentPortsText(const QList<SerialPortEntry>& present);

} // namespace quillon
