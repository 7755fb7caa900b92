#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "backup/backup_format.h"
#include "data/file_ctrl.h"
#include "link/register_ops.h"
#include "link/register_tables.h"
#include "support/backup_text.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::ParseBackupText;
using test::SplitCrLfLines;

// A copy of the parameter table whose read-back values hold the given registers.
std::vector<RegisterRow> ParametersHolding(const std::vector<std::uint16_t>& image) {
    std::vector<RegisterRow> table = ParameterTable();
    for (std::size_t row = 0; row < table.size() && table[row].reg != kRegTerminator;) {
        RegisterRow& first = table[row];
        const std::size_t unit = RowUnitSize(first);
        switch (first.type) {
            case kTypeBytePair:
                first.readValue = image[first.reg] >> 8;
                table[row + 1].readValue = image[first.reg] & 0xFF;
                break;
            case kTypeDword:
                first.readValue = image[first.reg];
                table[row + 1].readValue = image[first.reg + 1u];
                break;
            case kTypeWord:
                first.readValue = image[first.reg];
                break;
            default:
                break;
        }
        row += unit;
    }
    return table;
}

// A 64-step table whose read-back values hold the given registers (index 0 = 0x0400).
std::vector<RegisterRow> StepsHolding(const std::vector<std::uint16_t>& image) {
    std::vector<RegisterRow> steps = StepTable();
    for (RegisterRow& row : steps) {
        if (row.reg == kRegTerminator) {
            continue;
        }
        const bool second = &row != steps.data() && (&row - 1)->reg == row.reg;
        row.readValue = image[row.reg - kStepFirstReg + (second ? 1u : 0u)];
    }
    return steps;
}

std::vector<std::uint16_t> RandomImage(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint16_t> image(count);
    for (auto& value : image) {
        value = static_cast<std::uint16_t>(generator());
    }
    return image;
}

TEST(BackupFormat, ParameterGroupsPrintByPacking) {
    struct Case {
        const char* name;
        std::uint16_t reg;
        std::vector<std::uint16_t> values;  // the registers from reg on
        const char* expected;
    };
    const Case cases[] = {
        {"signed bytes in the I/O area",
         0x0100,
         {0xFF01},
         "D0100,IN1 func(P1M0)=,65535\r\n,IN2 func(P1M0)=,1\r\n"},
        {"same bytes below the I/O area",
         0x0000,
         {0xFF01},
         "D0000,Controller ID=,255\r\n,IO patern=,1\r\n"},
        {"last signed register",
         0x015F,
         {0x807F},
         "D015f,OUT15 func(P3M1)=,65408\r\n,OUT16 func(P3M1)=,127\r\n"},
        {"high byte 0x80 outside the area",
         0x0096,
         {0x8000},
         "D0096,Maker Setting 041=,128\r\n,Maker Setting 042=,0\r\n"},
        {"dword", 0x0002, {0x0001, 0x86A0}, "D0002,Stroke(+),100000\r\n,,--------------\r\n"},
        {"largest dword",
         0x00A0,
         {0xFFFF, 0xFFFF},
         "D00a0,Maker Setting 050=,4294967295\r\n,,--------------\r\n"},
        {"word", 0x0006, {0xFFFF}, "D0006,Max speed=,65535\r\n"},
        {"last word", 0x017F, {0x1234}, "D017f,0723=0,4660\r\n"},
        {"text row is printed elsewhere", 0x000E, {0x4142}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint16_t> image(kParameterRegCount, 0);
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            image[c.reg + i] = c.values[i];
        }
        const auto table = ParametersHolding(image);
        const int row = FindParameterRowByRegister(c.reg);
        ASSERT_GE(row, 0);
        EXPECT_EQ(BackupParameterGroupText(table, static_cast<std::size_t>(row)), c.expected);
    }
    const auto& table = ParameterTable();
    EXPECT_EQ(BackupParameterGroupText(table, kParameterTerminatorRow), "");
    EXPECT_EQ(BackupParameterGroupText(table, kParameterRowCount + 3), "");
}

TEST(BackupFormat, HeaderAndUnitNameLines) {
    std::tm june{};
    june.tm_year = 114;
    june.tm_mon = 5;
    june.tm_mday = 9;
    june.tm_hour = 14;
    june.tm_min = 5;
    june.tm_sec = 31;
    std::tm january{};
    january.tm_year = 126;
    january.tm_mday = 2;
    january.tm_hour = 3;
    january.tm_min = 4;
    january.tm_sec = 5;
    EXPECT_EQ(BackupTimestamp(june), "2014/06/09 14:05:31");
    EXPECT_EQ(BackupTimestamp(january), "2026/01/02 03:04:05");
    EXPECT_EQ(BackupHeaderText("1.10", "1.10", "2014/06/09 14:05:31"),
              "BackupDataV001,1.10,1.10,2014/06/09 14:05:31\r\nParameter\r\n");

    struct NameCase {
        std::vector<std::uint8_t> bytes;  // the 16 bytes of registers 0x000E to 0x0015
        const char* expected;
    };
    std::vector<std::uint8_t> trailingZeros(16, 0);
    const std::string name = "ACT01";
    std::copy(name.begin(), name.end(), trailingZeros.begin());
    std::vector<std::uint8_t> full(16, 'Z');
    const NameCase names[] = {
        {trailingZeros, "D000e,Unit name=,ACT01\r\n"},
        {std::vector<std::uint8_t>(16, 0), "D000e,Unit name=,\r\n"},
        {full, "D000e,Unit name=,ZZZZZZZZZZZZZZZZ\r\n"},
    };
    for (const NameCase& c : names) {
        EXPECT_EQ(BackupUnitNameLine(BytesToText(c.bytes.data(), c.bytes.size())), c.expected);
    }
}

TEST(BackupFormat, StepColumnsFollowTheStepRecord) {
    std::vector<std::uint16_t> image(kStepCount * kStepRegCount, 0);
    const std::vector<std::uint16_t> step0 = {1, 100, 0, 2000, 1000,   6,      7, 8,
                                              9, 10,  1, 0,    0xFFFF, 0xFFFF, 0, 70};
    std::copy(step0.begin(), step0.end(), image.begin());
    image[63 * 16] = 42;
    const auto steps = StepsHolding(image);
    std::string step0Text;
    for (std::size_t column = 0; column < 16; ++column) {
        step0Text += BackupStepColumnText(steps, 0, column);
    }
    EXPECT_EQ(step0Text,
              "0,0,1\r\n,1,100\r\n,2,2000\r\n,3,--------------\r\n,4,1000\r\n,5,6\r\n,6,7\r\n"
              ",7,8\r\n,8,9\r\n,9,10\r\n,10,65536\r\n,11,--------------\r\n"
              ",12,4294967295\r\n,13,--------------\r\n,14,70\r\n,15,--------------\r\n");
    EXPECT_EQ(BackupStepColumnText(steps, 63, 0), "63,0,42\r\n");
    EXPECT_EQ(BackupStepColumnText(steps, 63, 3), "");  // printed with column 2
    EXPECT_EQ(BackupStepColumnText(steps, 63, 16), "");
    EXPECT_EQ(BackupStepColumnText(steps, 64, 0), "");
}

// Whatever the controller holds, the text has the same shape and reads back to the same
// registers by the readers' rules.
TEST(BackupFormat, WholeTextReadsBackToTheImage) {
    struct Case {
        const char* name;
        unsigned seed;  // 0: every register zero
    };
    const Case cases[] = {{"zeros", 0}, {"random 1", 1}, {"random 2", 20260101}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto parameters = c.seed == 0 ? std::vector<std::uint16_t>(kParameterRegCount, 0)
                                      : RandomImage(kParameterRegCount, c.seed);
        auto stepImage = c.seed == 0 ? std::vector<std::uint16_t>(kStepCount * kStepRegCount, 0)
                                     : RandomImage(kStepCount * kStepRegCount, c.seed + 7);
        const std::string text =
            BuildBackupText("2.05", "2026/12/31 23:59:59", "NAME", ParametersHolding(parameters),
                            StepsHolding(stepImage));
        const auto lines = SplitCrLfLines(text);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "BackupDataV001,2.05,1.10,2026/12/31 23:59:59");
        EXPECT_EQ(lines[1], "Parameter");
        EXPECT_EQ(lines[2], "D000e,Unit name=,NAME");
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

        const auto parsed = ParseBackupText(text);
        ASSERT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.unitName, "NAME");
        // One line per table row except the text row, which is the unit name line.
        EXPECT_EQ(parsed.parameterLines, kParameterRowCount - 1);
        EXPECT_EQ(parsed.stepLines, kStepCount * kStepRegCount);
        EXPECT_EQ(lines.size(), 2 + parsed.parameterLines + 3 + parsed.stepLines);
        const std::size_t stepStart = 2 + parsed.parameterLines;
        EXPECT_EQ(lines[stepStart], "");
        EXPECT_EQ(lines[stepStart + 1], "");
        EXPECT_EQ(lines[stepStart + 2], "StepData");

        for (std::uint16_t reg = 0; reg < kParameterRegCount; ++reg) {
            if (reg >= 0x000E && reg <= 0x0015) {
                EXPECT_EQ(parsed.registers.count(reg), 0u);
                continue;
            }
            ASSERT_EQ(parsed.registers.count(reg), 1u) << reg;
            EXPECT_EQ(parsed.registers.at(reg), parameters[reg]) << "register " << reg;
        }
        for (std::size_t i = 0; i < stepImage.size(); ++i) {
            const auto reg = static_cast<std::uint16_t>(kStepFirstReg + i);
            ASSERT_EQ(parsed.registers.count(reg), 1u) << reg;
            EXPECT_EQ(parsed.registers.at(reg), stepImage[i]) << "register " << reg;
        }
    }
}

TEST(BackupFormat, DescriptionComesFromTheFirstLines) {
    test::TempFolder folder;
    ASSERT_TRUE(folder.valid());
    auto store = [&](const std::string& name, const std::string& text) {
        const std::string path = folder.file(name);
        CFileCtrl file;
        EXPECT_TRUE(file.Open(path, kFileModeWrite | kFileModeCreate));
        file.WriteText(text);
        EXPECT_EQ(file.ScrambleAndWrite(), 0);
        return path;
    };
    const std::string backup = store(
        "a.bkp",
        BuildBackupText("1.23", "2020/02/29 00:00:01", "VMA-100", ParameterTable(), StepTable()));
    const std::string noName = store("b.bkp",
                                     "BackupDataV001,1.1,1.10,x\r\nParameter\r\n"
                                     "D0000,Controller ID=,1\r\n");
    const std::string foreign = store("c.bkp", "something else\r\n");

    BackupDescription description;
    ASSERT_EQ(ReadBackupDescription(backup, description), 0);
    EXPECT_EQ(description.marker, "BackupDataV001");
    EXPECT_EQ(description.controllerVersion, "1.23");
    EXPECT_EQ(description.programVersion, "1.10");
    EXPECT_EQ(description.timestamp, "2020/02/29 00:00:01");
    EXPECT_EQ(description.unitName, "VMA-100");

    ASSERT_EQ(ReadBackupDescription(noName, description), 0);
    EXPECT_EQ(description.controllerVersion, "1.1");
    EXPECT_EQ(description.unitName, "");

    ASSERT_EQ(ReadBackupDescription(foreign, description), 0);
    EXPECT_EQ(description.marker, "something else");
    EXPECT_EQ(description.controllerVersion, "");

    EXPECT_EQ(ReadBackupDescription(folder.file("missing.bkp"), description), -1);
    EXPECT_EQ(description.marker, "");
}

}  // namespace
}  // namespace velmora
