#pragma once

#include <cstdint>
#include <vector>

namespace velmora {

// The on-disk form of every data file. Both work in place on a length that is a multiple of 4
// and return false, leaving the bytes untouched, on any other length.
//   Scramble:   nibble swap by position pattern, XOR mask, rotation of big-endian 4-byte groups.
//   Unscramble: the same steps undone in reverse order.
bool Scramble(std::vector<std::uint8_t>& bytes);
bool Unscramble(std::vector<std::uint8_t>& bytes);

}  // namespace velmora
