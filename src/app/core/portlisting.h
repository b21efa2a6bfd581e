// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace quillon {

class PortCatalogue;
class PortDoctor;
class SettingsStore;

// The serial ports present, each with what the system says of it and a verdict, then what
// Com1 to Com4 stand for: what quillon-cli ports prints.
QStringList portListing(const PortCatalogue& catalogue, const PortDoctor& doctor, const SettingsStore& store);

} // namespace quillon
