// SPDX-License-Identifier: GPL-3.0-or-later
// ports: the serial ports of this computer and what Com1 to Com4 stand for.

#include "cliterminal.h"
#include "commands.h"

#include "link/netportname.h"
#include "link/netprobe.h"
#include "link/portcatalogue.h"
#include "link/portdoctor.h"
#include "app/core/portlisting.h"
#include "app/core/settingsstore.h"

#include <QEventLoop>

namespace quillon {

namespace {

// Connects to a serial server's port as a transfer would, reports, and sends the card nothing.
int probe(const QString& name)
{
    QEventLoop loop;
    NetPortProbe probe;
    bool usable = false;
    probe.start(name, [&](const QStringList& lines, bool ok) {
        usable = ok;
        for (const QString& line : lines)
            printLine(ok ? stdout : stderr, line);
        loop.quit();
    });
    loop.exec();
    return usable ? ExitOk : ExitFailed;
}

} // namespace

std::vector<CliCommand> portCommands()
{
    const QString usage = QStringLiteral("ports [--probe NAME]");
    const QString summary = QStringLiteral(
        "Lists the serial ports (device, description, manufacturer, USB vendor:product, serial number, "
        "stable /dev/serial/by-id name, whether it can be used and why not) and what Com1 to Com4 stand for. "
        "--probe NAME connects to a port on a serial server (rfc2217://HOST:PORT or socket://HOST:PORT) as a "
        "transfer would, sets the line, and reports what it found and the round trip; the card is sent nothing.");
    return {{QStringLiteral("ports"), usage, summary, [usage](const QStringList& args) {
                 const auto wrong = [&usage](const QString& problem) {
                     printLine(stderr, QStringLiteral("quillon-cli: ") + problem);
                     printLine(stderr, QStringLiteral("usage: quillon-cli ") + usage);
                     return ExitUsage;
                 };
                 if (!args.isEmpty() && args.first().section(u'=', 0, 0) == QLatin1String("--probe")) {
                     const QString name = args.first().contains(u'=') ? args.first().section(u'=', 1) : args.value(1);
                     if (args.size() > (args.first().contains(u'=') ? 1 : 2))
                         return wrong(QStringLiteral("unexpected argument %1").arg(args.last()));
                     if (name.isEmpty())
                         return wrong(QStringLiteral("--probe needs a network port such as rfc2217://HOST:PORT"));
                     if (!looksLikeNetPortName(name))
                         return wrong(QStringLiteral("--probe takes a port on a serial server (rfc2217://HOST:PORT or "
                                                     "socket://HOST:PORT); \"quillon-cli ports\" describes this "
                                                     "computer's own ports"));
                     return probe(name);
                 }
                 if (!args.isEmpty())
                     return wrong(QStringLiteral("unexpected argument %1").arg(args.first()));
                 const SystemPortCatalogue catalogue;
                 const SystemPortDoctor doctor(catalogue);
                 for (const QString& line : portListing(catalogue, doctor, SettingsStore()))
                     printLine(stdout, line);
                 return ExitOk;
             }}};
}

} // namespace quillon
