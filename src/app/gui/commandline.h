// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quillon {

// The answer to --help or --version (anywhere among the arguments), printed before any window
// opens, so that both work without a display; nullopt for a run that opens the window.
std::optional<QString> earlyAnswer(const QStringList& args);

} // namespace quillon
