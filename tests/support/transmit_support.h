#pragma once

// What a whole write must leave on the controller and send to it, worked out from the plain
// sample files and the fixed request layout, for the transmit and restore tests.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/file_ctrl.h"
#include "platform/local_time.h"
#include "sim/virtual_controller.h"
#include "support/writer_fixture.h"

namespace velmora::test {

using RegisterValues = std::map<std::uint16_t, std::uint16_t>;

// The parameter area after the plain parameter file was written under the heading, with the
// part number as unit name and the mode byte in its writing mode.
inline RegisterValues ExpectedParameterImage(const std::string& plain, const std::string& heading,
                                             const std::string& partNo) {
    const auto rows = SplitCsv(plain);
    RegisterValues image;
    std::size_t line = 0;
    while (line < rows.size() && ColumnOf(rows[line], heading) < 0) {
        ++line;
    }
    const int key = ColumnOf(rows[line], "No.") - 1;
    const int value = ColumnOf(rows[line], heading);
    for (++line; line < rows.size(); ++line) {
        const auto& row = rows[line];
        if (row[key].empty() || row[key][0] != 'D') {
            break;
        }
        const auto reg = static_cast<std::uint16_t>(std::stoul(row[key].substr(1), nullptr, 16));
        const long long number = std::stoll(row[value]);
        const std::string& kind = row[key + 6];
        if (kind == "2W") {
            const auto bits = static_cast<std::uint32_t>(number);
            image[reg] = static_cast<std::uint16_t>(bits >> 16);
            image[reg + 1] = static_cast<std::uint16_t>(bits & 0xFFFF);
            ++line;
        } else if (kind == "W" && line + 1 < rows.size() && rows[line + 1][key].empty()) {
            const long long low = reg == 0x000C ? 200 : std::stoll(rows[line + 1][value]);
            image[reg] = static_cast<std::uint16_t>((number & 0xFF) << 8 | (low & 0xFF));
            ++line;
        } else if (kind == "W") {
            image[reg] = static_cast<std::uint16_t>(number & 0xFFFF);
        }
    }
    std::string name = partNo.substr(0, 16);
    name.resize(16, '\0');
    for (int i = 0; i < 8; ++i) {
        image[0x000E + i] = static_cast<std::uint16_t>(static_cast<std::uint8_t>(name[2 * i]) << 8 |
                                                       static_cast<std::uint8_t>(name[2 * i + 1]));
    }
    return image;
}

// The step area after the plain step file was written under the heading, from the register
// cells (column 6) the file carries.
inline RegisterValues ExpectedStepImage(const std::string& plain, const std::string& heading) {
    const auto rows = SplitCsv(plain);
    RegisterValues image;
    std::size_t line = 0;
    while (line < rows.size() && ColumnOf(rows[line], heading) < 0) {
        ++line;
    }
    const int value = ColumnOf(rows[line], heading);
    for (++line; line < rows.size(); ++line) {
        const auto& row = rows[line];
        if (row.size() <= 7 || row[6].empty()) {
            continue;
        }
        const auto reg = static_cast<std::uint16_t>(std::stoul(row[6].substr(1), nullptr, 16));
        if (row[7] == "W") {
            image[reg] = static_cast<std::uint16_t>(std::stoll(row[value]) & 0xFFFF);
        } else if (row[7] == "2W") {
            const auto bits = static_cast<std::uint32_t>(std::stoll(row[value]));
            image[reg] = static_cast<std::uint16_t>(bits >> 16);
            image[reg + 1] = static_cast<std::uint16_t>(bits & 0xFFFF);
        }
    }
    return image;
}

// The request boundaries of a whole parameter area: (register, count) for every block.
inline const std::vector<std::pair<std::uint16_t, std::uint16_t>>& AreaBlocks() {
    static const std::vector<std::pair<std::uint16_t, std::uint16_t>> blocks = {
        {0x0000, 14}, {0x0016, 10}, {0x0020, 16}, {0x0030, 16}, {0x0040, 24},
        {0x0058, 24}, {0x0070, 16}, {0x0080, 79}, {0x00CF, 49}, {0x0100, 32},
        {0x0120, 32}, {0x0140, 56}, {0x0178, 8},
    };
    return blocks;
}

inline std::string Request(std::uint8_t function, std::uint16_t reg, std::uint16_t count) {
    return Describe(LoggedRequest{function, reg, count, {}});
}

// Reading the whole area; the text block is asked for its first four registers only.
inline std::vector<std::string> AreaReads() {
    std::vector<std::string> reads;
    for (const auto& [reg, count] : AreaBlocks()) {
        reads.push_back(Request(0x03, reg, count));
        if (reg == 0x0000) {
            reads.push_back(Request(0x03, 0x000E, 4));
        }
    }
    return reads;
}

// Writing the whole area: the unit name first, then every block.
inline std::vector<std::string> AreaWrites() {
    std::vector<std::string> writes = {Request(0x10, 0x000E, 8)};
    for (const auto& [reg, count] : AreaBlocks()) {
        writes.push_back(Request(0x10, reg, count));
    }
    return writes;
}

// One request of 16 registers per step.
inline std::vector<std::string> StepBlocks(std::uint8_t function) {
    std::vector<std::string> blocks;
    for (std::uint16_t step = 0; step < 64; ++step) {
        blocks.push_back(Request(function, static_cast<std::uint16_t>(0x0400 + 16 * step), 16));
    }
    return blocks;
}

inline std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The date code a write stamps today: the year's and month's decimal digits read as hex.
inline std::uint16_t TodaysDateCode() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    LocalTime(now, local);
    return static_cast<std::uint16_t>(((local.tm_year % 100) / 10) << 12 |
                                      ((local.tm_year % 100) % 10) << 8 |
                                      ((local.tm_mon + 1) / 10) << 4 | ((local.tm_mon + 1) % 10));
}

// Fills both areas with values that differ from register to register and from seed to seed;
// the unit name area gets a printable name without zero bytes inside it.
inline void SeedImage(sim::VirtualController& controller, std::uint32_t seed,
                      const std::string& unitName) {
    std::uint32_t state = seed;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint16_t>(state >> 12);
    };
    for (unsigned reg = 0x0000; reg <= 0x017F; ++reg) {
        controller.setRegister(static_cast<std::uint16_t>(reg), next());
    }
    for (unsigned reg = 0x0400; reg <= 0x07FF; ++reg) {
        controller.setRegister(static_cast<std::uint16_t>(reg), next());
    }
    std::string name = unitName.substr(0, 16);
    name.resize(16, '\0');
    for (int i = 0; i < 8; ++i) {
        controller.setRegister(
            static_cast<std::uint16_t>(0x000E + i),
            static_cast<std::uint16_t>(static_cast<std::uint8_t>(name[2 * i]) << 8 |
                                       static_cast<std::uint8_t>(name[2 * i + 1])));
    }
}

// The plain text of a stored (scrambled) data file; empty when it cannot be read.
inline std::string ReadStoredText(const std::string& path) {
    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        return {};
    }
    std::string local(static_cast<std::size_t>(file.GetLength()), '\0');
    if (!local.empty() && file.Read(local.data(), local.size()) != local.size()) {
        return {};
    }
    return LocalToUtf8(local);
}

// Stores plain text scrambled, as the program stores its data files. True on success.
inline bool StoreText(const std::string& path, const std::string& text) {
    CFileCtrl file;
    if (!file.Open(path, kFileModeCreate | kFileModeWrite)) {
        return false;
    }
    file.WriteText(text);
    return file.ScrambleAndWrite() == 0;
}

}  // namespace velmora::test
