// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace quillon {

// A port on a serial server, named where a device path goes: "rfc2217://HOST:PORT" (the client
// sets the remote line's speed and format) or "socket://HOST:PORT" (a raw TCP pipe to a line set
// up at the server). An IPv6 address is written in brackets: "rfc2217://[fd00::7]:4001".
struct NetPortName {
    enum class Kind { Rfc2217, RawTcp };
    Kind kind = Kind::Rfc2217;
    QString host; // a name, an IPv4 address, or an IPv6 address without its brackets
    quint16 port = 0;

    // "rfc2217://host:4001", "socket://[fd00::7]:4001": the name as the operator writes it.
    QString text() const;
    // "host:4001", "[fd00::7]:4001": the server, for messages.
    QString server() const;
    bool operator==(const NetPortName&) const = default;
};

// Whether a port's name is meant as a network port (it has a scheme, "xxx://"). Device paths
// never do, so a mistyped network name gets the parser's message, not "does not exist".
bool looksLikeNetPortName(const QString& name);

// The name taken apart; nullopt, with what is wrong and how it should look in *error, when it
// is not a network port name that can be used.
std::optional<NetPortName> parseNetPortName(const QString& name, QString* error = nullptr);

// One line for the port lists and the Port Assignment dialog: what the name stands for, or
// what is wrong with it. Reads nothing: a server is reached only when a connection opens.
QString netPortVerdict(const QString& name);

} // namespace quillon
