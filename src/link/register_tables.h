#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/register_map.h"

namespace velmora {

// One row of a register map: where a value lives, how it is packed, the key that names it in
// files, and the value on its way to and from the controller.
struct RegisterRow {
    std::uint16_t readBlockEnd = 0;
    std::uint16_t writeBlockEnd = 0;
    std::uint32_t readValue = 0;
    std::uint32_t writeValue = 0;
    std::uint16_t reg = 0;
    std::uint16_t bytes = 0;
    std::uint8_t type = 0;
    std::string key;
};

// Packing codes in RegisterRow::type.
inline constexpr std::uint8_t kTypeBytePair = 1;
inline constexpr std::uint8_t kTypeWord = 2;
inline constexpr std::uint8_t kTypeDword = 4;
inline constexpr std::uint8_t kTypeText16 = 16;
inline constexpr std::uint8_t kTypeTerminator = 0xFF;

// Block-end flags: close the request after this row, or the row ends the table.
inline constexpr std::uint16_t kBlockContinue = 0;
inline constexpr std::uint16_t kBlockEnd = 1;
inline constexpr std::uint16_t kBlockEndTerminator = 0xFFFF;

inline constexpr std::uint16_t kRegTerminator = 0xFFFF;
inline constexpr std::uint16_t kBytesTerminator = 0xFF;

// Parameter area: registers 0x0000 to 0x017F.
inline constexpr std::size_t kParameterRowCount = 495;  // 494 rows and the terminator
inline constexpr std::size_t kParameterTerminatorRow = kParameterRowCount - 1;

// Step area: 64 steps of 16 registers from 0x0400.
inline constexpr std::size_t kStepRowsPerStep = 17;  // 16 rows and the terminator
inline constexpr std::size_t kStepTableRowCount = kStepCount * kStepRowsPerStep;

// The process-wide tables. The first call builds them; readers index rows by position.
std::vector<RegisterRow>& ParameterTable();
const std::vector<RegisterRow>& StepTemplate();
std::vector<RegisterRow>& StepTable();

// Remakes all 64 step copies from the template, value fields cleared.
void RebuildStepTable();

// Puts both tables back into the state they had when first built.
void ResetRegisterTablesForTesting();

// Rows a walk steps over as one unit: 2 for a byte pair or a dword, 1 otherwise.
std::size_t RowUnitSize(const RegisterRow& row);

// First parameter row with this key (matched as stored) or starting at this register;
// -1 when none. The terminator and the empty keys of dword second rows never match.
int FindParameterRowByKey(const std::string& key);
int FindParameterRowByRegister(std::uint16_t reg);

}  // namespace velmora
