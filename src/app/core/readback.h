// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

namespace quillon {

// What differs between the image sent to a card and the image read back, one line per setting
// (window caption, setting, value sent, value read back) or per byte of an AVM image (its
// offset); empty when the card holds what was sent. The comparison is compareSetups().
QStringList readBackDifferences(const QByteArray& sent, const QByteArray& readBack);

} // namespace quillon
