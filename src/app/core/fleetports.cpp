// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleetports.h"

#include "../../link/netportname.h"

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

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// The network port's name as the link reads it when the connection opens.
QString networkProblem(const QString& port)
{
    QString error;
    if (!parseNetPortName(port, &error))
        return QStringLiteral("the port \"%1\" cannot be used: %2").arg(port, error);
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
    if (looksLikeNetPortName(port))
        return networkProblem(port);
    const QRegularExpressionMatch com = comPattern().match(port);
    if (com.hasMatch())
        return comProblem(port, com.captured(1).toInt());
    return {};
}

QString portLineKey(const QString& port, const std::function<QString(int)>& comDevice)
{
    if (const std::optional<NetPortName> network = parseNetPortName(port))
        return QStringLiteral("net:%1:%2").arg(network->host.toLower(), QString::number(network->port));
    const QRegularExpressionMatch com = comPattern().match(port);
    if (com.hasMatch() && comDevice) {
        const QString device = comDevice(com.captured(1).toInt());
        if (!device.isEmpty() && !comPattern().match(device).hasMatch())
            return portLineKey(device, nullptr); // the settings may name a network port too
    }
    return deviceKey(port);
}

} // namespace quillon
