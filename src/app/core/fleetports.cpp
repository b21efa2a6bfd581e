// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleetports.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace quillon {

namespace {

constexpr int MaxPortLength = 256;

const QRegularExpression& comPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^com([0-9]{1,3})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// scheme, host (an IPv6 address keeps its brackets), port.
const QRegularExpression& networkPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^([a-z0-9+.-]+)://(\\[[0-9a-f:.]+\\]|[a-z0-9._-]+):([0-9]{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString networkProblem(const QString& port)
{
    const QString example = QStringLiteral("write rfc2217://HOST:PORT or socket://HOST:PORT, "
                                           "such as rfc2217://rack3.example.net:7001");
    const QRegularExpressionMatch m = networkPattern().match(port);
    if (!m.hasMatch())
        return QStringLiteral("the port \"%1\" is not a network port: %2").arg(port, example);
    const QString scheme = m.captured(1).toLower();
    if (scheme != QLatin1String("rfc2217") && scheme != QLatin1String("socket"))
        return QStringLiteral("the port \"%1\" names no kind of port the program knows: %2").arg(port, example);
    const int number = m.captured(3).toInt();
    if (number < 1 || number > 65535)
        return QStringLiteral("the port \"%1\" has a TCP port outside 1 to 65535").arg(port);
    return {};
}

QString comProblem(const QString& port, int number)
{
#if defined(Q_OS_WIN)
    if (number >= 1 && number <= 256)
        return {};
    return QStringLiteral("the port \"%1\" does not exist: Windows has COM1 to COM256").arg(port);
#else
    if (number >= 1 && number <= 4)
        return {};
    return QStringLiteral("the port \"%1\" does not exist: Com1 to Com4 stand for the devices of the "
                          "Ports settings; name any other by its device, such as /dev/ttyUSB0").arg(port);
#endif
}

QString deviceKey(QString device)
{
#if defined(Q_OS_WIN)
    return device.toUpper();
#else
    if (!device.startsWith(u'/'))
        device.prepend(QStringLiteral("/dev/")); // as the serial port takes a bare name
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(device) : canonical;
#endif
}

} // namespace

QString portNameProblem(const QString& port)
{
    if (port.trimmed().isEmpty())
        return QStringLiteral("the port is empty");
    if (port.size() > MaxPortLength)
        return QStringLiteral("the port is longer than %1 characters").arg(MaxPortLength);
    if (hasControlCharacter(port) || port != port.trimmed())
        return QStringLiteral("the port \"%1\" holds control characters or blanks at its ends").arg(port.simplified());
    if (port.contains(QLatin1String("://")))
        return networkProblem(port);
    const QRegularExpressionMatch com = comPattern().match(port);
    if (com.hasMatch())
        return comProblem(port, com.captured(1).toInt());
    return {};
}

QString portLineKey(const QString& port, const std::function<QString(int)>& comDevice)
{
    const QRegularExpressionMatch network = networkPattern().match(port);
    if (network.hasMatch())
        return QStringLiteral("net:%1:%2").arg(network.captured(2).toLower(), QString::number(network.captured(3).toInt()));
    const QRegularExpressionMatch com = comPattern().match(port);
    if (com.hasMatch() && comDevice) {
        const QString device = comDevice(com.captured(1).toInt());
        if (!device.isEmpty() && !comPattern().match(device).hasMatch())
            return portLineKey(device, nullptr); // the settings may name a network port too
    }
    return deviceKey(port);
}

} // namespace quillon
