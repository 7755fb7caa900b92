#include "backup/backup_format.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "data/field_reader.h"
#include "data/file_ctrl.h"

namespace velmora {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kDashes = "--------------";

// Function assignments of the I/O groups are signed bytes; the file keeps them as the 16-bit
// numbers they widen to, so 0xFF reads 65535.
constexpr std::uint16_t kSignedBytesFirstReg = 0x0100;
constexpr std::uint16_t kSignedBytesLastReg = 0x015F;

std::string RegisterCell(std::uint16_t reg) {
    char cell[8];
    std::snprintf(cell, sizeof cell, "D%04x", static_cast<unsigned>(reg));
    return cell;
}

std::string ByteText(std::uint16_t reg, std::uint32_t value) {
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    if (reg >= kSignedBytesFirstReg && reg <= kSignedBytesLastReg) {
        const auto widened = static_cast<std::uint16_t>(static_cast<std::int8_t>(byte));
        return std::to_string(static_cast<unsigned>(widened));
    }
    return std::to_string(static_cast<int>(byte));
}

std::string DwordText(std::uint32_t first, std::uint32_t second) {
    const std::uint32_t value = ((first & 0xFFFF) << 16) | (second & 0xFFFF);
    return std::to_string(value);
}

std::string WordText(std::uint32_t value) {
    return std::to_string(static_cast<int>(value & 0xFFFF));
}

std::string ToUpper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

std::string BackupTimestamp(const std::tm& local) {
    char text[64];
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string BackupTimestampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return BackupTimestamp(std::tm{});
    }
    return BackupTimestamp(local);
}

std::string BackupHeaderText(const std::string& controllerVersion,
                             const std::string& programVersion, const std::string& timestamp) {
    return std::string(kBackupMarker) + "," + controllerVersion + "," + programVersion + "," +
           timestamp + kLineEnd + kBackupParameterLine + kLineEnd;
}

std::string BackupUnitNameLine(const std::string& unitName) {
    const auto& table = ParameterTable();
    const int row = FindParameterRowByRegister(kBackupUnitNameReg);
    const std::string key =
        row >= 0 ? table[static_cast<std::size_t>(row)].key : std::string("Unit name=");
    return RegisterCell(kBackupUnitNameReg) + "," + key + "," + unitName + kLineEnd;
}

std::string BackupParameterGroupText(const std::vector<RegisterRow>& table, std::size_t row) {
    if (row >= table.size()) {
        return {};
    }
    const RegisterRow& first = table[row];
    if (first.readBlockEnd == kBlockEndTerminator) {
        return {};
    }
    const std::string head = RegisterCell(first.reg) + "," + first.key + ",";
    switch (first.type) {
        case kTypeWord:
            return head + WordText(first.readValue) + kLineEnd;
        case kTypeBytePair: {
            if (row + 1 >= table.size()) {
                return {};
            }
            const RegisterRow& second = table[row + 1];
            return head + ByteText(first.reg, first.readValue) + kLineEnd + "," + second.key + "," +
                   ByteText(second.reg, second.readValue) + kLineEnd;
        }
        case kTypeDword: {
            if (row + 1 >= table.size()) {
                return {};
            }
            return head + DwordText(first.readValue, table[row + 1].readValue) + kLineEnd + ",," +
                   kDashes + kLineEnd;
        }
        default:
            return {};
    }
}

std::string BackupStepSectionStart() {
    return std::string(kLineEnd) + kLineEnd + kBackupStepMarker + kLineEnd;
}

std::string BackupStepColumnText(const std::vector<RegisterRow>& steps, std::size_t step,
                                 std::size_t column) {
    const std::size_t base = step * kStepRowsPerStep;
    if (column >= static_cast<std::size_t>(kBackupStepColumns) || base + column >= steps.size()) {
        return {};
    }
    const RegisterRow& row = steps[base + column];
    if (row.type == kTypeDword && column > 0 && steps[base + column - 1].type == kTypeDword &&
        steps[base + column - 1].reg == row.reg) {
        return {};  // second half of a dword
    }
    std::string text = column == 0 ? std::to_string(step) + "," + std::to_string(column) + ","
                                   : "," + std::to_string(column) + ",";
    if (row.type == kTypeDword) {
        if (base + column + 1 >= steps.size()) {
            return {};
        }
        text += DwordText(row.readValue, steps[base + column + 1].readValue) + kLineEnd;
        text += "," + std::to_string(column + 1) + "," + kDashes + kLineEnd;
        return text;
    }
    return text + WordText(row.readValue) + kLineEnd;
}

std::string BuildBackupText(const std::string& controllerVersion, const std::string& timestamp,
                            const std::string& unitName, const std::vector<RegisterRow>& parameters,
                            const std::vector<RegisterRow>& steps) {
    std::string text = BackupHeaderText(controllerVersion, kBackupProgramVersion, timestamp);
    text += BackupUnitNameLine(unitName);
    for (std::size_t row = 0;
         row < parameters.size() && parameters[row].readBlockEnd != kBlockEndTerminator;
         row += RowUnitSize(parameters[row])) {
        text += BackupParameterGroupText(parameters, row);
    }
    text += BackupStepSectionStart();
    for (std::size_t step = 0; step < kStepCount; ++step) {
        for (std::size_t column = 0; column < static_cast<std::size_t>(kBackupStepColumns);
             ++column) {
            text += BackupStepColumnText(steps, step, column);
        }
    }
    return text;
}

int ReadBackupDescription(const std::string& path, BackupDescription& out) {
    out = BackupDescription{};
    CFileCtrl file;
    if (!file.Open(path, kFileModeRead | kFileShareExclusive) || file.GetLength() == 0) {
        return -1;
    }
    std::string* const fields[] = {&out.marker, &out.controllerVersion, &out.programVersion,
                                   &out.timestamp};
    for (int index = 0; index < 4; ++index) {
        if (GetField(*fields[index], file, index) != 0) {
            fields[index]->clear();
        }
    }
    std::string cell;
    if (SkipLines(file, 2) == 0 && GetField(cell, file, 0) == 0 &&
        ToUpper(cell) == ToUpper(RegisterCell(kBackupUnitNameReg))) {
        if (GetField(out.unitName, file, 2) != 0) {
            out.unitName.clear();
        }
    }
    return 0;
}

}  // namespace velmora
