#pragma once

#include <QString>

namespace quillon {

// The manual Help > Contents opens, looked for in this order: installed beside the program
// (programDir/../share/doc/quillon/html, where the package puts it), in programDir/help (the
// Windows layout), then in the source tree the program was built from (a run from the build
// folder). When none exists, the installed path, so a missing manual is reported by the viewer.
QString findHelpFile(const QString& programDir, const QString& sourceDir);

} // namespace quillon
