#pragma once

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "model/field_reader.h"

namespace velmora::test {

// Backup text read back by the rules its readers apply (kind of a group from the line after
// it, values with their width's mask, dwords from the dashed line that follows), written
// independently of the writer so that the two check each other.

inline std::vector<std::string> SplitCrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

using velmora::SplitFields;

inline std::string Field(const std::string& line, std::size_t index) {
    const auto fields = SplitFields(line);
    return index < fields.size() ? fields[index] : std::string();
}

inline std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

struct ParsedBackup {
    std::string error;  // empty when the text followed the rules
    std::string unitName;
    std::map<std::uint16_t, std::uint16_t> registers;
    std::size_t parameterLines = 0;  // from line 2, the unit name line included
    std::size_t stepLines = 0;
};

inline ParsedBackup ParseBackupText(const std::string& text) {
    ParsedBackup parsed;
    const auto lines = SplitCrLfLines(text);
    auto fail = [&](const std::string& why, std::size_t line) {
        parsed.error = why + " at line " + std::to_string(line);
        return parsed;
    };
    if (lines.size() < 2 || Field(lines[1], 0) != "Parameter") {
        return fail("no Parameter line", 1);
    }
    std::size_t i = 2;
    while (i < lines.size() && !Field(lines[i], 0).empty() && Field(lines[i], 0)[0] == 'D') {
        const std::string cell = Upper(Field(lines[i], 0));
        const auto reg = static_cast<std::uint16_t>(std::strtoul(cell.c_str() + 1, nullptr, 16));
        const long long value = std::strtoll(Field(lines[i], 2).c_str(), nullptr, 10);
        if (cell == "D000E") {
            parsed.unitName = Field(lines[i], 2);
            ++i;
            continue;
        }
        const bool hasNext = i + 1 < lines.size();
        const bool nextField0Empty = hasNext && Field(lines[i + 1], 0).empty();
        if (cell == "D017F" || !nextField0Empty) {
            parsed.registers[reg] = static_cast<std::uint16_t>(value & 0xFFFF);
            i += 1;
        } else if (Field(lines[i + 1], 1).empty()) {
            const auto dword = static_cast<std::uint32_t>(value);
            parsed.registers[reg] = static_cast<std::uint16_t>(dword >> 16);
            parsed.registers[static_cast<std::uint16_t>(reg + 1)] =
                static_cast<std::uint16_t>(dword & 0xFFFF);
            i += 2;
        } else {
            const long long low = std::strtoll(Field(lines[i + 1], 2).c_str(), nullptr, 10);
            parsed.registers[reg] =
                static_cast<std::uint16_t>(((value & 0xFF) << 8) | (low & 0xFF));
            i += 2;
        }
    }
    parsed.parameterLines = i - 2;

    while (i < lines.size() && Field(lines[i], 0) != "StepData") {
        ++i;
    }
    if (i == lines.size()) {
        return fail("no StepData line", i);
    }
    ++i;
    const std::size_t firstStepLine = i;
    std::uint16_t reg = 0x0400;
    for (int step = 0; i < lines.size(); ++step) {
        if (Field(lines[i], 0) != std::to_string(step)) {
            return fail("step number missing", i);
        }
        for (int column = 0; column < 16; ++column, ++i) {
            if (i >= lines.size()) {
                return fail("step cut short", i);
            }
            if (column > 0 && !Field(lines[i], 0).empty()) {
                return fail("step number on a later line", i);
            }
            if (Field(lines[i], 1) != std::to_string(column)) {
                return fail("column out of sequence", i);
            }
            const long long value = std::strtoll(Field(lines[i], 2).c_str(), nullptr, 10);
            const std::string next = i + 1 < lines.size() ? Field(lines[i + 1], 2) : "0";
            if (!next.empty() && std::isdigit(static_cast<unsigned char>(next[0]))) {
                parsed.registers[reg++] = static_cast<std::uint16_t>(value & 0xFFFF);
            } else {
                const auto dword = static_cast<std::uint32_t>(value);
                parsed.registers[reg++] = static_cast<std::uint16_t>(dword >> 16);
                parsed.registers[reg++] = static_cast<std::uint16_t>(dword & 0xFFFF);
                ++column;
                ++i;
                if (i >= lines.size() || Field(lines[i], 1) != std::to_string(column)) {
                    return fail("continuation line out of sequence", i);
                }
            }
        }
    }
    parsed.stepLines = i - firstStepLine;
    return parsed;
}

}  // namespace velmora::test
