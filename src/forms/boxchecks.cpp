// SPDX-License-Identifier: GPL-3.0-or-later
#include "boxchecks.h"

#include "setup/numbers.h"

namespace quillon {

QString rangeCheckedText(const QString& text, Range range)
{
    QString checked = text;
    if (leadingNumber(checked) < range.min)
        checked = QString::number(range.min);
    if (leadingNumber(checked) > range.max)
        checked = QString::number(range.max);
    // Adding zero turns a negative zero ("-0") into plain 0.
    return shortestDecimal(leadingNumber(checked) + 0.0);
}

} // namespace quillon
