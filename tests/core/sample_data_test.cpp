// The sample data set in data/sample must stay loadable: every list line names files that
// exist, and every parameter and step file passes the checks the writers apply before sending.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "data/actuator_table.h"
#include "data/field_reader.h"
#include "data/file_ctrl.h"
#include "link/register_tables.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempFolder;

const fs::path kSampleRoot = fs::path(VELMORA_SOURCE_DIR) / "data" / "sample";

// The stored name of a plain source: data files change ".csv" for ".vmw".
std::string StoredName(const std::string& name) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".csv") == 0) {
        return name.substr(0, name.size() - 4) + ".vmw";
    }
    return name;
}

std::vector<fs::path> SampleSets() {
    std::vector<fs::path> sets;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(kSampleRoot, ignored)) {
        if (entry.is_directory())
            sets.push_back(entry.path());
    }
    return sets;
}

// Stores every plain source of every set below root/System/Data, as the build does.
void StoreSamples(const std::string& root) {
    for (const fs::path& set : SampleSets()) {
        const fs::path target = fs::path(root) / "System" / "Data" / set.filename();
        fs::create_directories(target);
        for (const auto& entry : fs::directory_iterator(set)) {
            CFileCtrl file;
            ASSERT_TRUE(file.Open((target / StoredName(entry.path().filename())).string(),
                                  kFileModeCreate | kFileModeWrite));
            file.WriteText(WithCrLfLineEnds(ReadBytes(entry.path().string())));
            ASSERT_EQ(file.ScrambleAndWrite(), 0);
        }
    }
}

bool ReadLong(const std::string& text, long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return end != nullptr && *end == '\0';
}

struct Header {
    int line = -1;          // 0-based line of the heading
    int valueColumn = -1;   // field holding the actuator's values
    int numberColumn = -1;  // field of "No." before the heading; -1 when none
};

// The heading search of the writers: field by field from the start.
Header FindHeader(CFileCtrl& file, const std::string& heading) {
    Header header;
    file.Seek(0, SeekFrom::Begin);
    int line = 0;
    int field = 0;
    std::string text;
    for (;;) {
        const int result = GetNextField(text, file);
        if (result == -1)
            return Header{};
        if (text == "No.")
            header.numberColumn = field;
        if (text == heading) {
            header.line = line;
            header.valueColumn = field;
            return header;
        }
        if (result == 0) {
            ++field;
        } else {
            ++line;
            field = 0;
        }
    }
}

std::string Field(CFileCtrl& file, int index) {
    std::string text;
    EXPECT_EQ(GetField(text, file, index), 0) << "field " << index << " at " << file.GetPosition();
    return text;
}

// The checksum rule: every line after the heading adds its value until the "sum" line.
void ExpectChecksum(CFileCtrl& file, const Header& header, int sumColumn, const std::string& what) {
    file.Seek(0, SeekFrom::Begin);
    ASSERT_EQ(SkipLines(file, header.line + 1), 0) << what;
    long sum = 0;
    for (;;) {
        std::string kind;
        ASSERT_EQ(GetField(kind, file, sumColumn), 0) << what << ": no sum line";
        long value = 0;
        if (kind == "sum") {
            ASSERT_TRUE(ReadLong(Field(file, header.valueColumn), value)) << what;
            EXPECT_EQ(sum, value) << what << ": checksum";
            return;
        }
        if (ReadLong(Field(file, header.valueColumn), value))
            sum += value;
        ASSERT_EQ(SkipLines(file, 1), 0) << what;
    }
}

void MoveBelowHeader(CFileCtrl& file, const Header& header) {
    file.Seek(0, SeekFrom::Begin);
    ASSERT_EQ(SkipLines(file, header.line + 1), 0);
}

// Rows walked as the parameter writer walks them; every register of the area exactly once, in
// order, with the kind its packing needs.
void ExpectParameterRows(CFileCtrl& file, const Header& header, const std::string& what) {
    const int regColumn = header.numberColumn - 1;
    const int kindColumn = header.numberColumn + 5;
    const std::vector<RegisterRow>& table = ParameterTable();
    MoveBelowHeader(file, header);
    std::vector<unsigned> covered;
    for (;;) {
        const std::string cell = Field(file, regColumn);
        const std::string kind = Field(file, kindColumn);
        if (cell.empty() || cell[0] != 'D' || kind.empty())
            break;
        const unsigned reg = static_cast<unsigned>(std::strtoul(cell.c_str() + 1, nullptr, 16));
        long value = 0;
        const bool hasValue = ReadLong(Field(file, header.valueColumn), value);
        const int row = FindParameterRowByRegister(static_cast<std::uint16_t>(reg));
        ASSERT_TRUE(row >= 0 || (reg > 14 && reg <= 21)) << what << " " << cell;
        const std::uint8_t type =
            row >= 0 ? table[static_cast<std::size_t>(row)].type : kTypeText16;
        ASSERT_EQ(SkipLines(file, 1), 0) << what;
        if (kind == "W" || kind == "SW") {
            ASSERT_TRUE(hasValue) << what << " " << cell;
            if (Field(file, regColumn).empty()) {
                ASSERT_EQ(type, kTypeBytePair) << what << " " << cell;
                long low = 0;
                ASSERT_TRUE(ReadLong(Field(file, header.valueColumn), low)) << what;
                EXPECT_TRUE(value >= 0 && value <= 255 && low >= 0 && low <= 255) << cell;
                ASSERT_EQ(SkipLines(file, 1), 0);
            } else {
                ASSERT_EQ(type, kTypeWord) << what << " " << cell;
                EXPECT_TRUE(value >= 0 && value <= 65535) << what << " " << cell;
            }
            covered.push_back(reg);
        } else if (kind == "2W") {
            ASSERT_EQ(type, kTypeDword) << what << " " << cell;
            ASSERT_TRUE(hasValue) << what << " " << cell;
            EXPECT_TRUE(Field(file, regColumn).empty()) << what << ": continuation of " << cell;
            ASSERT_EQ(SkipLines(file, 1), 0);
            covered.push_back(reg);
            covered.push_back(reg + 1);
        } else {
            // Only the unit name, which comes from the part number, may be passed over.
            ASSERT_EQ(type, kTypeText16) << what << " " << cell << " kind " << kind;
            covered.push_back(reg);
        }
    }
    EXPECT_EQ(Field(file, kindColumn), "sum") << what << ": rows must end at the sum line";
    std::vector<unsigned> all;
    for (unsigned reg = 0; reg < kParameterRegCount; ++reg) all.push_back(reg);
    EXPECT_EQ(covered, all) << what;
}

// Blocks walked as the step writer walks them: 64 steps laid out after the step template.
void ExpectStepBlocks(CFileCtrl& file, const Header& header, const std::string& what) {
    const std::vector<RegisterRow>& step = StepTemplate();
    MoveBelowHeader(file, header);
    std::size_t steps = 0;
    while (!Field(file, 2).empty()) {
        for (int row = 0; row < 15; ++row) {
            EXPECT_EQ(Field(file, 3), std::to_string(row)) << what << " step " << steps;
            const std::string kind = Field(file, 7);
            long value = 0;
            ASSERT_TRUE(ReadLong(Field(file, header.valueColumn), value)) << what;
            const bool dword = step[static_cast<std::size_t>(row)].type == kTypeDword;
            EXPECT_EQ(kind, dword ? "2W" : "W") << what << " step " << steps << " row " << row;
            if (dword) {
                ASSERT_EQ(SkipLines(file, 1), 0);
                ++row;
            } else {
                EXPECT_TRUE(value >= 0 && value <= 65535) << what;
            }
            ASSERT_EQ(SkipLines(file, 1), 0) << what;
        }
        ++steps;
    }
    EXPECT_EQ(steps, kStepCount) << what;
    EXPECT_EQ(Field(file, 7), "sum") << what;
}

class SampleDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.valid());
        ASSERT_FALSE(SampleSets().empty()) << kSampleRoot;
        StoreSamples(folder_.path());
        test::ScriptedUi ui;
        LoadActuatorTable(ui, folder_.path(), table_, models_);
        ASSERT_TRUE(ui.messages().empty());
        ASSERT_FALSE(table_.empty());
    }

    TempFolder folder_;
    std::vector<stADP_FORMAT> table_;
    std::vector<std::string> models_;
};

TEST_F(SampleDataTest, ListCoversTheChoicesOfTheSelection) {
    std::map<std::string, std::set<std::string>> seen;
    for (const auto& r : table_) {
        seen["controller"].insert(r.strController);
        seen["direction"].insert(r.strMotorDir);
        seen["lead"].insert(r.strLead);
        seen["stroke"].insert(r.strStroke);
        seen["sv"].insert(r.strSVNo);
        seen["io"].insert(r.strIOSpec);
        EXPECT_FALSE(r.strParamVersion.empty()) << r.strPartNo;
        EXPECT_LE(r.strPartNo.size(), 16u) << r.strPartNo;  // it becomes the unit name
    }
    EXPECT_GE(models_.size(), 3u);
    EXPECT_GE(seen["controller"].size(), 2u);
    EXPECT_GE(seen["direction"].size(), 2u);
    EXPECT_GE(seen["lead"].size(), 2u);
    EXPECT_GE(seen["stroke"].size(), 3u);
    EXPECT_EQ(seen["io"], (std::set<std::string>{"NPN", "PNP"}));
    EXPECT_TRUE(seen["sv"].count("1.00") && seen["sv"].count("1.10")) << "SV 1, 1.1 and 1.10";
}

TEST_F(SampleDataTest, EveryParameterFilePassesAndCoversTheWholeArea) {
    std::set<std::string> checked;
    for (const auto& r : table_) {
        const std::string path = DataFilePath(r, r.strParamFile);
        const std::string what = r.strParamFile + " [" + r.strParamColumn + "]";
        if (!checked.insert(what).second)
            continue;
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeRead | kFileShareExclusive)) << path;
        const Header header = FindHeader(file, r.strParamColumn);
        ASSERT_GE(header.line, 0) << what << ": heading not found";
        ASSERT_GE(header.numberColumn, 1) << what << ": no \"No.\" before the heading";
        ExpectChecksum(file, header, header.numberColumn + 5, what);
        ExpectParameterRows(file, header, what);
    }
    EXPECT_GE(checked.size(), 6u);
}

TEST_F(SampleDataTest, EveryStepFilePassesWithAllSteps) {
    std::set<std::string> checked;
    for (const auto& r : table_) {
        const std::string path = DataFilePath(r, r.strStepFile);
        const std::string what = r.strStepFile + " [" + r.strParamColumn + "]";
        if (!checked.insert(what).second)
            continue;
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeRead | kFileShareExclusive)) << path;
        const Header header = FindHeader(file, r.strParamColumn);
        ASSERT_GE(header.line, 0) << what << ": heading not found";
        ExpectChecksum(file, header, 7, what);
        ExpectStepBlocks(file, header, what);
    }
    EXPECT_GE(checked.size(), 6u);
}

fs::path BinaryFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

TEST(SampleSourcesTest, CheckedInSourcesAreWhatTheGeneratorMakes) {
    const fs::path generator = BinaryFolder() / "velmora-make-sample";
    if (!fs::exists(generator))
        GTEST_SKIP() << "velmora-make-sample not built";
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string command = generator.string() + " " + folder.path();
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const fs::path& set : SampleSets()) {
        const std::set<std::string> made = folder.names(set.filename().string());
        std::set<std::string> present;
        for (const auto& entry : fs::directory_iterator(set)) {
            present.insert(entry.path().filename().string());
            EXPECT_EQ(WithCrLfLineEnds(ReadBytes(entry.path().string())),
                      ReadBytes(folder.file(set.filename().string() + "/" +
                                            entry.path().filename().string())))
                << entry.path() << " differs from the generator's output";
        }
        EXPECT_EQ(present, made) << set;
    }
}

TEST(SampleSourcesTest, BuiltSystemDataHoldsTheSourcesScrambled) {
    const fs::path built = BinaryFolder() / "System" / "Data";
    if (!fs::exists(built))
        GTEST_SKIP() << "no System/Data beside the test binary";
    for (const fs::path& set : SampleSets()) {
        for (const auto& entry : fs::directory_iterator(set)) {
            const fs::path stored =
                built / set.filename() / StoredName(entry.path().filename().string());
            CFileCtrl file;
            ASSERT_TRUE(file.Open(stored.string(), kFileModeRead)) << stored;
            std::string text(static_cast<std::size_t>(file.GetLength()), '\0');
            ASSERT_EQ(file.Read(text.data(), text.size()), text.size());
            EXPECT_EQ(text, WithCrLfLineEnds(ReadBytes(entry.path().string()))) << stored;
        }
    }
}

}  // namespace
}  // namespace velmora
