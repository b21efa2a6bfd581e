// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>

class QComboBox;
class QLabel;

namespace quillon {

class PortCatalogue;
class PortDoctor;
class SettingsStore;

// Options > "Port Assignment...": the device Com1 to Com4 stand for, each chosen from the ports
// present (by description and device) or typed as a path, with its verdict. OK stores them in
// section "Ports"; a USB adapter by its stable name, so that it is found again after a replug.
class PortAssignmentDialog : public QDialog {
    Q_OBJECT
public:
    PortAssignmentDialog(const PortCatalogue& catalogue, const PortDoctor& doctor, SettingsStore& store,
                         QWidget* parent = nullptr);

    QComboBox* portBox(int port) const { return boxes_.at(port - 1); }       // 1..4
    QLabel* verdictLabel(int port) const { return verdicts_.at(port - 1); } // 1..4
    // What OK stores for the port: a listed port's stable name, or the typed text.
    QString assignment(int port) const;

    void accept() override;

private:
    void showVerdict(int port);

    const PortCatalogue& catalogue_;
    const PortDoctor& doctor_;
    SettingsStore& store_;
    std::array<QComboBox*, 4> boxes_{};
    std::array<QLabel*, 4> verdicts_{};
};

} // namespace quillon
