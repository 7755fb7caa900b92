#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "link/register_tables.h"

namespace velmora {

// The text of a backup file before the scrambled-file layer, built piece by piece so the
// backup run can append as it reads and tests can look at every piece.

inline constexpr const char* kBackupMarker = "BackupDataV001";
inline constexpr const char* kBackupProgramVersion = "1.10";
inline constexpr const char* kBackupParameterLine = "Parameter";
inline constexpr const char* kBackupStepMarker = "StepData";
inline constexpr const char* kBackupExtension = ".bkp";
inline constexpr std::uint16_t kBackupUnitNameReg = 0x000E;
inline constexpr int kBackupStepColumns = 16;

// "2014/06/09 14:05:31" from a broken-down local time.
std::string BackupTimestamp(const std::tm& local);
// The current local time in that form.
std::string BackupTimestampNow();

// The header line and the "Parameter" line, each with its CR LF.
std::string BackupHeaderText(const std::string& controllerVersion,
                             const std::string& programVersion, const std::string& timestamp);

// "D000e,Unit name=," followed by the name (already free of NUL bytes) and CR LF.
std::string BackupUnitNameLine(const std::string& unitName);

// The lines of the value whose first row is table[row]: a word gives one line, a byte pair or
// a dword two. The text row (printed before the walk) and the terminator give nothing.
std::string BackupParameterGroupText(const std::vector<RegisterRow>& table, std::size_t row);

// The text between the last parameter line and the first step line.
std::string BackupStepSectionStart();

// The lines of column 0..15 of step 0..63 in a 64-copy step table: one line for a word, a
// value line and a dashed continuation line for a dword, nothing for the second column of a
// dword (its continuation line was written with the first).
std::string BackupStepColumnText(const std::vector<RegisterRow>& steps, std::size_t step,
                                 std::size_t column);

// The whole text from the tables' read-back values, as one backup run writes it.
std::string BuildBackupText(const std::string& controllerVersion, const std::string& timestamp,
                            const std::string& unitName, const std::vector<RegisterRow>& parameters,
                            const std::vector<RegisterRow>& steps);

// What the first lines of a backup file say about it.
struct BackupDescription {
    std::string marker;             // "BackupDataV001" in a file of ours
    std::string controllerVersion;  // as stored, e.g. "1.10"
    std::string programVersion;
    std::string timestamp;
    std::string unitName;  // empty when the third line is not the unit name line
};

// Reads the header line (and the unit name line) of a stored backup file. 0, or -1 when the
// file cannot be opened or is empty.
int ReadBackupDescription(const std::string& path, BackupDescription& out);

}  // namespace velmora
