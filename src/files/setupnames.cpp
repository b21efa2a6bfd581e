// SPDX-License-Identifier: GPL-3.0-or-later
#include "setupnames.h"

namespace quillon {

CardType setupKindFromName(const QString& name)
{
    return name.endsWith(u'm') || name.endsWith(u'M') ? CardType::AVM : CardType::SID;
}

SetupName splitSetupName(const QString& path)
{
    const qsizetype separator = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    if (separator < 0)
        return {path, QString()};
    const QString lastPart = path.mid(separator + 1);
    const qsizetype dot = lastPart.indexOf(u'.');
    return {dot < 0 ? lastPart : lastPart.left(dot), path.left(separator + 1)};
}

QString setupExtension(CardType kind)
{
    return kind == CardType::AVM ? QStringLiteral(".kxm") : QStringLiteral(".kxd");
}

} // namespace quillon
