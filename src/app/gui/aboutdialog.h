// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>
#include <optional>

namespace quillon {

class OperatorUi;

// The about box: title, release, description, the compatibility warning, and a button that
// starts the platform's system-information tool.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(OperatorUi& ui, QWidget* parent = nullptr);

    // Starts the system-information tool without waiting for it; says so when there is none.
    void startSystemInfo();

    struct Tool {
        QString program;
        QStringList arguments;
    };
    // This platform's system-information tool, if one is installed.
    static std::optional<Tool> systemInfoTool();

private:
    OperatorUi& ui_;
};

// " Release 1.2.0": the program's version as the about box shows it.
QString releaseText();

} // namespace quillon
