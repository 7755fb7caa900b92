#include "transmit/parameter_writer.h"

#include <array>
#include <cstdio>
#include <optional>

#include "link/register_ops.h"
#include "link/register_tables.h"
#include "transmit/writer_internal.h"

namespace velmora {
namespace {

using namespace writer_internal;

constexpr std::size_t kImageBytes = 990;
constexpr int kMaxValuesPerBlock = 56;  // a byte pair or a dword counts as one value
constexpr std::uint16_t kUnitNameReg = 0x000E;
constexpr std::size_t kUnitNameLength = 16;
constexpr std::uint16_t kModeReg = 0x000C;
constexpr int kWritingModeLowByte = 200;
constexpr std::size_t kReadBufferBytes = 256;

// The one parameter writer of the process: a byte image of the area and the pending block.
struct WriterState {
    std::array<std::uint8_t, kImageBytes> image{};
    std::size_t cursor = 0;       // table row the next value is for
    std::size_t imageLength = 0;  // image offset of the cursor row
    std::size_t blockStartRow = 0;
    std::size_t blockStartOffset = 0;
    int count = 0;  // values queued in the pending block
    std::uint16_t lastReg = 0;
};

WriterState& Writer() {
    static WriterState state;
    return state;
}

bool IsTerminator(const RegisterRow& row) {
    return row.writeBlockEnd == kBlockEndTerminator;
}

void ResetWriter() {
    auto& table = ParameterTable();
    for (auto& row : table) {
        if (IsTerminator(row)) {
            break;
        }
        row.writeValue = 0;
    }
    WriterState& writer = Writer();
    writer = WriterState{};
    writer.lastReg = table.front().reg;
}

// Sends the pending values, if any, and opens an empty block at the cursor.
int SendPendingBlock(TransferContext& context) {
    WriterState& writer = Writer();
    if (writer.count > 0 && writer.imageLength > writer.blockStartOffset) {
        const auto& table = ParameterTable();
        if (WriteRegisters(context.link, context.stationId, table[writer.blockStartRow].reg,
                           writer.image.data() + writer.blockStartOffset,
                           static_cast<int>(writer.imageLength - writer.blockStartOffset)) != 0) {
            return -1;
        }
    }
    writer.blockStartRow = writer.cursor;
    writer.blockStartOffset = writer.imageLength;
    writer.count = 0;
    return 0;
}

struct UnitPosition {
    std::size_t row;
    std::size_t offset;
};

// Walks from the cursor, one unit at a time, to the unit that starts at reg. Nothing when no
// unit starts there: past the end, or inside a dword or the text.
std::optional<UnitPosition> FindUnit(std::uint16_t reg) {
    const auto& table = ParameterTable();
    const WriterState& writer = Writer();
    std::size_t row = writer.cursor;
    std::size_t offset = writer.imageLength;
    if (!IsTerminator(table[row]) && table[row].reg <= reg) {
        while (table[row].reg != reg) {
            offset += table[row].bytes;
            row += RowUnitSize(table[row]);
            if (IsTerminator(table[row]) || table[row].reg > reg) {
                return std::nullopt;
            }
        }
        return UnitPosition{row, offset};
    }
    while (IsTerminator(table[row]) || table[row].reg != reg) {
        if (row == 0) {
            return std::nullopt;
        }
        std::size_t previous = row - 1;
        if (previous > 0 && RowUnitSize(table[previous]) == 2) {
            --previous;
        }
        offset -= table[previous].bytes;
        row = previous;
        if (table[row].reg < reg) {
            return std::nullopt;
        }
    }
    return UnitPosition{row, offset};
}

bool FitsRow(const RegisterRow& row, int type) {
    switch (type) {
        case kValueWord:
            return row.type == kTypeWord || row.type == kTypeBytePair;
        case kValueDword:
            return row.type == kTypeDword;
        case kValueText:
            return row.type == kTypeText16;
        default:
            return false;
    }
}

void PutByte(std::size_t offset, std::uint32_t value) {
    Writer().image[offset] = static_cast<std::uint8_t>(value & 0xFF);
}

int SendUnitName(TransferContext& context, std::size_t row, const std::string& valueText) {
    WriterState& writer = Writer();
    const auto& table = ParameterTable();
    const std::string bytes = TextToBytes(valueText).substr(0, kUnitNameLength);
    for (std::size_t i = 0; i < kUnitNameLength; ++i) {
        PutByte(writer.imageLength + i, i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0);
    }
    // An empty name is refused by the link without anything being sent.
    const int pending = static_cast<int>(writer.imageLength - writer.blockStartOffset);
    if (WriteRegistersText(
            context.link, context.stationId, table[writer.blockStartRow].reg,
            pending + static_cast<int>(kUnitNameLength),
            BytesToText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) != 0) {
        return -1;
    }
    writer.cursor = row + 1;
    writer.imageLength += table[row].bytes;
    writer.blockStartRow = writer.cursor;
    writer.blockStartOffset = writer.imageLength;
    writer.count = 0;
    return 0;
}

}  // namespace

int QueueParameterValue(TransferContext& context, std::uint16_t reg, const std::string& valueText,
                        int type, int flush) {
    if (reg == kWriterReset) {
        ResetWriter();
        return 0;
    }
    if (flush == 1) {
        return SendPendingBlock(context);
    }
    auto& table = ParameterTable();
    WriterState& writer = Writer();
    const std::optional<UnitPosition> unit = FindUnit(reg);
    // A value for no unit, or one that does not fit its unit's packing, is dropped and the
    // writer starts afresh; the verification then shows what is missing.
    if (!unit || !FitsRow(table[unit->row], type)) {
        ResetWriter();
        return 0;
    }
    if (unit->row != writer.cursor) {
        // A block only ever holds registers that were given: what is pending goes out before
        // the jump, so skipped registers keep the controller's values.
        if (writer.count > 0 && SendPendingBlock(context) != 0) {
            return -1;
        }
        writer.cursor = unit->row;
        writer.imageLength = unit->offset;
        writer.blockStartRow = unit->row;
        writer.blockStartOffset = unit->offset;
    }
    writer.lastReg = reg;

    const std::size_t row = unit->row;
    RegisterRow& first = table[row];
    const std::size_t at = writer.imageLength;
    if (type == kValueText) {
        return SendUnitName(context, row, valueText);
    }
    if (type == kValueDword) {
        first.writeValue = HexDigits(valueText, 0, 4);
        table[row + 1].writeValue = HexDigits(valueText, 4, 4);
        PutByte(at, first.writeValue >> 8);
        PutByte(at + 1, first.writeValue);
        PutByte(at + 2, table[row + 1].writeValue >> 8);
        PutByte(at + 3, table[row + 1].writeValue);
    } else if (first.type == kTypeBytePair) {
        first.writeValue = HexDigits(valueText, 0, 2);
        table[row + 1].writeValue =
            HexDigits(valueText, valueText.size() >= 2 ? valueText.size() - 2 : 0, 2);
        PutByte(at, first.writeValue);
        PutByte(at + 1, table[row + 1].writeValue);
    } else {
        first.writeValue = HexDigits(valueText, 0, std::string::npos);
        PutByte(at, first.writeValue >> 8);
        PutByte(at + 1, first.writeValue);
    }

    const bool closesBlock =
        first.writeBlockEnd == kBlockEnd || writer.count >= kMaxValuesPerBlock - 1;
    writer.imageLength += first.bytes;
    writer.cursor += RowUnitSize(first);
    ++writer.count;
    return closesBlock ? SendPendingBlock(context) : 0;
}

int ReadParameterRegisters(TransferContext& context, int target) {
    auto& table = ParameterTable();
    auto valueOf = [target](RegisterRow& row) -> std::uint32_t& {
        return target == 1 ? row.writeValue : row.readValue;
    };
    for (auto& row : table) {
        if (row.readBlockEnd == kBlockEndTerminator) {
            break;
        }
        valueOf(row) = 0;
    }

    std::size_t row = 0;
    while (table[row].readBlockEnd != kBlockEndTerminator) {
        // Gather one block of units.
        const std::size_t blockFirst = row;
        std::size_t bytes = 0;
        int entries = 0;
        for (;;) {
            const RegisterRow& unit = table[row];
            const std::size_t size = RowUnitSize(unit);
            // The text is counted as 8 bytes: the controller is asked for its first half only.
            bytes += unit.type == kTypeText16 ? 8 : unit.type == kTypeDword ? 4 : 2;
            ++entries;
            const bool flagged = table[row].readBlockEnd == kBlockEnd ||
                                 table[row + size - 1].readBlockEnd == kBlockEnd;
            row += size;
            if (flagged || entries >= kMaxValuesPerBlock ||
                table[row].readBlockEnd == kBlockEndTerminator) {
                break;
            }
        }
        std::array<std::uint8_t, kReadBufferBytes> reply{};
        if (ReadRegisters(context.link, context.stationId, table[blockFirst].reg,
                          static_cast<std::uint16_t>(bytes / 2), reply.data()) != 0) {
            return -1;
        }
        std::size_t at = 0;
        for (std::size_t r = blockFirst; r < row; r += RowUnitSize(table[r])) {
            RegisterRow& unit = table[r];
            switch (unit.type) {
                case kTypeBytePair:
                    valueOf(unit) = reply[at];
                    valueOf(table[r + 1]) = reply[at + 1];
                    at += 2;
                    break;
                case kTypeDword:
                    valueOf(unit) = reply[at] * 256u + reply[at + 1];
                    valueOf(table[r + 1]) = reply[at + 2] * 256u + reply[at + 3];
                    at += 4;
                    break;
                case kTypeText16:
                    at += 8;
                    break;
                default:
                    valueOf(unit) = reply[at] * 256u + reply[at + 1];
                    at += 2;
                    break;
            }
        }
    }
    return 0;
}

int VerifyParameterRegisters(TransferContext& context) {
    // Rows that were never read would compare against 0: a failed read is a failed check.
    if (ReadParameterRegisters(context, 0) != 0) {
        return -1;
    }
    const auto& table = ParameterTable();
    int result = 0;
    for (std::size_t unit = 0; !IsTerminator(table[unit]); unit += RowUnitSize(table[unit])) {
        for (std::size_t half = 0; half < RowUnitSize(table[unit]); ++half) {
            const RegisterRow& row = table[unit + half];
            if (row.readValue == row.writeValue) {
                continue;
            }
            result = -1;
            if (context.differences == nullptr) {
                return result;
            }
            // The second row of a dword holds the register after the one its row names.
            const auto reg =
                static_cast<std::uint16_t>(row.type == kTypeDword ? row.reg + half : row.reg);
            context.differences->push_back({reg, row.key, row.writeValue, row.readValue});
        }
    }
    return result;
}

namespace {

// A single 16-bit value; a negative one goes in as its two's complement, so that the
// register and the row agree.
std::string WordText(long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x",
                  static_cast<unsigned>(value < 0 ? (value & 0xFFFF) : value));
    return text;
}

// Reads the rows of an opened parameter file after its header and queues them. 0 or -1.
int QueueFileRows(TransferContext& context, CFileCtrl& file, int keyColumn, int valueColumn,
                  int span, long denominator) {
    const int kindColumn = keyColumn + 6;
    long line = 0;  // lines read since the header
    for (;;) {
        ShowProgress(context.ui, span * (line + 1) / denominator);
        std::string cell;
        std::string kind;
        std::string valueText;
        if (GetField(cell, file, keyColumn) != 0 || cell.empty() || cell.front() != 'D') {
            return 0;
        }
        unsigned regNumber = 0;
        if (GetField(kind, file, kindColumn) != 0 || kind.empty() ||
            std::sscanf(cell.c_str() + 1, "%x", &regNumber) != 1) {
            return 0;
        }
        const auto reg = static_cast<std::uint16_t>(regNumber);
        GetField(valueText, file, valueColumn);
        const long value = DecimalOrZero(valueText);

        char text[16];
        int queued = 0;
        int linesTaken = 1;  // this line and its continuation, if any
        int skipAfter = 1;   // lines still to pass to reach the next row
        if (kind == "W" || kind == "SW") {
            if (SkipLines(file, 1) != 0) {
                return QueueParameterValue(context, reg, WordText(value), kValueWord, 0);
            }
            std::string nextKey;
            if (GetField(nextKey, file, keyColumn) == 0 && nextKey.empty()) {
                // A continuation line: the two lines are the bytes of one register.
                GetField(valueText, file, valueColumn);
                long low = DecimalOrZero(valueText);
                if (reg == kModeReg) {
                    low = kWritingModeLowByte;
                }
                std::snprintf(text, sizeof text, "%04x",
                              static_cast<unsigned>((value & 0xFF) * 256 + (low & 0xFF)));
                queued = QueueParameterValue(context, reg, text, kValueWord, 0);
                linesTaken = 2;
            } else {
                queued = QueueParameterValue(context, reg, WordText(value), kValueWord, 0);
                skipAfter = 0;
            }
        } else if (kind == "2W") {
            std::snprintf(text, sizeof text, "%08x",
                          static_cast<unsigned>(static_cast<std::uint32_t>(value)));
            queued = QueueParameterValue(context, reg, text, kValueDword, 0);
            linesTaken = 2;
            skipAfter = 2;
        }
        if (queued != 0) {
            return -1;
        }
        line += linesTaken;
        if (skipAfter > 0 && SkipLines(file, skipAfter) != 0) {
            return 0;
        }
    }
}

}  // namespace

int WriteParametersFromData(TransferContext& context, const stADP_FORMAT& record, int span) {
    Ui& ui = context.ui;
    const std::string path = ResolveDataFile(record, record.strParamFile);
    ui.setStatusText(MessageText(kMsgProgressStateParameterfileScanning));

    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        ShowFileOpenError(ui);
        return -1;
    }
    HeaderInfo header;
    // The key column lies just left of "No."; without it the rows cannot be read.
    if (FindHeader(file, record.strParamColumn, header) != 0 || header.numberColumn < 1) {
        ShowFormatError(ui);
        return -1;
    }
    const int keyColumn = header.numberColumn - 1;
    int sumLine = -1;
    if (!ChecksumMatches(file, header.headerLine, keyColumn + 6, header.valueColumn, sumLine)) {
        ShowFormatErrorWithCountermeasure(ui);
        return -1;
    }
    const long denominator = ProgressDenominator(sumLine);

    GoToFirstDataLine(file, header.headerLine);
    QueueParameterValue(context, kWriterReset, std::string(), 0, 0);
    // Registers the file leaves out keep the controller's values, in the image and the check.
    ReadParameterRegisters(context, 1);
    ui.setStatusText(MessageText(kMsgProgressStateParameterwrite));

    if (QueueParameterValue(context, kUnitNameReg, record.strPartNo, kValueText, 0) != 0) {
        return -1;
    }
    if (QueueFileRows(context, file, keyColumn, header.valueColumn, span, denominator) != 0) {
        return -1;
    }
    if (QueueParameterValue(context, 0, std::string(), 0, 1) != 0) {
        return -1;
    }
    file.Close();

    ui.setStatusText(MessageText(kMsgProgressStateVerify));
    if (VerifyParameterRegisters(context) != 0) {
        ShowVerifyError(ui);
        QueueParameterValue(context, kWriterReset, std::string(), 0, 0);
        return -1;
    }
    QueueParameterValue(context, kWriterReset, std::string(), 0, 0);
    return 0;
}

}  // namespace velmora
