#include "link/register_tables.h"

#include <cstdio>
#include <initializer_list>

namespace velmora {
namespace {

enum class Packing { kBytePair, kWord, kDword, kText16 };

// A run of rows with one packing. Byte pairs list both keys of each register (high byte
// first); dwords list only the key of each first row. A flagged group closes the read and the
// write request after its last unit.
struct KeyGroup {
    std::uint16_t firstReg;
    Packing packing;
    std::vector<std::string> keys;
    bool flagged;
};

std::vector<std::string> NumberedKeys(const char* format, int first, int last) {
    std::vector<std::string> keys;
    for (int number = first; number <= last; ++number) {
        char text[32];
        std::snprintf(text, sizeof text, format, number);
        keys.emplace_back(text);
    }
    return keys;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> keys;
    for (const auto& part : parts) {
        keys.insert(keys.end(), part.begin(), part.end());
    }
    return keys;
}

// "IN1 func(P1M0)=" to "IN16 func(P1M0)=", then "OUT1 ..." to "OUT16 ...".
std::vector<std::string> FuncKeys(const std::string& groupName) {
    std::vector<std::string> keys;
    for (const char* direction : {"IN", "OUT"}) {
        for (int number = 1; number <= 16; ++number) {
            keys.push_back(direction + std::to_string(number) + " func(" + groupName + ")=");
        }
    }
    return keys;
}

std::vector<KeyGroup> ParameterGroups() {
    using P = Packing;
    std::vector<KeyGroup> groups = {
        {0, P::kBytePair, {"Controller ID=", "IO patern="}, false},
        {1, P::kBytePair, {"ACC/DEC pattern=", "S-motion rate="}, false},
        {2, P::kDword, {"Stroke(+)", "Stroke(-)"}, false},
        {6, P::kWord, {"Max speed=", "Max ACC/DEC="}, false},
        {8, P::kDword, {"Def In position=", "ORIG offset="}, false},
        {12, P::kBytePair, {"Max force=", "Para protect="}, false},
        {13, P::kBytePair, {"Enable SW=", "0013="}, true},
        {14, P::kText16, {"Unit name="}, true},
        {22, P::kDword, {"W-AREA1=", "W-AREA2=", "ORG Correct="}, false},
        {28,
         P::kWord,
         {"Sensor type=", "Option set1=", "Undefined parameter 11=", "Undefined parameter 12="},
         true},
        {32, P::kBytePair, {"ORIG direction=", "ORIG mode="}, false},
        {33, P::kBytePair, {"ORIG limit=", "ORIG time="}, false},
        {34, P::kWord, {"ORIG speed=", "ORIG ACC/DEC=", "Creep speed="}, false},
        {37, P::kBytePair, {"ORIG sensor=", "0058="}, false},
        {38,
         P::kWord,
         {"ORIG SW Dir=", "Undefined parameter 21=", "0061=", "0062=", "0063=", "0064=", "0065=",
          "0066=", "0067=", "0068="},
         true},
        {48, P::kWord, {"JOG speed=", "JOG Accel=", "JOG Decel=", "JOG force="}, false},
        {52, P::kDword, {"Move distance="}, false},
        {54,
         P::kWord,
         {"Pushing time=", "Safe speed LIM=", "BUSY ON speed=", "Safe func set1=",
          "Safe func set2=", "Maker Setting 301=", "Maker Setting 302=", "Maker Setting 303=",
          "Maker Setting 304=", "Maker Setting 305="},
         true},
        {64, P::kBytePair, {"Phase Det Dir=", "0151="}, false},
        {65, P::kWord, {"Phase Det time="}, false},
        {66, P::kBytePair, {"Limit SW=", "Limit SW type="}, false},
        {67, P::kBytePair, {"Pole sensor=", "0156="}, false},
        {68,
         P::kWord,
         {"Maker Setting 001=", "Maker Setting 002=", "Maker Setting 003=", "Brake timing="},
         false},
        {72, P::kBytePair, {"AUTO PD=", "PD I limit="}, false},
        {73, P::kBytePair, {"PD delay time=", "0164="}, false},
        {74, P::kWord, NumberedKeys("Maker Setting %03d=", 4, 11), false},
        {82, P::kBytePair, {"Comm speed=", "Silent INT="}, false},
        {83,
         P::kWord,
         {"Min Resp delay=", "Table Rev=", "Maker Setting 012=", "Maker Setting 306=", "0179="},
         true},
        {88,
         P::kWord,
         {"Drive mode Def=", "Speed Def=", "Accel Def=", "Decel Def=", "Push Force Def=",
          "Trigger LV Def=", "Pushing SPD Def=", "Posi Force Def="},
         false},
        {96, P::kDword, {"Area1 Def=", "Area2 Def=", "In position Def=", "Data RST PARA3="}, false},
        {104, P::kBytePair, {"Data RST PARA4=", "TB setting="}, false},
        {105, P::kWord, Concat({{"Maker Setting 307="}, NumberedKeys("%04d=", 215, 220)}), true},
        {112, P::kWord, NumberedKeys("Maker Setting %03d=", 13, 18), false},
        {118, P::kDword, {"Maker Setting 019="}, false},
        {120, P::kBytePair, {"Maker Setting 020=", "0258="}, false},
        {121, P::kWord,
         Concat({{"Maker Setting 021=", "Maker Setting 308=", "Maker Setting 309="},
                 NumberedKeys("%04d=", 262, 265)}),
         true},
        {128, P::kBytePair, {"Maker Setting 022=", "Maker Setting 023="}, false},
        {129, P::kBytePair, {"Maker Setting 024=", "Maker Setting 025="}, false},
        {130, P::kDword, NumberedKeys("Maker Setting %03d=", 26, 28), false},
        {136, P::kBytePair, {"Maker Setting 029=", "Maker Setting 030="}, false},
        {137, P::kBytePair, {"Maker Setting 031=", "Maker Setting 032="}, false},
        {138, P::kBytePair, {"Maker Setting 033=", "Maker Setting 034="}, false},
        {139, P::kWord, {"Maker Setting 035="}, false},
        {140, P::kDword, {"Maker Setting 036=", "Unit No.", "Maker Setting 037="}, false},
        {146, P::kWord, {"Maker Setting 038=", "Maker Setting 039="}, false},
        {148, P::kDword, {"Maker Setting 040"}, false},
        {150, P::kBytePair, {"Maker Setting 041=", "Maker Setting 042="}, false},
        {151, P::kWord,
         Concat({NumberedKeys("Maker Setting %03d=", 43, 49),
                 {"Maker Setting 310=", "Maker Setting 311="}}),
         false},
        {160, P::kDword, NumberedKeys("Maker Setting %03d=", 50, 65), false},
        // Registers 198 to 255 are named after the register number plus 155.
        {192, P::kWord,
         Concat({NumberedKeys("Maker Setting %03d=", 312, 317),
                 NumberedKeys("%04d=", 198 + 155, 255 + 155)}),
         true},
    };
    // Six I/O function groups of 16 registers; only P1M1 and P2M1 close a request.
    const char* const funcGroups[] = {"P1M0", "P1M1", "P2M0", "P2M1", "P3M0", "P3M1"};
    for (int k = 0; k < 6; ++k) {
        groups.push_back({static_cast<std::uint16_t>(256 + 16 * k), P::kBytePair,
                          FuncKeys(funcGroups[k]), k == 1 || k == 3});
    }
    // Registers 352 to 383 are named after the register number plus 340, with "=0".
    groups.push_back({352, P::kWord, NumberedKeys("%04d=0", 352 + 340, 383 + 340), true});
    return groups;
}

RegisterRow MakeRow(std::uint16_t reg, std::uint16_t bytes, std::uint8_t type, std::string key) {
    RegisterRow row;
    row.reg = reg;
    row.bytes = bytes;
    row.type = type;
    row.key = std::move(key);
    return row;
}

RegisterRow TerminatorRow() {
    RegisterRow row = MakeRow(kRegTerminator, kBytesTerminator, kTypeTerminator, std::string());
    row.readBlockEnd = kBlockEndTerminator;
    row.writeBlockEnd = kBlockEndTerminator;
    return row;
}

void AppendGroup(const KeyGroup& group, std::vector<RegisterRow>& rows) {
    const std::size_t firstRow = rows.size();
    std::uint16_t reg = group.firstReg;
    std::size_t lastUnitRows = 1;
    switch (group.packing) {
        case Packing::kBytePair:
            for (std::size_t i = 0; i < group.keys.size(); ++i) {
                rows.push_back(MakeRow(reg, 2, kTypeBytePair, group.keys[i]));
                if (i % 2 == 1) {
                    ++reg;
                }
            }
            lastUnitRows = 2;
            break;
        case Packing::kWord:
            for (const auto& key : group.keys) {
                rows.push_back(MakeRow(reg++, 2, kTypeWord, key));
            }
            break;
        case Packing::kDword:
            for (const auto& key : group.keys) {
                rows.push_back(MakeRow(reg, 4, kTypeDword, key));
                rows.push_back(MakeRow(reg, 4, kTypeDword, std::string()));
                reg += 2;
            }
            break;
        case Packing::kText16:
            for (const auto& key : group.keys) {
                rows.push_back(MakeRow(reg, 16, kTypeText16, key));
                reg += 8;
            }
            break;
    }
    if (group.flagged && rows.size() >= firstRow + lastUnitRows) {
        for (std::size_t i = rows.size() - lastUnitRows; i < rows.size(); ++i) {
            rows[i].readBlockEnd = kBlockEnd;
            rows[i].writeBlockEnd = kBlockEnd;
        }
    }
}

std::vector<RegisterRow> BuildParameterTable() {
    std::vector<RegisterRow> rows;
    rows.reserve(kParameterRowCount);
    for (const auto& group : ParameterGroups()) {
        AppendGroup(group, rows);
    }
    rows.push_back(TerminatorRow());
    return rows;
}

std::vector<RegisterRow> BuildStepTemplate() {
    struct StepUnit {
        std::uint16_t offset;
        Packing packing;
    };
    constexpr StepUnit kUnits[] = {
        {0x0, Packing::kWord},  {0x1, Packing::kWord},  {0x2, Packing::kDword},
        {0x4, Packing::kWord},  {0x5, Packing::kWord},  {0x6, Packing::kWord},
        {0x7, Packing::kWord},  {0x8, Packing::kWord},  {0x9, Packing::kWord},
        {0xA, Packing::kDword}, {0xC, Packing::kDword}, {0xE, Packing::kDword},
    };
    std::vector<RegisterRow> rows;
    rows.reserve(kStepRowsPerStep);
    for (const auto& unit : kUnits) {
        const auto reg = static_cast<std::uint16_t>(kStepFirstReg + unit.offset);
        if (unit.packing == Packing::kDword) {
            rows.push_back(MakeRow(reg, 4, kTypeDword, std::string()));
            rows.push_back(MakeRow(reg, 4, kTypeDword, std::string()));
        } else {
            rows.push_back(MakeRow(reg, 2, kTypeWord, std::string()));
        }
    }
    // The last dword closes the step's requests; its write flag sits on the first row.
    rows[14].writeBlockEnd = kBlockEnd;
    rows[15].readBlockEnd = kBlockEnd;
    rows[15].writeBlockEnd = kBlockEnd;
    rows.push_back(TerminatorRow());
    return rows;
}

std::vector<RegisterRow> BuildStepTable() {
    const auto& stepTemplate = StepTemplate();
    std::vector<RegisterRow> rows;
    rows.reserve(kStepTableRowCount);
    for (std::size_t step = 0; step < kStepCount; ++step) {
        for (RegisterRow row : stepTemplate) {
            if (row.type != kTypeTerminator) {
                row.reg = static_cast<std::uint16_t>(row.reg + kStepRegCount * step);
            }
            row.readValue = 0;
            row.writeValue = 0;
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

}  // namespace

std::vector<RegisterRow>& ParameterTable() {
    static std::vector<RegisterRow> table = BuildParameterTable();
    return table;
}

const std::vector<RegisterRow>& StepTemplate() {
    static const std::vector<RegisterRow> stepTemplate = BuildStepTemplate();
    return stepTemplate;
}

std::vector<RegisterRow>& StepTable() {
    static std::vector<RegisterRow> table = BuildStepTable();
    return table;
}

void RebuildStepTable() {
    StepTable() = BuildStepTable();
}

void ResetRegisterTablesForTesting() {
    ParameterTable() = BuildParameterTable();
    RebuildStepTable();
}

std::size_t RowUnitSize(const RegisterRow& row) {
    return (row.type == kTypeBytePair || row.type == kTypeDword) ? 2 : 1;
}

int FindParameterRowByKey(const std::string& key) {
    if (key.empty()) {
        return -1;
    }
    const auto& table = ParameterTable();
    for (std::size_t i = 0; i < table.size() && table[i].type != kTypeTerminator; ++i) {
        if (table[i].key == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int FindParameterRowByRegister(std::uint16_t reg) {
    const auto& table = ParameterTable();
    for (std::size_t i = 0; i < table.size() && table[i].type != kTypeTerminator; ++i) {
        if (table[i].reg == reg) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace velmora
