// SPDX-License-Identifier: GPL-3.0-or-later
#include "routedserialcontrol.h"

#include "netportname.h"

namespace quillon {

RoutedSerialControl::RoutedSerialControl(const ComPortNames& names, const PortCatalogue* catalogue, QObject* parent)
    : QObject(parent), names_(names), local_(names, catalogue)
{
    for (SerialControl* c : {static_cast<SerialControl*>(&local_), static_cast<SerialControl*>(&net_)}) {
        c->onComm = [this, c](int event) {
            if (c == active_ && onComm)
                onComm(event);
        };
        c->onOutputDrained = [this, c] {
            if (c == active_ && onOutputDrained)
                onOutputDrained();
        };
    }
}

RoutedSerialControl::~RoutedSerialControl()
{
    local_.onComm = nullptr;
    local_.onOutputDrained = nullptr;
    net_.onComm = nullptr;
    net_.onOutputDrained = nullptr;
}

void RoutedSerialControl::forceDevice(const QString& name)
{
    forced_ = name.trimmed();
    local_.forceDevice(looksLikeNetPortName(forced_) ? QString() : forced_);
}

QString RoutedSerialControl::nameOf(int port) const
{
    return forced_.isEmpty() ? names_.portDevice(port).trimmed() : forced_;
}

QString RoutedSerialControl::device() const
{
    const QString name = nameOf(active_->commPort());
    return looksLikeNetPortName(name) ? name : local_.device();
}

void RoutedSerialControl::setCommPort(int port)
{
    local_.setCommPort(port);
    net_.setCommPort(port);
}

void RoutedSerialControl::setSettings(const QString& settings)
{
    // The one that is not in use keeps them for its next opening.
    local_.setSettings(settings);
    net_.setSettings(settings);
}

bool RoutedSerialControl::setPortOpen(bool open)
{
    if (!open)
        return active_->setPortOpen(false);
    if (active_->portOpen())
        return true;
    const QString name = nameOf(local_.commPort());
    if (looksLikeNetPortName(name)) {
        net_.setName(name);
        active_ = &net_;
    } else {
        active_ = &local_;
    }
    return active_->setPortOpen(true);
}

QString RoutedSerialControl::diagnose(int port) const
{
    const QString name = nameOf(port);
    if (!looksLikeNetPortName(name))
        return local_.diagnose(port);
    if (net_.name() == name && net_.failure())
        return net_.diagnose(port);
    QString error;
    if (!parseNetPortName(name, &error))
        return error + QLatin1Char('\n') + netFailureAdvice({NetFailure::Kind::BadName, error}, name);
    return {};
}

QString RoutedSerialControl::settingsRefusal(const QString& settings) const
{
    return active_->settingsRefusal(settings);
}

} // namespace quillon
