#include "model/register_map.h"

#include <string>

namespace velmora {
namespace {

constexpr MapKey Key(std::string_view text) {
    MapKey key;
    for (std::size_t i = 0; i < text.size() && i < key.text.size(); ++i) {
        key.text[i] = text[i];
    }
    key.size = static_cast<std::uint8_t>(text.size());
    return key;
}

// prefix + number in `digits` decimal digits + suffix: "Maker Setting 004=", "0353=".
constexpr MapKey NumberedKey(std::string_view prefix, int number, int digits,
                             std::string_view suffix) {
    MapKey key;
    std::size_t at = 0;
    for (const char c : prefix) {
        key.text[at++] = c;
    }
    char reversed[8]{};
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    for (int pad = count; pad < digits; ++pad) {
        key.text[at++] = '0';
    }
    while (count > 0) {
        key.text[at++] = reversed[--count];
    }
    for (const char c : suffix) {
        key.text[at++] = c;
    }
    key.size = static_cast<std::uint8_t>(at);
    return key;
}

// Builds a map unit by unit; groups of units share a packing, and a flagged group closes the
// read and the write request after its last unit.
template <std::size_t N>
struct MapBuilder {
    std::array<RegisterUnit, N> units{};
    std::size_t count = 0;
    std::uint16_t reg = 0;

    constexpr void At(std::uint16_t first) { reg = first; }
    constexpr void Add(Packing packing, MapKey key, MapKey second = {}) {
        RegisterUnit& unit = units[count++];
        unit.reg = reg;
        unit.packing = packing;
        unit.key = key;
        unit.secondKey = second;
        reg = static_cast<std::uint16_t>(reg + unit.registerCount());
    }
    constexpr void Words(std::initializer_list<std::string_view> keys) {
        for (const auto key : keys) {
            Add(Packing::Word, Key(key));
        }
    }
    constexpr void Dwords(std::initializer_list<std::string_view> keys) {
        for (const auto key : keys) {
            Add(Packing::Dword, Key(key));
        }
    }
    constexpr void Pair(std::string_view high, std::string_view low) {
        Add(Packing::BytePair, Key(high), Key(low));
    }
    constexpr void NumberedWords(std::string_view prefix, int first, int last, int digits,
                                 std::string_view suffix) {
        for (int number = first; number <= last; ++number) {
            Add(Packing::Word, NumberedKey(prefix, number, digits, suffix));
        }
    }
    constexpr void CloseBlock() { units[count - 1].closesBlock = true; }
};

// The I/O function assignments of one group: "IN1 func(P1M0)=" / "IN2 func(P1M0)=" in its
// first register up to "OUT15 ..." / "OUT16 ..." in its sixteenth.
template <std::size_t N>
constexpr void FunctionGroup(MapBuilder<N>& map, std::string_view group) {
    for (const std::string_view direction : {std::string_view("IN"), std::string_view("OUT")}) {
        for (int number = 1; number <= 16; number += 2) {
            MapKey high = NumberedKey(direction, number, 1, " func(");
            MapKey low = NumberedKey(direction, number + 1, 1, " func(");
            for (MapKey* key : {&high, &low}) {
                for (const char c : group) {
                    key->text[key->size++] = c;
                }
                key->text[key->size++] = ')';
                key->text[key->size++] = '=';
            }
            map.Add(Packing::BytePair, high, low);
        }
    }
}

constexpr std::array<RegisterUnit, kParameterUnitCount> BuildParameterMap() {
    MapBuilder<kParameterUnitCount> map;
    map.Pair("Controller ID=", "IO patern=");
    map.Pair("ACC/DEC pattern=", "S-motion rate=");
    map.Dwords({"Stroke(+)", "Stroke(-)"});
    map.Words({"Max speed=", "Max ACC/DEC="});
    map.Dwords({"Def In position=", "ORIG offset="});
    map.Pair("Max force=", "Para protect=");
    map.Pair("Enable SW=", "0013=");
    map.CloseBlock();
    map.Add(Packing::Text16, Key("Unit name="));
    map.CloseBlock();
    map.Dwords({"W-AREA1=", "W-AREA2=", "ORG Correct="});
    map.Words(
        {"Sensor type=", "Option set1=", "Undefined parameter 11=", "Undefined parameter 12="});
    map.CloseBlock();
    map.Pair("ORIG direction=", "ORIG mode=");
    map.Pair("ORIG limit=", "ORIG time=");
    map.Words({"ORIG speed=", "ORIG ACC/DEC=", "Creep speed="});
    map.Pair("ORIG sensor=", "0058=");
    map.Words({"ORIG SW Dir=", "Undefined parameter 21="});
    map.NumberedWords("", 61, 68, 4, "=");
    map.CloseBlock();
    map.Words({"JOG speed=", "JOG Accel=", "JOG Decel=", "JOG force="});
    map.Dwords({"Move distance="});
    map.Words({"Pushing time=", "Safe speed LIM=", "BUSY ON speed=", "Safe func set1=",
               "Safe func set2="});
    map.NumberedWords("Maker Setting ", 301, 305, 3, "=");
    map.CloseBlock();
    map.Pair("Phase Det Dir=", "0151=");
    map.Words({"Phase Det time="});
    map.Pair("Limit SW=", "Limit SW type=");
    map.Pair("Pole sensor=", "0156=");
    map.NumberedWords("Maker Setting ", 1, 3, 3, "=");
    map.Words({"Brake timing="});
    map.Pair("AUTO PD=", "PD I limit=");
    map.Pair("PD delay time=", "0164=");
    map.NumberedWords("Maker Setting ", 4, 11, 3, "=");
    map.Pair("Comm speed=", "Silent INT=");
    map.Words(
        {"Min Resp delay=", "Table Rev=", "Maker Setting 012=", "Maker Setting 306=", "0179="});
    map.CloseBlock();
    map.Words({"Drive mode Def=", "Speed Def=", "Accel Def=", "Decel Def=", "Push Force Def=",
               "Trigger LV Def=", "Pushing SPD Def=", "Posi Force Def="});
    map.Dwords({"Area1 Def=", "Area2 Def=", "In position Def=", "Data RST PARA3="});
    map.Pair("Data RST PARA4=", "TB setting=");
    map.Words({"Maker Setting 307="});
    map.NumberedWords("", 215, 220, 4, "=");
    map.CloseBlock();
    map.NumberedWords("Maker Setting ", 13, 18, 3, "=");
    map.Dwords({"Maker Setting 019="});
    map.Pair("Maker Setting 020=", "0258=");
    map.Words({"Maker Setting 021=", "Maker Setting 308=", "Maker Setting 309="});
    map.NumberedWords("", 262, 265, 4, "=");
    map.CloseBlock();
    map.Pair("Maker Setting 022=", "Maker Setting 023=");
    map.Pair("Maker Setting 024=", "Maker Setting 025=");
    map.Dwords({"Maker Setting 026=", "Maker Setting 027=", "Maker Setting 028="});
    map.Pair("Maker Setting 029=", "Maker Setting 030=");
    map.Pair("Maker Setting 031=", "Maker Setting 032=");
    map.Pair("Maker Setting 033=", "Maker Setting 034=");
    map.Words({"Maker Setting 035="});
    map.Dwords({"Maker Setting 036=", "Unit No.", "Maker Setting 037="});
    map.Words({"Maker Setting 038=", "Maker Setting 039="});
    map.Dwords({"Maker Setting 040"});
    map.Pair("Maker Setting 041=", "Maker Setting 042=");
    map.NumberedWords("Maker Setting ", 43, 49, 3, "=");
    map.Words({"Maker Setting 310=", "Maker Setting 311="});
    for (int number = 50; number <= 65; ++number) {
        map.Add(Packing::Dword, NumberedKey("Maker Setting ", number, 3, "="));
    }
    // Registers 198 to 255 are named after the register number plus 155.
    map.NumberedWords("Maker Setting ", 312, 317, 3, "=");
    map.NumberedWords("", 198 + 155, 255 + 155, 4, "=");
    map.CloseBlock();
    // Six I/O function groups of 16 registers; only P1M1 and P2M1 close a request.
    const std::string_view groups[] = {"P1M0", "P1M1", "P2M0", "P2M1", "P3M0", "P3M1"};
    for (int k = 0; k < 6; ++k) {
        FunctionGroup(map, groups[k]);
        if (k == 1 || k == 3) {
            map.CloseBlock();
        }
    }
    // Registers 352 to 383 are named after the register number plus 340, with "=0".
    map.NumberedWords("", 352 + 340, 383 + 340, 4, "=0");
    map.CloseBlock();
    return map.units;
}

constexpr std::array<RegisterUnit, kStepUnitCount> BuildStepMap() {
    MapBuilder<kStepUnitCount> map;
    map.At(kStepFirstReg);
    map.Add(Packing::Word, {});
    map.Add(Packing::Word, {});
    map.Add(Packing::Dword, {});
    for (int i = 0; i < 6; ++i) {
        map.Add(Packing::Word, {});
    }
    map.Add(Packing::Dword, {});
    map.Add(Packing::Dword, {});
    map.Add(Packing::Dword, {});
    map.CloseBlock();
    return map.units;
}

constexpr auto kParameterMap = BuildParameterMap();
constexpr auto kStepMap = BuildStepMap();

// The map covers the area without gaps and ends on its last register.
constexpr bool CoversArea(std::span<const RegisterUnit> units, std::uint16_t first,
                          std::uint16_t last) {
    std::uint16_t next = first;
    for (const RegisterUnit& unit : units) {
        if (unit.reg != next) {
            return false;
        }
        next = static_cast<std::uint16_t>(unit.reg + unit.registerCount());
    }
    return next == last + 1;
}
static_assert(CoversArea(kParameterMap, kParameterFirstReg, kParameterLastReg));
static_assert(CoversArea(kStepMap, kStepFirstReg, kStepFirstReg + kStepRegCount - 1));
static_assert(kParameterMap[340].key.view() == "0723=0");
static_assert(kParameterMap[340].closesBlock);

constexpr int kMaxValuesPerBlock = 56;  // a byte pair or a dword counts as one value
constexpr std::size_t kMaxBlocks = 16;

// The blocks of a walk over the parameter map. The text is sent on its own before everything
// else when writing; a read asks for its first four registers in its place.
struct BlockList {
    std::array<RegisterBlock, kMaxBlocks> blocks{};
    std::size_t count = 0;
};

constexpr BlockList BuildParameterBlocks(bool write) {
    BlockList list;
    if (write) {
        list.blocks[list.count++] = {kUnitNameReg, 8};
    }
    std::size_t first = 0;
    int values = 0;
    for (std::size_t i = 0; i < kParameterMap.size(); ++i) {
        const RegisterUnit& unit = kParameterMap[i];
        if (unit.packing == Packing::Text16) {
            if (!write) {
                list.blocks[list.count++] = {unit.reg, 4};
            }
            first = i + 1;
            values = 0;
            continue;
        }
        ++values;
        if (unit.closesBlock || values == kMaxValuesPerBlock || i + 1 == kParameterMap.size()) {
            const RegisterUnit& start = kParameterMap[first];
            list.blocks[list.count++] = {
                start.reg, static_cast<std::uint16_t>(unit.lastReg() - start.reg + 1)};
            first = i + 1;
            values = 0;
        }
    }
    return list;
}

constexpr BlockList kWriteBlocks = BuildParameterBlocks(true);
constexpr BlockList kReadBlocks = BuildParameterBlocks(false);
static_assert(kWriteBlocks.count == 14 && kReadBlocks.count == 14);
static_assert(kWriteBlocks.blocks[8] == RegisterBlock{0x0080, 79});
static_assert(kWriteBlocks.blocks[12] == RegisterBlock{0x0140, 56});

}  // namespace

std::span<const RegisterUnit, kParameterUnitCount> ParameterMap() {
    return kParameterMap;
}

std::span<const RegisterUnit, kStepUnitCount> StepMap() {
    return kStepMap;
}

const RegisterUnit* ParameterUnitAt(std::uint16_t reg) {
    const RegisterUnit* unit = ParameterUnitHolding(reg);
    return unit != nullptr && unit->reg == reg ? unit : nullptr;
}

const RegisterUnit* ParameterUnitHolding(std::uint16_t reg) {
    if (reg > kParameterLastReg) {
        return nullptr;
    }
    for (const RegisterUnit& unit : kParameterMap) {
        if (reg >= unit.reg && reg <= unit.lastReg()) {
            return &unit;
        }
    }
    return nullptr;
}

std::span<const RegisterBlock> ParameterWriteBlocks() {
    return {kWriteBlocks.blocks.data(), kWriteBlocks.count};
}

std::span<const RegisterBlock> ParameterReadBlocks() {
    return {kReadBlocks.blocks.data(), kReadBlocks.count};
}

RegisterBlock StepBlock(std::size_t step) {
    return {static_cast<std::uint16_t>(kStepFirstReg + kStepRegCount * step),
            static_cast<std::uint16_t>(kStepRegCount)};
}

std::string ParameterRegisterName(std::uint16_t reg) {
    const RegisterUnit* unit = ParameterUnitHolding(reg);
    if (unit == nullptr) {
        return {};
    }
    std::string name(unit->key.view());
    if (unit->packing == Packing::BytePair) {
        name += " / ";
        name += unit->secondKey.view();
    }
    return name;
}

}  // namespace velmora
