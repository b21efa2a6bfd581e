// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace quillon {

// The manual Help > Contents opens, looked for in this order: installed beside the program
// (programDir/../share/quillon/help, where the package puts it: the program must not need
// /usr/share/doc), then in programDir/help (the Windows layout, and the build folder, which gets
// a copy). When none exists, the installed path, so a missing manual is reported by the viewer.
QString findHelpFile(const QString& programDir);

} // namespace quillon
