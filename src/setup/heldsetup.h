// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cardsetup.h"
#include "cardtype.h"

#include <QByteArray>

namespace quillon {

inline constexpr int SidImageSize = 89;
inline constexpr int MaxImageSize = 1024; // an image travels in one frame
inline constexpr quint8 SetupDataCommand = 24;

// The set-up the program holds: the SID settings, the image exchanged with cards, and the two
// card kinds that say which of them counts.
struct HeldSetup {
    CardSetup fields;
    QByteArray setupImage = emptySidImage();
    CardType loadedCardType = CardType::SID;    // kind of set-up held
    CardType connectedCardType = CardType::SID; // kind of card the next send is for

    static QByteArray emptySidImage(); // 89 bytes: 24, then zeros
};

} // namespace quillon
