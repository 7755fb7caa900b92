// velmora-cli check-data's checker: the sample set passes; copies of it broken the ways authors
// break data sets give the problem, in the file and on the line where it lies.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/actuator_table.h"
#include "model/data_check.h"
#include "model/field_reader.h"
#include "model/file_ctrl.h"
#include "platform/module_folder.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempFolder;

const fs::path kSampleSet = fs::path(VELMORA_SOURCE_DIR) / "data" / "sample" / "VMA-Series";
constexpr const char* kSetName = "VMA-Series";
constexpr int kParamKindColumn = 7;  // in the sample's parameter files, "No." is column 2

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    return SplitFields(line);
}

std::string Join(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : ",") + fields[i];
    }
    return line;
}

std::string StoredName(const std::string& name) {
    const std::size_t dot = name.rfind(".csv");
    return dot == std::string::npos ? name : name.substr(0, dot) + ".vmw";
}

// The plain sample set, line by line, to be broken and then stored.
struct PlainSet {
    std::map<std::string, std::vector<std::string>> files;
    std::map<std::string, bool> lastLineEnded;

    std::vector<std::string>& operator[](const std::string& name) { return files.at(name); }

    // 1-based number of the first line of the file that contains every piece.
    int LineWith(const std::string& name, std::initializer_list<std::string> pieces) {
        const auto& lines = files.at(name);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (std::all_of(pieces.begin(), pieces.end(), [&](const std::string& piece) {
                    return lines[i].find(piece) != std::string::npos;
                })) {
                return static_cast<int>(i) + 1;
            }
        }
        ADD_FAILURE() << "no line with the pieces in " << name;
        return 0;
    }

    int ColumnOf(const std::string& name, const std::string& heading) {
        const int line = LineWith(name, {"," + heading});
        const auto fields = Fields(files.at(name)[static_cast<std::size_t>(line - 1)]);
        return static_cast<int>(std::find(fields.begin(), fields.end(), heading) - fields.begin());
    }

    void SetField(const std::string& name, int line, int column, const std::string& value) {
        std::string& text = files.at(name)[static_cast<std::size_t>(line - 1)];
        auto fields = Fields(text);
        fields.at(static_cast<std::size_t>(column)) = value;
        text = Join(fields);
    }

    // Puts the sum of a value column back into the sum line, as an author's tool would.
    void Reseal(const std::string& name, const std::string& heading, int kindColumn) {
        const int header = LineWith(name, {"," + heading});
        const int column = ColumnOf(name, heading);
        const auto& lines = files.at(name);
        long sum = 0;
        for (std::size_t i = static_cast<std::size_t>(header); i < lines.size(); ++i) {
            const auto fields = Fields(lines[i]);
            if (fields.size() > static_cast<std::size_t>(kindColumn) &&
                fields[static_cast<std::size_t>(kindColumn)] == "sum") {
                SetField(name, static_cast<int>(i) + 1, column, std::to_string(sum));
                return;
            }
            if (fields.size() > static_cast<std::size_t>(column)) {
                sum += std::strtol(fields[static_cast<std::size_t>(column)].c_str(), nullptr, 10);
            }
        }
        ADD_FAILURE() << "no sum line in " << name;
    }

    // Stores every file as the build does, below folder/<set>.
    void Store(const std::string& folder) const {
        const fs::path target = fs::path(folder) / kSetName;
        fs::create_directories(target);
        for (const auto& [name, lines] : files) {
            std::string text;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                text += lines[i];
                if (i + 1 < lines.size() || lastLineEnded.at(name)) {
                    text += "\n";
                }
            }
            CFileCtrl file;
            ASSERT_TRUE(
                file.Open((target / StoredName(name)).string(), kFileModeCreate | kFileModeWrite));
            file.WriteText(WithCrLfLineEnds(text));
            ASSERT_EQ(file.ScrambleAndWrite(), 0);
        }
    }
};

PlainSet LoadSample() {
    PlainSet set;
    for (const auto& entry : fs::directory_iterator(kSampleSet)) {
        const std::string name = entry.path().filename().string();
        set.files[name] = SplitLines(ReadBytes(entry.path().string()));
        set.lastLineEnded[name] = true;
    }
    return set;
}

struct Expected {
    std::string file;  // stored name inside the set
    int line;
    std::string text;  // a piece of the message
};

struct BrokenCase {
    const char* name;
    // Breaks the plain set; returns the problems that must be reported, and only those.
    std::function<std::vector<Expected>(PlainSet&)> breakPlain;
    // Breaks the stored set afterwards (folder of the set), when the fault is in storage.
    std::function<void(const std::string&)> breakStored;
};

std::string Describe(const std::vector<DataProblem>& problems) {
    std::string text;
    for (const auto& p : problems) {
        text += "  " + p.file + ":" + std::to_string(p.line) + ": " + p.message + "\n";
    }
    return text;
}

const std::vector<BrokenCase>& BrokenCases() {
    static const std::vector<BrokenCase> cases = {
        {"WrongChecksum",
         [](PlainSet& set) {
             const std::string file = "VMA10_param.csv";
             const int line = set.LineWith(file, {",D0006,"});
             set.SetField(file, line, set.ColumnOf(file, "VMA10-L12"), "601");
             return std::vector<Expected>{
                 {file, set.LineWith(file, {",sum,"}), "checksum of column 'VMA10-L12'"}};
         },
         nullptr},
        {"MissingParameterFile",
         [](PlainSet& set) {
             set.files.erase("VMA20_param.csv");
             std::vector<Expected> expected;
             const auto& list = set["AdapterFile.vms"];
             for (std::size_t i = 1; i < list.size(); ++i) {
                 if (list[i].find("VMA20_param.csv") != std::string::npos) {
                     expected.push_back({"AdapterFile.vms", static_cast<int>(i) + 1,
                                         "parameter file 'VMA20_param.csv' is missing"});
                 }
             }
             return expected;
         },
         nullptr},
        {"MissingHeadingColumn",
         [](PlainSet& set) {
             const std::string file = "VMA30_param.csv";
             set.SetField(file, set.LineWith(file, {",VMA30-L12P"}),
                          set.ColumnOf(file, "VMA30-L12P"), "VMA30-L12-P");
             return std::vector<Expected>{{file, 0, "no column is headed 'VMA30-L12P'"}};
         },
         nullptr},
        {"TruncatedStoredFile",
         [](PlainSet&) {
             return std::vector<Expected>{
                 {"VMA30_step.vmw", 0, "not a whole number of 4-byte groups"}};
         },
         [](const std::string& set) {
             const fs::path path = fs::path(set) / "VMA30_step.vmw";
             fs::resize_file(path, fs::file_size(path) - 2);
         }},
        {"ListWithoutFinalLineEnd",
         [](PlainSet& set) {
             set.lastLineEnded["AdapterFile.vms"] = false;
             return std::vector<Expected>{{"AdapterFile.vms",
                                           static_cast<int>(set["AdapterFile.vms"].size()),
                                           "the last line has no CR LF line end"}};
         },
         nullptr},
        {"ByteOutOfRangeBesideAnotherFault",
         [](PlainSet& set) {
             // A value the write would mask is a fault of the set, found with the others.
             const std::string file = "VMA10_param.csv";
             const int line = set.LineWith(file, {",D0000,"});
             set.SetField(file, line, set.ColumnOf(file, "VMA10-L06P"), "300");
             set.Reseal(file, "VMA10-L06P", kParamKindColumn);
             set.SetField(file, line + 2, 1, "D01");
             return std::vector<Expected>{
                 {file, line + 2, "register cell 'D01' is not D and four hexadecimal digits"},
                 {file, line, "value 300 does not fit a byte (0 to 255): written as 44"}};
         },
         nullptr},
        {"EmptyModelColumn",
         [](PlainSet& set) {
             const int line = set.LineWith("AdapterFile.vms", {"VMA20-06I,"});
             set.SetField("AdapterFile.vms", line, 1, "");
             return std::vector<Expected>{
                 {"AdapterFile.vms", line,
                  "column 2 (model) is empty: the line gives no actuator"}};
         },
         nullptr},
    };
    return cases;
}

class DataCheckBrokenTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DataCheckBrokenTest, ReportsTheFaultWhereItLies) {
    const BrokenCase& c = BrokenCases()[GetParam()];
    TempFolder root;
    ASSERT_TRUE(root.valid());
    PlainSet set = LoadSample();
    const std::vector<Expected> expected = c.breakPlain(set);
    ASSERT_FALSE(expected.empty());
    set.Store(root.path());
    const std::string setFolder = root.file(kSetName);
    if (c.breakStored) {
        c.breakStored(setFolder);
    }

    const std::vector<DataProblem> problems = CheckDataFolder(root.path());

    for (const Expected& e : expected) {
        const std::string file = setFolder + "/" + StoredName(e.file);
        const bool found = std::any_of(problems.begin(), problems.end(), [&](const auto& p) {
            return p.file == file && p.line == e.line &&
                   p.message.find(e.text) != std::string::npos;
        });
        EXPECT_TRUE(found) << "expected " << StoredName(e.file) << ":" << e.line << ": " << e.text
                           << "\ngot:\n"
                           << Describe(problems);
    }
    EXPECT_EQ(problems.size(), expected.size()) << Describe(problems);
}

INSTANTIATE_TEST_SUITE_P(Copies, DataCheckBrokenTest,
                         ::testing::Range<std::size_t>(0, BrokenCases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             return std::string(BrokenCases()[info.param].name);
                         });

// The actuators the program's own loader makes from a folder.
int LoadedActuators(const std::string& folder) {
    test::ScriptedUi ui;
    std::vector<stADP_FORMAT> table;
    std::vector<std::string> models;
    LoadActuatorTable(ui, folder, table, models);
    return static_cast<int>(table.size());
}

TEST(DataCheckTest, TheSampleSetPassesAndEveryFileIsCounted) {
    TempFolder root;
    ASSERT_TRUE(root.valid());
    PlainSet set = LoadSample();
    set.Store(root.path());
    DataCheckSummary summary;
    const auto problems = CheckDataFolder(root.path() + "/", &summary);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
    EXPECT_EQ(summary.listFiles, 1);
    int parameterFiles = 0;
    int stepFiles = 0;
    for (const auto& [name, lines] : set.files) {
        parameterFiles += name.find("_param.csv") != std::string::npos ? 1 : 0;
        stepFiles += name.find("_step.csv") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(summary.parameterFiles, parameterFiles);
    EXPECT_EQ(summary.stepFiles, stepFiles);
    EXPECT_EQ(summary.actuators, LoadedActuators(root.path()));
    EXPECT_GT(summary.actuators, 0);
}

TEST(DataCheckTest, TheBuiltDataFolderPasses) {
    const fs::path data = fs::path(ModuleFolderOfExecutable()) / "System" / "Data";
    ASSERT_TRUE(fs::exists(data / kSetName / "AdapterFile.vms"));
    const auto problems = CheckDataFolder(data.string());
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

TEST(DataCheckTest, FoldersWithoutAListFileAreReported) {
    TempFolder root;
    ASSERT_TRUE(root.valid());
    root.write("Set/notes.txt", "no list file here");
    const struct {
        std::string folder;
        const char* text;
    } cases[] = {
        {root.path(), "holds no AdapterFile.vms"},
        {root.file("missing"), "is not a folder"},
    };
    for (const auto& c : cases) {
        const auto problems = CheckDataFolder(c.folder);
        ASSERT_EQ(problems.size(), 1u) << Describe(problems);
        EXPECT_EQ(problems[0].file, c.folder);
        EXPECT_EQ(problems[0].line, 0);
        EXPECT_NE(problems[0].message.find(c.text), std::string::npos) << problems[0].message;
    }
}

TEST(DataCheckTest, AnUnstoredCopyBesideTheListIsPointedOut) {
    TempFolder root;
    ASSERT_TRUE(root.valid());
    PlainSet set = LoadSample();
    const auto plain = set.files.at("VMA10_step.csv");
    set.files.erase("VMA10_step.csv");
    set.Store(root.path());
    std::string text;
    for (const auto& line : plain) {
        text += line + "\r\n";
    }
    root.write(std::string(kSetName) + "/VMA10_step.csv", text);
    const auto problems = CheckDataFolder(root.path());
    ASSERT_FALSE(problems.empty());
    for (const auto& p : problems) {
        EXPECT_NE(p.message.find("is there unstored: store it with velmora-cli pack"),
                  std::string::npos)
            << p.message;
    }
}

}  // namespace
}  // namespace velmora
