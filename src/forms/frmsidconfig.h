#pragma once

#include "settingsform.h"

namespace quillon {

// "Set-up Source ID": the video standard, what each output displays, the source ID lines for
// 525- and 625-line video, the composite display mode and the NTSC set-up pedestal.
class frmSIDConfig : public SettingsForm {
    Q_OBJECT
public:
    explicit frmSIDConfig(CardSetup& setup, QWidget* parent = nullptr);

    void load() override;
    // Sets the line spinners' limits for the chosen standard before announcing the window.
    void activate() override;

    void SetupSidLines();

private:
    QWidget* displayFrame();
    QWidget* lineFrame(int index, const QString& caption, Field vitc, Field pesa);
};

} // namespace quillon
