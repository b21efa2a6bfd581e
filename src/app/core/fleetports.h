// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

namespace quillon {

// Why a port name cannot name a card's port; empty when it can. A port is a serial device
// (/dev/ttyUSB0, /dev/serial/by-id/..., COM3 on Windows), one of Com1 to Com4 as the program's
// Ports settings assign them, or a serial server on the network: rfc2217://HOST:PORT or
// socket://HOST:PORT (an IPv6 address in brackets).
QString portNameProblem(const QString& port);

// The serial line a port name reaches, so that two names of one line compare equal: ComN is
// looked up with comDevice, a device's links are followed, a network port is its host (in
// lower case) and TCP port whatever the protocol. Two cards on one line never talk at once.
QString portLineKey(const QString& port, const std::function<QString(int com)>& comDevice);

} // namespace quillon
