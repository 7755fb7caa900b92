#pragma once

// The controller's two register areas as constant maps: where every value lives, how it is
// packed, the key that names it in parameter and backup files, and where read and write
// requests close. The maps hold no values; values live in a RegisterImage.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

enum class Packing : std::uint8_t {
    BytePair,  // two one-byte values sharing one register, high byte first
    Word,      // one register
    Dword,     // two registers, the first holding the high half
    Text16,    // 16 one-byte characters over eight registers
};

// A key kept inside the map itself, so the maps can be built at compile time.
struct MapKey {
    std::array<char, 28> text{};
    std::uint8_t size = 0;

    constexpr std::string_view view() const { return {text.data(), size}; }
    constexpr bool empty() const { return size == 0; }
};

// One value of a map: a byte pair, a word, a dword or the text.
struct RegisterUnit {
    std::uint16_t reg = 0;  // its first register
    Packing packing = Packing::Word;
    MapKey key;                // the key of the value (of the high byte, for a byte pair)
    MapKey secondKey;          // the key of the low byte of a byte pair; empty otherwise
    bool closesBlock = false;  // a read or write request ends after this unit

    constexpr std::uint16_t registerCount() const {
        switch (packing) {
            case Packing::Dword:
                return 2;
            case Packing::Text16:
                return 8;
            default:
                return 1;
        }
    }
    constexpr std::uint16_t lastReg() const {
        return static_cast<std::uint16_t>(reg + registerCount() - 1);
    }
};

// Parameter area: registers 0x0000 to 0x017F.
inline constexpr std::uint16_t kParameterFirstReg = 0x0000;
inline constexpr std::uint16_t kParameterLastReg = 0x017F;
inline constexpr std::size_t kParameterRegCount = 384;
inline constexpr std::size_t kParameterUnitCount = 341;

// Step area: 64 steps of 16 registers from 0x0400.
inline constexpr std::uint16_t kStepFirstReg = 0x0400;
inline constexpr std::uint16_t kStepLastReg = 0x07FF;
inline constexpr std::size_t kStepCount = 64;
inline constexpr std::size_t kStepRegCount = 16;
inline constexpr std::size_t kStepUnitCount = 12;  // units of one step
inline constexpr std::size_t kStepAreaRegCount = kStepCount * kStepRegCount;

// Registers the program names.
inline constexpr std::uint16_t kUnitNameReg = 0x000E;
inline constexpr std::size_t kUnitNameBytes = 16;
inline constexpr std::uint16_t kModeReg = 0x000C;
inline constexpr std::uint8_t kWritingModeLowByte = 200;
inline constexpr std::uint16_t kUnitNumberReg = 0x008E;

// A write or read request of the maps' walks: the first register and the register count.
struct RegisterBlock {
    std::uint16_t reg = 0;
    std::uint16_t count = 0;
    bool operator==(const RegisterBlock&) const = default;
};

// The parameter area's units in register order (the text is one unit).
std::span<const RegisterUnit, kParameterUnitCount> ParameterMap();
// The units of step 0; step n lies 16 × n registers further on.
std::span<const RegisterUnit, kStepUnitCount> StepMap();

// The unit that starts at reg, if any.
const RegisterUnit* ParameterUnitAt(std::uint16_t reg);
// The unit reg belongs to (its first register or a later one).
const RegisterUnit* ParameterUnitHolding(std::uint16_t reg);

// Requests of a whole parameter write, in sending order: the unit name's text first, then the
// area in blocks closed by the map's flags or by 56 values. Fourteen in all.
std::span<const RegisterBlock> ParameterWriteBlocks();
// Requests of a whole parameter read, in order: the same blocks, the text read as four
// registers in its place.
std::span<const RegisterBlock> ParameterReadBlocks();
// One request of 16 registers per step, for reads and writes alike.
RegisterBlock StepBlock(std::size_t step);

// What names a parameter register for people: the key of its value, both keys of a byte
// pair ("Max force= / Para protect="), a dword's key on both its registers. Empty outside the
// area.
std::string ParameterRegisterName(std::uint16_t reg);

}  // namespace velmora
