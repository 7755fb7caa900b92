// Damaged and hostile files against the readers of the data layer: the scrambled file, the
// field readers and the actuator list. Every variant comes from a valid input through a
// fixed-seed mutator, so a failure names a variant that can be replayed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/robustness_test_support.h"
#include "model/actuator_table.h"
#include "model/field_reader.h"
#include "model/file_ctrl.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::TempFolder;
using test::robust::CrLf;
using test::robust::Mutator;
using test::robust::SampleText;
using test::robust::StoreRaw;
using test::robust::WriteDisk;

constexpr int kFileLayerVariants = 1500;
constexpr int kFieldReaderVariants = 500;
constexpr int kListVariants = 400;

// The first lines of a text, each with its line end.
std::string FirstLines(const std::string& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t n = 0; n < count && end < text.size(); ++n) {
        const std::size_t lf = text.find('\n', end);
        end = lf == std::string::npos ? text.size() : lf + 1;
    }
    return text.substr(0, end);
}

// What the reader keeps of a stored text: trailing NULs are padding.
std::string Content(std::string text) {
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

// Starts of the lines of a content: 0 and the byte after every CR LF.
std::vector<std::size_t> CrLfLineStarts(const std::string& content) {
    std::vector<std::size_t> starts = {0};
    for (std::size_t i = 0; i + 1 < content.size(); ++i) {
        if (content[i] == '\r' && content[i + 1] == '\n') {
            starts.push_back(i + 2);
        }
    }
    return starts;
}

struct ExpectedField {
    int result;
    std::string text;
};

// Field index of the line that starts at start, by the readers' contract: every comma ends a
// field, a CR or LF ends the line, at most kMaxFieldBytes bytes are kept.
ExpectedField FieldOfLine(const std::string& content, std::size_t start, int index) {
    std::string collected;
    int field = 0;
    for (std::size_t p = start;; ++p) {
        if (p >= content.size()) {
            return {-1, ""};
        }
        const char byte = content[p];
        if (byte == '\r' || byte == '\n') {
            if (byte == '\r' && p + 1 >= content.size()) {
                return {-2, ""};
            }
            break;
        }
        if (byte == ',') {
            if (field == index) {
                break;
            }
            ++field;
            continue;
        }
        if (field == index && collected.size() < kMaxFieldBytes) {
            collected.push_back(byte);
        }
    }
    return {0, LocalToUtf8(collected)};
}

// ---------------------------------------------------------------------------------------------
// The scrambled file

TEST(RobustnessFileLayer, ScrambleRoundTripsAnyBytesAndRefusesOtherLengths) {
    Mutator mutator(11);
    for (int variant = 0; variant < kFileLayerVariants; ++variant) {
        std::vector<std::uint8_t> bytes(mutator.Pick(200));
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(mutator.Pick(256));
        }
        std::vector<std::uint8_t> work = bytes;
        const bool whole = bytes.size() % 4 == 0;
        ASSERT_EQ(Scramble(work), whole) << "variant " << variant;
        if (!whole) {
            ASSERT_EQ(work, bytes) << "a refused length must leave the bytes alone";
            continue;
        }
        ASSERT_TRUE(Unscramble(work));
        ASSERT_EQ(work, bytes) << "variant " << variant;
    }
}

// The bytes on disk themselves damaged: a stored file is opened exactly when it is a whole
// number of 4-byte groups, and then reads as those groups unscrambled, NUL padding excluded.
TEST(RobustnessFileLayer, DamagedStoredBytesOpenOnlyWhenWholeAndReadWithinTheirLength) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    const std::string stored =
        test::robust::ScrambledForm(FirstLines(SampleText("VMA10_param.csv"), 12));
    Mutator mutator(12);
    const std::int64_t kExtremes[] = {std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max(), -1, 0, 1};
    for (int variant = 0; variant < kFileLayerVariants; ++variant) {
        const std::string disk = mutator.Small(stored);
        WriteDisk(path, disk);
        CFileCtrl file;
        const bool opened = file.Open(path, kFileModeRead);
        ASSERT_EQ(opened, disk.size() % 4 == 0) << "variant " << variant;
        if (!opened) {
            ASSERT_EQ(file.Read(nullptr, 0), 0u);
            continue;
        }
        std::vector<std::uint8_t> plain(disk.begin(), disk.end());
        ASSERT_TRUE(Unscramble(plain));
        const std::string content = Content(std::string(plain.begin(), plain.end()));
        ASSERT_EQ(file.GetLength(), static_cast<std::int64_t>(content.size()));
        std::string read(content.size(), '\0');
        ASSERT_EQ(file.Read(read.data(), read.size()), read.size());
        ASSERT_EQ(read, content) << "variant " << variant;
        char byte = 0;
        ASSERT_EQ(file.Read(&byte, 1), 0u) << "a read past the content must give 0";

        // Any offset from any origin lands between 0 and the length on disk.
        const auto diskLength = static_cast<std::int64_t>(disk.size());
        for (const SeekFrom from : {SeekFrom::Begin, SeekFrom::Current, SeekFrom::End}) {
            for (const std::int64_t offset : kExtremes) {
                const std::int64_t position = file.Seek(offset, from);
                ASSERT_GE(position, 0);
                ASSERT_LE(position, diskLength);
                ASSERT_EQ(position, file.GetPosition());
            }
            const auto offset = static_cast<std::int64_t>(mutator.Pick(2 * disk.size() + 2)) -
                                static_cast<std::int64_t>(disk.size());
            const std::int64_t position = file.Seek(offset, from);
            ASSERT_GE(position, 0);
            ASSERT_LE(position, diskLength);
        }
    }
}

// A stored file cut at every length: refused unless whole groups remain, and then exactly the
// text those groups held.
TEST(RobustnessFileLayer, StoredFileCutAtEveryLength) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    const std::string text = "BackupDataV001,1.10,1.10,2014/06/09 14:05:31\r\nParameter\r\n";
    const std::string stored = test::robust::ScrambledForm(text);
    for (std::size_t length = 0; length <= stored.size(); ++length) {
        WriteDisk(path, stored.substr(0, length));
        CFileCtrl file;
        ASSERT_EQ(file.Open(path, kFileModeRead), length % 4 == 0) << "length " << length;
        if (length % 4 != 0) {
            continue;
        }
        std::string read(static_cast<std::size_t>(file.GetLength()), '\0');
        ASSERT_EQ(file.Read(read.data(), read.size()), read.size());
        EXPECT_EQ(read, text.substr(0, std::min(length, text.size()))) << "length " << length;
    }
}

// ---------------------------------------------------------------------------------------------
// Field readers

// Walks a stored text line by line the way the data readers do (fields of a line in any order,
// then on to the next line) and checks every answer against the readers' contract. The walk
// must end within one step per byte.
void WalkLines(CFileCtrl& file, const std::string& content, Mutator& order, int variant) {
    const std::vector<std::size_t> starts = CrLfLineStarts(content);
    std::size_t line = 0;
    for (std::size_t steps = 0;; ++steps) {
        ASSERT_LE(steps, content.size() + 1) << "variant " << variant << ": the walk does not end";
        const std::size_t start = starts[line];
        const std::size_t next = line + 1 < starts.size() ? starts[line + 1] : content.size() + 1;
        for (int call = 0; call < 3; ++call) {
            const int index = static_cast<int>(order.Pick(14));
            std::string out = "stale";
            const int result = GetField(out, file, index);
            const ExpectedField expected = FieldOfLine(content, start, index);
            ASSERT_EQ(result, expected.result)
                << "variant " << variant << ", line " << line << ", field " << index;
            ASSERT_EQ(out, expected.text)
                << "variant " << variant << ", line " << line << ", field " << index;
            if (result == 0) {
                // The reader stays on its line, so the next field and the line skip start there.
                ASSERT_GE(file.GetPosition(), static_cast<std::int64_t>(start))
                    << "variant " << variant << ", line " << line << ", field " << index;
                ASSERT_LT(file.GetPosition(), static_cast<std::int64_t>(next))
                    << "variant " << variant << ", line " << line << ", field " << index;
            }
        }
        const int skipped = SkipLines(file, 1);
        if (line + 1 < starts.size()) {
            ASSERT_EQ(skipped, 0) << "variant " << variant << ", line " << line;
            ASSERT_EQ(file.GetPosition(), static_cast<std::int64_t>(starts[line + 1]))
                << "variant " << variant << ", line " << line;
            ++line;
        } else {
            ASSERT_EQ(skipped, -1) << "variant " << variant << ", line " << line;
            ASSERT_EQ(file.GetPosition(), file.GetLength());
            return;
        }
    }
}

// Reads the whole text with GetNextField; every call moves on, and the walk ends within one
// call per byte.
void WalkNextFields(CFileCtrl& file, const std::string& content, int variant) {
    file.Seek(0, SeekFrom::Begin);
    for (std::size_t calls = 0;; ++calls) {
        ASSERT_LE(calls, content.size() + 1) << "variant " << variant << ": the walk does not end";
        const auto from = static_cast<std::size_t>(file.GetPosition());
        std::string out = "stale";
        const int result = GetNextField(out, file);
        const auto to = static_cast<std::size_t>(file.GetPosition());
        const std::size_t end = content.find_first_of(",\r\n", from);
        if (end == std::string::npos) {
            ASSERT_EQ(result, -1) << "variant " << variant << " at " << from;
            ASSERT_TRUE(out.empty());
            ASSERT_EQ(to, content.size());
            return;
        }
        ASSERT_EQ(out, content.substr(from, std::min(end - from, kMaxFieldBytes)))
            << "variant " << variant << " at " << from;
        if (content[end] == ',') {
            ASSERT_EQ(result, 0) << "variant " << variant << " at " << from;
            ASSERT_EQ(to, end + 1);
        } else {
            ASSERT_EQ(result, out.empty() ? -2 : 1) << "variant " << variant << " at " << from;
            ASSERT_EQ(to, std::min(content.size(), end + (content[end] == '\r' ? 2 : 1)));
        }
    }
}

TEST(RobustnessFieldReaders, DamagedTextsReadByContractAndEveryWalkEnds) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    const std::vector<std::string> bases = {
        FirstLines(SampleText("VMA10_param.csv"), 30), FirstLines(SampleText("VMA10_step.csv"), 30),
        CrLf(SampleText("AdapterFile.vms")),
        "BackupDataV001,1.10,1.10,2014/06/09 14:05:31\r\nParameter\r\nD000e,Unit name=,A\r\n"};
    Mutator mutator(21);
    Mutator order(22);
    for (int variant = 0; variant < kFieldReaderVariants; ++variant) {
        const std::string text = variant < static_cast<int>(bases.size())
                                     ? bases[static_cast<std::size_t>(variant)]
                                     : mutator(bases[mutator.Pick(bases.size())]);
        StoreRaw(path, text);
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeRead));
        const std::string content = Content(text);
        WalkLines(file, content, order, variant);
        if (HasFatalFailure()) {
            return;
        }
        WalkNextFields(file, content, variant);
        if (HasFatalFailure()) {
            return;
        }
    }
}

// Lines that begin with a bare LF: the field scan stops at once and must leave the reader on
// that line, not on the CR LF before it, or a reader that takes two fields per line and then
// skips one line reads the same line forever.
TEST(RobustnessFieldReaders, LineStartingWithABareLfKeepsTheReaderOnItsLine) {
    TempFolder folder;
    const std::string path = folder.file("data.vmw");
    StoreRaw(path, "k,v\r\n\nsum,7\r\nlast,1\r\n");
    CFileCtrl file;
    ASSERT_TRUE(file.Open(path, kFileModeRead));
    ASSERT_EQ(SkipLines(file, 1), 0);
    std::string kind;
    std::string value;
    ASSERT_EQ(GetField(kind, file, 0), 0);
    EXPECT_EQ(kind, "");
    ASSERT_EQ(GetField(value, file, 1), 0);
    EXPECT_EQ(value, "") << "the second field came from the line before";
    ASSERT_EQ(SkipLines(file, 1), 0);
    EXPECT_EQ(file.GetPosition(), 13) << "the skip must reach the line after";
}

// ---------------------------------------------------------------------------------------------
// Actuator list

TEST(RobustnessActuatorList, SplitAlternativesKeepsEveryPieceOfAnyText) {
    Mutator mutator(31);
    for (int variant = 0; variant < kListVariants; ++variant) {
        std::string text;
        for (std::size_t n = mutator.Pick(40); n > 0; --n) {
            text.push_back("ab|"[mutator.Pick(3)]);
        }
        std::vector<std::string> pieces = {"stale"};
        SplitAlternatives(text, pieces);
        const auto bars = static_cast<std::size_t>(std::count(text.begin(), text.end(), '|'));
        const bool barAtEnd = !text.empty() && text.back() == '|';
        ASSERT_EQ(pieces.size(), text.empty() ? 0 : bars + 1 - (barAtEnd ? 1 : 0)) << text;
        std::string joined;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            ASSERT_EQ(pieces[i].find('|'), std::string::npos);
            joined += (i == 0 ? "" : "|") + pieces[i];
        }
        ASSERT_EQ(joined + (barAtEnd ? "|" : ""), text);
    }
}

// Reads a stored list file as the loader does; the loop must end within one line per byte.
std::vector<stADP_FORMAT> ReadList(const std::string& path, std::size_t bytes, int variant = 0) {
    std::vector<stADP_FORMAT> table;
    CFileCtrl file;
    EXPECT_TRUE(file.Open(path, kFileModeReadWrite | kFileShareExclusive));
    if (SkipLines(file, 1) != 0) {
        return table;
    }
    std::size_t lines = 0;
    while (ReadAdapterLine(file, path, table) == 0) {
        ++lines;
        EXPECT_LE(lines, bytes) << "variant " << variant << ": the list never ends";
        if (lines > bytes) {
            break;
        }
    }
    EXPECT_LE(table.size(), lines * kMaxRecordsPerLine) << "variant " << variant;
    return table;
}

TEST(RobustnessActuatorList, DamagedListsGiveBoundedWellFormedRecords) {
    TempFolder folder;
    const std::string path = folder.file(kAdapterFileName);
    const std::string base = CrLf(SampleText("AdapterFile.vms"));
    Mutator mutator(32);
    for (int variant = 0; variant < kListVariants; ++variant) {
        const std::string text = variant == 0 ? base : mutator(base);
        StoreRaw(path, text);
        const auto table = ReadList(path, text.size(), variant);
        if (HasFailure()) {
            return;
        }
        for (const stADP_FORMAT& record : table) {
            ASSERT_EQ(record.strDataFile, path);
            ASSERT_TRUE(record.strSpare.empty());
            ASSERT_EQ(NormaliseSvNumber(record.strSVNo), record.strSVNo) << "variant " << variant;
            for (const std::string* field :
                 {&record.strPartNo, &record.strModel, &record.strController, &record.strMotorDir,
                  &record.strLead, &record.strStroke, &record.strIOSpec, &record.strParamVersion,
                  &record.strParamFile, &record.strStepFile, &record.strParamColumn}) {
                ASSERT_LE(field->size(), kMaxFieldBytes) << "variant " << variant;
                ASSERT_EQ(field->find_first_of(",\r\n"), std::string::npos);
            }
            for (const std::string* field :
                 {&record.strModel, &record.strController, &record.strMotorDir, &record.strLead,
                  &record.strStroke, &record.strIOSpec}) {
                ASSERT_EQ(field->find('|'), std::string::npos) << "variant " << variant;
            }
        }
        if (variant == 0) {
            // The sample's lines expand to 24 + 24 + 4 + 12 + 12 + 4 + 2 variants.
            ASSERT_EQ(table.size(), 82u);
        }
    }
}

// A line whose alternatives multiply beyond what one line may give adds nothing (its
// neighbours still do), and the table stops growing at its cap instead of exhausting memory.
TEST(RobustnessActuatorList, AlternativeStormsAreRefusedAndTheTableIsCapped) {
    TempFolder folder;
    const std::string path = folder.file(kAdapterFileName);
    std::string storm;
    for (int i = 0; i < 9000; ++i) {
        storm += "|";
    }
    const std::string heading = "h\r\n";
    const std::string good = "P,M,C,D,L,S,1,NPN,V,a.csv,b.csv,H\r\n";
    const std::string stormy = heading + good + "P," + storm + "," + storm + "," + storm + "," +
                               storm + "," + storm + "," + storm + "," + storm +
                               ",V,a.csv,b.csv,H\r\n" + good;
    StoreRaw(path, stormy);
    auto table = ReadList(path, stormy.size());
    EXPECT_EQ(table.size(), 2u);

    // Exactly the per-line cap is still read.
    std::string sixteen;
    for (int i = 0; i < 16; ++i) {
        sixteen += (i == 0 ? "" : "|") + std::to_string(i);
    }
    static_assert(kMaxRecordsPerLine == 16 * 16 * 16);
    const std::string full =
        "P,M," + sixteen + ",D," + sixteen + "," + sixteen + ",1,N,V,a,b,H\r\n";
    const std::string over =
        "P,M," + sixteen + ",D|E," + sixteen + "," + sixteen + ",1,N,V,a,b,H\r\n";
    StoreRaw(path, heading + full + over);
    table = ReadList(path, heading.size() + full.size() + over.size());
    EXPECT_EQ(table.size(), kMaxRecordsPerLine);

    std::string many = heading;
    for (std::size_t i = 0; i <= kMaxActuatorRecords / kMaxRecordsPerLine; ++i) {
        many += full;
    }
    StoreRaw(path, many + good);
    table = ReadList(path, many.size() + good.size());
    EXPECT_EQ(table.size(), kMaxActuatorRecords);
}

TEST(RobustnessActuatorList, LoaderOverDamagedFilesShowsAtMostTheOpenFailure) {
    TempFolder folder;
    const std::string base = CrLf(SampleText("AdapterFile.vms"));
    const std::string first = folder.file("A/" + std::string(kAdapterFileName));
    const std::string second = folder.file("B/" + std::string(kAdapterFileName));
    folder.write("A/x", "");
    folder.write("B/x", "");
    Mutator mutator(33);
    test::ScriptedUi ui;
    for (int variant = 0; variant < kListVariants / 10; ++variant) {
        StoreRaw(first, mutator(base));
        // The second file is damaged on disk, so that it sometimes cannot be opened at all.
        WriteDisk(second, mutator.Small(test::robust::ScrambledForm(base)));
        ui.clear();
        std::vector<stADP_FORMAT> table;
        std::vector<std::string> models;
        LoadActuatorTable(ui, folder.path(), table, models);
        ASSERT_LE(ui.messages().size(), 1u) << "variant " << variant;
        for (const std::string& model : models) {
            ASSERT_TRUE(std::any_of(table.begin(), table.end(),
                                    [&](const auto& record) { return record.strModel == model; }))
                << "variant " << variant;
        }
        ASSERT_LE(table.size(), kMaxActuatorRecords);
    }
}

}  // namespace
}  // namespace velmora
