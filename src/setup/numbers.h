// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace quillon {

// The value of a number box: its longest leading decimal number. Blanks anywhere inside the
// number are skipped ("1 2" reads as 12); an optional sign, digits and one decimal point make
// the number; nothing else (no exponent, no hexadecimal). 0 when the text does not begin with
// a number.
double leadingNumber(const QString& text);

// Shortest decimal text of a value, no leading blank: 7, -128, 2.5.
QString shortestDecimal(double value);

// Decimal with a leading blank when not negative, as status texts and messages show numbers:
// " 7", "-3".
QString statusNumber(long long value);

// Round half to even, then check the result fits [low, high]; nullopt when it does not.
std::optional<int> roundToRange(double value, int low, int high);

} // namespace quillon
