// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settingswindow.h"

#include <array>

class QGroupBox;
class QLabel;

namespace quillon {

// "Set-up Controls": what the card's two general-purpose inputs do and the messages they show,
// the DIP switches, and the buttons that open and close the connection to the card by hand.
class ControlSettingsWindow : public SettingsWindow {
    Q_OBJECT
public:
    explicit ControlSettingsWindow(CardSetup& setup, QWidget* parent = nullptr);

public Q_SLOTS:
    // The receiver's diagnostic labels (check mode, header mode, data seen); never shown.
    void setDiagnosticLabel(int index, const QString& text);

Q_SIGNALS:
    void openPortClicked();
    void closePortClicked();

private:
    QGroupBox* gpiFrame(int gpi);

    std::array<QLabel*, 3> diagnostics_{};
};

} // namespace quillon
