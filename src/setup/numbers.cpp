// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbers.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <algorithm>
#include <limits>
#include <string_view>
#include <string>

namespace quillon {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

double leadingNumber(const QString& text)
{
    std::string number;
    bool sawSign = false;
    bool sawPoint = false;
    bool sawDigit = false;
    for (QChar c : text) {
        if (isBlank(c))
            continue;
        if ((c == u'-' || c == u'+') && !sawSign && !sawPoint && !sawDigit) {
            sawSign = true;
            if (c == u'-')
                number += '-';
        } else if (c == u'.' && !sawPoint) {
            sawPoint = true;
            number += '.';
        } else if (isDigit(c)) {
            sawDigit = true;
            number += char(c.unicode());
        } else {
            break;
        }
    }
    if (!sawDigit)
        return 0.0;

    const char* first = number.data();
    const char* last = first + number.size();
    const bool negative = *first == '-';
    if (negative)
        ++first;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
    (void)end;
    // Out of a double's range: hundreds of whole digits make the number huge; a fraction with
    // hundreds of leading zeros makes it zero.
    if (error == std::errc::result_out_of_range) {
        const std::string_view whole(first, std::find(first, last, '.') - first);
        const bool huge = whole.find_first_not_of('0') != std::string_view::npos;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

QString shortestDecimal(double value)
{
    if (value == 0.0)
        return QStringLiteral("0"); // no "-0"
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString statusNumber(long long value)
{
    const QString digits = QString::number(value);
    return value < 0 ? digits : u' ' + digits;
}

std::optional<int> roundToRange(double value, int low, int high)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // nearbyint uses the default rounding mode, round half to even.
    const double rounded = std::nearbyint(value);
    if (rounded < low || rounded > high)
        return std::nullopt;
    return static_cast<int>(rounded);
}

} // namespace quillon
