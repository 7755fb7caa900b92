#include "model/scramble.h"

#include <array>
#include <cstddef>

namespace velmora {
namespace {

// The one key set for every file the program reads or writes. Files made with any other set
// cannot be read, so these values must never change once data sets have been shipped.
constexpr std::array<bool, 16> kSwapPattern = {true,  false, false, true,  true, false,
                                               true,  false, false, false, true, true,
                                               false, true,  false, true};
constexpr std::array<std::uint8_t, 16> kMask = {0x5A, 0xC3, 0x17, 0x8E, 0x29, 0xF0, 0x64, 0xB1,
                                                0x3D, 0x92, 0x0E, 0x7C, 0xA5, 0x48, 0xD6, 0x1B};
// Groups 1 and 3 (index modulo 4) turn left, groups 0 and 2 right.
constexpr std::array<unsigned, 4> kRotation = {7, 13, 3, 22};

std::uint32_t RotateLeft(std::uint32_t value, unsigned count) {
    count %= 32;
    return count == 0 ? value : (value << count) | (value >> (32 - count));
}

std::uint32_t RotateRight(std::uint32_t value, unsigned count) {
    count %= 32;
    return count == 0 ? value : (value >> count) | (value << (32 - count));
}

void SwapNibbles(std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (kSwapPattern[i % 16]) {
            bytes[i] = static_cast<std::uint8_t>((bytes[i] << 4) | (bytes[i] >> 4));
        }
    }
}

void ApplyMask(std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(bytes[i] ^ kMask[i % 16]);
    }
}

// forward: the direction used when saving; otherwise the opposite one.
void RotateGroups(std::vector<std::uint8_t>& bytes, bool forward) {
    for (std::size_t group = 0; group * 4 < bytes.size(); ++group) {
        std::uint8_t* p = bytes.data() + group * 4;
        std::uint32_t word = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                             (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
        const std::size_t slot = group % 4;
        const bool left = (slot == 1 || slot == 3) == forward;
        word = left ? RotateLeft(word, kRotation[slot]) : RotateRight(word, kRotation[slot]);
        p[0] = static_cast<std::uint8_t>(word >> 24);
        p[1] = static_cast<std::uint8_t>(word >> 16);
        p[2] = static_cast<std::uint8_t>(word >> 8);
        p[3] = static_cast<std::uint8_t>(word);
    }
}

}  // namespace

bool Scramble(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() % 4 != 0) {
        return false;
    }
    SwapNibbles(bytes);
    ApplyMask(bytes);
    RotateGroups(bytes, true);
    return true;
}

bool Unscramble(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() % 4 != 0) {
        return false;
    }
    RotateGroups(bytes, false);
    ApplyMask(bytes);
    SwapNibbles(bytes);
    return true;
}

}  // namespace velmora
