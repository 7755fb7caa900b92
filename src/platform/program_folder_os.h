#pragma once

#include <string>

namespace velmora {

// The per-OS pieces of choosing the program folder (program_folder.cpp).

// True when the program may make files in folder.
bool CanWriteIntoFolder(const std::string& folder);

// True when the existing file path may be written.
bool CanWriteFile(const std::string& path);

// Makes a new empty folder named prefix plus a few random characters; its path, or empty.
std::string MakeScratchFolder(const std::string& prefix);

}  // namespace velmora
