// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillon {

// Set-up texts are single-byte. Images and files use Windows-1252 everywhere; its five
// unassigned codes map to the C1 control characters of the same value so every byte round-trips.
QString fromSingleByte(const QByteArray& bytes);
// nullopt when a character has no single-byte code.
std::optional<QByteArray> toSingleByte(const QString& text);
// The first character of text that has no single-byte code, if any.
std::optional<QChar> firstUnencodable(const QString& text);

} // namespace quillon
