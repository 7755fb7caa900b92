#pragma once

#include <cstddef>
#include <string>

namespace velmora {

// Private-profile (INI) access with the Windows semantics the program relies on.
//
// Reading: section and key names match case-insensitively, the first match wins, spaces and
// tabs around a value are trimmed and one pair of matching quotes removed, ';' lines are
// comments. A missing file, section or key gives an empty text. The value is cut to
// bufferSize - 1 characters, as the Windows call does with a buffer of bufferSize.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, std::size_t bufferSize);

// Writing: replaces the key's value in place and keeps every other byte of the file; adds the
// key (and section) when missing. The file is replaced atomically (temporary file in the same
// folder, flushed, renamed). Returns false when the file cannot be written.
bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace velmora
