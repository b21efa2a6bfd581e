#include "commands.h"

namespace quillon {

std::vector<CliCommand> linkCommands() { return {}; }

} // namespace quillon
