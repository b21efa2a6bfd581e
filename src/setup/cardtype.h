// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace quillon {

// The two kinds of KX40 card, and of set-up.
enum class CardType { AVM, SID };

inline QString cardTypeName(CardType type) { return type == CardType::AVM ? QStringLiteral("AVM") : QStringLiteral("SID"); }

} // namespace quillon
