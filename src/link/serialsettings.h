// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace quillon {

// A serial settings text such as "9600,n,8,2" taken apart: baud, parity letter (lower case:
// n, e, o, m, s), data bits 5..8, stop bits 1, 1.5 (as 15) or 2.
struct LineSettings {
    int baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1; // 1, 15 (one and a half) or 2

    bool operator==(const LineSettings&) const = default;
};

// nullopt when the text is not four comma-separated fields of sensible values.
std::optional<LineSettings> parseLineSettings(const QString& text);

} // namespace quillon
