// SPDX-License-Identifier: GPL-3.0-or-later
#include "netfailure.h"

#include "netportname.h"

#include <QStringList>

namespace quillon {

namespace {

const QString RawAlternative = QStringLiteral(
    "or use socket://%1 if that port of the server is a raw TCP pipe to a line fixed at 9600 baud, "
    "8 data bits, no parity, 2 stop bits (a SID card; an AVM card needs RFC 2217).");

} // namespace

QString netFailureSummary(const NetFailure& f, const QString& name)
{
    const auto parsed = parseNetPortName(name);
    const QString host = parsed ? parsed->host : name;
    const QString withDetail = f.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(f.detail);
    switch (f.kind) {
    case NetFailure::Kind::None:
        return {};
    case NetFailure::Kind::BadName:
        return QStringLiteral("%1: %2").arg(name, f.detail);
    case NetFailure::Kind::NameNotFound:
        return QStringLiteral("%1: the server's name %2 was not found%3").arg(name, host, withDetail);
    case NetFailure::Kind::ConnectionRefused:
        return QStringLiteral("%1: the server refused the connection").arg(name);
    case NetFailure::Kind::NoAnswer:
        return QStringLiteral("%1: no answer from the server within 2 s").arg(name);
    case NetFailure::Kind::ClosedAtOnce:
        return f.detail.isEmpty() ? QStringLiteral("%1: the server closed the connection at once").arg(name)
                                  : QStringLiteral("%1: the server closed the connection at once, saying \"%2\"").arg(name, f.detail);
    case NetFailure::Kind::Rfc2217Refused:
        return QStringLiteral("%1: the server does not agree to RFC 2217 (remote control of the serial line) on "
                              "this port%2").arg(name, withDetail);
    case NetFailure::Kind::SpeaksTelnet:
        return QStringLiteral("%1: the server speaks Telnet on this port, not raw TCP").arg(name);
    case NetFailure::Kind::SettingRefused:
        return QStringLiteral("%1: the server did not set the line as asked: %2").arg(name, f.detail);
    case NetFailure::Kind::NotConfirmed:
        return QStringLiteral("%1: the server did not confirm %2 within 2 s").arg(name, f.detail);
    case NetFailure::Kind::Malformed:
        return QStringLiteral("%1: the server sent something that is not Telnet: %2").arg(name, f.detail);
    case NetFailure::Kind::Flood:
        return QStringLiteral("%1: the server sent more than a serial line can carry%2").arg(name, withDetail);
    case NetFailure::Kind::Dropped:
        return QStringLiteral("%1: the connection to the server was lost%2").arg(name, withDetail);
    }
    return {};
}

QString netFailureAdvice(const NetFailure& f, const QString& name)
{
    const auto parsed = parseNetPortName(name);
    const QString host = parsed ? parsed->host : name;
    const QString port = parsed ? QString::number(parsed->port) : QStringLiteral("PORT");
    const QString server = parsed ? parsed->server() : name;
    QStringList lines;
    switch (f.kind) {
    case NetFailure::Kind::None:
        return {};
    case NetFailure::Kind::BadName:
        lines << QStringLiteral("A network port is written rfc2217://HOST:PORT (the program sets the line) or "
                                "socket://HOST:PORT (a raw TCP pipe); an IPv6 address goes in brackets: "
                                "rfc2217://[fd00::7]:4001.")
              << QStringLiteral("Next step: correct the name under Options > Port Assignment... or in --port.");
        break;
    case NetFailure::Kind::NameNotFound:
        lines << QStringLiteral("This computer's name service does not know %1.").arg(host)
              << QStringLiteral("Next step: check the spelling, or use the server's IP address (rfc2217://ADDRESS:%1).").arg(port);
        break;
    case NetFailure::Kind::ConnectionRefused:
        lines << QStringLiteral("%1 answered, but nothing accepts connections on port %2.").arg(host, port)
              << QStringLiteral("Next step: check that ser2net (or the serial server) is running there, and that %1 is "
                                "the port number its configuration gives the card's line.").arg(port);
        break;
    case NetFailure::Kind::NoAnswer:
        lines << QStringLiteral("%1 is switched off or not reachable, or a firewall drops connections to port %2.").arg(host, port)
              << QStringLiteral("Next step: check that the server is on and reachable from here (ping %1), and that "
                                "firewalls let TCP port %2 through.").arg(host, port);
        break;
    case NetFailure::Kind::ClosedAtOnce:
        lines << QStringLiteral("The server takes one client per serial line: another program is most likely "
                                "connected to this line now (another Quillon, a terminal).")
              << QStringLiteral("Next step: end that connection, or wait for it to end, and try again.");
        break;
    case NetFailure::Kind::Rfc2217Refused:
        lines << QStringLiteral("Without RFC 2217 the program cannot set the line's speed and format at the server.")
              << QStringLiteral("Next step: enable RFC 2217 on that port of the server (ser2net: accepter "
                                "telnet(rfc2217),tcp(nodelay),%1), ").arg(port) + RawAlternative.arg(server);
        break;
    case NetFailure::Kind::SpeaksTelnet: {
        NetPortName rfc = parsed.value_or(NetPortName{});
        rfc.kind = NetPortName::Kind::Rfc2217;
        lines << QStringLiteral("Its negotiation would reach the card as data.")
              << QStringLiteral("Next step: use %1 (RFC 2217), or make that port of the server a raw TCP port "
                                "(ser2net: accepter tcp(nodelay),%2).").arg(parsed ? rfc.text() : QStringLiteral("rfc2217://HOST:PORT"), port);
        break;
    }
    case NetFailure::Kind::SettingRefused:
    case NetFailure::Kind::NotConfirmed:
        lines << QStringLiteral("The card's line needs 9600 baud (1200 for an AVM card once identified), 8 data bits, "
                                "no parity, 2 stop bits and no flow control.")
              << QStringLiteral("Next step: check that port's serial device in the server's configuration (a serial "
                                "port that takes these settings), then try again.");
        break;
    case NetFailure::Kind::Malformed:
    case NetFailure::Kind::Flood:
        lines << QStringLiteral("Port %1 of %2 does not behave as a serial server's port for a card at 9600 baud.").arg(port, host)
              << QStringLiteral("Next step: check the port number against the server's configuration.");
        break;
    case NetFailure::Kind::Dropped:
        lines << QStringLiteral("The network or the server failed while the connection was in use.")
              << QStringLiteral("Next step: check the network and the server at %1, then try again.").arg(host);
        break;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace quillon
