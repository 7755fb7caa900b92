// Damaged and hostile data files against the readers that write a controller from the data
// folder (the controller sits on an in-process line, so a whole write costs milliseconds) and
// against the data-set checker.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "core/robustness_test_support.h"
#include "model/data_check.h"
#include "model/data_set_reader.h"
#include "support/backup_text.h"
#include "support/transmit_support.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using test::TempFolder;
using test::robust::CrLf;
using test::robust::Mutator;
using test::robust::SampleText;
using test::robust::StoreRaw;

constexpr int kDataWriteVariants = 80;
constexpr int kCheckDataVariants = 150;
constexpr const char* kHeading = "VMA10-L06";

// ---------------------------------------------------------------------------------------------
// Parameter and step data files

struct DataFileCase {
    const char* sample;
    bool steps;
};
const DataFileCase kDataFiles[] = {{"VMA10_param.csv", false}, {"VMA10_step.csv", true}};

// Damaged data sets against the reader every write and the checker use: each one ends with a
// whole image or with diagnostics that name a line of the file, never half of either; a file
// cut before its sum line's value never reads whole; the sound file reads as it always wrote.
TEST(RobustnessDataFiles, DamagedDataSetsReadWholeOrWithDiagnostics) {
    TempFolder folder;
    Mutator mutator(51);
    stADP_FORMAT record;
    record.strDataFile = folder.file(kAdapterFileName);
    record.strPartNo = "VMA10-06I";
    record.strParamFile = "p.csv";
    record.strStepFile = "s.csv";
    record.strParamColumn = kHeading;
    for (const DataFileCase& data : kDataFiles) {
        const std::string base = CrLf(SampleText(data.sample));
        const std::string path = DataFilePath(record, data.steps ? "s.csv" : "p.csv");
        auto read = [&] { return ReadDataSet(record, !data.steps, data.steps); };

        StoreRaw(path, base);
        const DataSetReading sound = read();
        ASSERT_TRUE(sound.dataSet.has_value()) << data.sample;
        const auto expected = data.steps
                                  ? test::ExpectedStepImage(base, kHeading)
                                  : test::ExpectedParameterImage(base, kHeading, record.strPartNo);
        for (const auto& [reg, value] : expected) {
            if (reg != 0x000C) {  // the writing mode is the write's, not the reader's
                ASSERT_EQ(sound.dataSet->image.get(reg), value) << data.sample << " reg " << reg;
            }
        }

        for (int variant = 1; variant < kDataWriteVariants; ++variant) {
            const std::string damaged = mutator(base);
            StoreRaw(path, damaged);
            const std::size_t damagedLines =
                static_cast<std::size_t>(std::count(damaged.begin(), damaged.end(), '\n') +
                                         std::count(damaged.begin(), damaged.end(), '\r'));
            const DataSetReading reading = read();
            ASSERT_NE(reading.dataSet.has_value(), !reading.diagnostics.empty());
            for (const Diagnostic& diagnostic : reading.diagnostics) {
                EXPECT_LE(static_cast<std::size_t>(diagnostic.line), damagedLines + 1)
                    << FormatDiagnostic(diagnostic);
            }
        }

        const std::size_t sumLine = base.rfind("\r\n", base.size() - 3) + 2;
        // Lengths spread over the file, and the last bytes around the sum line.
        std::vector<std::size_t> lengths;
        for (int n = 0; n < 60; ++n) {
            lengths.push_back(mutator.Pick(base.size()));
        }
        for (std::size_t back = 1; back <= 40; ++back) {
            lengths.push_back(base.size() - back);
        }
        for (const std::size_t length : lengths) {
            StoreRaw(path, base.substr(0, length));
            if (length < sumLine) {
                EXPECT_FALSE(read().dataSet.has_value())
                    << data.sample << " cut at " << length << " of " << base.size();
            } else {
                read();  // ends either way
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Data-set checker

class RobustnessCheckData : public ::testing::Test {
  protected:
    // A smaller set of the sample: three list lines over two series.
    void SetUp() override {
        std::string list;
        for (const std::string& line : test::SplitCrLfLines(CrLf(SampleText("AdapterFile.vms")))) {
            if (list.empty() || line.starts_with("VMA10-06I,") || line.starts_with("VMA10-06P,") ||
                line.starts_with("VMA20-06I,")) {
                list += line + "\r\n";
            }
        }
        files.push_back({folder.file("Set/AdapterFile.vms"), list});
        for (const char* series : {"VMA10", "VMA20"}) {
            const std::string name = series;
            files.push_back(
                {folder.file("Set/" + name + "_param.vmw"), CrLf(SampleText(name + "_param.csv"))});
            files.push_back(
                {folder.file("Set/" + name + "_step.vmw"), CrLf(SampleText(name + "_step.csv"))});
        }
        std::filesystem::create_directories(folder.file("Set"));
    }

    void StoreAll() const {
        for (const auto& [path, text] : files) {
            StoreRaw(path, text);
        }
    }

    static constexpr int kSetActuators = 24 + 4 + 12;
    TempFolder folder;
    std::vector<std::pair<std::string, std::string>> files;  // stored path, plain text
};

TEST_F(RobustnessCheckData, DamagedSetsGiveProblemsInTheirOwnFiles) {
    Mutator mutator(71);
    StoreAll();
    for (int variant = 0; variant < kCheckDataVariants; ++variant) {
        const std::size_t which = mutator.Pick(files.size());
        const auto& [path, text] = files[which];
        const std::string damaged = variant == 0 ? text : mutator(text);
        StoreRaw(path, damaged);
        DataCheckSummary summary;
        const auto problems = CheckDataFolder(folder.path(), &summary);
        StoreRaw(path, text);
        ASSERT_LE(summary.listFiles, 1);
        ASSERT_LE(summary.parameterFiles, 3);
        ASSERT_LE(summary.stepFiles, 3);
        ASSERT_GE(summary.actuators, 0);
        if (variant == 0) {
            ASSERT_TRUE(problems.empty())
                << problems[0].file << ":" << problems[0].line << " " << problems[0].message;
            ASSERT_EQ(summary.actuators, kSetActuators);
            continue;
        }
        for (const DataProblem& problem : problems) {
            const bool known = std::any_of(files.begin(), files.end(), [&](const auto& file) {
                return file.first == problem.file;
            });
            ASSERT_TRUE(known) << "variant " << variant << ": " << problem.file;
            ASSERT_GE(problem.line, 0);
            ASSERT_FALSE(problem.message.empty());
        }
        if (damaged != text && which > 0 && damaged.size() < text.size() &&
            text.compare(0, damaged.size(), damaged) == 0) {
            // A data file cut short is never a clean set.
            ASSERT_FALSE(problems.empty()) << "variant " << variant << ": " << path;
        }
    }
}

TEST_F(RobustnessCheckData, DataFilesCutAtAnyLengthAreReported) {
    Mutator mutator(72);
    StoreAll();
    for (std::size_t which = 1; which < files.size(); which += 2) {
        const auto& [path, text] = files[which];
        for (int n = 0; n < 12; ++n) {
            const std::size_t length = mutator.Pick(text.size());
            StoreRaw(path, text.substr(0, length));
            const auto problems = CheckDataFolder(folder.path());
            EXPECT_FALSE(problems.empty()) << path << " cut at " << length;
        }
        StoreRaw(path, text);
    }
}

// '|' in every alternative column: the checker must count without overflowing and say that
// the program reads nothing from such a line.
TEST_F(RobustnessCheckData, AlternativeStormIsReportedNotCounted) {
    StoreAll();
    std::string storm;
    for (int i = 0; i < 9000; ++i) {
        storm += "1|";
    }
    std::string list = files[0].second;
    std::string line = "X-1";
    for (int column = 1; column <= 7; ++column) {
        line += "," + storm;
    }
    list += line + ",P1,VMA10_param.csv,VMA10_step.csv,VMA10-L06\r\n";
    StoreRaw(files[0].first, list);
    DataCheckSummary summary;
    const auto problems = CheckDataFolder(folder.path(), &summary);
    EXPECT_EQ(summary.actuators, kSetActuators);
    ASSERT_EQ(problems.size(), 1u) << problems[0].message;
    EXPECT_NE(problems[0].message.find("no actuator from this line"), std::string::npos)
        << problems[0].message;
}

}  // namespace
}  // namespace velmora
