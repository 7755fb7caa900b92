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

#include "app/app_state.h"
#include "core/robustness_test_support.h"
#include "data/data_check.h"
#include "link/register_tables.h"
#include "support/backup_text.h"
#include "support/transmit_support.h"
#include "sysfiles/language.h"
#include "transmit/writer_internal.h"

namespace velmora {
namespace {

using test::TempFolder;
using test::robust::CrLf;
using test::robust::Mutator;
using test::robust::SampleText;
using test::robust::StoreRaw;

constexpr int kHeaderScanVariants = 250;
constexpr int kDataWriteVariants = 150;
constexpr int kCheckDataVariants = 150;
constexpr const char* kHeading = "VMA10-L06";

// A shorter data file of the same layout, so that thousands of reads stay fast: the heading
// lines, the first rows (a parameter row with its continuation line, a step by whole
// blocks) and the sum line, its sums made again for the rows kept.
std::string Shortened(const std::string& text, std::size_t rows, bool steps,
                      const std::string& heading = kHeading) {
    const std::vector<std::string> lines = test::SplitCrLfLines(text);
    constexpr std::size_t kKindColumn = 7;
    std::size_t header = 0;
    while (header < lines.size() && lines[header].find("," + heading) == std::string::npos) {
        ++header;
    }
    std::size_t last = header + rows;
    while (!steps && test::SplitFields(lines[last + 1])[1].empty()) {
        ++last;
    }
    const auto sumLine = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        const auto fields = test::SplitFields(line);
        return fields.size() > kKindColumn && fields[kKindColumn] == "sum";
    });
    auto sums = test::SplitFields(*sumLine);
    for (std::size_t column = kKindColumn + 1; column < sums.size(); ++column) {
        long sum = 0;
        for (std::size_t i = header + 1; i <= last; ++i) {
            const auto fields = test::SplitFields(lines[i]);
            sum += column < fields.size() ? std::strtol(fields[column].c_str(), nullptr, 10) : 0;
        }
        sums[column] = std::to_string(sum);
    }
    std::string out;
    for (std::size_t i = 0; i <= last; ++i) {
        out += lines[i] + "\r\n";
    }
    for (std::size_t column = 0; column < sums.size(); ++column) {
        out += (column == 0 ? "" : ",") + sums[column];
    }
    return out + "\r\n";
}

// Lengths to cut a text at: every line end, the bytes around them, and a spread in between.
std::vector<std::size_t> CutLengths(const std::string& text, Mutator& mutator, std::size_t spread) {
    std::vector<std::size_t> lengths = {0};
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        lengths.insert(lengths.end(), {at, at + 1, at + 2});
    }
    for (std::size_t n = 0; n < spread; ++n) {
        lengths.push_back(mutator.Pick(text.size()));
    }
    for (std::size_t back = 1; back <= 40 && back <= text.size(); ++back) {
        lengths.push_back(text.size() - back);
    }
    return lengths;
}

// ---------------------------------------------------------------------------------------------
// Parameter and step data files

struct DataFileCase {
    const char* sample;
    bool steps;
    std::size_t rows;
};
const DataFileCase kDataFiles[] = {{"VMA10_param.csv", false, 60}, {"VMA10_step.csv", true, 32}};

std::string ShortSample(const DataFileCase& data) {
    return Shortened(SampleText(data.sample), data.rows, data.steps);
}

// Header search and checksum on damaged files: they end, and a checksum that passes names a
// sum line below the header.
TEST(RobustnessDataFiles, HeaderAndChecksumScansOfDamagedFilesEnd) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    Mutator mutator(51);
    for (const DataFileCase& data : kDataFiles) {
        const std::string base = ShortSample(data);
        for (int variant = 0; variant < kHeaderScanVariants; ++variant) {
            StoreRaw(path, variant == 0 ? base : mutator(base));
            CFileCtrl file;
            ASSERT_TRUE(file.Open(path, kFileModeRead));
            writer_internal::HeaderInfo header;
            const int found = writer_internal::FindHeader(file, kHeading, header);
            ASSERT_TRUE(found == 0 || found == -1);
            if (found != 0) {
                continue;
            }
            ASSERT_GE(header.valueColumn, 0);
            ASSERT_GE(header.headerLine, 0);
            const int kindColumn = data.steps ? 7 : header.numberColumn + 5;
            if (kindColumn < 0) {
                continue;
            }
            int sumLine = -1;
            const bool passed = writer_internal::ChecksumMatches(
                file, header.headerLine, kindColumn, header.valueColumn, sumLine);
            if (passed) {
                ASSERT_GT(sumLine, header.headerLine) << data.sample << " variant " << variant;
            }
            if (variant == 0) {
                ASSERT_TRUE(passed) << data.sample;
            }
        }
    }
}

// The sum line is the last line: a file cut before the sum line's value of the column never
// passes; cut after it (only other actuators' sums lost), it still does.
TEST(RobustnessDataFiles, ChecksumOfAFileCutShortNeverPasses) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    Mutator mutator(52);
    for (const DataFileCase& data : kDataFiles) {
        const std::string base = ShortSample(data);
        const std::size_t sumLine = base.rfind("\r\n", base.size() - 3) + 2;
        std::size_t valueEnd = sumLine;
        for (int comma = 0; comma <= 8; ++comma) {
            valueEnd = base.find(',', valueEnd) + 1;  // past the comma after column 8
        }
        for (const std::size_t length : CutLengths(base, mutator, 100)) {
            StoreRaw(path, base.substr(0, length));
            CFileCtrl file;
            ASSERT_TRUE(file.Open(path, kFileModeRead));
            writer_internal::HeaderInfo header;
            if (writer_internal::FindHeader(file, kHeading, header) != 0) {
                continue;
            }
            int sumLine = -1;
            EXPECT_EQ(writer_internal::ChecksumMatches(file, header.headerLine,
                                                       data.steps ? 7 : header.numberColumn + 5,
                                                       header.valueColumn, sumLine),
                      length >= valueEnd)
                << data.sample << " cut at " << length << " of " << base.size();
        }
    }
}

// Values far beyond a long: the running sum must neither overflow nor pass.
TEST(RobustnessDataFiles, ChecksumOfValuesBeyondRangeFailsCleanly) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    const std::string huge = "99999999999999999999999";
    for (const std::string& sum : {std::string("-2"), huge, std::string("0")}) {
        StoreRaw(path, "No.,Kind,H\r\n1,W," + huge + "\r\n2,W," + huge + "\r\n3,W,-" + huge +
                           "\r\n4,W,-" + huge + "\r\n,sum," + sum + "\r\n");
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeRead));
        int sumLine = -1;
        EXPECT_FALSE(writer_internal::ChecksumMatches(file, 0, 1, 2, sumLine)) << sum;
        EXPECT_EQ(sumLine, 5);
    }
}

// A line that opens with a bare LF once sent the scan back onto the line before it, and the
// checksum read that line's value and skipped to the same line again, for ever.
TEST(RobustnessDataFiles, ChecksumPassesALineOpeningWithABareLf) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    StoreRaw(path, "Kind,H\r\nW,5\r\n\nW,7\r\nsum,5\r\n");
    CFileCtrl file;
    ASSERT_TRUE(file.Open(path, kFileModeRead));
    int sumLine = -1;
    EXPECT_TRUE(writer_internal::ChecksumMatches(file, 0, 0, 1, sumLine));
    EXPECT_EQ(sumLine, 3);
}

class RobustnessDataWrite : public test::robust::InProcessController {};

TEST_F(RobustnessDataWrite, DamagedDataFilesAreWrittenOrRefusedWithAMessage) {
    Mutator mutator(53);
    stADP_FORMAT record;
    record.strDataFile = folder.file(kAdapterFileName);
    record.strPartNo = "VMA10-06I";
    record.strParamFile = "p.csv";
    record.strStepFile = "s.csv";
    record.strParamColumn = kHeading;
    for (const DataFileCase& data : kDataFiles) {
        const std::string base = ShortSample(data);
        const std::string path = DataFilePath(record, data.steps ? "s.csv" : "p.csv");
        for (int variant = 0; variant < kDataWriteVariants; ++variant) {
            StoreRaw(path, variant == 0 ? base : mutator(base));
            controller.resetImage();
            // The shortened step file leaves the later steps out; they verify as 0.
            controller.setRange(0x0400, std::vector<std::uint16_t>(0x0400, 0));
            controller.clearRequestLog();
            ui.clear();
            TransferContext ctx = context();
            const int result = data.steps ? WriteStepsFromData(ctx, record, 100, 0)
                                          : WriteParametersFromData(ctx, record, 100);
            ExpectMessagesFit(result, variant);
            if (HasFatalFailure()) {
                return;
            }
            if (variant != 0) {
                continue;
            }
            ASSERT_EQ(result, 0) << data.sample << ": "
                                 << (ui.messages().empty() ? "" : ui.messages()[0].title);
            const auto expected =
                data.steps ? test::ExpectedStepImage(base, kHeading)
                           : test::ExpectedParameterImage(base, kHeading, record.strPartNo);
            for (const auto& [reg, value] : expected) {
                ASSERT_EQ(controller.getRegister(reg), value) << data.sample << " reg " << reg;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Data-set checker

class RobustnessCheckData : public ::testing::Test {
  protected:
    // A smaller set of the sample's layout: three list lines over two series, whose files
    // keep their first rows.
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
            files.push_back({folder.file("Set/" + name + "_param.vmw"),
                             Shortened(SampleText(name + "_param.csv"), 60, false, name + "-L06")});
            files.push_back({folder.file("Set/" + name + "_step.vmw"),
                             Shortened(SampleText(name + "_step.csv"), 32, true, name + "-L06")});
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
