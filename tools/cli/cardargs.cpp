// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardargs.h"

namespace quillon {

std::optional<CardArgs> parseCardArgs(const QStringList& args, const QStringList& valued, const QStringList& flags,
                                      QString* error)
{
    CardArgs parsed;
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const QString name = arg.section(u'=', 0, 0);
        if (optionsEnded || !arg.startsWith(u'-') || arg.size() == 1) {
            parsed.words << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (valued.contains(name)) {
            if (arg.contains(u'=')) {
                parsed.values[name] << arg.section(u'=', 1);
            } else if (i + 1 < args.size()) {
                parsed.values[name] << args[++i];
            } else {
                *error = arg + QStringLiteral(" needs a value");
                return std::nullopt;
            }
        } else if (flags.contains(arg)) {
            parsed.flags.insert(arg);
        } else {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        }
    }
    return parsed;
}

} // namespace quillon
