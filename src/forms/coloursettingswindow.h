// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settingswindow.h"

class QGridLayout;

namespace quillon {

// "Set-up Colors": the brightness and colour levels of the card's on-screen graphics, one
// slider each, with the slider's value shown beside it.
class ColourSettingsWindow : public SettingsWindow {
    Q_OBJECT
public:
    explicit ColourSettingsWindow(CardSetup& setup, QWidget* parent = nullptr);

private:
    struct Row;
    void addRow(QGridLayout* grid, int gridRow, const Row& row);
};

} // namespace quillon
