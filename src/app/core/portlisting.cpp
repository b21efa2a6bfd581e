// SPDX-License-Identifier: GPL-3.0-or-later
#include "portlisting.h"

#include "settingsstore.h"

#include "../../link/portdoctor.h"

namespace quillon {

namespace {

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString field(const char* name, const QString& value)
{
    return QStringLiteral("    %1 %2").arg(QString::fromLatin1(name).leftJustified(15), orDash(value));
}

} // namespace

QStringList portListing(const PortCatalogue& catalogue, const PortDoctor& doctor, const SettingsStore& store)
{
    QStringList lines;
    const QList<SerialPortEntry> present = catalogue.ports();
    if (present.isEmpty())
        lines << QStringLiteral("No serial port is present.");
    else
        lines << QStringLiteral("Serial ports:");
    for (const SerialPortEntry& port : present) {
        const QString stable = stableNameOf(port);
        lines << QStringLiteral("  ") + port.device
              << field("description:", port.description)
              << field("manufacturer:", port.manufacturer)
              << field("vendor:product:", port.usbId())
              << field("serial number:", port.serialNumber)
              << field("stable name:", stable == port.device ? QString() : stable)
              << field("verdict:", doctor.verdict(port.device));
    }

    lines << QString() << QStringLiteral("Com ports (section \"Ports\" of the settings):");
    const QString chosen = store.chosenPort();
    for (int p = 1; p <= 4; ++p) {
        const QString assigned = store.portDevice(p);
        const QString device = resolveAssignment(assigned, catalogue);
        QString line = QStringLiteral("  Com%1  %2").arg(QString::number(p), assigned.isEmpty() ? QStringLiteral("(none)") : assigned);
        if (!store.portAssigned(p))
            line += QStringLiteral(" (default)");
        if (device != assigned)
            line += QStringLiteral(" = ") + device;
        line += QStringLiteral(": ") + doctor.verdict(device);
        if (chosen == QString::number(p))
            line += QStringLiteral(" [chosen in Options]");
        lines << line;
    }
    return lines;
}

} // namespace quillon
