// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netserialcontrol.h"

#include <QObject>
#include <QStringList>
#include <functional>

namespace quillon {

// Tries a network port as a connection opens it (look-up, connection, negotiation of the line,
// purge) and reports what it found and the round trip; it sends the card nothing. For
// quillon-cli ports --probe, and any window that wants to try a port.
class NetPortProbe : public QObject {
    Q_OBJECT
public:
    explicit NetPortProbe(QObject* parent = nullptr);

    // Starts; `done` is called later, once, with the report and whether the port can be used.
    void start(const QString& name, std::function<void(const QStringList& lines, bool usable)> done);

private:
    void finished();

    NetSerialControl port_;
    QString name_;
    std::function<void(const QStringList&, bool)> done_;
};

// The report of an opening that ended: what was found and the verdict, or what failed and the
// next step.
QStringList probeReport(const QString& name, const NetSerialControl& port);

} // namespace quillon
