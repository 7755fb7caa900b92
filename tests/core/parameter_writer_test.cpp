// Parameter writing and verification against the virtual controller on a pseudo-terminal,
// from scrambled copies of the sample data and from small files made for one case each.

#include "transmit/parameter_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
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

// What the controller must hold after the plain parameter file has been written under the
// heading, read straight from the text.
RegisterImage ExpectedParameterImage(const std::string& plain, const std::string& heading,
                                     const std::string& partNo) {
    const auto rows = test::SplitCsv(plain);
    RegisterImage image;
    std::size_t line = 0;
    while (line < rows.size() && test::ColumnOf(rows[line], heading) < 0) {
        ++line;
    }
    const int key = test::ColumnOf(rows[line], "No.") - 1;
    const int value = test::ColumnOf(rows[line], heading);
    for (++line; line < rows.size(); ++line) {
        const auto& row = rows[line];
        if (row[key].empty() || row[key][0] != 'D') {
            break;
        }
        const auto reg = static_cast<std::uint16_t>(std::stoul(row[key].substr(1), nullptr, 16));
        const long number = std::stol(row[value]);
        const std::string& kind = row[key + 6];
        if (kind == "2W") {
            const auto bits = static_cast<std::uint32_t>(number);
            image[reg] = static_cast<std::uint16_t>(bits >> 16);
            image[reg + 1] = static_cast<std::uint16_t>(bits & 0xFFFF);
            ++line;
        } else if (kind == "W" && line + 1 < rows.size() && rows[line + 1][key].empty()) {
            const long low = reg == 0x000C ? 200 : std::stol(rows[line + 1][value]);
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

// The request boundaries of a whole parameter area: (register, count) for every block.
const std::vector<std::pair<std::uint16_t, std::uint16_t>> kAreaBlocks = {
    {0x0000, 14}, {0x0016, 10}, {0x0020, 16}, {0x0030, 16}, {0x0040, 24},
    {0x0058, 24}, {0x0070, 16}, {0x0080, 79}, {0x00CF, 49}, {0x0100, 32},
    {0x0120, 32}, {0x0140, 56}, {0x0178, 8},
};

std::vector<std::string> AreaReads() {
    std::vector<std::string> reads;
    for (const auto& [reg, count] : kAreaBlocks) {
        reads.push_back(Describe(LoggedRequest{0x03, reg, count, {}}));
        // The text block is asked for its first four registers only.
        if (reg == 0x0000) {
            reads.push_back("read 0x000e x4");
        }
    }
    return reads;
}

std::vector<std::string> AreaWrites() {
    std::vector<std::string> writes = {"write 0x000e x8"};
    for (const auto& [reg, count] : kAreaBlocks) {
        writes.push_back(Describe(LoggedRequest{0x10, reg, count, {}}));
    }
    return writes;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The value a write request put into reg, if one covered it.
std::optional<std::uint16_t> WrittenValue(const std::vector<LoggedRequest>& requests,
                                          std::uint16_t reg) {
    std::optional<std::uint16_t> found;
    for (const auto& request : requests) {
        if (request.function == 0x10 && reg >= request.address &&
            reg < request.address + request.count) {
            const std::size_t at = 2u * (reg - request.address);
            found = static_cast<std::uint16_t>(request.data[at] << 8 | request.data[at + 1]);
        }
    }
    return found;
}

struct ParamLine {
    std::string reg;  // the register cell: "D0006", or empty on a continuation line
    std::string kind;
    std::string value;
};

// A parameter file laid out like the shipped ones: header on the third line, the values under
// "VAL", and a sum line.
std::string ParameterFile(const std::vector<ParamLine>& lines) {
    std::string text = "Parameter data,TEST\r\nmade for a test\r\n";
    text += "Group,Register,No.,Name,Unit,Min,Max,Kind,OTHER,VAL\r\n";
    long sum = 0;
    int number = 1;
    for (const auto& line : lines) {
        text += "Basic," + line.reg + "," + std::to_string(number++) + ",name,,0,0," + line.kind +
                ",9," + line.value + "\r\n";
        sum += line.value.empty() ? 0 : std::stol(line.value);
    }
    return text + ",Sum,,Checksum,,,,sum,0," + std::to_string(sum) + "\r\n";
}

class ParameterWriterTest : public WriterFixture {};

// A whole sample file: the request list is fixed by the table, and the controller ends up
// holding the file's values, the writing mode and the part number.
TEST_F(ParameterWriterTest, SampleFilesWriteTheWholeAreaInFixedBlocksAndVerify) {
    struct Case {
        const char* paramFile;
        const char* column;
        const char* partNo;
        int span;
    };
    const Case cases[] = {
        {"VMA10_param.csv", "VMA10-L06", "VMA10-06I", 100},
        {"VMA10_param.csv", "VMA10-L06P", "VMA10-06P", 50},
        {"VMA20_param.csv", "VMA20-L12", "VMA20-12I", 100},
        {"VMA30_param.csv", "VMA30-L12P", "VMA30-12P", 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.paramFile) + " " + c.column);
        const std::string plain = ReadBytes(SamplePath(c.paramFile));
        StoreFile(c.paramFile, plain);
        controller().resetImage();
        controller().clearRequestLog();
        ui.clear();
        stADP_FORMAT record = Record(c.paramFile, "unused.csv", c.column);
        record.strPartNo = c.partNo;
        TransferContext ctx = context();

        ASSERT_EQ(WriteParametersFromData(ctx, record, c.span), 0);

        EXPECT_TRUE(ui.messages().empty());
        EXPECT_TRUE(differences.empty());
        EXPECT_EQ(Describe(Requests()), Concat(Concat(AreaReads(), AreaWrites()), AreaReads()));
        const RegisterImage expected = ExpectedParameterImage(plain, c.column, c.partNo);
        ASSERT_EQ(expected.size(), 384u);
        for (const auto& [reg, value] : expected) {
            EXPECT_EQ(controller().getRegister(reg), value) << "register " << reg;
        }
        EXPECT_EQ(*controller().getRegister(0x000C) & 0xFF, 200);
        EXPECT_EQ(ui.statusTexts(),
                  (std::vector<std::string>{MessageText(kMsgProgressStateParameterfileScanning),
                                            MessageText(kMsgProgressStateParameterwrite),
                                            MessageText(kMsgProgressStateVerify)}));
        const auto progress = ui.progress();
        ASSERT_FALSE(progress.empty());
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), c.span);
    }
}

// Files that fail their checks are refused with their message before anything is sent.
TEST_F(ParameterWriterTest, DamagedFilesAreRefusedBeforeAnythingIsSent) {
    const std::string sample = ReadBytes(SamplePath("VMA10_param.csv"));
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = sample;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::string withCountermeasure = ComposeAlarmText(
        kMsgTransmitFormatErrorAlarmContents, kMsgTransmitFormatErrorAlarmCountermeasureContents);
    const std::string withoutCountermeasure = MessageText(kMsgTransmitFormatErrorAlarmContents);
    struct Case {
        const char* name;
        std::string plain;  // empty: no file at all
        std::string column;
        int titleId;
        std::string text;
    };
    const Case cases[] = {
        {"value changed, sum not",
         replaced("Max speed,,0,65535,W,300,", "Max speed,,0,65535,W,301,"), "VMA10-L06",
         kMsgTransmitFormatErrorTitle, withCountermeasure},
        {"no sum line", replaced(",Sum,,Checksum,,,,sum,", ",Sum,,Checksum,,,,total,"), "VMA10-L06",
         kMsgTransmitFormatErrorTitle, withCountermeasure},
        {"heading not in the file", sample, "VMA10-L99", kMsgTransmitFormatErrorTitle,
         withoutCountermeasure},
        {"no \"No.\" column", replaced(",No.,", ",Nr.,"), "VMA10-L06", kMsgTransmitFormatErrorTitle,
         withoutCountermeasure},
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

        EXPECT_EQ(WriteParametersFromData(ctx, Record(listed, "unused.csv", c.column), 100), -1);

        ExpectOneError(c.titleId, c.text);
        EXPECT_EQ(controller().requestCount(), 0u);
    }
}

// How the rows of a file become register values, each seen on the wire and in the controller.
TEST_F(ParameterWriterTest, RowsBecomeRegisterValues) {
    struct Case {
        const char* name;
        std::vector<ParamLine> lines;
        RegisterImage expected;
    };
    const Case cases[] = {
        {"mode byte pair gets low byte 200",
         {{"D000C", "W", "70"}, {"", "", "5"}},
         {{0x000C, 70 * 256 + 200}}},
        {"W before a D line is a word",
         {{"D0006", "W", "1234"}, {"D0007", "W", "4321"}},
         {{0x0006, 1234}, {0x0007, 4321}}},
        {"W before an empty key is a byte pair",
         {{"D0000", "W", "3"}, {"", "", "4"}},
         {{0x0000, 0x0304}}},
        {"byte pair keeps the low 8 bits of each value",
         {{"D0001", "W", "300"}, {"", "", "5"}},
         {{0x0001, 0x2C05}}},
        {"2W -1 is all ones",
         {{"D0002", "2W", "-1"}, {"", "", ""}},
         {{0x0002, 0xFFFF}, {0x0003, 0xFFFF}}},
        {"2W splits high and low word",
         {{"D0008", "2W", "65539"}, {"", "", ""}},
         {{0x0008, 0x0001}, {0x0009, 0x0003}}},
        {"negative W is its low 16 bits", {{"D0006", "W", "-2"}}, {{0x0006, 0xFFFE}}},
        {"SW is a word as well", {{"D0007", "SW", "77"}}, {{0x0007, 77}}},
        {"other kinds are passed over",
         {{"D0006", "X", "9"}, {"D0007", "W", "8"}},
         {{0x0006, 500}, {0x0007, 8}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoreFile("small.csv", ParameterFile(c.lines));
        controller().resetImage();
        controller().clearRequestLog();
        ui.clear();
        differences.clear();
        TransferContext ctx = context();

        EXPECT_EQ(WriteParametersFromData(ctx, Record("small.csv", "unused.csv", "VAL"), 100), 0);

        EXPECT_TRUE(ui.messages().empty());
        EXPECT_TRUE(differences.empty());
        const auto requests = Requests();
        for (const auto& [reg, value] : c.expected) {
            EXPECT_EQ(controller().getRegister(reg), value) << "register " << reg;
            // Registers the file passed over are not written at all.
            const auto written = WrittenValue(requests, reg);
            if (reg == 0x0006 && value == 500) {
                EXPECT_FALSE(written.has_value());
            } else {
                EXPECT_EQ(written, value) << "register " << reg;
            }
        }
    }
}

// The unit name is the part number's first 16 characters; an empty one is not sent at all.
TEST_F(ParameterWriterTest, UnitNameComesFromThePartNumber) {
    struct Case {
        std::string partNo;
        int result;
        std::string registers;  // the 16 bytes expected in 0x000E..0x0015
    };
    const Case cases[] = {
        {"VMA10-06I-EXTRA-LONG-NAME", 0, "VMA10-06I-EXTRA-"},
        {"AB", 0, std::string("AB") + std::string(14, '\0')},
        {"", -1, ""},
    };
    StoreFile("VMA10_param.csv", ReadBytes(SamplePath("VMA10_param.csv")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.partNo);
        controller().resetImage();
        controller().clearRequestLog();
        ui.clear();
        stADP_FORMAT record = Record();
        record.strPartNo = c.partNo;
        TransferContext ctx = context();

        EXPECT_EQ(WriteParametersFromData(ctx, record, 100), c.result);

        const auto requests = Requests();
        if (c.result != 0) {
            // Only the pre-load reads went out.
            EXPECT_EQ(Describe(requests), AreaReads());
            continue;
        }
        ASSERT_GT(requests.size(), 14u);
        EXPECT_EQ(Describe(requests[14]), "write 0x000e x8");
        EXPECT_EQ(std::string(requests[14].data.begin(), requests[14].data.end()), c.registers);
        for (int i = 0; i < 8; ++i) {
            const auto hi = static_cast<std::uint8_t>(c.registers[2 * i]);
            const auto lo = static_cast<std::uint8_t>(c.registers[2 * i + 1]);
            EXPECT_EQ(controller().getRegister(0x000E + i), hi << 8 | lo);
        }
    }
}

// The pre-load and the backup's read: byte pairs split into their bytes, dwords into their
// two registers, the text read as four registers and stored nowhere.
TEST_F(ParameterWriterTest, ReadParameterRegistersFillsTheChosenValue) {
    auto pattern = [](unsigned reg) { return static_cast<std::uint16_t>(reg * 0x0101 + 0x1203); };
    for (unsigned reg = 0; reg <= 0x017F; ++reg) {
        controller().setRegister(static_cast<std::uint16_t>(reg), pattern(reg));
    }
    for (const int target : {0, 1}) {
        SCOPED_TRACE(target);
        ResetRegisterTablesForTesting();
        for (auto& row : ParameterTable()) {
            row.readValue = 7;
            row.writeValue = 7;
        }
        controller().clearRequestLog();
        TransferContext ctx = context();

        ASSERT_EQ(ReadParameterRegisters(ctx, target), 0);

        EXPECT_EQ(Describe(Requests()), AreaReads());
        const auto& table = ParameterTable();
        for (std::size_t r = 0; r + 1 < table.size(); ++r) {
            const RegisterRow& row = table[r];
            std::uint32_t expected = 0;
            switch (row.type) {
                case kTypeBytePair:
                    expected = (r > 0 && table[r - 1].reg == row.reg) ? pattern(row.reg) & 0xFF
                                                                      : pattern(row.reg) >> 8;
                    break;
                case kTypeDword:
                    expected = (r > 0 && table[r - 1].reg == row.reg) ? pattern(row.reg + 1)
                                                                      : pattern(row.reg);
                    break;
                case kTypeWord:
                    expected = pattern(row.reg);
                    break;
                default:
                    expected = 0;  // the text takes no part
            }
            const std::uint32_t filled = target == 1 ? row.writeValue : row.readValue;
            const std::uint32_t untouched = target == 1 ? row.readValue : row.writeValue;
            EXPECT_EQ(filled, expected) << "row " << r;
            EXPECT_EQ(untouched, 7u) << "row " << r;
        }
    }
}

// A controller that changes a register behind the writer's back fails the check, and the
// differing row is reported with the register that holds it.
TEST_F(ParameterWriterTest, ChangedRegisterFailsVerificationAndIsCollected) {
    enum class Part { Word, High, Low };
    struct Case {
        std::uint16_t reg;
        std::uint16_t flip;  // bits changed in the register after the write
        Part part;
        std::string key;
    };
    const Case cases[] = {
        {0x0030, 0x0F0F, Part::Word, "JOG speed="},
        {0x0002, 0x8000, Part::Word, "Stroke(+)"},
        {0x0003, 0x0001, Part::Word, ""},
        {0x0020, 0x0001, Part::Low, "ORIG mode="},
        {0x0021, 0x0100, Part::High, "ORIG limit="},
    };
    const std::string plain = ReadBytes(SamplePath("VMA10_param.csv"));
    StoreFile("VMA10_param.csv", plain);
    const RegisterImage expected = ExpectedParameterImage(plain, "VMA10-L06", "VMA10-06I");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key + " " + std::to_string(c.reg));
        controller().resetImage();
        controller().clearRequestLog();
        ui.clear();
        differences.clear();
        const std::uint16_t written = expected.at(c.reg);
        const auto changed = static_cast<std::uint16_t>(written ^ c.flip);
        controller().changeRegisterAfterWrite(c.reg, changed);
        TransferContext ctx = context();

        EXPECT_EQ(WriteParametersFromData(ctx, Record(), 100), -1);

        ExpectOneError(kMsgTransmitVerifyErrorTitle,
                       ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                                        kMsgTransmitVerifyErrorAlarmCountermeasureContents));
        ASSERT_EQ(differences.size(), 1u);
        EXPECT_EQ(differences[0].reg, c.reg);
        EXPECT_EQ(differences[0].key, c.key);
        const auto pick = [&](std::uint16_t value) -> std::uint32_t {
            return c.part == Part::Word ? value : c.part == Part::High ? value >> 8 : value & 0xFF;
        };
        EXPECT_EQ(differences[0].written, pick(written));
        EXPECT_EQ(differences[0].read, pick(changed));
    }
}

// A read that fails during the check fails the check, even where the rows not read would
// compare equal.
TEST_F(ParameterWriterTest, FailedReadFailsVerification) {
    struct Case {
        int answered;  // requests answered before the controller falls silent; -1: all
        int result;
    };
    const Case cases[] = {{-1, 0}, {0, -1}, {13, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answered);
        controller().clearFaults();
        ClearRegisters(0x0000, 0x017F);
        TransferContext ctx = context();
        QueueParameterValue(ctx, kWriterReset, std::string(), 0, 0);
        controller().stopAfterRequests(c.answered);

        EXPECT_EQ(VerifyParameterRegisters(ctx), c.result);
    }
    controller().clearFaults();

    // The same through a whole write: the last verification read gets no answer.
    StoreFile("VMA10_param.csv", ReadBytes(SamplePath("VMA10_param.csv")));
    controller().resetImage();
    ui.clear();
    controller().stopAfterRequests(14 + 14 + 13);
    TransferContext ctx = context();
    EXPECT_EQ(WriteParametersFromData(ctx, Record(), 100), -1);
    const auto messages = ui.messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().title, MessageText(kMsgTransmitVerifyErrorTitle));
}

// Values given out of table order: the writer walks its cursor, sends what is pending before
// a jump, and starts afresh on a register no row starts at.
TEST_F(ParameterWriterTest, WriterWalksToTheGivenRegister) {
    struct Step {
        std::uint16_t reg;
        const char* text;
        int type;
        int flush;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> requests;
        std::vector<std::vector<std::uint8_t>> data;
    };
    const Case cases[] = {
        {"forward jump sends the pending block",
         {{0x0000, "0102", 2, 0}, {0x0001, "0304", 2, 0}, {0x0006, "0005", 2, 0}, {0, "", 0, 1}},
         {"write 0x0000 x2", "write 0x0006 x1"},
         {{1, 2, 3, 4}, {0, 5}}},
        {"backward jump sends the pending block",
         {{0x0006, "0007", 2, 0}, {0x0000, "0809", 2, 0}, {0, "", 0, 1}},
         {"write 0x0006 x1", "write 0x0000 x1"},
         {{0, 7}, {8, 9}}},
        {"dword and words in one block",
         {{0x0002, "00010002", 4, 0},
          {0x0004, "ffffffff", 4, 0},
          {0x0006, "abcd", 2, 0},
          {0, "", 0, 1}},
         {"write 0x0002 x5"},
         {{0, 1, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xAB, 0xCD}}},
        {"register inside a dword drops the pending values",
         {{0x0000, "0102", 2, 0}, {0x0003, "0001", 2, 0}, {0, "", 0, 1}},
         {},
         {}},
        {"register past the area drops the pending values",
         {{0x017E, "0102", 2, 0}, {0x0180, "0001", 2, 0}, {0, "", 0, 1}},
         {},
         {}},
        {"flagged row closes its block", {{0x000D, "0102", 2, 0}}, {"write 0x000d x1"}, {{1, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller().clearRequestLog();
        TransferContext ctx = context();
        QueueParameterValue(ctx, kWriterReset, std::string(), 0, 0);
        for (const Step& step : c.steps) {
            EXPECT_EQ(QueueParameterValue(ctx, step.reg, step.text, step.type, step.flush), 0);
        }
        const auto requests = Requests();
        EXPECT_EQ(Describe(requests), c.requests);
        for (std::size_t i = 0; i < requests.size() && i < c.data.size(); ++i) {
            EXPECT_EQ(requests[i].data, c.data[i]) << i;
        }
        if (c.requests.empty()) {
            // Starting afresh also forgot the value queued before.
            EXPECT_EQ(ParameterTable()[0].writeValue, 0u);
            EXPECT_EQ(ParameterTable()[492].writeValue, 0u);
        }
    }
}

}  // namespace
}  // namespace velmora
