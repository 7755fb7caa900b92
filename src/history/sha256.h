#pragma once

#include <string>
#include <string_view>

namespace velmora {

// SHA-256 (FIPS 180-4) of the bytes, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

// SHA-256 of a file's bytes as stored; false when it cannot be read.
bool FileSha256Hex(const std::string& path, std::string& hex);

}  // namespace velmora
