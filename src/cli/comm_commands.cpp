#include "cli/commands.h"

namespace velmora::cli {

void AddCommCommands(CommandTable&) {}

}  // namespace velmora::cli
