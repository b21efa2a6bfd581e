// SPDX-License-Identifier: GPL-3.0-or-later
#include "codepage.h"

#include <array>

namespace quillon {

namespace {

// Windows-1252 bytes 0x80..0x9F. The five codes the code page leaves unassigned (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for the C1 control of the same value, so every byte has a character.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isUnassigned(char16_t code)
{
    return code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D;
}

std::optional<char> byteFor(QChar c)
{
    const char16_t code = c.unicode();
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF) || isUnassigned(code))
        return char(code);
    for (std::size_t i = 0; i < HighControls.size(); ++i) {
        if (HighControls[i] == code)
            return char(0x80 + i);
    }
    return std::nullopt;
}

} // namespace

QString fromSingleByte(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        text += (code >= 0x80 && code <= 0x9F) ? QChar(HighControls[code - 0x80]) : QChar(code);
    }
    return text;
}

std::optional<QByteArray> toSingleByte(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const auto byte = byteFor(c);
        if (!byte)
            return std::nullopt;
        bytes += *byte;
    }
    return bytes;
}

std::optional<QChar> firstUnencodable(const QString& text)
{
    for (QChar c : text) {
        if (!byteFor(c))
            return c;
    }
    return std::nullopt;
}

} // namespace quillon
