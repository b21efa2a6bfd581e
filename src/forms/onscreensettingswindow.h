// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settingswindow.h"

class QGroupBox;

namespace quillon {

// "Set-up Windows": where the card draws its on-screen windows and messages, and which windows
// are on.
class OnScreenSettingsWindow : public SettingsWindow {
    Q_OBJECT
public:
    explicit OnScreenSettingsWindow(CardSetup& setup, QWidget* parent = nullptr);

private:
    // The "Horizontal" and "Vertical" boxes of on-screen item i, in a layout of their own.
    QLayout* positionBoxes(int index);
    QGroupBox* positionFrame(int index);
    QGroupBox* stateFrame(int index, bool offFirst);
    QGroupBox* pairFrame(const QString& name, const QString& caption,
                         QRadioButton* first, QRadioButton* second);
    QGroupBox* audioWindow();
    QGroupBox* sidWindow();
    QGroupBox* windowFrame(const QString& caption, int index, bool offFirst);
    QGroupBox* messageFrame(const QString& caption, int index);
};

} // namespace quillon
