// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace quillon {

// Which port a connection opens, as the Options menu chose it.
class PortSelection {
public:
    virtual ~PortSelection() = default;
    virtual int selectedPort() const = 0;        // 1..4, 0 when none is chosen
    virtual bool isPortUsable(int port) const = 0;
    // Why the selection cannot be used and the next step; empty when nothing is known.
    virtual QString diagnosis() const { return {}; }
    // The device port 1..4 stands for, as assigned; empty when unknown.
    virtual QString deviceOf(int port) const { (void)port; return {}; }
};

// A selection of one fixed port, for callers that name the device themselves.
class FixedPort : public PortSelection {
public:
    explicit FixedPort(int port = 1, QString device = {}) : port_(port), device_(std::move(device)) {}
    int selectedPort() const override { return port_; }
    bool isPortUsable(int port) const override { return port == port_; }
    QString deviceOf(int port) const override { return port == port_ ? device_ : QString(); }
private:
    int port_;
    QString device_;
};

// What Com1..Com4 stand for, as assigned: a device path, or a stable name of an adapter that
// is looked up when the port opens. The application keeps the assignment.
class ComPortNames {
public:
    virtual ~ComPortNames() = default;
    virtual QString portDevice(int port) const = 0; // 1..4
};

} // namespace quillon
