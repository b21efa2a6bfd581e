// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settingswindow.h"

namespace quillon {

// "Set-up Source ID": the video standard, what each output displays, the source ID lines for
// 525- and 625-line video, the composite display mode and the NTSC set-up pedestal.
class SourceIdSettingsWindow : public SettingsWindow {
    Q_OBJECT
public:
    explicit SourceIdSettingsWindow(CardSetup& setup, QWidget* parent = nullptr);

    void load() override;
    // Sets the line spinners' limits for the chosen standard before announcing the window.
    void activate() override;

    void setupSidLines();

private:
    QWidget* displayFrame();
    QWidget* lineFrame(const char* name, const QString& caption, Field vitc, Field pesa);
};

} // namespace quillon
