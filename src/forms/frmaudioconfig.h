#pragma once

#include "settingsform.h"

namespace quillon {

// "Set-up Audio": the peak analog level, the fine adjustment of the channels, the output mode,
// the channel swap, the audio group and the channel pair.
class frmAudioConfig : public SettingsForm {
    Q_OBJECT
public:
    explicit frmAudioConfig(CardSetup& setup, QWidget* parent = nullptr);

    void load() override;

private:
    QLayout* levelFrame();
    QLayout* outputFrames();
    QWidget* channelFrame(const char* stem, int index, const QString& caption, Field field);
};

} // namespace quillon
