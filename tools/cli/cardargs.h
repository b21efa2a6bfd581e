// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

namespace quillon {

// The arguments of a cards or fleet command: the words, the options with their values (a
// repeated option keeps every value) and the options that take none.
struct CardArgs {
    QStringList words;
    std::map<QString, QStringList> values;
    QSet<QString> flags;

    QString value(const char* option) const
    {
        const auto it = values.find(QLatin1String(option));
        return it == values.end() ? QString() : it->second.constLast();
    }
    QStringList all(const char* option) const
    {
        const auto it = values.find(QLatin1String(option));
        return it == values.end() ? QStringList() : it->second;
    }
    bool has(const char* option) const { return values.count(QLatin1String(option)) > 0; }
    bool flag(const char* option) const { return flags.contains(QLatin1String(option)); }
};

// valued: the options that take a value, as "--name VALUE" or "--name=VALUE"; flags: those
// that take none. Anything else starting with "-" is an unknown option, until "--".
std::optional<CardArgs> parseCardArgs(const QStringList& args, const QStringList& valued, const QStringList& flags,
                                      QString* error);

} // namespace quillon
