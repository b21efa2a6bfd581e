// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace quillon {

struct NetPortName;

// Why a network port could not be opened or was lost, as a value the link can act on, with the
// words for the operator.
struct NetFailure {
    enum class Kind {
        None,
        BadName,           // the port's name is not rfc2217://HOST:PORT or socket://HOST:PORT
        NameNotFound,      // the host name does not resolve
        ConnectionRefused, // nothing listens on that port
        NoAnswer,          // no answer within the limit: host down, a firewall
        ClosedAtOnce,      // the server let the connection go at once: the port is in use
        Rfc2217Refused,    // the server does not agree to RFC 2217 on that port
        SpeaksTelnet,      // socket:// to a port where the server speaks Telnet
        SettingRefused,    // the server answered a line setting with another value
        NotConfirmed,      // the server did not answer a line setting or purge in time
        Malformed,         // what the server sent is not Telnet
        Flood,             // more than a serial line at its speed can carry
        Dropped,           // the connection was lost while it was in use
    };
    Kind kind = Kind::None;
    QString detail; // the server's own words, the setting refused, the system's error text

    explicit operator bool() const { return kind != Kind::None; }
};

// One line naming the server and what happened ("rfc2217://rack3:4001: the connection was
// refused").
QString netFailureSummary(const NetFailure& failure, const QString& name);
// What it means and the next step, a few lines, for the message's details.
QString netFailureAdvice(const NetFailure& failure, const QString& name);

} // namespace quillon
