#include "model/data_set_reader.h"
#include "model/field_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <utility>

#include "model/file_ctrl.h"
#include "platform/codepage.h"
#include "sysfiles/app_state.h"

namespace velmora {
namespace {

// Columns of the step data file; the parameter file finds its own from its header.
constexpr int kStepCellColumn = 2;
constexpr int kStepRowColumn = 3;
constexpr int kStepKindColumn = 7;
constexpr std::uint16_t kUnitNameLastReg = kUnitNameReg + kUnitNameBytes / 2 - 1;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// Columns are counted from 1 in messages, as a spreadsheet shows them.
std::string Column(int index) {
    return "column " + std::to_string(index + 1);
}

std::string RegText(std::uint16_t reg) {
    char text[8];
    std::snprintf(text, sizeof text, "D%04X", static_cast<unsigned>(reg));
    return text;
}

// "D000C (Max force= / Para protect=)"
std::string Named(std::uint16_t reg) {
    const std::string name = ParameterRegisterName(reg);
    return name.empty() ? RegText(reg) : RegText(reg) + " (" + name + ")";
}

// Past a plus sign, which from_chars does not take, unless a minus follows it.
const char* PastPlus(const char* begin, const char* end) {
    return end - begin > 1 && *begin == '+' && begin[1] != '-' ? begin + 1 : begin;
}

// An optional sign and decimal digits, nothing else. from_chars ignores the locale.
enum class Whole { Read, NotANumber, TooLarge };
Whole ReadWhole(const std::string& text, long long& value) {
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(PastPlus(text.data(), end), end, value);
    if (stop != end) {
        return Whole::NotANumber;
    }
    return error == std::errc()                      ? Whole::Read
           : error == std::errc::result_out_of_range ? Whole::TooLarge
                                                     : Whole::NotANumber;
}

// A value cell as the checksum has always read it: blanks, a sign and the leading digits; 0
// when it does not start with a number. Nothing when it does not fit 64 bits (on every system).
std::optional<std::int64_t> SumTerm(const std::string& text) {
    const char* const end = text.data() + text.size();
    const char* begin = text.data() + std::min(text.find_first_not_of(" \t\n\v\f\r"), text.size());
    std::int64_t value = 0;
    const auto error = std::from_chars(PastPlus(begin, end), end, value).ec;
    if (error == std::errc::result_out_of_range) {
        return std::nullopt;
    }
    return error == std::errc() ? value : std::int64_t{0};
}

// One data file being read: its lines cut into fields, and where its findings go.
struct Source {
    std::string path;
    std::vector<std::vector<std::string>> lines;
    Diagnostics* diagnostics = nullptr;
    std::vector<MaskedValue>* masked = nullptr;

    std::size_t size() const { return lines.size(); }
    const std::string& Field(std::size_t line, int column) const {
        static const std::string kEmpty;
        const auto at = static_cast<std::size_t>(column);
        return line < lines.size() && column >= 0 && at < lines[line].size() ? lines[line][at]
                                                                             : kEmpty;
    }
    // line: 0-based index of the line; kNone for the file as a whole.
    void Report(std::size_t line, std::string reason) const {
        const int number = line == kNone ? 0 : static_cast<int>(line) + 1;
        diagnostics->push_back({path, number, std::move(reason)});
    }
};

// The value cell of a line fitted to its width. A value out of range goes in as its low bits
// and is listed (unless the writer replaces it anyway); a cell that is no whole number is
// reported and gives nothing.
std::optional<std::uint32_t> ReadValue(const Source& source, std::size_t line, int column, int bits,
                                       bool listMasked = true) {
    const std::string& text = source.Field(line, column);
    long long value = 0;
    if (const Whole read = ReadWhole(text, value); read != Whole::Read) {
        source.Report(line, "value " + Quoted(text) + " in " + Column(column) +
                                (read == Whole::TooLarge ? " is far too large for any register"
                                                         : " is not a whole number"));
        return std::nullopt;
    }
    // A negative word or dword is its two's complement: the range starts at the signed low.
    const long long low = bits == 8 ? 0 : -(1LL << (bits - 1));
    const long long high = (1LL << bits) - 1;
    const auto written = static_cast<std::uint32_t>(static_cast<unsigned long long>(value) &
                                                    static_cast<unsigned long long>(high));
    if ((value < low || value > high) && listMasked) {
        source.masked->push_back({source.path, static_cast<int>(line) + 1, text, written, bits});
    }
    return written;
}

// A word, or a dword over reg and the register after it (high half first).
void SetValue(RegisterImage& image, std::uint16_t reg, std::uint32_t value, bool dword) {
    image.set(reg, static_cast<std::uint16_t>(dword ? value >> 16 : value));
    if (dword) {
        image.set(static_cast<std::uint16_t>(reg + 1), static_cast<std::uint16_t>(value));
    }
}

struct Header {
    std::size_t line = 0;
    int valueColumn = -1;
    int numberColumn = -1;  // the last "No." met before the heading
};

// Field by field from the start until a field equals the heading; reported when none does.
std::optional<Header> FindHeader(const Source& source, const std::string& heading) {
    Header header;
    for (std::size_t line = 0; line < source.size(); ++line) {
        const auto& fields = source.lines[line];
        for (std::size_t column = 0; column < fields.size(); ++column) {
            if (fields[column] == "No.") {
                header.numberColumn = static_cast<int>(column);
            }
            if (fields[column] == heading) {
                header.line = line;
                header.valueColumn = static_cast<int>(column);
                return header;
            }
        }
    }
    source.Report(kNone, "no column is headed " + Quoted(heading) +
                             ", the data column the actuator's list line names");
    return std::nullopt;
}

// Adds up the value column below the header to the first line whose kind reads "sum", and
// checks that line's value. The sum line's index, or kNone when there is none.
std::size_t CheckSum(const Source& source, const Header& header, int kindColumn) {
    const int column = header.valueColumn;
    std::int64_t sum = 0;
    bool inRange = true;
    for (std::size_t line = header.line + 1; line < source.size(); ++line) {
        const std::string& value = source.Field(line, column);
        if (source.Field(line, kindColumn) != "sum") {
            const std::optional<std::int64_t> term = inRange ? SumTerm(value) : std::nullopt;
            inRange =
                term && !((*term > 0 && sum > std::numeric_limits<std::int64_t>::max() - *term) ||
                          (*term < 0 && sum < std::numeric_limits<std::int64_t>::min() - *term));
            sum += inRange ? *term : 0;
            continue;
        }
        long long expected = 0;
        const std::string heading = Quoted(source.Field(header.line, column));
        if (ReadWhole(value, expected) != Whole::Read) {
            source.Report(line, "the sum of column " + heading + " is " + Quoted(value) +
                                    ", not a whole number");
        } else if (!inRange || expected != sum) {
            source.Report(line, "checksum of column " + heading + ": the values above add up to " +
                                    (inRange ? std::to_string(sum) : "more than a sum can hold") +
                                    ", the sum line holds " + value);
        }
        return line;
    }
    source.Report(kNone, "no \"sum\" line: no line below the heading line (line " +
                             std::to_string(header.line + 1) + ") has \"sum\" in " +
                             Column(kindColumn));
    return kNone;
}

// "D" or "d" and exactly four hex digits.
std::optional<std::uint16_t> RegisterOfCell(const std::string& cell) {
    unsigned value = 0;
    if (cell.size() != 5 || (cell[0] != 'D' && cell[0] != 'd') ||
        !std::all_of(cell.begin() + 1, cell.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }) ||
        std::from_chars(cell.data() + 1, cell.data() + 5, value, 16).ec != std::errc()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

// Why a row of kind W, SW or 2W cannot start at reg.
std::string NoUnitAt(std::uint16_t reg) {
    const RegisterUnit* holder = ParameterUnitHolding(reg);
    if (holder == nullptr) {
        return "register " + RegText(reg) + " lies outside the parameter area (D0000 to D017F)";
    }
    if (holder->packing == Packing::Text16) {
        return "register " + RegText(reg) +
               " belongs to the unit name (D000E to D0015), which is written from the part "
               "number: its rows have kind STR";
    }
    return "register " + RegText(reg) + " is the second half of the 32-bit value " +
           Named(holder->reg) + ": it has no row of its own";
}

// The rows of a parameter file and what each of them gave.
struct ParameterRows {
    ParameterRows(const Source& from, const Header& header, RegisterImage& into)
        : source(from),
          keyColumn(header.numberColumn - 1),
          kindColumn(header.numberColumn + 5),
          valueColumn(header.valueColumn),
          image(into) {}

    const Source& source;
    const int keyColumn;
    const int kindColumn;
    const int valueColumn;
    RegisterImage& image;
    std::vector<std::size_t> givenAt = std::vector<std::size_t>(kParameterUnitCount, kNone);
    std::vector<std::pair<std::size_t, std::size_t>> order;  // (unit, line) in file order
    std::size_t highest = kNone;                             // highest unit given so far

    // A following line with neither register nor kind: the low byte of a pair, or the second
    // half of a dword. The sum line, like any line with a kind, never is one.
    bool IsContinuation(std::size_t line) const {
        return line < source.size() && source.Field(line, keyColumn).empty() &&
               source.Field(line, kindColumn).empty();
    }
    void Take(std::size_t unit, std::size_t line) {
        givenAt[unit] = line;
        order.emplace_back(unit, line);
        if (highest == kNone || unit > highest) {
            highest = unit;
        }
    }

    // Reads the rows from the line; the index of the line they end on.
    std::size_t Read(std::size_t first) {
        const auto map = ParameterMap();
        std::size_t line = first;
        while (line < source.size()) {
            const std::string& cell = source.Field(line, keyColumn);
            const std::string& kind = source.Field(line, kindColumn);
            if (cell.empty() || (cell[0] != 'D' && cell[0] != 'd') || kind.empty() ||
                kind == "sum") {
                break;
            }
            const bool continued = kind != "STR" && IsContinuation(line + 1);
            const std::size_t taken = continued ? 2 : 1;
            const std::optional<std::uint16_t> reg = RegisterOfCell(cell);
            // Lines whose values are left to look at: the row's own idea until a unit is known.
            std::size_t valueLines = kind == "STR" ? 0 : kind == "2W" ? 1 : taken;
            if (!reg) {
                source.Report(line, "register cell " + Quoted(cell) +
                                        " is not D and four hexadecimal digits (D0000 to D017F)");
                // Taken for the register that comes next, so that it is not reported missing too.
                std::size_t next = highest == kNone ? 0 : highest + 1;
                if (next < map.size() && map[next].packing == Packing::Text16) {
                    ++next;
                }
                if (kind != "STR" && next < map.size() && givenAt[next] == kNone) {
                    Take(next, line);
                }
            } else if (kind == "STR") {
                if (*reg < kUnitNameReg || *reg > kUnitNameLastReg) {
                    source.Report(line,
                                  "kind STR belongs to the unit name rows D000E to D0015 only: "
                                  "register " +
                                      RegText(*reg) + " would not be written");
                }
            } else if (const RegisterUnit* unit = ParameterUnitAt(*reg);
                       unit == nullptr || unit->packing == Packing::Text16) {
                source.Report(line, NoUnitAt(*reg));
            } else if (const auto index = static_cast<std::size_t>(unit - map.data());
                       givenAt[index] != kNone) {
                source.Report(line, "register " + Named(*reg) +
                                        " is given a second time; its first row is line " +
                                        std::to_string(givenAt[index] + 1));
                valueLines = unit->packing == Packing::BytePair ? taken : 1;
            } else {
                if (highest != kNone && index < highest) {
                    source.Report(line, "register " + RegText(*reg) + " comes after " +
                                            RegText(map[highest].reg) +
                                            ": the rows go up register by register");
                }
                Take(index, line);
                const bool read = ReadUnit(*unit, kind, line, continued);
                valueLines = read ? 0 : unit->packing == Packing::BytePair ? taken : 1;
            }
            // The values of a faulty row are still looked at, so that one pass finds every fault.
            for (std::size_t at = line; at < line + valueLines; ++at) {
                ReadValue(source, at, valueColumn, 32, false);
            }
            line += taken;
        }
        return line;
    }

    // False when the row does not fit the unit and its values were not read.
    bool ReadUnit(const RegisterUnit& unit, const std::string& kind, std::size_t line,
                  bool continued) {
        const bool word = kind == "W" || kind == "SW";
        if (!word && kind != "2W") {
            source.Report(line, "unknown kind " + Quoted(kind) + " in " + Column(kindColumn) +
                                    ": a parameter row is W, SW, 2W or STR");
            return false;
        }
        const bool pair = unit.packing == Packing::BytePair;
        const bool dword = unit.packing == Packing::Dword;
        // A pair and a dword take the next line, one with an empty register cell and kind.
        if (word == dword || continued == (unit.packing == Packing::Word)) {
            const char* needs =
                pair    ? " holds two bytes: its row has kind W or SW, the next line gives "
                          "the low byte"
                : dword ? " holds a 32-bit value: its row has kind 2W, the next line "
                          "continues it"
                        : " holds one 16-bit value: its row has kind W or SW, the next "
                          "line is a row of its own";
            source.Report(line, "register " + Named(unit.reg) + needs +
                                    " (a continuation line has an empty register cell and an empty "
                                    "kind)");
            return false;
        }
        // The writer puts its own mode into the low byte of 0x000C, whatever the file says.
        const auto value = ReadValue(source, line, valueColumn, pair ? 8 : dword ? 32 : 16);
        const auto low = pair ? ReadValue(source, line + 1, valueColumn, 8, unit.reg != kModeReg)
                              : std::optional<std::uint32_t>(0);
        if (value && low) {
            SetValue(image, unit.reg, pair ? *value << 8 | *low : *value, dword);
        }
        return true;
    }

    // Every unit without a row, in runs, on the line its row belongs above: the first row of a
    // later register, or where the rows end.
    void ReportMissing(std::size_t rowsEnd) const {
        const auto map = ParameterMap();
        const std::size_t endLine = std::min(rowsEnd, source.size() - 1);
        std::size_t unit = 0;
        while (unit < map.size()) {
            if (givenAt[unit] != kNone || map[unit].packing == Packing::Text16) {
                ++unit;
                continue;
            }
            std::size_t last = unit;
            while (last + 1 < map.size() && givenAt[last + 1] == kNone &&
                   map[last + 1].packing != Packing::Text16) {
                ++last;
            }
            const auto later = std::find_if(order.begin(), order.end(),
                                            [&](const auto& row) { return row.first > last; });
            const std::size_t line = later == order.end() ? endLine : later->second;
            if (last == unit) {
                source.Report(line, "register " + Named(map[unit].reg) +
                                        " has no row: it belongs above this line");
            } else {
                source.Report(line, "registers " + RegText(map[unit].reg) + " to " +
                                        RegText(map[last].lastReg()) +
                                        " have no rows: they belong above this line");
            }
            unit = last + 1;
        }
    }
};

// Rows end where the reader stops; lines up to the sum line are then left unread.
void ReportEarlyEnd(const Source& source, std::size_t rowsEnd, std::size_t sumLine,
                    const std::string& what) {
    if (sumLine != kNone && rowsEnd < sumLine) {
        source.Report(rowsEnd, "the " + what + " end here, above the sum line (line " +
                                   std::to_string(sumLine + 1) +
                                   "): this line and those below it are not read");
    }
}

void ReadParameterFile(const Source& source, const std::string& heading, RegisterImage& image) {
    const std::optional<Header> header = FindHeader(source, heading);
    if (!header) {
        return;
    }
    if (header->numberColumn < 1) {
        source.Report(header->line,
                      "no \"No.\" cell with a column before it, left of the heading " +
                          Quoted(heading) + ": the register column lies just left of \"No.\"");
        return;
    }
    const std::size_t sumLine = CheckSum(source, *header, header->numberColumn + 5);
    ParameterRows rows(source, *header, image);
    const std::size_t rowsEnd = rows.Read(header->line + 1);
    rows.ReportMissing(rowsEnd);
    ReportEarlyEnd(source, rowsEnd, sumLine, "rows");
}

// The kind each row of a step carries: W, or 2W and an empty kind for a dword's two rows.
std::array<std::string, kStepRegCount> StepKinds() {
    std::array<std::string, kStepRegCount> kinds;
    for (const RegisterUnit& unit : StepMap()) {
        kinds[unit.reg - kStepFirstReg] = unit.packing == Packing::Dword ? "2W" : "W";
    }
    return kinds;
}

// Reads steps from the line after the header; the number of whole steps.
std::size_t ReadSteps(const Source& source, const Header& header, std::size_t sumLine,
                      RegisterImage& image) {
    const auto startsStep = [&](std::size_t line) {
        return line < source.size() && line != sumLine &&
               !source.Field(line, kStepCellColumn).empty();
    };
    static const std::array<std::string, kStepRegCount> kinds = StepKinds();
    std::size_t line = header.line + 1;
    std::size_t step = 0;
    std::size_t whole = 0;
    for (; startsStep(line); ++step) {
        if (step >= kStepCount) {
            source.Report(line, "a 65th step begins here: the controller holds 64 steps");
            return whole;
        }
        const std::string name = "step " + std::to_string(step);
        const std::size_t first = line;
        bool broken = false;
        for (std::size_t row = 0; row < kStepRegCount && !broken; ++row, ++line) {
            const std::string prefix = name + ", row " + std::to_string(row) + ": ";
            const std::string& cell = source.Field(line, kStepRowColumn);
            const std::string& kind = source.Field(line, kStepKindColumn);
            long long number = -1;
            if (row > 0 && (line >= source.size() || line == sumLine || startsStep(line))) {
                source.Report(std::min(line, source.size() - 1),
                              name + " ends before its row " + std::to_string(row) +
                                  ": every step has rows 0 to 15");
                broken = true;
            } else if (ReadWhole(cell, number) != Whole::Read ||
                       number != static_cast<long long>(row)) {
                source.Report(line, prefix + "the row number in " + Column(kStepRowColumn) +
                                        " is " + Quoted(cell));
                broken = true;
            } else if (kind != kinds[row]) {
                source.Report(line, prefix + (kind.empty() ? "no kind" : "kind " + Quoted(kind)) +
                                        " in " + Column(kStepKindColumn) + "; this row is " +
                                        (kinds[row].empty() ? "the second half of a 32-bit value, "
                                                              "its kind is empty"
                                                            : kinds[row]));
                if (!kinds[row].empty()) {
                    ReadValue(source, line, header.valueColumn, 32, false);  // still looked at
                }
            } else if (!kind.empty()) {
                const bool dword = kind == "2W";
                const auto reg = kStepFirstReg + kStepRegCount * step + row;
                if (const auto value =
                        ReadValue(source, line, header.valueColumn, dword ? 32 : 16)) {
                    SetValue(image, static_cast<std::uint16_t>(reg), *value, dword);
                }
            }
        }
        if (broken) {
            // On to the next step, so that one fault is reported once.
            for (line = first + 1; line < source.size() && line != sumLine && !startsStep(line);
                 ++line) {
            }
        } else {
            ++whole;
        }
    }
    ReportEarlyEnd(source, line, sumLine, "steps");
    return whole;
}

std::size_t ReadStepFile(const Source& source, const std::string& heading, RegisterImage& image) {
    const std::optional<Header> header = FindHeader(source, heading);
    return !header ? 0
                   : ReadSteps(source, *header, CheckSum(source, *header, kStepKindColumn), image);
}

}  // namespace

std::string MaskedValueText(const MaskedValue& value) {
    const char* what = value.bits == 8    ? "a byte (0 to 255)"
                       : value.bits == 16 ? "a 16-bit register (-32768 to 65535)"
                                          : "a 32-bit value (-2147483648 to 4294967295)";
    return "value " + value.given + " does not fit " + what + ": written as " +
           std::to_string(value.written);
}

std::optional<StoredLines> ReadStoredLines(const std::string& path, Diagnostics& diagnostics) {
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
    if (!regular || error) {
        diagnostics.push_back({path, 0, "cannot be read: there is no such file"});
        return std::nullopt;
    }
    if (size % 4 != 0) {
        diagnostics.push_back({path, 0,
                               "is " + std::to_string(size) +
                                   " bytes long, not a whole number of 4-byte groups: it is "
                                   "truncated, or it was not stored with velmora-cli pack"});
        return std::nullopt;
    }
    CFileCtrl file;
    std::string content;
    if (file.Open(path, kFileModeRead)) {
        content.resize(static_cast<std::size_t>(file.GetLength()));
    }
    if (content.empty() || file.Read(content.data(), content.size()) != content.size()) {
        diagnostics.push_back({path, 0, file.IsOpen() ? "is empty" : "cannot be opened"});
        return std::nullopt;
    }
    if (std::any_of(content.begin(), content.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n' && c != '\t';
        })) {
        diagnostics.push_back({path, 0,
                               "does not unscramble into text: it was not stored with "
                               "velmora-cli pack, or it is damaged"});
        return std::nullopt;
    }
    content = LocalToUtf8(content);
    StoredLines stored;
    for (std::size_t start = 0; start < content.size();) {
        const std::size_t end = std::min(content.find("\r\n", start), content.size());
        stored.lines.push_back(content.substr(start, end - start));
        stored.lastLineEnded = end < content.size();
        start = end + 2;
    }
    return stored;
}

DataSetReading ReadDataSetFiles(const stADP_FORMAT& record, const std::string& parameterPath,
                                const std::string& stepPath) {
    DataSetReading reading;
    DataSet set;
    const std::string& heading = record.strParamColumn;
    // An empty heading would match any empty cell.
    if (heading.empty() && !(parameterPath.empty() && stepPath.empty())) {
        reading.diagnostics.push_back(
            {record.strDataFile, 0, "the actuator's list line names no data column to read"});
    }
    for (const std::string* path : {&parameterPath, &stepPath}) {
        if (path->empty() || heading.empty()) {
            continue;
        }
        const std::size_t from = reading.diagnostics.size();
        const std::optional<StoredLines> stored = ReadStoredLines(*path, reading.diagnostics);
        if (!stored) {
            continue;
        }
        Source source{*path, {}, &reading.diagnostics, &set.masked};
        for (const std::string& line : stored->lines) {
            source.lines.push_back(SplitFields(line));
        }
        // A last line without its line end may be a file cut short.
        if (!stored->lastLineEnded) {
            source.Report(source.size() - 1,
                          "the last line has no CR LF line end: the file may "
                          "be cut short");
        }
        if (path == &parameterPath) {
            ReadParameterFile(source, heading, set.image);
        } else {
            set.stepCount = ReadStepFile(source, heading, set.image);
        }
        // In line order within the file.
        std::stable_sort(reading.diagnostics.begin() + static_cast<std::ptrdiff_t>(from),
                         reading.diagnostics.end(),
                         [](const auto& a, const auto& b) { return a.line < b.line; });
    }
    const std::string bytes = TextToBytes(record.strPartNo).substr(0, kUnitNameBytes);
    if (!parameterPath.empty()) {
        set.image.setUnitName(bytes);
    }
    set.unitName = BytesToText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    set.svNo = record.strSVNo;
    set.paramVersion = record.strParamVersion;
    reading.masked = set.masked;
    if (reading.diagnostics.empty()) {
        reading.dataSet = std::move(set);
    }
    return reading;
}

DataSetReading ReadDataSet(const stADP_FORMAT& record, bool parameters, bool steps) {
    Diagnostics named;
    // A list file given relative to the program folder is looked up there, as the shipped
    // data folder is.
    const auto resolve = [&](bool wanted, const std::string& listed, const char* what) {
        std::string path = wanted && !listed.empty() ? DataFilePath(record, listed) : "";
        // Absolute as the system has it: a drive letter on Windows as much as "/" here.
        if (!path.empty() && !std::filesystem::path(path).is_absolute() &&
            !App().moduleFolder.empty()) {
            path = App().moduleFolder + path;
        }
        if (wanted && listed.empty()) {
            named.push_back(
                {record.strDataFile, 0, std::string("the actuator's list line names no ") + what});
        }
        return path;
    };
    const std::string parameterPath = resolve(parameters, record.strParamFile, "parameter file");
    DataSetReading reading =
        ReadDataSetFiles(record, parameterPath, resolve(steps, record.strStepFile, "step file"));
    // The controller refuses an empty unit name, and the write would stop half done.
    if (parameters && record.strPartNo.empty()) {
        named.push_back({record.strDataFile, 0,
                         "the actuator's part number is empty: the controller refuses an empty "
                         "unit name"});
    }
    if (!named.empty()) {
        reading.diagnostics.insert(reading.diagnostics.end(), named.begin(), named.end());
        reading.dataSet.reset();
    }
    return reading;
}

}  // namespace velmora
