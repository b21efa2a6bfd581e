// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settingswindow.h"

namespace quillon {

// "Set-up Audio": the peak analog level, the fine adjustment of the channels, the output mode,
// the channel swap, the audio group and the channel pair.
class AudioSettingsWindow : public SettingsWindow {
    Q_OBJECT
public:
    explicit AudioSettingsWindow(CardSetup& setup, QWidget* parent = nullptr);

    void load() override;

private:
    QLayout* levelFrame();
    QLayout* outputFrames();
    QWidget* channelFrame(const char* name, const QString& caption, Field field);
};

} // namespace quillon
