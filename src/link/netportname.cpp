// SPDX-License-Identifier: GPL-3.0-or-later
#include "netportname.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace quillon {

namespace {

const QString Rfc2217Scheme = QStringLiteral("rfc2217");
const QString SocketScheme = QStringLiteral("socket");
const QString Shape = QStringLiteral("rfc2217://HOST:PORT or socket://HOST:PORT");

std::optional<NetPortName> fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

// A host name: dot-separated labels of letters, digits and hyphens (RFC 1123), and the
// underscores some networks use anyway.
bool isHostName(const QString& host)
{
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?$"));
    if (host.isEmpty() || host.size() > 253)
        return false;
    const QStringList labels = host.split(QLatin1Char('.'));
    for (const QString& part : labels) {
        if (!label.match(part).hasMatch())
            return false;
    }
    return true;
}

} // namespace

QString NetPortName::server() const
{
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return h + QLatin1Char(':') + QString::number(port);
}

QString NetPortName::text() const
{
    return (kind == Kind::Rfc2217 ? Rfc2217Scheme : SocketScheme) + QStringLiteral("://") + server();
}

bool looksLikeNetPortName(const QString& name)
{
    static const QRegularExpression scheme(QStringLiteral("^\\s*[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(name).hasMatch();
}

std::optional<NetPortName> parseNetPortName(const QString& text, QString* error)
{
    const QString name = text.trimmed();
    const qsizetype sep = name.indexOf(QStringLiteral("://"));
    if (sep < 0)
        return fail(error, QStringLiteral("\"%1\" is not a network port: write %2").arg(name, Shape));
    NetPortName parsed;
    const QString scheme = name.left(sep).toLower();
    if (scheme == Rfc2217Scheme)
        parsed.kind = NetPortName::Kind::Rfc2217;
    else if (scheme == SocketScheme)
        parsed.kind = NetPortName::Kind::RawTcp;
    else
        return fail(error, QStringLiteral("\"%1://\" is no kind of network port: write %2").arg(name.left(sep), Shape));

    const QString rest = name.mid(sep + 3);
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(error, QStringLiteral("the IPv6 address in \"%1\" has no closing \"]\"").arg(name));
        parsed.host = rest.mid(1, close - 1);
        const QHostAddress address(parsed.host);
        if (address.isNull() || address.protocol() != QAbstractSocket::IPv6Protocol)
            return fail(error, QStringLiteral("\"%1\" is not an IPv6 address").arg(parsed.host));
        if (rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail(error, QStringLiteral("the port number is missing after \"]\": write %1://[ADDRESS]:PORT").arg(scheme));
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return fail(error, QStringLiteral("the port number is missing in \"%1\": write %2").arg(name, Shape));
        parsed.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (parsed.host.contains(QLatin1Char(':')))
            return fail(error, QStringLiteral("an IPv6 address goes in brackets: %1://[%2]:PORT").arg(scheme, parsed.host));
        if (parsed.host.isEmpty())
            return fail(error, QStringLiteral("the server is missing in \"%1\": write %2").arg(name, Shape));
        if (!isHostName(parsed.host))
            return fail(error, QStringLiteral("\"%1\" is not a host name or address").arg(parsed.host));
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(portText).hasMatch() || !ok || port < 1 || port > 65535)
        return fail(error, QStringLiteral("\"%1\" is not a port number (1 to 65535)").arg(portText));
    parsed.port = static_cast<quint16>(port);
    return parsed;
}

QString netPortVerdict(const QString& name)
{
    QString error;
    const auto parsed = parseNetPortName(name, &error);
    if (!parsed)
        return error;
    return parsed->kind == NetPortName::Kind::Rfc2217
        ? QStringLiteral("network port (RFC 2217) on %1, reached when a connection opens").arg(parsed->server())
        : QStringLiteral("network port (raw TCP, line fixed at the server) on %1, reached when a connection opens").arg(parsed->server());
}

} // namespace quillon
