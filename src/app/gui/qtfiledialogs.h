// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/filedialogs.h"

#include <QFileDialog>
#include <QPointer>

namespace quillon {

// The file name questions of Save and Open, asked with the desktop's file dialogs.
class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent) : parent_(parent) {}
    std::optional<QString> askSaveName(const FileQuestion& question) override;
    std::optional<QString> askOpenName(const FileQuestion& question) override;

private:
    std::optional<QString> ask(const FileQuestion& question, QFileDialog::AcceptMode mode);
    QPointer<QWidget> parent_;
};

} // namespace quillon
