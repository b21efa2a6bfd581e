// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netserialcontrol.h"
#include "qtserialcontrol.h"

namespace quillon {

// The serial control of the program: Com1 to Com4 each stand for a device of this computer or
// a port on a serial server (rfc2217://HOST:PORT, socket://HOST:PORT), as their names say; each
// opening goes to the one the port's name says.
class RoutedSerialControl : public QObject, public SerialControl {
    Q_OBJECT
public:
    explicit RoutedSerialControl(const ComPortNames& names, const PortCatalogue* catalogue = nullptr,
                                 QObject* parent = nullptr);
    ~RoutedSerialControl() override;

    // Opens this device or network port whatever the port number (quillon-cli --port); empty:
    // back to the names.
    void forceDevice(const QString& name);
    // What the port number stands for now: a device path or a network port's name.
    QString device() const;
    NetSerialControl& network() { return net_; }

    void setCommPort(int port) override;
    int commPort() const override { return active_->commPort(); }
    void setSettings(const QString& settings) override;
    QString settings() const override { return active_->settings(); }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return active_->portOpen(); }
    int inBufferCount() const override { return active_->inBufferCount(); }
    int outBufferCount() const override { return active_->outBufferCount(); }
    QByteArray input(int maxBytes) override { return active_->input(maxBytes); }
    void output(const QByteArray& bytes) override { active_->output(bytes); }
    void discardOutput() override { active_->discardOutput(); }
    QString lastError() const override { return active_->lastError(); }
    void whenSent(std::function<void()> done) override { active_->whenSent(std::move(done)); }
    QString diagnose(int port) const override;
    bool portOpening() const override { return active_->portOpening(); }
    QString settingsRefusal(const QString& settings) const override;
    double roundTripMs() const override { return active_->roundTripMs(); }
    NetFailure netFailure() const override { return active_->netFailure(); }

private:
    QString nameOf(int port) const;

    const ComPortNames& names_;
    QString forced_;
    QtSerialControl local_;
    NetSerialControl net_;
    SerialControl* active_ = &local_;
};

} // namespace quillon
