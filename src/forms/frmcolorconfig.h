#pragma once

#include "settingsform.h"

class QGridLayout;

namespace quillon {

// "Set-up Colors": the brightness and colour levels of the card's on-screen graphics, one
// slider each, with the slider's value shown beside it.
class frmColorConfig : public SettingsForm {
    Q_OBJECT
public:
    explicit frmColorConfig(CardSetup& setup, QWidget* parent = nullptr);

private:
    struct Row;
    void addRow(QGridLayout* grid, int gridRow, const Row& row);
};

} // namespace quillon
