#include "cli/commands.h"

namespace velmora::cli {

void AddDataCommands(CommandTable&) {}

}  // namespace velmora::cli
