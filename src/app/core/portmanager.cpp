// SPDX-License-Identifier: GPL-3.0-or-later
#include "portmanager.h"

#include "settingsstore.h"

#include "../../link/serialcontrol.h"

namespace quillon {

namespace {

bool isPortNumber(int port) { return port >= 1 && port <= 4; }

} // namespace

PortManager::PortManager(SerialControl& port, SettingsStore& store) : port_(port), store_(store)
{
    for (int p = 1; p <= 4; ++p)
        items_[p].device = store_.portDevice(p);
}

QString PortManager::discoverPorts()
{
    QString usable;
    portUsable_.fill(false);
    probedPort_ = 0; // what an earlier attempt said no longer holds
    probeError_.clear();
    for (int p = 1; p <= 4; ++p) {
        port_.setCommPort(p);
        if (!port_.setPortOpen(true))
            continue;
        port_.setPortOpen(false);
        portUsable_[p] = true;
        usable += QString::number(p);
    }
    return usable;
}

bool PortManager::isPortUsable(int port) const
{
    return isPortNumber(port) && portUsable_[port];
}

int PortManager::selectedPort() const { return selectedPort_; }

QString PortManager::diagnosis() const
{
    int port = selectedPort_;
    if (!isPortNumber(port)) {
        const int comm = store_.chosenPort().toInt();
        port = isPortNumber(comm) ? comm : 1;
    }
    const QString found = port_.diagnose(port);
    // What the attempt just made said comes first: the system's findings are read afterwards.
    const QString attempt = port == probedPort_ && !probeError_.isEmpty()
        ? QStringLiteral("Com%1 was tried again just now and did not open (%2).\n").arg(QString::number(port), probeError_)
        : QString();
    if (found.isEmpty() && attempt.isEmpty())
        return {};
    return attempt + QStringLiteral("Com%1: %2\nOptions > Port Assignment... shows every port and what Com1 to Com4 "
                                    "stand for.").arg(QString::number(port), found);
}

void PortManager::probeChosenPort()
{
    bool ok = false;
    const int chosen = store_.chosenPort().toInt(&ok);
    const int port = ok && isPortNumber(chosen) ? chosen : 1;
    if (portUsable_[port] || port_.portOpen())
        return;
    items_[port].device = store_.portDevice(port);
    probedPort_ = port;
    port_.setCommPort(port);
    if (!port_.setPortOpen(true)) {
        probeError_ = port_.lastError();
        if (isPortNumber(selectedPort_))
            port_.setCommPort(selectedPort_);
        return;
    }
    port_.setPortOpen(false);
    probeError_.clear();
    portUsable_[port] = true;
    items_[port].enabled = true;
    markOnly(port);
    if (onMenusChanged)
        onMenusChanged();
}

void PortManager::start()
{
    for (int p = 1; p <= 4; ++p)
        items_[p].device = store_.portDevice(p);
    discoverPorts();
    resetPort();
    if (isPortNumber(selectedPort_))
        port_.setCommPort(selectedPort_);
}

void PortManager::resetPort()
{
    for (int p = 1; p <= 4; ++p)
        items_[p].enabled = portUsable_[p];

    for (int p = 1; p <= 4; ++p) {
        if (items_[p].enabled) {
            markOnly(p);
            break;
        }
    }

    const QString comm = store_.chosenPort();
    bool ok = false;
    const int stored = comm.toInt(&ok);
    // Only the exact digits name a port; a stored port that cannot be opened is ignored and
    // left stored.
    if (ok && isPortNumber(stored) && comm == QString::number(stored) && items_[stored].enabled)
        markOnly(stored);

    readSpeedMarks();
    if (onMenusChanged)
        onMenusChanged();
}

void PortManager::chooseComItem(int port, bool checkedBeforeClick)
{
    if (isPortNumber(port) && !checkedBeforeClick) {
        markOnly(port);
        store_.setChosenPort(port);
    }
    readSpeedMarks();
    if (onMenusChanged)
        onMenusChanged();
}

void PortManager::clickComItem(int port)
{
    // A disabled item cannot be clicked.
    if (!isPortNumber(port) || !items_[port].enabled)
        return;
    chooseComItem(port, items_[port].checked);
}

void PortManager::clickSlow()
{
    if (slowChecked_)
        return;
    slowChecked_ = true;
    turboChecked_ = false;
    store_.setSpeed(false);
    if (onMenusChanged)
        onMenusChanged();
}

void PortManager::clickTurbo()
{
    if (turboChecked_)
        return;
    turboChecked_ = true;
    slowChecked_ = false;
    store_.setSpeed(true);
    if (onMenusChanged)
        onMenusChanged();
}

const PortManager::ComItem& PortManager::comItem(int port) const
{
    return items_[isPortNumber(port) ? port : 0];
}

void PortManager::readSpeedMarks()
{
    bool ok = false;
    const int speed = store_.speed().trimmed().toInt(&ok);
    if (!ok)
        return;
    if (speed == 0) {
        slowChecked_ = true;
        turboChecked_ = false;
    } else if (speed == 1) {
        turboChecked_ = true;
        slowChecked_ = false;
    }
}

void PortManager::markOnly(int port)
{
    for (int p = 1; p <= 4; ++p)
        items_[p].checked = (p == port);
    selectedPort_ = port;
}

} // namespace quillon
