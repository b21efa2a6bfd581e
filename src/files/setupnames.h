// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../setup/cardtype.h"

#include <QString>

namespace quillon {

// Kind of set-up a file name stands for: AVM when its last character is "m" or "M".
CardType setupKindFromName(const QString& name);
// The extension a set-up file of that kind is saved with: ".kxm" (AVM) or ".kxd" (SID).
QString setupExtension(CardType kind);

// A path cut into the bare name (no folder, no extension) and the folder with its trailing
// separator. Both "/" and "\" end a folder. The first dot after the last separator ends the bare
// name; a last part without a dot is the bare name whole. A name without a separator has an
// empty folder and is left as it is.
struct SetupName {
    QString bareName;
    QString folder;
};
SetupName splitSetupName(const QString& path);

} // namespace quillon
