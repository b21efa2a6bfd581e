// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/cardsetup.h"

#include <ostream>

namespace quillon {

// Lets GoogleTest show a set-up as its 68 named values when a comparison fails.
inline void PrintTo(const SetupValues& values, std::ostream* os)
{
    *os << "{";
    for (const FieldInfo& info : allFields())
        *os << "\n  " << info.name << " = " << values.displayValue(info.field).toStdString();
    *os << "\n}";
}

} // namespace quillon
