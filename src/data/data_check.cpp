#include "data/data_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>
#include <utility>

#include "data/actuator_table.h"
#include "data/file_ctrl.h"
#include "link/register_tables.h"
#include "sysfiles/folder_utils.h"
#include "transmit/writer_internal.h"

namespace velmora {
namespace {

using writer_internal::AddToSum;
using writer_internal::ChecksumMatches;
using writer_internal::DecimalOrZero;
using writer_internal::FindHeader;
using writer_internal::HeaderInfo;

constexpr int kListColumns = 12;
constexpr int kStepCellColumn = 2;
constexpr int kStepRowColumn = 3;
constexpr int kStepKindColumn = 7;
constexpr int kStepRowsChecked = 15;  // row numbers 0 to 14; a 2W row at 14 takes 15 too

const char* const kListColumnNames[kListColumns] = {
    "part number", "model",   "controller",        "motor direction", "lead",      "stroke",
    "SV number",   "IO spec", "parameter version", "parameter file",  "step file", "data column"};

// Columns are counted from 1 in messages, as a spreadsheet shows them.
std::string Column(int index) {
    return "column " + std::to_string(index + 1);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

// A whole decimal number and nothing else (blanks around it allowed), as an author means it;
// the writers would read a leading number out of "12abc" without a word.
bool CleanInteger(const std::string& text, long long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE) {
        return false;
    }
    while (*end == ' ' || *end == '\t') {
        ++end;
    }
    return *end == '\0';
}

bool CleanNumber(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    std::strtod(begin, &end);
    return end != begin && *end == '\0';
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A stored data file, unscrambled and cut into lines (CR LF) and fields (commas). The file
// stays open for the writers' own header and checksum scans.
struct StoredText {
    CFileCtrl file;
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> rawLines;
    bool lastLineEnded = true;  // false: the last line has no CR LF, and no reader takes it

    const std::string& Field(std::size_t line, int column) const {
        static const std::string kEmpty;
        if (line >= lines.size() || column < 0 ||
            static_cast<std::size_t>(column) >= lines[line].size()) {
            return kEmpty;
        }
        return lines[line][static_cast<std::size_t>(column)];
    }
};

class Checker {
  public:
    std::vector<DataProblem> problems;
    DataCheckSummary summary;

    void Add(const std::string& file, int line, const std::string& message) {
        if (seen_.insert(std::make_tuple(file, line, message)).second) {
            problems.push_back({file, line, message});
        }
    }

    void CheckListFile(const std::string& path);

  private:
    bool Load(const std::string& path, StoredText& text);
    void CheckListLine(const std::string& path, int lineNumber,
                       const std::vector<std::string>& fields);
    void CheckNamedFile(const std::string& listPath, int lineNumber, const stADP_FORMAT& record,
                        bool steps);
    bool CheckSum(const std::string& path, StoredText& text, const HeaderInfo& header,
                  int kindColumn);
    void CheckParameterRows(const std::string& path, const StoredText& text,
                            const HeaderInfo& header);
    void CheckStepRows(const std::string& path, const StoredText& text, const HeaderInfo& header);
    void CheckValue(const std::string& path, std::size_t line, const std::string& text,
                    const std::string& heading, long long low, long long high, const char* what);

    std::set<std::tuple<std::string, int, std::string>> seen_;
    std::set<std::string> parameterFiles_;
    std::set<std::string> stepFiles_;
};

bool Checker::Load(const std::string& path, StoredText& text) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        Add(path, 0, "cannot be read");
        return false;
    }
    if (info.st_size % 4 != 0) {
        Add(path, 0,
            "is " + std::to_string(info.st_size) +
                " bytes long, not a whole number of 4-byte groups: it is truncated, or it was "
                "not stored with velmora-cli pack");
        return false;
    }
    if (!text.file.Open(path, kFileModeRead)) {
        Add(path, 0, "cannot be opened for reading");
        return false;
    }
    std::string content(static_cast<std::size_t>(text.file.GetLength()), '\0');
    if (!content.empty() && text.file.Read(content.data(), content.size()) != content.size()) {
        Add(path, 0, "cannot be read");
        return false;
    }
    if (content.empty()) {
        Add(path, 0, "is empty");
        return false;
    }
    for (const char c : content) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\r' && c != '\n' && c != '\t') {
            Add(path, 0,
                "does not unscramble into text: it was not stored with velmora-cli pack, or it "
                "is damaged");
            return false;
        }
    }
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find("\r\n", start);
        const bool lastLine = end == std::string::npos;
        if (lastLine) {
            end = content.size();
        }
        const std::string line = content.substr(start, end - start);
        const int number = static_cast<int>(text.rawLines.size()) + 1;
        if (line.find_first_of("\r\n") != std::string::npos) {
            Add(path, number, "holds a CR or LF that is not part of a CR LF line end");
        }
        if (lastLine) {
            Add(path, number, "the last line has no CR LF line end: the program does not read it");
            text.lastLineEnded = false;
        }
        text.rawLines.push_back(line);
        text.lines.push_back(SplitFields(line));
        start = lastLine ? end : end + 2;
    }
    return true;
}

void Checker::CheckListFile(const std::string& path) {
    StoredText text;
    if (!Load(path, text)) {
        return;
    }
    ++summary.listFiles;
    if (text.lines.size() < 2) {
        Add(path, 1, "holds only its heading line: it names no actuator");
        return;
    }
    const std::size_t count = text.lastLineEnded ? text.lines.size() : text.lines.size() - 1;
    for (std::size_t i = 1; i < count; ++i) {
        if (!text.rawLines[i].empty()) {
            CheckListLine(path, static_cast<int>(i) + 1, text.lines[i]);
        }
    }
}

void Checker::CheckListLine(const std::string& path, int lineNumber,
                            const std::vector<std::string>& fields) {
    if (fields.size() < kListColumns) {
        Add(path, lineNumber,
            "has " + std::to_string(fields.size()) +
                " fields; a list line has 12: part number, model, controller, motor direction, "
                "lead, stroke, SV number, IO spec, parameter version, parameter file, step file, "
                "data column");
    }
    auto field = [&](int column) -> std::string {
        return static_cast<std::size_t>(column) < fields.size() ? fields[column] : std::string();
    };
    stADP_FORMAT record;
    record.strDataFile = path;
    record.strPartNo = field(0);
    record.strParamFile = field(9);
    record.strStepFile = field(10);
    record.strParamColumn = field(11);
    for (const int column : {0, 9, 10, 11}) {
        if (field(column).empty()) {
            Add(path, lineNumber, Column(column) + " (" + kListColumnNames[column] + ") is empty");
        }
    }
    // Counted only up to just past the program's limit, so that no product overflows.
    std::size_t records = 1;
    for (int column = 1; column <= 7; ++column) {
        std::vector<std::string> pieces;
        SplitAlternatives(field(column), pieces);
        if (pieces.empty()) {
            Add(path, lineNumber,
                Column(column) + " (" + kListColumnNames[column] +
                    ") is empty: the line gives no actuator");
            records = 0;
            continue;
        }
        if (records <= kMaxRecordsPerLine) {
            records *= pieces.size();
        }
        for (const std::string& piece : pieces) {
            if (piece.empty()) {
                Add(path, lineNumber,
                    Column(column) + " (" + kListColumnNames[column] + ") " +
                        Quoted(field(column)) + " has an empty alternative between its '|'");
            } else if (column == 6 && !CleanNumber(piece)) {
                Add(path, lineNumber, "SV number " + Quoted(piece) + " is not a number");
            }
        }
    }
    if (records > kMaxRecordsPerLine) {
        Add(path, lineNumber,
            "its alternatives combine into more than " + std::to_string(kMaxRecordsPerLine) +
                " actuators: the program reads no actuator from this line");
        records = 0;
    }
    summary.actuators += static_cast<int>(
        std::min<std::size_t>(records, static_cast<std::size_t>(INT_MAX - summary.actuators)));
    CheckNamedFile(path, lineNumber, record, false);
    CheckNamedFile(path, lineNumber, record, true);
}

void Checker::CheckNamedFile(const std::string& listPath, int lineNumber,
                             const stADP_FORMAT& record, bool steps) {
    const std::string& listed = steps ? record.strStepFile : record.strParamFile;
    if (listed.empty()) {
        return;
    }
    const char* what = steps ? "step file" : "parameter file";
    const std::string path = DataFilePath(record, listed);
    if (!Exists(path)) {
        std::string message = std::string(what) + " " + Quoted(listed) + " is missing: no " +
                              FileName(path) + " beside the list file";
        const std::string plain = DataFilePath(record, "") + listed;
        if (plain != path && Exists(plain)) {
            message += " (" + listed + " is there unstored: store it with velmora-cli pack)";
        }
        Add(listPath, lineNumber, message);
        return;
    }
    const std::string& heading = record.strParamColumn;
    StoredText text;
    if (!Load(path, text)) {
        return;
    }
    (steps ? stepFiles_ : parameterFiles_).insert(path);
    summary.parameterFiles = static_cast<int>(parameterFiles_.size());
    summary.stepFiles = static_cast<int>(stepFiles_.size());
    if (heading.empty()) {
        return;
    }
    HeaderInfo header;
    if (FindHeader(text.file, heading, header) != 0) {
        Add(listPath, lineNumber,
            std::string(what) + " " + FileName(path) + " has no column headed " + Quoted(heading));
        return;
    }
    if (!steps && header.numberColumn < 1) {
        Add(path, header.headerLine + 1,
            "no \"No.\" cell with a column before it, left of the heading " + Quoted(heading) +
                ": the register column lies just left of \"No.\"");
        return;
    }
    const int kindColumn = steps ? kStepKindColumn : header.numberColumn - 1 + 6;
    if (!CheckSum(path, text, header, kindColumn)) {
        return;
    }
    if (steps) {
        CheckStepRows(path, text, header);
    } else {
        CheckParameterRows(path, text, header);
    }
}

// The writers refuse a file whose checksum fails, so its rows are looked at only when it passes.
bool Checker::CheckSum(const std::string& path, StoredText& text, const HeaderInfo& header,
                       int kindColumn) {
    int sumLine = -1;
    if (ChecksumMatches(text.file, header.headerLine, kindColumn, header.valueColumn, sumLine)) {
        return true;
    }
    const auto first = static_cast<std::size_t>(header.headerLine) + 1;
    if (sumLine < 0) {
        for (std::size_t i = first; i < text.lines.size(); ++i) {
            if (text.Field(i, kindColumn) == "sum") {
                Add(path, static_cast<int>(i) + 1,
                    "the sum line cannot be reached: a line above it is not complete");
                return false;
            }
        }
        Add(path, static_cast<int>(text.lines.size()),
            "no \"sum\" line: no line below the header (line " +
                std::to_string(header.headerLine + 1) + ") has \"sum\" in " + Column(kindColumn));
        return false;
    }
    long sum = 0;
    bool inRange = true;
    for (std::size_t i = first; i < static_cast<std::size_t>(sumLine) && inRange; ++i) {
        inRange = AddToSum(sum, DecimalOrZero(text.Field(i, header.valueColumn)));
    }
    Add(path, sumLine + 1,
        "checksum of column " + Quoted(text.Field(header.headerLine, header.valueColumn)) +
            ": the values above add up to " +
            (inRange ? std::to_string(sum) : std::string("more than a sum can hold")) +
            ", the sum line holds " +
            Quoted(text.Field(static_cast<std::size_t>(sumLine), header.valueColumn)));
    return false;
}

void Checker::CheckValue(const std::string& path, std::size_t line, const std::string& text,
                         const std::string& heading, long long low, long long high,
                         const char* what) {
    long long value = 0;
    if (!CleanInteger(text, value)) {
        Add(path, static_cast<int>(line) + 1,
            "value " + Quoted(text) + " in column " + Quoted(heading) +
                " is not a whole number (the program reads " + std::to_string(DecimalOrZero(text)) +
                ")");
    } else if (value < low || value > high) {
        Add(path, static_cast<int>(line) + 1,
            "value " + std::to_string(value) + " in column " + Quoted(heading) + " does not fit " +
                what + " (" + std::to_string(low) + " to " + std::to_string(high) + ")");
    }
}

void Checker::CheckParameterRows(const std::string& path, const StoredText& text,
                                 const HeaderInfo& header) {
    const int keyColumn = header.numberColumn - 1;
    const int kindColumn = keyColumn + 6;
    const int valueColumn = header.valueColumn;
    const std::string& heading = text.Field(header.headerLine, valueColumn);
    const auto& table = ParameterTable();
    std::size_t i = static_cast<std::size_t>(header.headerLine) + 1;
    long lastReg = -1;
    for (; i < text.lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const std::string& key = text.Field(i, keyColumn);
        const std::string& kind = text.Field(i, kindColumn);
        if (key.empty() || key.front() != 'D' || kind.empty()) {
            break;
        }
        char* end = nullptr;
        const unsigned long reg = std::strtoul(key.c_str() + 1, &end, 16);
        if (end == key.c_str() + 1 || *end != '\0') {
            Add(path, number,
                "register cell " + Quoted(key) + " is not D and a hexadecimal register number");
            if (end == key.c_str() + 1) {
                break;  // the program's rows end here
            }
        }
        const bool hasContinuation =
            i + 1 < text.lines.size() && text.Field(i + 1, keyColumn).empty();
        const int row = kind == "STR" || reg > 0xFFFF
                            ? -1
                            : FindParameterRowByRegister(static_cast<std::uint16_t>(reg));
        const std::uint8_t type = row >= 0 ? table[static_cast<std::size_t>(row)].type : 0;
        char regText[16];
        std::snprintf(regText, sizeof regText, "D%04lX", reg);
        if (kind == "W" || kind == "SW" || kind == "2W") {
            if (row < 0) {
                Add(path, number,
                    std::string("register ") + regText +
                        " starts no parameter register (D0000 to D017F, not inside a 32-bit "
                        "value or the unit name)");
            } else if (static_cast<long>(reg) <= lastReg) {
                Add(path, number,
                    std::string("register ") + regText +
                        " comes after a higher or equal one: rows must go up register by "
                        "register");
            }
            if (row >= 0) {
                lastReg = static_cast<long>(reg);
            }
        }
        const std::string& value = text.Field(i, valueColumn);
        if (kind == "W" || kind == "SW") {
            if (hasContinuation) {
                if (i + 1 < text.lines.size() && text.Field(i + 1, kindColumn) == "sum") {
                    Add(path, number,
                        "a " + kind +
                            " row right above the sum line, whose register cell is "
                            "empty: the program takes the sum line for this register's low byte");
                    ++i;
                    break;
                }
                if (row >= 0 && type != kTypeBytePair) {
                    Add(path, number,
                        std::string("register ") + regText +
                            " holds one 16-bit value, but the next line has an empty register "
                            "cell and is taken for its low byte");
                }
                CheckValue(path, i, value, heading, 0, 255, "a byte");
                if (reg != 0x000C) {
                    CheckValue(path, i + 1, text.Field(i + 1, valueColumn), heading, 0, 255,
                               "a byte");
                }
                ++i;
            } else {
                if (row >= 0 && type != kTypeWord) {
                    Add(path, number,
                        std::string("register ") + regText +
                            (type == kTypeBytePair
                                 ? " holds two bytes: the next line must be its low byte, "
                                   "with an empty register cell"
                                 : " holds a 32-bit value: its kind is 2W"));
                }
                CheckValue(path, i, value, heading, -32768, 65535, "a 16-bit register");
            }
        } else if (kind == "2W") {
            if (row >= 0 && type != kTypeDword) {
                Add(path, number,
                    std::string("register ") + regText + " holds no 32-bit value: its kind is W");
            }
            CheckValue(path, i, value, heading, INT32_MIN, INT32_MAX, "a 32-bit value");
            if (!hasContinuation) {
                Add(path, number,
                    "a 2W row must be followed by its continuation line (empty register cell); "
                    "the program passes over the next line");
            }
            ++i;
        } else if (kind != "STR") {
            Add(path, number,
                "unknown kind " + Quoted(kind) + " in " + Column(kindColumn) +
                    ": a parameter row is W, SW, 2W or STR; the program skips the row");
        }
    }
    if (i < text.lines.size() && text.Field(i, kindColumn) != "sum") {
        Add(path, static_cast<int>(i) + 1,
            "the rows end here (register cell " + Quoted(text.Field(i, keyColumn)) + ", kind " +
                Quoted(text.Field(i, kindColumn)) +
                ") before the sum line: the lines below are not written");
    }
}

void Checker::CheckStepRows(const std::string& path, const StoredText& text,
                            const HeaderInfo& header) {
    const std::string& heading = text.Field(header.headerLine, header.valueColumn);
    const auto& stepTemplate = StepTemplate();
    std::size_t i = static_cast<std::size_t>(header.headerLine) + 1;
    std::size_t step = 0;
    for (; i < text.lines.size() && !text.Field(i, kStepCellColumn).empty(); ++step) {
        if (step >= kStepCount) {
            Add(path, static_cast<int>(i) + 1,
                "step " + std::to_string(step) + ": the controller holds 64 steps (0 to 63)");
            return;
        }
        for (int row = 0; row < kStepRowsChecked;) {
            const int number = static_cast<int>(i) + 1;
            const std::string prefix =
                "step " + std::to_string(step) + ", row " + std::to_string(row) + ": ";
            if (i >= text.lines.size()) {
                Add(path, number - 1, prefix + "the file ends inside the step");
                return;
            }
            const std::string& cell = text.Field(i, kStepRowColumn);
            long long read = -1;
            if (!CleanInteger(cell, read) || read != row) {
                Add(path, number,
                    prefix + "the row number in " + Column(kStepRowColumn) + " is " + Quoted(cell) +
                        ", not " + std::to_string(row) + "; the program refuses the file");
                return;
            }
            const std::string& kind = text.Field(i, kStepKindColumn);
            const bool dword = stepTemplate[static_cast<std::size_t>(row)].type == kTypeDword;
            if (kind.empty()) {
                Add(path, number,
                    prefix + "no kind in " + Column(kStepKindColumn) +
                        "; the program refuses the file");
                return;
            }
            if (kind != "W" && kind != "2W") {
                Add(path, number,
                    prefix + "unknown kind " + Quoted(kind) + " in " + Column(kStepKindColumn) +
                        ": a step row is W or 2W; the program skips the row and the registers "
                        "after it shift");
                ++i;
                ++row;
                continue;
            }
            if ((kind == "2W") != dword) {
                Add(path, number,
                    prefix + "kind " + kind + ", but this step register holds " +
                        (dword ? "a 32-bit value (2W)" : "a 16-bit value (W)"));
                return;
            }
            const std::string& value = text.Field(i, header.valueColumn);
            if (dword) {
                CheckValue(path, i, value, heading, INT32_MIN, INT32_MAX, "a 32-bit value");
                i += 2;
                row += 2;
            } else {
                CheckValue(path, i, value, heading, 0, 65535, "a 16-bit register");
                ++i;
                ++row;
            }
        }
    }
    if (i < text.lines.size() && text.Field(i, kStepKindColumn) != "sum") {
        Add(path, static_cast<int>(i) + 1,
            "the steps end here (empty " + Column(kStepCellColumn) +
                ") before the sum line: the lines below are not written");
    }
}

}  // namespace

std::vector<DataProblem> CheckDataFolder(const std::string& folder, DataCheckSummary* summary) {
    Checker checker;
    std::string root = folder;
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    struct stat info {};
    if (::stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        checker.Add(root, 0, "is not a folder");
    } else {
        std::vector<std::string> listFiles;
        if (FindFileInTree(root, kAdapterFileName, listFiles) == 0) {
            checker.Add(root, 0, std::string("holds no ") + kAdapterFileName + " list file");
        }
        for (const std::string& path : listFiles) {
            checker.CheckListFile(path);
        }
    }
    if (summary != nullptr) {
        *summary = checker.summary;
    }
    return checker.problems;
}

}  // namespace velmora
