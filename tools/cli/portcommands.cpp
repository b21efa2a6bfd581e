// ports: the serial ports of this computer and what Com1 to Com4 stand for.

#include "cliterminal.h"
#include "commands.h"

#include "link/portcatalogue.h"
#include "link/portdoctor.h"
#include "app/core/portlisting.h"
#include "app/core/settingsstore.h"

namespace quillon {

std::vector<CliCommand> portCommands()
{
    const QString usage = QStringLiteral("ports");
    const QString summary = QStringLiteral(
        "Lists the serial ports (device, description, manufacturer, USB vendor:product, serial number, "
        "stable /dev/serial/by-id name, whether it can be used and why not) and what Com1 to Com4 stand for.");
    return {{QStringLiteral("ports"), usage, summary, [usage](const QStringList& args) {
                 if (!args.isEmpty()) {
                     printLine(stderr, QStringLiteral("quillon-cli: unexpected argument %1").arg(args.first()));
                     printLine(stderr, QStringLiteral("usage: quillon-cli ") + usage);
                     return ExitUsage;
                 }
                 const SystemPortCatalogue catalogue;
                 const SystemPortDoctor doctor(catalogue);
                 for (const QString& line : portListing(catalogue, doctor, SettingsStore()))
                     printLine(stdout, line);
                 return ExitOk;
             }}};
}

} // namespace quillon
