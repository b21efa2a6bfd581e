// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../link/portselection.h"

#include <QString>
#include <array>
#include <functional>

namespace quillon {

class SerialControl;
class SettingsStore;

// Port discovery and the Options menu's port and speed choice, as a GUI-free model: the menu
// shows comItem(1..4), slowChecked() and turboChecked(), and calls the click handlers.
// Stored: the chosen port and the speed ([File] "Comm", "Speed").
class PortManager : public PortSelection {
public:
    struct ComItem {
        bool enabled = false;
        bool checked = false;
        QString device; // what the item stands for, for its tooltip
    };

    PortManager(SerialControl& port, SettingsStore& store);

    QString discoverPorts();                // probes ports 1..4; "13" when 1 and 3 opened
    bool isPortUsable(int port) const override;
    int selectedPort() const override;
    // The chosen port's diagnosis (the stored "Comm" when none could be opened).
    QString diagnosis() const override;
    QString deviceOf(int port) const override { return comItem(port).device; }
    // Discovery, menus, control set-up; the port stays closed. Run again after the ports
    // were assigned anew.
    void start();
    void resetPort();
    // Before a Get, Send or Open Port: the chosen port (the stored "Comm") is tried again when it
    // could not be opened before, so that an adapter plugged in after start-up is used at once.
    // It opens: it is offered and selected. It fails: the diagnosis starts from this attempt.
    // The serial control must be closed.
    void probeChosenPort();
    void chooseComItem(int port, bool checkedBeforeClick);

    void clickComItem(int port);            // Options > Com1..4
    void clickSlow();                       // Options > Speed > "Snail Slow"
    void clickTurbo();                      // Options > Speed > "Turbo"

    const ComItem& comItem(int port) const; // 1..4
    bool slowChecked() const { return slowChecked_; }
    bool turboChecked() const { return turboChecked_; }

    std::function<void()> onMenusChanged;

private:
    void readSpeedMarks();
    void markOnly(int port);
    SerialControl& port_;
    SettingsStore& store_;
    std::array<bool, 17> portUsable_{};
    std::array<ComItem, 5> items_{};
    int selectedPort_ = 0;
    bool slowChecked_ = false;
    bool turboChecked_ = false;
    int probedPort_ = 0;  // the port last tried by probeChosenPort, and why it failed
    QString probeError_;
};

} // namespace quillon
