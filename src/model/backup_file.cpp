#include "model/backup_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "model/file_ctrl.h"
#include "platform/codepage.h"
#include "platform/local_time.h"

namespace velmora {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kDashes = "--------------";
constexpr std::string_view kParameterLine = "Parameter";
constexpr std::string_view kStepMarker = "StepData";
// The check value is a fifth field of the header line. Older programs look at nothing on that
// line but its second field (the controller version), so they still read files that carry it.
constexpr std::string_view kCheckPrefix = "CRC32=";
constexpr std::size_t kCheckDigits = 8;
constexpr std::size_t kHeaderFields = 4;  // without the check value

// Function assignments of the I/O groups are signed bytes; the file keeps them as the 16-bit
// numbers they widen to, so 0xFF reads 65535.
constexpr std::uint16_t kSignedBytesFirstReg = 0x0100;
constexpr std::uint16_t kSignedBytesLastReg = 0x015F;

bool HoldsSignedBytes(std::uint16_t reg) {
    return reg >= kSignedBytesFirstReg && reg <= kSignedBytesLastReg;
}

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

std::string RegisterCell(std::uint16_t reg) {
    char cell[8];
    std::snprintf(cell, sizeof cell, "D%04x", static_cast<unsigned>(reg));
    return cell;
}

std::string ByteText(std::uint16_t reg, std::uint8_t byte) {
    if (HoldsSignedBytes(reg)) {
        const auto widened = static_cast<std::uint16_t>(static_cast<std::int8_t>(byte));
        return std::to_string(widened);
    }
    return std::to_string(byte);
}

std::uint32_t DwordAt(const RegisterImage& image, std::uint16_t reg) {
    return (std::uint32_t{image.get(reg)} << 16) | image.get(static_cast<std::uint16_t>(reg + 1));
}

void AppendLine(std::string& text, std::string_view line) {
    text += line;
    text += kLineEnd;
}

void AppendParameterUnit(std::string& text, const RegisterImage& image, const RegisterUnit& unit) {
    const std::string head = RegisterCell(unit.reg) + "," + std::string(unit.key.view()) + ",";
    const std::uint16_t word = image.get(unit.reg);
    switch (unit.packing) {
        case Packing::Word:
            AppendLine(text, head + std::to_string(word));
            break;
        case Packing::BytePair:
            AppendLine(text, head + ByteText(unit.reg, static_cast<std::uint8_t>(word >> 8)));
            AppendLine(text, "," + std::string(unit.secondKey.view()) + "," +
                                 ByteText(unit.reg, static_cast<std::uint8_t>(word & 0xFF)));
            break;
        case Packing::Dword:
            AppendLine(text, head + std::to_string(DwordAt(image, unit.reg)));
            AppendLine(text, ",," + std::string(kDashes));
            break;
        case Packing::Text16:
            break;  // the unit name line comes first, before the walk
    }
}

void AppendStep(std::string& text, const RegisterImage& image, std::size_t step) {
    const auto base = static_cast<std::uint16_t>(kStepRegCount * step);
    for (const RegisterUnit& unit : StepMap()) {
        const auto reg = static_cast<std::uint16_t>(unit.reg + base);
        const std::size_t column = unit.reg - kStepFirstReg;
        const std::string head = (column == 0 ? std::to_string(step) : std::string()) + "," +
                                 std::to_string(column) + ",";
        if (unit.packing == Packing::Dword) {
            AppendLine(text, head + std::to_string(DwordAt(image, reg)));
            AppendLine(text, "," + std::to_string(column + 1) + "," + std::string(kDashes));
        } else {
            AppendLine(text, head + std::to_string(image.get(reg)));
        }
    }
}

// The values a backup can hold in one cell, and how a diagnostic names them.
struct ValueRange {
    long long min;
    long long max;
    const char* words;
    bool signedBytes = false;  // 128 to 65407 cannot be a widened signed byte
};

constexpr ValueRange kByteRange{0, 255, "0 to 255"};
constexpr ValueRange kSignedByteRange{0, 65535, "0 to 127 or 65408 to 65535", true};
constexpr ValueRange kWordRange{0, 65535, "0 to 65535"};
constexpr ValueRange kDwordRange{0, 4294967295LL, "0 to 4294967295"};
// Negative step words have always been read, as their two's complement.
constexpr ValueRange kStepWordRange{-32768, 65535, "-32768 to 65535"};

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// The cells of a line: up to the first comma, up to the second, and the rest (a value, or the
// unit name, which may itself hold commas).
struct Cells {
    std::string_view first;
    std::string_view second;
    std::string_view rest;
};

Cells SplitCells(std::string_view line) {
    Cells cells;
    const std::size_t comma = line.find(',');
    cells.first = line.substr(0, comma);
    if (comma == std::string_view::npos) {
        return cells;
    }
    const std::string_view after = line.substr(comma + 1);
    const std::size_t second = after.find(',');
    cells.second = after.substr(0, second);
    if (second != std::string_view::npos) {
        cells.rest = after.substr(second + 1);
    }
    return cells;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t comma = line.find(',');
        fields.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(comma + 1);
    }
}

// "D" and four hex digits (either case) naming reg.
bool CellNames(std::string_view cell, std::uint16_t reg) {
    unsigned value = 0;
    const char* end = cell.data() + cell.size();
    return cell.size() == 5 && cell[0] == 'D' &&
           std::from_chars(cell.data() + 1, end, value, 16).ptr == end && value == reg;
}

class BackupParser {
  public:
    BackupParser(std::string_view text, std::string fileName)
        : text_(text), file_(std::move(fileName)) {}

    BackupReading Read() {
        Backup backup;
        SplitLines();
        const bool whole = ReadHeader(backup) && ReadUnitName(backup) &&
                           ReadParameters(backup.image) && ReadStepMarker() &&
                           ReadSteps(backup.image) && ExpectEnd();
        BackupReading reading;
        std::stable_sort(diagnostics_.begin(), diagnostics_.end(),
                         [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
        reading.diagnostics = std::move(diagnostics_);
        if (whole && reading.diagnostics.empty()) {
            reading.backup = std::move(backup);
        }
        return reading;
    }

  private:
    void Fault(std::size_t line, std::string reason) {
        diagnostics_.push_back({file_, static_cast<int>(line), std::move(reason)});
    }

    // Lines that end with CR LF. The first line that ends otherwise, or not at all, is
    // reported and ends the list: what follows it cannot be told apart.
    void SplitLines() {
        std::size_t start = 0;
        while (start < text_.size()) {
            const std::size_t end = text_.find_first_of("\r\n", start);
            const std::size_t number = lines_.size() + 1;
            if (end == std::string_view::npos) {
                Fault(number, "the file ends inside this line: the backup was cut short");
            } else if (text_[end] == '\n') {
                Fault(number, "the line ends with LF alone; lines of a backup end with CR LF");
            } else if (end + 1 == text_.size() || text_[end + 1] != '\n') {
                Fault(number, "the line ends with CR alone; lines of a backup end with CR LF");
            } else {
                lines_.push_back(text_.substr(start, end - start));
                start = end + kLineEnd.size();
                continue;
            }
            badLineEnd_ = true;
            return;
        }
    }

    // The next line, or nothing when the file has no further line (reported, naming what
    // should have come, unless a bad line end was reported there already).
    std::optional<std::string_view> Take(const std::string& expected) {
        if (next_ >= lines_.size()) {
            if (!badLineEnd_) {
                Fault(next_ + 1, text_.empty() ? "the file is empty"
                                               : "the file ends here; expected " + expected +
                                                     ": the backup was cut short");
            }
            return std::nullopt;
        }
        return lines_[next_++];
    }
    std::size_t LineNumber() const { return next_; }  // of the line taken last

    bool ReadHeader(Backup& backup) {
        const auto line = Take("the header line");
        if (!line) {
            return false;
        }
        const auto fields = SplitFields(*line);
        if (fields[0] != kBackupMarker) {
            Fault(1, "this is not a backup file: the first line does not start with " +
                         Quoted(kBackupMarker));
            return false;
        }
        if (fields.size() < kHeaderFields) {
            Fault(1, "the first line lacks the versions or the time of the backup");
        } else if (fields.size() > kHeaderFields + 1) {
            Fault(1, "the first line has more fields than a backup's");
        } else {
            backup.controllerVersion = fields[1];
            backup.programVersion = fields[2];
            backup.timestamp = fields[3];
            if (fields.size() == kHeaderFields + 1) {
                Check(fields.back(), backup);
            }
        }
        return true;
    }

    // The check value covers the whole text without ",CRC32=xxxxxxxx".
    void Check(std::string_view field, Backup& backup) {
        const std::string_view digits = field.substr(std::min(field.size(), kCheckPrefix.size()));
        std::uint32_t stored = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), stored, 16);
        if (!field.starts_with(kCheckPrefix) || digits.size() != kCheckDigits ||
            error != std::errc() || end != digits.data() + digits.size()) {
            Fault(1, Quoted(field) + " is not a check value (\"CRC32=\" and 8 hex digits)");
            return;
        }
        const auto fieldStart = static_cast<std::size_t>(field.data() - text_.data());
        const std::size_t headerEnd = lines_[0].size();
        const std::uint32_t crc =
            Crc32(text_.substr(headerEnd), Crc32(text_.substr(0, fieldStart - 1)));
        if (crc != stored) {
            Fault(1,
                  "the check value does not match the contents: the backup was changed or "
                  "damaged after it was saved");
            return;
        }
        backup.check = BackupCheck::Matches;
    }

    bool ReadUnitName(Backup& backup) {
        if (!ExpectLine(kParameterLine)) {
            return false;
        }
        const RegisterUnit* unit = ParameterUnitAt(kUnitNameReg);
        const auto line = Take("the unit name line");
        if (!line || unit == nullptr) {
            return false;
        }
        const Cells cells = SplitCells(*line);
        if (!ExpectCells(cells, *unit)) {
            return false;
        }
        const std::string bytes = TextToBytes(std::string(cells.rest));
        if (bytes.size() > kUnitNameBytes) {
            Fault(LineNumber(), "the unit name " + Quoted(cells.rest) + " is longer than " +
                                    std::to_string(kUnitNameBytes) + " characters");
        } else if (bytes.find('\0') != std::string::npos) {
            Fault(LineNumber(), "the unit name holds a NUL character");
        }
        backup.unitName = cells.rest;
        backup.image.setUnitName(bytes);
        return true;
    }

    bool ExpectLine(std::string_view expected) {
        const std::string wanted =
            expected.empty() ? std::string("an empty line") : "the line " + Quoted(expected);
        const auto line = Take(wanted);
        if (!line) {
            return false;
        }
        if (*line != expected) {
            Fault(LineNumber(), "expected " + wanted + ", found " + Quoted(*line));
            return false;
        }
        return true;
    }

    // The register cell and the key of a unit's first line.
    bool ExpectCells(const Cells& cells, const RegisterUnit& unit) {
        const std::string label = RegisterCell(unit.reg);
        if (!CellNames(cells.first, unit.reg)) {
            Fault(LineNumber(), "expected register " + label + " (" + Quoted(unit.key.view()) +
                                    "), found " + Quoted(cells.first));
            return false;
        }
        if (cells.second != unit.key.view()) {
            Fault(LineNumber(), "expected the name " + Quoted(unit.key.view()) + " of register " +
                                    label + ", found " + Quoted(cells.second));
            return false;
        }
        return true;
    }

    // The value of a cell, reported when it is not a number in range.
    std::optional<long long> Value(std::string_view cell, const ValueRange& range,
                                   const std::string& what) {
        long long value = 0;
        const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
        const bool whole = end == cell.data() + cell.size() &&
                           (error == std::errc() || error == std::errc::result_out_of_range);
        if (cell.empty()) {
            Fault(LineNumber(), what + ": the value is missing");
        } else if (!whole) {
            Fault(LineNumber(), what + ": " + Quoted(cell) + " is not a whole number");
        } else if (error != std::errc() || value < range.min || value > range.max ||
                   (range.signedBytes && value > 127 && value < 65408)) {
            Fault(LineNumber(),
                  what + ": " + std::string(cell) + " is out of range (" + range.words + ")");
        } else {
            return value;
        }
        return std::nullopt;
    }

    bool ReadParameters(RegisterImage& image) {
        for (const RegisterUnit& unit : ParameterMap()) {
            if (unit.packing != Packing::Text16 && !ReadParameterUnit(unit, image)) {
                return false;
            }
        }
        return true;
    }

    bool ReadParameterUnit(const RegisterUnit& unit, RegisterImage& image) {
        const std::string label = RegisterCell(unit.reg);
        const auto line =
            Take("the line of register " + label + " (" + Quoted(unit.key.view()) + ")");
        if (!line) {
            return false;
        }
        const Cells cells = SplitCells(*line);
        if (!ExpectCells(cells, unit)) {
            return false;
        }
        const std::string what = Quoted(unit.key.view()) + " (" + label + ")";
        switch (unit.packing) {
            case Packing::Word:
                if (const auto value = Value(cells.rest, kWordRange, what)) {
                    image.set(unit.reg, static_cast<std::uint16_t>(*value));
                }
                return true;
            case Packing::Dword:
                if (const auto value = Value(cells.rest, kDwordRange, what)) {
                    SetDword(image, unit.reg, static_cast<std::uint32_t>(*value));
                }
                return ExpectLine(",," + std::string(kDashes));
            case Packing::BytePair:
                return ReadBytePair(unit, cells.rest, image);
            case Packing::Text16:
                break;
        }
        return true;
    }

    bool ReadBytePair(const RegisterUnit& unit, std::string_view highCell, RegisterImage& image) {
        const ValueRange& range = HoldsSignedBytes(unit.reg) ? kSignedByteRange : kByteRange;
        const std::string label = RegisterCell(unit.reg);
        const auto high = Value(highCell, range, Quoted(unit.key.view()) + " (" + label + ")");
        const auto line = Take("the line of " + Quoted(unit.secondKey.view()) + " (" + label + ")");
        if (!line) {
            return false;
        }
        const Cells cells = SplitCells(*line);
        if (!cells.first.empty() || cells.second != unit.secondKey.view()) {
            Fault(LineNumber(), "expected the line of " + Quoted(unit.secondKey.view()) +
                                    " (the low byte of " + label + "), found " + Quoted(*line));
            return false;
        }
        const auto low =
            Value(cells.rest, range, Quoted(unit.secondKey.view()) + " (" + label + ")");
        if (high && low) {
            image.set(unit.reg, static_cast<std::uint16_t>((*high & 0xFF) << 8 | (*low & 0xFF)));
        }
        return true;
    }

    static void SetDword(RegisterImage& image, std::uint16_t reg, std::uint32_t value) {
        image.set(reg, static_cast<std::uint16_t>(value >> 16));
        image.set(static_cast<std::uint16_t>(reg + 1), static_cast<std::uint16_t>(value & 0xFFFF));
    }

    bool ReadStepMarker() { return ExpectLine("") && ExpectLine("") && ExpectLine(kStepMarker); }

    bool ReadSteps(RegisterImage& image) {
        for (std::size_t step = 0; step < kStepCount; ++step) {
            for (const RegisterUnit& unit : StepMap()) {
                if (!ReadStepUnit(step, unit, image)) {
                    return false;
                }
            }
        }
        return true;
    }

    bool ReadStepUnit(std::size_t step, const RegisterUnit& unit, RegisterImage& image) {
        const std::size_t column = unit.reg - kStepFirstReg;
        const auto reg = static_cast<std::uint16_t>(unit.reg + kStepRegCount * step);
        const std::string what =
            "step " + std::to_string(step) + ", column " + std::to_string(column);
        const auto line = Take("the line of " + what);
        if (!line) {
            return false;
        }
        const Cells cells = SplitCells(*line);
        const std::string stepCell = column == 0 ? std::to_string(step) : std::string();
        if (cells.first != stepCell || cells.second != std::to_string(column)) {
            Fault(LineNumber(), "expected the line of " + what + " (\"" + stepCell + "," +
                                    std::to_string(column) + ",\"), found " + Quoted(*line));
            return false;
        }
        if (unit.packing != Packing::Dword) {
            if (const auto value = Value(cells.rest, kStepWordRange, what)) {
                image.set(reg, static_cast<std::uint16_t>(*value & 0xFFFF));
            }
            return true;
        }
        if (const auto value = Value(cells.rest, kDwordRange, what)) {
            SetDword(image, reg, static_cast<std::uint32_t>(*value));
        }
        const std::string next = std::to_string(column + 1);
        const auto continuation = Take("the continuation line of " + what);
        if (!continuation) {
            return false;
        }
        const Cells dashes = SplitCells(*continuation);
        if (!dashes.first.empty() || dashes.second != next || dashes.rest.empty() ||
            dashes.rest.find_first_not_of('-') != std::string_view::npos) {
            Fault(LineNumber(), "expected the continuation line of " + what + " (\"," + next + "," +
                                    std::string(kDashes) + "\"), found " + Quoted(*continuation));
            return false;
        }
        return true;
    }

    bool ExpectEnd() {
        if (next_ < lines_.size()) {
            Fault(next_ + 1, "unexpected line after the last step: " + Quoted(lines_[next_]));
            return false;
        }
        return true;
    }

    std::string_view text_;
    std::string file_;
    std::vector<std::string_view> lines_;
    bool badLineEnd_ = false;
    std::size_t next_ = 0;  // index of the next line to take
    Diagnostics diagnostics_;
};

BackupReading WholeFileFault(const std::string& path, std::string reason) {
    BackupReading reading;
    reading.diagnostics.push_back({path, 0, std::move(reason)});
    return reading;
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc) {
    crc = ~crc;
    for (const char c : bytes) {
        crc = kCrcTable[(crc ^ static_cast<std::uint8_t>(c)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

std::string BackupTimestamp(const std::tm& local) {
    char text[64];
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string BackupTimestampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!LocalTime(now, local)) {
        return BackupTimestamp(std::tm{});
    }
    return BackupTimestamp(local);
}

std::string FormatBackupText(const RegisterImage& image, const std::string& controllerVersion,
                             const std::string& timestamp) {
    const std::string header = std::string(kBackupMarker) + "," + controllerVersion + "," +
                               kBackupProgramVersion + "," + timestamp;
    std::string body;  // everything after the header line's fields
    AppendLine(body, "");
    AppendLine(body, kParameterLine);

    // All 16 bytes of the name: a zero byte anywhere contributes nothing.
    std::array<std::uint8_t, kUnitNameBytes> name{};
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::uint16_t word = image.get(static_cast<std::uint16_t>(kUnitNameReg + i / 2));
        name[i] = static_cast<std::uint8_t>(i % 2 == 0 ? word >> 8 : word & 0xFF);
    }
    const RegisterUnit* nameUnit = ParameterUnitAt(kUnitNameReg);
    AppendLine(body, RegisterCell(kUnitNameReg) + "," +
                         std::string(nameUnit != nullptr ? nameUnit->key.view() : "Unit name=") +
                         "," + BytesToText(name.data(), name.size()));
    for (const RegisterUnit& unit : ParameterMap()) {
        AppendParameterUnit(body, image, unit);
    }
    AppendLine(body, "");
    AppendLine(body, "");
    AppendLine(body, kStepMarker);
    for (std::size_t step = 0; step < kStepCount; ++step) {
        AppendStep(body, image, step);
    }

    char check[32];
    std::snprintf(check, sizeof check, ",%.*s%08x", static_cast<int>(kCheckPrefix.size()),
                  kCheckPrefix.data(), static_cast<unsigned>(Crc32(body, Crc32(header))));
    return header + check + body;
}

BackupReading ParseBackupText(const std::string& text, const std::string& fileName) {
    return BackupParser(text, fileName).Read();
}

BackupReading ReadBackupFile(const std::string& path) {
    // Looked at before opening: opening a FIFO for reading would wait for a writer.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return WholeFileFault(path, "the file does not exist");
    }
    if (error) {
        return WholeFileFault(path, "the file cannot be reached: " + error.message());
    }
    if (std::filesystem::is_directory(status)) {
        return WholeFileFault(path, "this is a folder, not a backup file");
    }
    if (!std::filesystem::is_regular_file(status)) {
        return WholeFileFault(path, "this is not a regular file");
    }
    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        return WholeFileFault(path,
                              "the file cannot be opened: it is not readable, in use by another "
                              "program, or not a file this program saved");
    }
    std::string content(static_cast<std::size_t>(file.GetLength()), '\0');
    if (file.Read(content.data(), content.size()) != content.size()) {
        return WholeFileFault(path, "the file cannot be read");
    }
    return ParseBackupText(LocalToUtf8(content), path);
}

}  // namespace velmora
