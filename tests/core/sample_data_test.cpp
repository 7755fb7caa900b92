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

#include "model/actuator_table.h"
#include "model/field_reader.h"
#include "model/file_ctrl.h"
#include "model/data_set_reader.h"
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

// Every record's data set reads as the write reads it: whole, every value fitting its register.
TEST_F(SampleDataTest, EveryDataSetReadsWhole) {
    std::set<std::string> checked;
    for (const auto& r : table_) {
        const std::string what = r.strParamFile + " [" + r.strParamColumn + "]";
        if (!checked.insert(what).second)
            continue;
        const DataSetReading reading = ReadDataSet(r, true, true);
        ASSERT_TRUE(reading.dataSet.has_value())
            << what << ": " << FormatDiagnostic(reading.diagnostics.front());
        EXPECT_TRUE(reading.dataSet->masked.empty()) << what;
        EXPECT_EQ(reading.dataSet->stepCount, kStepCount) << what;
        EXPECT_TRUE(reading.dataSet->image.parameterAreaGiven()) << what;
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
