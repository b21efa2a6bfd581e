// SPDX-License-Identifier: GPL-3.0-or-later
#include "readback.h"

#include "../../setup/heldsetup.h"
#include "../../setup/setupcompare.h"
#include "../../setup/setupimage.h"

namespace quillon {

namespace {

QString line(const SetupDifference& d)
{
    const QString what = d.isByte() ? QStringLiteral("AVM image, byte at offset %1").arg(d.offset)
                                    : d.windowCaption + QStringLiteral(", ") + d.settingCaption;
    return QStringLiteral("%1: sent %2, read back %3").arg(what, d.thisValue, d.otherValue);
}

} // namespace

QStringList readBackDifferences(const QByteArray& sent, const QByteArray& readBack)
{
    if (readBack.size() <= SidImageSize) {
        if (const QString refusal = sidImageRefusal(readBack); !refusal.isEmpty())
            return {refusal};
    }
    const SetupComparison comparison = compareSetups(comparedSetupOfImage(sent, defaultSetupValues()), comparedSetupOfImage(readBack, defaultSetupValues()));
    if (!comparison.comparable())
        return {comparison.refusal};
    QStringList lines;
    for (const SetupDifference& d : comparison.differences)
        lines << line(d);
    return lines;
}

} // namespace quillon
