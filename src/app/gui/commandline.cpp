// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

namespace quillon {

namespace {

const QString Help = QStringLiteral(
    "usage: quillon [Qt options] [FILE]\n"
    "Extracts the set-up of a KX40 broadcast video card over a serial port, edits it in five\n"
    "settings windows and sends it back to the card; keeps set-ups in files.\n"
    "\n"
    "  FILE       a set-up file to open at start-up: .kxd (SID set-up) or .kxm (AVM image)\n"
    "  --help     print this text\n"
    "  --version  print the program's version\n"
    "\n"
    "Qt's standard options are accepted too, for example -platform NAME.\n");

} // namespace

std::optional<QString> earlyAnswer(const QStringList& args)
{
    for (const QString& arg : args) {
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            return Help;
        if (arg == QLatin1String("--version"))
            return QStringLiteral("quillon " QUILLON_VERSION "\n");
    }
    return std::nullopt;
}

} // namespace quillon
