#pragma once

#include <string>

namespace velmora {

// Folder of the running executable, ending in '/'; empty when unknown.
std::string ModuleFolderOfExecutable();

}  // namespace velmora
