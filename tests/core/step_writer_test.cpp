// Step data writing and verification against the virtual controller on a pseudo-terminal,
// from scrambled copies of the sample data and from small files made for one case each.

#include "transmit/step_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/register_tables.h"
#include "support/temp_folder.h"
#include "support/writer_fixture.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using test::Describe;
using test::LoggedRequest;
using test::ReadBytes;
using test::SamplePath;
using test::WriterFixture;

using RegisterImage = std::map<std::uint16_t, std::uint16_t>;

// What the step area must hold after the plain step file has been written under the heading,
// taken from the register cells (column 6) the file carries for the reader's benefit.
RegisterImage ExpectedStepImage(const std::string& plain, const std::string& heading) {
    const auto rows = test::SplitCsv(plain);
    RegisterImage image;
    std::size_t line = 0;
    while (line < rows.size() && test::ColumnOf(rows[line], heading) < 0) {
        ++line;
    }
    const int value = test::ColumnOf(rows[line], heading);
    for (++line; line < rows.size(); ++line) {
        const auto& row = rows[line];
        if (row.size() <= 7 || row[6].empty()) {
            continue;
        }
        const auto reg = static_cast<std::uint16_t>(std::stoul(row[6].substr(1), nullptr, 16));
        if (row[7] == "W") {
            image[reg] = static_cast<std::uint16_t>(std::stol(row[value]) & 0xFFFF);
        } else if (row[7] == "2W") {
            const auto bits = static_cast<std::uint32_t>(std::stol(row[value]));
            image[reg] = static_cast<std::uint16_t>(bits >> 16);
            image[reg + 1] = static_cast<std::uint16_t>(bits & 0xFFFF);
        }
    }
    return image;
}

std::vector<std::string> StepBlocks(std::uint8_t function) {
    std::vector<std::string> blocks;
    for (std::uint16_t step = 0; step < 64; ++step) {
        blocks.push_back(Describe(
            LoggedRequest{function, static_cast<std::uint16_t>(0x0400 + 16 * step), 16, {}}));
    }
    return blocks;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct StepLine {
    std::string step;  // column 2: the step number on a step's first line
    std::string row;   // column 3
    std::string kind;  // column 7
    std::string value;
};

// A step data file laid out like the shipped ones: header on the third line, the values under
// "VAL", and a sum line.
std::string StepFile(const std::vector<StepLine>& lines) {
    std::string text = "Step data,TEST\r\nmade for a test\r\n";
    text += "Section,,Step,Row,Name,Unit,Register,Kind,OTHER,VAL\r\n";
    long sum = 0;
    for (const auto& line : lines) {
        text += "Steps,," + line.step + "," + line.row + ",name,,D0000," + line.kind + ",3," +
                line.value + "\r\n";
        sum += line.value.empty() ? 0 : std::stol(line.value);
    }
    return text + ",,,,Checksum,,,sum,0," + std::to_string(sum) + "\r\n";
}

// One step after the template: words at rows 0, 1, 4 to 9, dwords at 2, 10, 12 and 14.
std::vector<StepLine> TemplateStep(int step, const std::vector<long>& values) {
    const char* kinds[16] = {"W", "W", "2W", "", "W",  "W", "W",  "W",
                             "W", "W", "2W", "", "2W", "",  "2W", ""};
    std::vector<StepLine> lines;
    std::size_t next = 0;
    for (int row = 0; row < 16; ++row) {
        StepLine line{row == 0 ? std::to_string(step) : "", std::to_string(row), kinds[row], ""};
        if (*kinds[row] != '\0') {
            line.value = std::to_string(values[next++]);
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<StepLine> Join(std::vector<StepLine> a, const std::vector<StepLine>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class StepWriterTest : public WriterFixture {};

// Whole sample files: one request of 16 registers per step, read back step by step, and the
// controller holds the file's values.
TEST_F(StepWriterTest, SampleFilesWriteEveryStepInOneRequestAndVerify) {
    struct Case {
        const char* stepFile;
        const char* column;
        int span;
        int offset;
    };
    const Case cases[] = {
        {"VMA10_step.csv", "VMA10-L12", 100, 0},
        {"VMA20_step.csv", "VMA20-L06", 50, 50},
        {"VMA30_step.csv", "VMA30-L12P", 100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stepFile);
        const std::string plain = ReadBytes(SamplePath(c.stepFile));
        StoreFile(c.stepFile, plain);
        controller().resetImage();
        controller().clearRequestLog();
        ui.clear();
        TransferContext ctx = context();

        ASSERT_EQ(
            WriteStepsFromData(ctx, Record("unused.csv", c.stepFile, c.column), c.span, c.offset),
            0);

        EXPECT_TRUE(ui.messages().empty());
        EXPECT_EQ(Describe(Requests()), Concat(StepBlocks(0x10), StepBlocks(0x03)));
        const RegisterImage expected = ExpectedStepImage(plain, c.column);
        ASSERT_EQ(expected.size(), 1024u);
        for (const auto& [reg, value] : expected) {
            EXPECT_EQ(controller().getRegister(reg), value) << "register " << reg;
        }
        EXPECT_EQ(ui.statusTexts(),
                  (std::vector<std::string>{MessageText(kMsgProgressStateStepfileScanning),
                                            MessageText(kMsgProgressStateStepwrite),
                                            MessageText(kMsgProgressStateVerify)}));
        const auto progress = ui.progress();
        ASSERT_FALSE(progress.empty());
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_GT(progress.front(), c.offset - 1);
        EXPECT_EQ(progress.back(), c.offset + c.span);
    }
}

TEST_F(StepWriterTest, DamagedFilesAreRefusedBeforeAnythingIsSent) {
    const std::string sample = ReadBytes(SamplePath("VMA10_step.csv"));
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = sample;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::string withCountermeasure = ComposeAlarmText(
        kMsgTransmitFormatErrorAlarmContents, kMsgTransmitFormatErrorAlarmCountermeasureContents);
    struct Case {
        const char* name;
        std::string plain;  // empty: no file at all
        std::string column;
        int titleId;
        std::string text;
    };
    const Case cases[] = {
        {"value changed, sum not", replaced(",Speed,,D0401,W,60,", ",Speed,,D0401,W,61,"),
         "VMA10-L06", kMsgTransmitFormatErrorTitle, withCountermeasure},
        {"no sum line", replaced(",Checksum,,,sum,", ",Checksum,,,Sum,"), "VMA10-L06",
         kMsgTransmitFormatErrorTitle, withCountermeasure},
        {"heading not in the file", sample, "VMA10-L99", kMsgTransmitFormatErrorTitle,
         MessageText(kMsgTransmitFormatErrorAlarmContents)},
        {"file missing", "", "VMA10-L06", kMsgTransmitFileopenErrorTitle,
         ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                          kMsgTransmitFileopenErrorCountermeasureContents)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string listed = std::string("case") + std::to_string(&c - cases) + ".csv";
        if (!c.plain.empty()) {
            StoreFile(listed, c.plain);
        }
        controller().clearRequestLog();
        ui.clear();
        TransferContext ctx = context();

        EXPECT_EQ(WriteStepsFromData(ctx, Record("unused.csv", listed, c.column), 100, 0), -1);

        ExpectOneError(c.titleId, c.text);
        EXPECT_EQ(controller().requestCount(), 0u);
    }
}

// Small step files: what is sent, what the check says, and which message stops the write.
TEST_F(StepWriterTest, StepFilesAreCheckedRowByRow) {
    enum class Outcome { Passes, FormatError, VerifyError };
    const std::vector<long> step0 = {1, 60, 1875, 100, 100, 0, 0, 20, 30, -100, 15000, 10};
    const std::vector<long> step1 = {2, 65, 3750, 110, 110, 50, 0, 20, 30, -100, 15000, 10};
    std::vector<long> dwordMinus2 = step0;
    dwordMinus2[2] = -2;
    std::vector<long> wordMinus2 = step0;
    wordMinus2[0] = -2;
    struct Case {
        const char* name;
        std::vector<StepLine> lines;
        bool zeroArea;  // the controller's other steps hold 0 (else its factory values)
        Outcome outcome;
        int writes;         // write requests expected
        int progressShown;  // rows looked at (-1: not checked)
        std::vector<std::pair<std::uint16_t, std::uint16_t>> registers;
    };
    const Case cases[] = {
        {"row numbers 0, 1, 3",
         {{"0", "0", "W", "1"}, {"", "1", "W", "2"}, {"", "3", "W", "3"}},
         true,
         Outcome::FormatError,
         0,
         3,
         {}},
        {"empty kind",
         {{"0", "0", "W", "1"}, {"", "1", "", "2"}},
         true,
         Outcome::FormatError,
         0,
         2,
         {}},
        {"2W -2 is FF FF FF FE",
         TemplateStep(0, dwordMinus2),
         true,
         Outcome::Passes,
         1,
         12,
         {{0x0402, 0xFFFF}, {0x0403, 0xFFFE}}},
        {"W -2 is FFFE",
         TemplateStep(0, wordMinus2),
         true,
         Outcome::Passes,
         1,
         12,
         {{0x0400, 0xFFFE}, {0x0401, 60}}},
        {"two steps, the rest of the area 0",
         Join(TemplateStep(0, step0), TemplateStep(1, step1)),
         true,
         Outcome::Passes,
         2,
         24,
         {{0x0410, 2}, {0x041F, 10}, {0x0420, 0}}},
        {"two steps, the rest of the area not 0",
         Join(TemplateStep(0, step0), TemplateStep(1, step1)),
         false,
         Outcome::VerifyError,
         2,
         24,
         {{0x0410, 2}, {0x0420, 1}}},
        {"first line without a step number, area 0",
         {{"", "0", "W", "5"}},
         true,
         Outcome::Passes,
         0,
         0,
         {}},
        {"first line without a step number, area not 0",
         {{"", "0", "W", "5"}},
         false,
         Outcome::VerifyError,
         0,
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoreFile("steps.csv", StepFile(c.lines));
        controller().resetImage();
        if (c.zeroArea) {
            ClearRegisters(0x0400, 0x07FF);
        }
        controller().clearRequestLog();
        ui.clear();
        differences.clear();
        TransferContext ctx = context();

        const int result =
            WriteStepsFromData(ctx, Record("unused.csv", "steps.csv", "VAL"), 100, 0);

        const auto requests = Requests();
        const auto writes =
            std::count_if(requests.begin(), requests.end(),
                          [](const LoggedRequest& r) { return r.function == 0x10; });
        EXPECT_EQ(writes, c.writes);
        for (int i = 0; i < c.writes; ++i) {
            EXPECT_EQ(Describe(requests[i]), StepBlocks(0x10)[i]);
        }
        if (c.progressShown >= 0) {
            EXPECT_EQ(static_cast<int>(ui.progress().size()), c.progressShown);
        }
        for (const auto& [reg, value] : c.registers) {
            EXPECT_EQ(controller().getRegister(reg), value) << "register " << reg;
        }
        switch (c.outcome) {
            case Outcome::Passes:
                EXPECT_EQ(result, 0);
                EXPECT_TRUE(ui.messages().empty());
                EXPECT_EQ(requests.size(), static_cast<std::size_t>(c.writes) + 64);
                break;
            case Outcome::FormatError:
                EXPECT_EQ(result, -1);
                ExpectOneError(kMsgTransmitFormatErrorTitle,
                               MessageText(kMsgTransmitFormatErrorAlarmContents));
                EXPECT_TRUE(requests.empty());
                break;
            case Outcome::VerifyError:
                EXPECT_EQ(result, -1);
                ExpectOneError(
                    kMsgTransmitVerifyErrorTitle,
                    ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                                     kMsgTransmitVerifyErrorAlarmCountermeasureContents));
                // Only the steps the file left out differ; they were to be 0.
                ASSERT_FALSE(differences.empty());
                for (const auto& difference : differences) {
                    EXPECT_GE(difference.reg, 0x0400 + 16 * c.writes);
                    EXPECT_EQ(difference.written, 0u);
                    EXPECT_EQ(controller().getRegister(difference.reg), difference.read);
                }
                break;
        }
    }
}

// The wire bytes of a step with negative values, seen in its write request.
TEST_F(StepWriterTest, NegativeValuesGoOutAsTwosComplement) {
    std::vector<long> values = {-2, 0, -2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    StoreFile("steps.csv", StepFile(TemplateStep(0, values)));
    ClearRegisters(0x0400, 0x07FF);
    TransferContext ctx = context();

    ASSERT_EQ(WriteStepsFromData(ctx, Record("unused.csv", "steps.csv", "VAL"), 100, 0), 0);

    const auto requests = Requests();
    ASSERT_FALSE(requests.empty());
    const std::vector<std::uint8_t> head(requests[0].data.begin(), requests[0].data.begin() + 8);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0xFF, 0xFE, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFE}));
}

// Values must come in exact register order; anything else stops with the format message.
TEST_F(StepWriterTest, WriterRefusesRegistersOutOfOrder) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint16_t, int>> values;  // register and type, in order
        int failingAt;                                      // index of the refused value
    };
    const Case cases[] = {
        {"first value not at 0x0400", {{0x0401, 2}}, 0},
        {"dword second register given alone", {{0x0400, 2}, {0x0401, 2}, {0x0403, 2}}, 2},
        {"word where the template has a dword",
         {{0x0400, 2}, {0x0401, 2}, {0x0402, 2}, {0x0403, 2}},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.clear();
        TransferContext ctx = context();
        QueueStepValue(ctx, kWriterReset, std::string(), 0);
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            const auto& [reg, type] = c.values[i];
            const int expected = static_cast<int>(i) == c.failingAt ? -1 : 0;
            EXPECT_EQ(QueueStepValue(ctx, reg, type == 4 ? "00010002" : "0001", type), expected)
                << i;
        }
        ExpectOneError(kMsgTransmitFormatErrorTitle,
                       ComposeAlarmText(kMsgTransmitFormatErrorAlarmContents,
                                        kMsgTransmitFormatErrorAlarmCountermeasureContents));
    }
    EXPECT_EQ(controller().requestCount(), 0u);
}

// The backup's read: every step in one request, each row the value of its own register.
TEST_F(StepWriterTest, ReadStepRegistersFillsEveryRowFromItsRegister) {
    for (unsigned reg = 0x0400; reg <= 0x07FF; ++reg) {
        controller().setRegister(static_cast<std::uint16_t>(reg),
                                 static_cast<std::uint16_t>(reg * 7 + 3));
    }
    StepTable()[0].writeValue = 99;
    TransferContext ctx = context();

    ASSERT_EQ(ReadStepRegisters(ctx, 1), 0);

    EXPECT_EQ(Describe(Requests()), StepBlocks(0x03));
    const auto& table = StepTable();
    EXPECT_EQ(table[0].writeValue, 0u);  // the rebuild cleared what was to be written
    for (std::size_t step = 0; step < 64; ++step) {
        for (std::size_t row = 0; row < 16; ++row) {
            const unsigned reg = 0x0400 + 16 * step + row;
            EXPECT_EQ(table[step * 17 + row].readValue, (reg * 7 + 3) & 0xFFFF) << reg;
        }
    }
}

// A read that fails during the check fails the check, even where every row would compare equal.
TEST_F(StepWriterTest, FailedReadFailsVerification) {
    const int answeredCases[] = {-1, 0, 63};
    for (const int answered : answeredCases) {
        SCOPED_TRACE(answered);
        controller().clearFaults();
        ClearRegisters(0x0400, 0x07FF);
        TransferContext ctx = context();
        QueueStepValue(ctx, kWriterReset, std::string(), 0);
        controller().stopAfterRequests(answered);

        EXPECT_EQ(VerifyStepRegisters(ctx), answered < 0 ? 0 : -1);
    }
}

}  // namespace
}  // namespace velmora
