// The data-set reader: the sample set reads into the image the program has always written;
// copies of its files broken one way each are refused with the finding on the line where the
// fault lies, and values that do not fit are written masked and listed.

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/data_set_reader.h"
#include "support/backup_text.h"
#include "support/temp_folder.h"
#include "support/transmit_support.h"

namespace velmora {
namespace {

constexpr const char* kParam = "VMA10_param.csv";
constexpr const char* kStep = "VMA10_step.csv";
constexpr const char* kColumn = "VMA10-L12";
constexpr int kValueColumn = 9;  // VMA10-L12, in both files
constexpr int kKindColumn = 7;   // in both files: the parameter file's "No." is column 2

using Lines = std::vector<std::string>;
using Mutation = std::function<void(Lines&)>;

Lines SampleLines(const std::string& name) {
    return test::SplitCrLfLines(test::ReadBytes(test::SamplePath(name)));
}

// 0-based index of the first line holding the piece.
std::size_t At(const Lines& lines, const std::string& piece) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(piece) != std::string::npos) {
            return i;
        }
    }
    ADD_FAILURE() << "no line holds " << piece;
    return 0;
}

void SetField(std::string& line, int column, const std::string& value) {
    auto fields = test::SplitFields(line);
    fields.at(static_cast<std::size_t>(column)) = value;
    line.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : ",") + fields[i];
    }
}

// Puts the sum of the value column back into the sum line, as an author's tool would.
void Reseal(Lines& lines) {
    long long sum = 0;
    for (std::size_t i = At(lines, kColumn) + 1; i < lines.size(); ++i) {
        if (test::Field(lines[i], kKindColumn) == "sum") {
            SetField(lines[i], kValueColumn, std::to_string(sum));
            return;
        }
        sum += std::strtoll(test::Field(lines[i], kValueColumn).c_str(), nullptr, 10);
    }
}

// Mutations of a plain file; those that change a value column put its sum right again.
Mutation Set(std::string piece, int column, std::string value, bool reseal = true) {
    return [=](Lines& lines) {
        SetField(lines[At(lines, piece)], column, value);
        if (reseal) {
            Reseal(lines);
        }
    };
}
Mutation Erase(std::string piece) {
    return [=](Lines& lines) {
        lines.erase(lines.begin() + At(lines, piece));
        Reseal(lines);
    };
}
Mutation CutFrom(std::string piece) {
    return [=](Lines& lines) { lines.resize(At(lines, piece)); };
}
// Inserts the lines [first, last) again before the line `before`, the first of them marked in
// a column the reader does not read.
Mutation CopyLines(std::size_t first, std::size_t last, std::ptrdiff_t before, int column) {
    return [=](Lines& lines) {
        Lines copy(lines.begin() + first, lines.begin() + last);
        SetField(copy[0], column, "Copy");
        lines.insert(lines.begin() + before, copy.begin(), copy.end());
        Reseal(lines);
    };
}

class DataSetReaderTest : public ::testing::Test {
  protected:
    stADP_FORMAT Record() const {
        stADP_FORMAT record;
        record.strDataFile = folder.file(kAdapterFileName);
        record.strPartNo = "VMA10-12I";
        record.strParamFile = kParam;
        record.strStepFile = kStep;
        record.strParamColumn = kColumn;
        return record;
    }
    std::string Path(const std::string& listed) const { return DataFilePath(Record(), listed); }
    void Store(const std::string& listed, const Lines& lines) const {
        std::string text;
        for (const auto& line : lines) {
            text += line + "\r\n";
        }
        ASSERT_TRUE(test::StoreText(Path(listed), text));
    }
    void StoreSample() const {
        Store(kParam, SampleLines(kParam));
        Store(kStep, SampleLines(kStep));
    }

    test::TempFolder folder;
};

std::string Describe(const Diagnostics& diagnostics) {
    std::string text;
    for (const auto& d : diagnostics) {
        text += "  " + FormatDiagnostic(d) + "\n";
    }
    return text;
}

TEST_F(DataSetReaderTest, TheSampleReadsAsTheProgramHasAlwaysWrittenIt) {
    StoreSample();
    const DataSetReading reading = ReadDataSet(Record(), true, true);
    ASSERT_TRUE(reading.dataSet) << Describe(reading.diagnostics);
    const DataSet& set = *reading.dataSet;
    EXPECT_TRUE(set.masked.empty());
    EXPECT_EQ(set.stepCount, kStepCount);
    EXPECT_EQ(set.unitName, "VMA10-12I");
    const auto params = test::ExpectedParameterImage(test::ReadBytes(test::SamplePath(kParam)),
                                                     kColumn, "VMA10-12I");
    const auto steps = test::ExpectedStepImage(test::ReadBytes(test::SamplePath(kStep)), kColumn);
    EXPECT_EQ(params.size(), kParameterRegCount);
    EXPECT_EQ(steps.size(), kStepAreaRegCount);
    for (const auto* image : {&params, &steps}) {
        for (const auto& [reg, value] : *image) {
            EXPECT_TRUE(set.image.given(reg)) << std::hex << reg;
            EXPECT_EQ(set.image.get(reg), value) << std::hex << reg;
        }
    }
}

// The reader is the one that writes, so it must not read "1,5" where the file says 1.5, nor
// anything else differently, under a comma-decimal locale.
TEST_F(DataSetReaderTest, ACommaDecimalLocaleReadsTheSame) {
    StoreSample();
    const DataSetReading plain = ReadDataSet(Record(), true, true);
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this system";
    }
    const DataSetReading german = ReadDataSet(Record(), true, true);
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(plain.dataSet && german.dataSet) << Describe(german.diagnostics);
    EXPECT_EQ(german.dataSet->image, plain.dataSet->image);
}

TEST_F(DataSetReaderTest, OnlyTheFilesAskedForAreReadAndTheUnitNameIsNeverEmpty) {
    Store(kParam, SampleLines(kParam));  // no step file at all
    const DataSetReading reading = ReadDataSet(Record(), true, false);
    ASSERT_TRUE(reading.dataSet) << Describe(reading.diagnostics);
    EXPECT_TRUE(reading.dataSet->image.parameterAreaGiven());
    EXPECT_FALSE(reading.dataSet->image.stepGiven(0));
    const DataSetReading steps = ReadDataSet(Record(), false, true);
    ASSERT_EQ(steps.diagnostics.size(), 1u);
    EXPECT_EQ(steps.diagnostics[0].file, Path(kStep));

    stADP_FORMAT record = Record();
    record.strPartNo.clear();
    const DataSetReading unnamed = ReadDataSet(record, true, false);
    ASSERT_EQ(unnamed.diagnostics.size(), 1u);
    EXPECT_EQ(FormatDiagnostic(unnamed.diagnostics[0]),
              record.strDataFile +
                  ": the actuator's part number is empty: the controller "
                  "refuses an empty unit name");
}

TEST_F(DataSetReaderTest, AStepFileMayGiveFewerWholeSteps) {
    Lines steps = SampleLines(kStep);
    CutFrom(",D07C0,")(steps);  // steps 0 to 59 stay
    steps.push_back(",,,,Checksum,,,sum,0,0,0");
    Reseal(steps);
    Store(kStep, steps);
    const DataSetReading reading = ReadDataSet(Record(), false, true);
    ASSERT_TRUE(reading.dataSet) << Describe(reading.diagnostics);
    EXPECT_EQ(reading.dataSet->stepCount, 60u);
    EXPECT_TRUE(reading.dataSet->image.stepGiven(59));
    EXPECT_FALSE(reading.dataSet->image.stepGiven(60));
}

struct BrokenCase {
    const char* name;
    const char* file;
    Mutation mutate;
    // Each finding, in the order reported: a piece of the line it names ("" for the file as a
    // whole) and a piece of its reason. A second one only where a fault has two sides.
    const char* line;
    const char* reason;
    const char* line2;
    const char* reason2;
};

const std::vector<BrokenCase>& BrokenCases() {
    static const std::vector<BrokenCase> cases = {
        {"RegisterCellShort", kParam, Set(",9,Max speed", 1, "D006"), ",9,Max speed",
         "register cell 'D006' is not D and four hexadecimal digits", nullptr, nullptr},
        {"RegisterCellTrailingLetter", kParam, Set(",478,0700", 1, "D0168x"), ",478,0700",
         "register cell 'D0168x'", nullptr, nullptr},
        {"RegisterCellTooLongAndItsLowByteNoNumber", kParam,
         [](Lines& lines) {
             Set(",278,IN1 func", 1, "D1000c")(lines);
             Set(",279,IN2 func", kValueColumn, "6x")(lines);
         },
         ",278,IN1 func", "register cell 'D1000c'", ",279,IN2 func",
         "value '6x' in column 10 is not a whole number"},
        {"ValueWithAFlippedCharacter", kParam, Set(",9,Max speed", kValueColumn, "0<59984"),
         ",9,Max speed", "value '0<59984' in column 10 is not a whole number", nullptr, nullptr},
        {"ValueWithTrailingLetters", kStep, Set(",D0401,", kValueColumn, "12abc"), ",D0401,",
         "value '12abc' in column 10 is not a whole number", nullptr, nullptr},
        {"EmptyLowByte", kParam, Set(",2,IO patern", kValueColumn, ""), ",2,IO patern",
         "value '' in column 10 is not a whole number", nullptr, nullptr},
        {"MissingRow", kParam, Erase(",9,Max speed"), ",10,Max ACC/DEC",
         "register D0006 (Max speed=) has no row", nullptr, nullptr},
        {"ExtraRow", kParam, CopyLines(12, 13, 13, 3), ",Copy,",
         "register D0007 (Max ACC/DEC=) is given a second time; its first row is line 13", nullptr,
         nullptr},
        {"RowsOutOfOrder", kParam,
         [](Lines& lines) { std::swap(lines[At(lines, ",9,Max")], lines[At(lines, ",10,Max")]); },
         ",9,Max speed", "register D0006 comes after D0007", nullptr, nullptr},
        {"ModeRegisterWithoutLowByte", kParam, Erase(",16,Para protect"), ",15,Max force",
         "register D000C (Max force= / Para protect=) holds two bytes", nullptr, nullptr},
        {"DwordGivenAsWord", kParam, Set(",5,Stroke(+)", kKindColumn, "W"), ",5,Stroke(+)",
         "register D0002 (Stroke(+)) holds a 32-bit value: its row has kind 2W", nullptr, nullptr},
        {"RowInsideADword", kParam, Set(",7,Stroke(-)", 1, "D0003"), ",7,Stroke(-)",
         "register D0003 is the second half of the 32-bit value D0002", ",9,Max speed",
         "register D0004 (Stroke(-)) has no row"},
        {"WrongChecksum", kParam, Set(",10,Max ACC/DEC", kValueColumn, "501", false), ",sum,",
         "checksum of column 'VMA10-L12': the values above add up to 609787, the sum line "
         "holds 609786",
         nullptr, nullptr},
        {"TruncatedFile", kParam, CutFrom(",478,0700"), "", "no \"sum\" line", ",477,0699",
         "registers D0168 to D017F have no rows"},
        {"RowsEndAboveTheSum", kParam, [](Lines& l) { l.insert(l.end() - 2, "Notes,Remark"); },
         ",Remark", "register D017F (0723=0) has no row", ",Remark",
         "the rows end here, above the sum line (line 506)"},
        {"StepRowNumberOutOfSequence", kStep, Set(",D0404,", 3, "5"), ",D0404,",
         "step 0, row 4: the row number in column 4 is '5'", nullptr, nullptr},
        {"EmptyStepKind", kStep, Set(",D0415,", kKindColumn, ""), ",D0415,",
         "step 1, row 5: no kind in column 8; this row is W", nullptr, nullptr},
        {"StepDwordGivenAsWord", kStep, Set(",D040C,", kKindColumn, "W"), ",D040C,",
         "step 0, row 12: kind 'W' in column 8; this row is 2W", nullptr, nullptr},
        {"StepCutShort", kStep, Erase(",D07FF,"), ",sum,",
         "step 63 ends before its row 15: every step has rows 0 to 15", nullptr, nullptr},
        {"SixtyFifthStep", kStep, CopyLines(3, 19, 1027, 6), ",Copy,", "a 65th step begins here",
         nullptr, nullptr},
    };
    return cases;
}

class DataSetReaderBrokenTest : public DataSetReaderTest,
                                public ::testing::WithParamInterface<std::size_t> {};

TEST_P(DataSetReaderBrokenTest, IsRefusedWithTheFaultWhereItLies) {
    const BrokenCase& c = BrokenCases()[GetParam()];
    Lines lines = SampleLines(c.file);
    c.mutate(lines);
    StoreSample();
    Store(c.file, lines);

    const DataSetReading reading = ReadDataSet(Record(), true, true);

    EXPECT_FALSE(reading.dataSet);
    ASSERT_EQ(reading.diagnostics.size(), c.line2 ? 2u : 1u) << Describe(reading.diagnostics);
    for (const auto& [d, piece, reason] :
         {std::tuple{reading.diagnostics[0], c.line, c.reason},
          std::tuple{reading.diagnostics.back(), c.line2, c.reason2}}) {
        if (piece != nullptr) {
            EXPECT_EQ(d.file, Path(c.file));
            EXPECT_EQ(d.line, *piece == '\0' ? 0 : static_cast<int>(At(lines, piece)) + 1);
            EXPECT_NE(d.reason.find(reason), std::string::npos) << d.reason;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Copies, DataSetReaderBrokenTest,
                         ::testing::Range<std::size_t>(0, BrokenCases().size()),
                         [](const auto& info) { return BrokenCases()[info.param].name; });

// A value out of range goes in as its low bits and is listed for the user's consent; a value
// in range, negative ones included, is written as it is.
TEST_F(DataSetReaderTest, ValuesAreWrittenInRangeOrMaskedAndListed) {
    const struct {
        const char* file;
        const char* piece;
        const char* value;
        std::uint16_t reg;
        std::uint16_t regValue;
        long long listedAs;  // -1: not listed
    } cases[] = {
        {kParam, ",1,Controller ID", "300", 0x0000, 0x2C00, 44},
        {kParam, ",1,Controller ID", "-1", 0x0000, 0xFF00, 255},
        {kParam, ",9,Max speed", "70000", 0x0006, 4464, 4464},
        {kParam, ",9,Max speed", "-32769", 0x0006, 32767, 32767},
        {kParam, ",9,Max speed", "-1", 0x0006, 0xFFFF, -1},
        {kParam, ",9,Max speed", "+65535", 0x0006, 0xFFFF, -1},
        {kParam, ",5,Stroke(+)", "4294967296", 0x0003, 0, 0},
        {kParam, ",5,Stroke(+)", "-2147483649", 0x0002, 0x7FFF, 0x7FFFFFFF},
        {kParam, ",5,Stroke(+)", "-2", 0x0003, 0xFFFE, -1},
        // The write puts its own mode into this byte, so the file's value is never written.
        {kParam, ",16,Para protect", "300", 0x000C, 70 << 8 | 44, -1},
        {kStep, ",D0411,", "65536", 0x0411, 0, 0},
        {kStep, ",D0412,", "-100", 0x0413, 0xFF9C, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.piece) + " = " + c.value);
        Lines lines = SampleLines(c.file);
        Set(c.piece, kValueColumn, c.value)(lines);
        StoreSample();
        Store(c.file, lines);
        const DataSetReading reading = ReadDataSet(Record(), true, true);
        ASSERT_TRUE(reading.dataSet) << Describe(reading.diagnostics);
        EXPECT_EQ(reading.dataSet->image.get(c.reg), c.regValue);
        const auto& masked = reading.dataSet->masked;
        ASSERT_EQ(masked.size(), c.listedAs < 0 ? 0u : 1u);
        if (c.listedAs >= 0) {
            EXPECT_EQ(masked[0].file, Path(c.file));
            EXPECT_EQ(masked[0].line, static_cast<int>(At(lines, c.piece)) + 1);
            EXPECT_EQ(masked[0].given, c.value);
            EXPECT_EQ(static_cast<long long>(masked[0].written), c.listedAs);
        }
    }
}

TEST_F(DataSetReaderTest, RowsTheOldReaderMisreadAreReadAsTheyAreMeant) {
    Lines lines = SampleLines(kParam);
    Set(",501,0723", 1, "d017f")(lines);
    Set(",501,0723", kValueColumn, "513")(lines);
    Set(",Sum,", 1, "")(lines);  // the sum line is no low byte of D017F
    StoreSample();
    Store(kParam, lines);
    const DataSetReading reading = ReadDataSet(Record(), true, false);
    ASSERT_TRUE(reading.dataSet) << Describe(reading.diagnostics);
    EXPECT_EQ(reading.dataSet->image.get(0x017F), 513);
}

}  // namespace
}  // namespace velmora
