#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "link/register_tables.h"

namespace velmora {
namespace {

class RegisterTablesTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetRegisterTablesForTesting(); }
    void TearDown() override { ResetRegisterTablesForTesting(); }
};

// Registers a unit starting at this row occupies.
int RegistersOfUnit(const RegisterRow& row) {
    switch (row.type) {
        case kTypeBytePair:
        case kTypeWord:
            return 1;
        case kTypeDword:
            return 2;
        case kTypeText16:
            return 8;
        default:
            return 0;
    }
}

// Row index of the first row of the unit every row belongs to, walking as the writers do.
std::vector<std::size_t> UnitStarts(const std::vector<RegisterRow>& rows) {
    std::vector<std::size_t> starts(rows.size(), 0);
    std::size_t i = 0;
    while (i < rows.size() && rows[i].writeBlockEnd != kBlockEndTerminator) {
        const std::size_t size = RowUnitSize(rows[i]);
        for (std::size_t k = 0; k < size && i + k < rows.size(); ++k) {
            starts[i + k] = i;
        }
        i += size;
    }
    return starts;
}

TEST_F(RegisterTablesTest, ParameterTableHas494RowsAndTerminatorAtRow494) {
    const auto& table = ParameterTable();
    ASSERT_EQ(table.size(), 495u);
    const RegisterRow& last = table[494];
    EXPECT_EQ(last.readBlockEnd, 0xFFFF);
    EXPECT_EQ(last.writeBlockEnd, 0xFFFF);
    EXPECT_EQ(last.reg, 0xFFFF);
    EXPECT_EQ(last.bytes, 0xFF);
    EXPECT_EQ(last.type, 0xFF);
    EXPECT_TRUE(last.key.empty());
    for (std::size_t i = 0; i < 494; ++i) {
        EXPECT_NE(table[i].readBlockEnd, 0xFFFF) << "row " << i;
        EXPECT_NE(table[i].writeBlockEnd, 0xFFFF) << "row " << i;
        EXPECT_EQ(table[i].readValue, 0u) << "row " << i;
        EXPECT_EQ(table[i].writeValue, 0u) << "row " << i;
    }
}

TEST_F(RegisterTablesTest, UnitWalkCoversRegisters0To383ExactlyOnceAndStopsAtTerminator) {
    const auto& table = ParameterTable();
    std::array<int, 384> covered{};
    std::size_t i = 0;
    int expectedReg = 0;
    while (table[i].readBlockEnd != 0xFFFF) {
        const RegisterRow& row = table[i];
        ASSERT_EQ(row.reg, expectedReg) << "gap or overlap at row " << i;
        const std::size_t unit = RowUnitSize(row);
        if (unit == 2) {
            ASSERT_LT(i + 1, table.size());
            const RegisterRow& second = table[i + 1];
            EXPECT_EQ(second.reg, row.reg) << "row " << i + 1;
            EXPECT_EQ(second.type, row.type) << "row " << i + 1;
            EXPECT_EQ(second.bytes, row.bytes) << "row " << i + 1;
            if (row.type == kTypeDword) {
                EXPECT_TRUE(second.key.empty()) << "row " << i + 1;
            }
        }
        const int width = RegistersOfUnit(row);
        ASSERT_GT(width, 0) << "row " << i;
        EXPECT_EQ(row.bytes, row.type == kTypeBytePair ? 2 : 2 * width) << "row " << i;
        for (int r = row.reg; r < row.reg + width; ++r) {
            ASSERT_LT(r, 384) << "row " << i;
            ++covered[r];
        }
        expectedReg += width;
        i += unit;
    }
    EXPECT_EQ(i, 494u);
    EXPECT_EQ(expectedReg, 384);
    for (int r = 0; r < 384; ++r) {
        EXPECT_EQ(covered[r], 1) << "register " << r;
    }
}

TEST_F(RegisterTablesTest, OnlyTheLastUnitOfEachFlaggedGroupClosesARequest) {
    const std::set<std::size_t> flagged = {16,  17,  18,  28,  47,  63,  93, 118,
                                           135, 269, 332, 333, 396, 397, 493};
    const auto& table = ParameterTable();
    for (std::size_t i = 0; i < 494; ++i) {
        const std::uint16_t expected = flagged.count(i) ? 1 : 0;
        EXPECT_EQ(table[i].readBlockEnd, expected) << "row " << i;
        EXPECT_EQ(table[i].writeBlockEnd, expected) << "row " << i;
    }
}

struct KeyCase {
    const char* key;
    int row;
    std::uint16_t reg;
    std::uint8_t type;
    enum Half { kWhole, kHigh, kLow } half;
};

class ParameterKeyTest : public RegisterTablesTest,
                         public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ParameterKeyTest, KeyIsStoredAtItsRowAndRegister) {
    const KeyCase& c = GetParam();
    const auto& table = ParameterTable();
    const auto starts = UnitStarts(table);
    ASSERT_LT(static_cast<std::size_t>(c.row), table.size());
    const RegisterRow& row = table[c.row];
    EXPECT_EQ(row.key, c.key);
    EXPECT_EQ(row.reg, c.reg);
    EXPECT_EQ(row.type, c.type);
    EXPECT_EQ(FindParameterRowByKey(c.key), c.row);
    if (c.half == KeyCase::kHigh) {
        EXPECT_EQ(starts[c.row], static_cast<std::size_t>(c.row));
    } else if (c.half == KeyCase::kLow) {
        EXPECT_EQ(starts[c.row] + 1, static_cast<std::size_t>(c.row));
    }
}

INSTANTIATE_TEST_SUITE_P(
    NotableKeys, ParameterKeyTest,
    ::testing::Values(KeyCase{"Controller ID=", 0, 0, 1, KeyCase::kHigh},
                      KeyCase{"IO patern=", 1, 0, 1, KeyCase::kLow},
                      KeyCase{"Stroke(+)", 4, 2, 4, KeyCase::kWhole},
                      KeyCase{"Stroke(-)", 6, 4, 4, KeyCase::kWhole},
                      KeyCase{"Enable SW=", 16, 13, 1, KeyCase::kHigh},
                      KeyCase{"0013=", 17, 13, 1, KeyCase::kLow},
                      KeyCase{"Unit name=", 18, 14, 16, KeyCase::kWhole},
                      KeyCase{"ORG Correct=", 23, 26, 4, KeyCase::kWhole},
                      KeyCase{"0068=", 47, 47, 2, KeyCase::kWhole},
                      KeyCase{"0179=", 93, 87, 2, KeyCase::kWhole},
                      KeyCase{"0220=", 118, 111, 2, KeyCase::kWhole},
                      KeyCase{"0265=", 135, 127, 2, KeyCase::kWhole},
                      KeyCase{"Unit No.", 155, 142, 4, KeyCase::kWhole},
                      KeyCase{"Maker Setting 040", 161, 148, 4, KeyCase::kWhole},
                      KeyCase{"Maker Setting 065=", 204, 190, 4, KeyCase::kWhole},
                      KeyCase{"Maker Setting 312=", 206, 192, 2, KeyCase::kWhole},
                      KeyCase{"Maker Setting 317=", 211, 197, 2, KeyCase::kWhole},
                      KeyCase{"0353=", 212, 198, 2, KeyCase::kWhole},
                      KeyCase{"0410=", 269, 255, 2, KeyCase::kWhole},
                      KeyCase{"IN1 func(P1M0)=", 270, 256, 1, KeyCase::kHigh},
                      KeyCase{"IN2 func(P1M0)=", 271, 256, 1, KeyCase::kLow},
                      KeyCase{"OUT1 func(P1M0)=", 286, 264, 1, KeyCase::kHigh},
                      KeyCase{"OUT16 func(P1M1)=", 333, 287, 1, KeyCase::kLow},
                      KeyCase{"IN1 func(P2M0)=", 334, 288, 1, KeyCase::kHigh},
                      KeyCase{"OUT15 func(P2M1)=", 396, 319, 1, KeyCase::kHigh},
                      KeyCase{"IN1 func(P3M0)=", 398, 320, 1, KeyCase::kHigh},
                      KeyCase{"OUT16 func(P3M1)=", 461, 351, 1, KeyCase::kLow},
                      KeyCase{"0692=0", 462, 352, 2, KeyCase::kWhole},
                      KeyCase{"0723=0", 493, 383, 2, KeyCase::kWhole}));

TEST_F(RegisterTablesTest, KeysAreUniqueAndEmptyOnlyOnDwordSecondRows) {
    const auto& table = ParameterTable();
    const auto starts = UnitStarts(table);
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < 494; ++i) {
        const bool dwordSecond = table[i].type == kTypeDword && starts[i] != i;
        EXPECT_EQ(table[i].key.empty(), dwordSecond) << "row " << i;
        if (!table[i].key.empty()) {
            EXPECT_EQ(++seen[table[i].key], 1) << table[i].key;
        }
    }
}

TEST_F(RegisterTablesTest, FourKeysLackTheEqualsSignAndTheLast32EndInEqualsZero) {
    const std::set<std::string> bare = {"Stroke(+)", "Stroke(-)", "Unit No.", "Maker Setting 040"};
    const auto& table = ParameterTable();
    std::set<std::string> foundBare;
    for (std::size_t i = 0; i < 494; ++i) {
        const std::string& key = table[i].key;
        if (key.empty()) {
            continue;
        }
        const bool endsEqualsZero = key.size() >= 2 && key.compare(key.size() - 2, 2, "=0") == 0;
        EXPECT_EQ(endsEqualsZero, i >= 462) << "row " << i << " " << key;
        if (!endsEqualsZero && key.back() != '=') {
            foundBare.insert(key);
        }
    }
    EXPECT_EQ(foundBare, bare);
}

TEST_F(RegisterTablesTest, NumberedKeysFollowTheirRegisters) {
    for (int reg = 198; reg <= 255; ++reg) {
        char key[16];
        std::snprintf(key, sizeof key, "%04d=", reg + 155);
        EXPECT_EQ(FindParameterRowByKey(key), FindParameterRowByRegister(reg)) << key;
    }
    for (int reg = 352; reg <= 383; ++reg) {
        char key[16];
        std::snprintf(key, sizeof key, "%04d=0", reg + 340);
        EXPECT_EQ(FindParameterRowByKey(key), FindParameterRowByRegister(reg)) << key;
    }
}

TEST_F(RegisterTablesTest, FunctionKeysPairOddHighEvenLowPerGroup) {
    const auto& table = ParameterTable();
    const char* const groups[] = {"P1M0", "P1M1", "P2M0", "P2M1", "P3M0", "P3M1"};
    for (int k = 0; k < 6; ++k) {
        for (int n = 0; n < 32; ++n) {
            const std::string direction = n < 16 ? "IN" : "OUT";
            const std::string key =
                direction + std::to_string(n % 16 + 1) + " func(" + groups[k] + ")=";
            const int row = FindParameterRowByKey(key);
            ASSERT_GE(row, 0) << key;
            EXPECT_EQ(table[row].reg, 256 + 16 * k + n / 2) << key;
            const int high = FindParameterRowByRegister(table[row].reg);
            EXPECT_EQ(row, high + n % 2) << key;
        }
    }
}

TEST_F(RegisterTablesTest, LookupsMatchAsStoredAndOnlyUnitStarts) {
    struct {
        std::uint16_t reg;
        int row;
    } const registerCases[] = {{0, 0},   {2, 4},   {3, -1},    {13, 16},   {14, 18},  {15, -1},
                               {21, -1}, {22, 19}, {287, 332}, {383, 493}, {384, -1}, {0xFFFF, -1}};
    for (const auto& c : registerCases) {
        EXPECT_EQ(FindParameterRowByRegister(c.reg), c.row) << "register " << c.reg;
    }
    for (const char* key : {"", "Stroke(+)=", "stroke(+)", "0723=", "Unit No.=", "IO pattern="}) {
        EXPECT_EQ(FindParameterRowByKey(key), -1) << key;
    }
}

TEST_F(RegisterTablesTest, RowUnitSizeByPacking) {
    struct {
        std::uint8_t type;
        std::size_t size;
    } const cases[] = {{kTypeBytePair, 2},
                       {kTypeWord, 1},
                       {kTypeDword, 2},
                       {kTypeText16, 1},
                       {kTypeTerminator, 1}};
    for (const auto& c : cases) {
        RegisterRow row;
        row.type = c.type;
        EXPECT_EQ(RowUnitSize(row), c.size) << "type " << int(c.type);
    }
}

TEST_F(RegisterTablesTest, StepTemplateDescribesOneStep) {
    const auto& tpl = StepTemplate();
    ASSERT_EQ(tpl.size(), 17u);
    const std::uint8_t types[16] = {2, 2, 4, 4, 2, 2, 2, 2, 2, 2, 4, 4, 4, 4, 4, 4};
    const std::uint16_t regs[16] = {0x400, 0x401, 0x402, 0x402, 0x404, 0x405, 0x406, 0x407,
                                    0x408, 0x409, 0x40A, 0x40A, 0x40C, 0x40C, 0x40E, 0x40E};
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(tpl[i].type, types[i]) << "row " << i;
        EXPECT_EQ(tpl[i].reg, regs[i]) << "row " << i;
        EXPECT_EQ(tpl[i].bytes, types[i] == 4 ? 4 : 2) << "row " << i;
        EXPECT_TRUE(tpl[i].key.empty()) << "row " << i;
        EXPECT_EQ(tpl[i].readBlockEnd, i == 15 ? 1 : 0) << "row " << i;
        EXPECT_EQ(tpl[i].writeBlockEnd, i >= 14 ? 1 : 0) << "row " << i;
    }
    EXPECT_EQ(tpl[16].readBlockEnd, 0xFFFF);
    EXPECT_EQ(tpl[16].writeBlockEnd, 0xFFFF);
    EXPECT_EQ(tpl[16].reg, 0xFFFF);
    EXPECT_EQ(tpl[16].type, 0xFF);
}

TEST_F(RegisterTablesTest, StepTableHolds64ShiftedCopiesInsideTheStepArea) {
    const auto& table = StepTable();
    const auto& tpl = StepTemplate();
    ASSERT_EQ(table.size(), 1088u);
    for (std::size_t step = 0; step < 64; ++step) {
        std::array<int, 16> covered{};
        std::size_t i = step * 17;
        while (table[i].writeBlockEnd != 0xFFFF) {
            const RegisterRow& row = table[i];
            const int width = RegistersOfUnit(row);
            ASSERT_GE(row.reg, 0x0400) << "row " << i;
            ASSERT_LE(row.reg + width - 1, 0x07FF) << "row " << i;
            for (int r = row.reg; r < row.reg + width; ++r) {
                const int offset = r - 0x0400 - 16 * static_cast<int>(step);
                ASSERT_GE(offset, 0) << "row " << i;
                ASSERT_LT(offset, 16) << "row " << i;
                ++covered[offset];
            }
            i += RowUnitSize(row);
        }
        EXPECT_EQ(i, step * 17 + 16) << "step " << step;
        for (int r = 0; r < 16; ++r) {
            EXPECT_EQ(covered[r], 1) << "step " << step << " register offset " << r;
        }
        for (std::size_t k = 0; k < 17; ++k) {
            const RegisterRow& row = table[step * 17 + k];
            EXPECT_EQ(row.readBlockEnd, tpl[k].readBlockEnd) << "step " << step << " row " << k;
            EXPECT_EQ(row.writeBlockEnd, tpl[k].writeBlockEnd) << "step " << step << " row " << k;
            EXPECT_EQ(row.type, tpl[k].type) << "step " << step << " row " << k;
        }
    }
    EXPECT_EQ(table[63 * 17].reg, 0x07F0);
    EXPECT_EQ(table[63 * 17 + 14].reg, 0x07FE);
}

TEST_F(RegisterTablesTest, RebuildStepTableClearsValuesAndRestoresRegisters) {
    auto& table = StepTable();
    for (auto& row : table) {
        row.readValue = 0x1234;
        row.writeValue = 0xABCD;
        row.reg = 0x0001;
    }
    RebuildStepTable();
    const auto& rebuilt = StepTable();
    ASSERT_EQ(rebuilt.size(), 1088u);
    const auto& tpl = StepTemplate();
    for (std::size_t i = 0; i < rebuilt.size(); ++i) {
        EXPECT_EQ(rebuilt[i].readValue, 0u) << "row " << i;
        EXPECT_EQ(rebuilt[i].writeValue, 0u) << "row " << i;
        const RegisterRow& source = tpl[i % 17];
        const std::uint16_t expected =
            source.reg == 0xFFFF ? 0xFFFF : static_cast<std::uint16_t>(source.reg + 16 * (i / 17));
        EXPECT_EQ(rebuilt[i].reg, expected) << "row " << i;
    }
}

TEST_F(RegisterTablesTest, ResetRestoresValuesAndKeysOfBothTables) {
    ParameterTable()[4].writeValue = 7;
    ParameterTable()[4].key = "changed";
    ParameterTable().pop_back();
    StepTable()[0].readValue = 9;
    ResetRegisterTablesForTesting();
    ASSERT_EQ(ParameterTable().size(), 495u);
    EXPECT_EQ(ParameterTable()[4].writeValue, 0u);
    EXPECT_EQ(ParameterTable()[4].key, "Stroke(+)");
    EXPECT_EQ(ParameterTable()[494].writeBlockEnd, 0xFFFF);
    EXPECT_EQ(StepTable()[0].readValue, 0u);
}

}  // namespace
}  // namespace velmora
