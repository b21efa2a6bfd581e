// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/cardsetup.h"

#include <QString>

namespace quillon {

// The text a number box is left with: a value under the range becomes its minimum, one over it
// its maximum, and what remains is written back as its shortest decimal ("007" -> "7",
// "12abc" -> "12", "" -> "0"). A fraction inside the range is kept.
QString rangeCheckedText(const QString& text, Range range);

} // namespace quillon
