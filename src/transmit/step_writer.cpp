#include "transmit/step_writer.h"

#include <array>
#include <cstdio>

#include "link/register_ops.h"
#include "link/register_tables.h"
#include "transmit/writer_internal.h"

namespace velmora {
namespace {

using namespace writer_internal;

constexpr std::size_t kImageBytes = 2176;
constexpr std::size_t kRowsPerStep = kStepRowsPerStep - 1;  // without the terminator
constexpr std::size_t kStepImageBytes = 2 * kRowsPerStep;
constexpr int kMaxValuesPerBlock = 56;
constexpr std::size_t kMaxRowsPerRead = 55;

// Columns of the step data file.
constexpr int kStepColumn = 2;
constexpr int kRowColumn = 3;
constexpr int kKindColumn = 7;

// The one step writer of the process.
struct WriterState {
    std::array<std::uint8_t, kImageBytes> image{};
    std::size_t step = 0;  // 0 to 63; 64 once every step is given
    std::size_t row = 0;   // row within the step
    std::size_t blockStartRow = 0;
    std::size_t blockStartOffset = 0;
    std::size_t imageLength = 0;
    int count = 0;
    std::uint16_t lastReg = 0;
};

WriterState& Writer() {
    static WriterState state;
    return state;
}

std::size_t TableIndex(std::size_t step, std::size_t row) {
    return step * kStepRowsPerStep + row;
}

std::size_t ImageOffset(std::size_t step, std::size_t row) {
    return step * kStepImageBytes + 2 * row;
}

void PutWord(std::size_t offset, std::uint32_t value) {
    auto& image = Writer().image;
    image[offset] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

void ResetWriter() {
    RebuildStepTable();
    WriterState& writer = Writer();
    writer = WriterState{};
    writer.lastReg = StepTable().front().reg;
}

// The register of a step row: a dword's second row holds the register after its first.
std::uint16_t RowRegister(std::size_t step, std::size_t row) {
    return static_cast<std::uint16_t>(kStepFirstReg + kStepRegCount * step + row);
}

}  // namespace

int QueueStepValue(TransferContext& context, std::uint16_t reg, const std::string& valueText,
                   int type) {
    if (reg == kWriterReset) {
        ResetWriter();
        return 0;
    }
    WriterState& writer = Writer();
    auto& table = StepTable();
    // Values must come in exact register order; a dword needs both its rows in this step.
    const bool inOrder = writer.step < kStepCount &&
                         table[TableIndex(writer.step, writer.row)].reg == reg &&
                         (type != kValueDword || writer.row + 1 < kRowsPerStep);
    if (!inOrder) {
        ShowFormatErrorWithCountermeasure(context.ui);
        return -1;
    }
    const std::size_t index = TableIndex(writer.step, writer.row);
    RegisterRow& first = table[index];
    const std::size_t at = ImageOffset(writer.step, writer.row);
    std::size_t rowsStored = 1;
    if (type == kValueDword) {
        first.writeValue = HexDigits(valueText, 0, 4);
        table[index + 1].writeValue = HexDigits(valueText, 4, 4);
        PutWord(at, first.writeValue);
        PutWord(at + 2, table[index + 1].writeValue);
        rowsStored = 2;
    } else {
        first.writeValue = HexDigits(valueText, 0, 4);
        PutWord(at, first.writeValue);
    }
    writer.lastReg = reg;
    writer.imageLength = at + 2 * rowsStored;

    if (first.writeBlockEnd == kBlockEnd || writer.count >= kMaxValuesPerBlock - 1) {
        if (WriteRegisters(context.link, context.stationId, table[writer.blockStartRow].reg,
                           writer.image.data() + writer.blockStartOffset,
                           static_cast<int>(writer.imageLength - writer.blockStartOffset)) != 0) {
            return -1;
        }
        writer.count = 0;
        writer.blockStartRow = index + rowsStored;
        writer.blockStartOffset = writer.imageLength;
    } else {
        ++writer.count;
    }

    writer.row += rowsStored;
    if (writer.row >= kRowsPerStep) {
        ++writer.step;
        writer.row = 0;
        writer.blockStartRow = TableIndex(writer.step, 0);
        writer.blockStartOffset = ImageOffset(writer.step, 0);
    }
    return 0;
}

int ReadStepRegisters(TransferContext& context, int rebuild) {
    if (rebuild == 1) {
        RebuildStepTable();
        Writer().image.fill(0);
    }
    auto& table = StepTable();
    for (auto& row : table) {
        row.readValue = 0;
    }
    for (std::size_t step = 0; step < kStepCount; ++step) {
        std::size_t row = 0;
        while (table[TableIndex(step, row)].readBlockEnd != kBlockEndTerminator) {
            const std::size_t first = row;
            for (;;) {
                const bool flagged = table[TableIndex(step, row)].readBlockEnd == kBlockEnd;
                ++row;
                if (flagged || row - first >= kMaxRowsPerRead ||
                    table[TableIndex(step, row)].readBlockEnd == kBlockEndTerminator) {
                    break;
                }
            }
            std::array<std::uint8_t, 2 * kMaxRowsPerRead> reply{};
            if (ReadRegisters(context.link, context.stationId, RowRegister(step, first),
                              static_cast<std::uint16_t>(row - first), reply.data()) != 0) {
                return -1;
            }
            for (std::size_t r = first; r < row; ++r) {
                const std::size_t at = 2 * (r - first);
                table[TableIndex(step, r)].readValue = reply[at] * 256u + reply[at + 1];
            }
        }
    }
    return 0;
}

int VerifyStepRegisters(TransferContext& context) {
    // Rows that were never read would compare against 0: a failed read is a failed check.
    if (ReadStepRegisters(context, 0) != 0) {
        return -1;
    }
    const auto& table = StepTable();
    int result = 0;
    for (std::size_t step = 0; step < kStepCount; ++step) {
        for (std::size_t row = 0; row < kRowsPerStep; ++row) {
            const RegisterRow& entry = table[TableIndex(step, row)];
            if (entry.readValue == entry.writeValue) {
                continue;
            }
            result = -1;
            if (context.differences == nullptr) {
                return result;
            }
            context.differences->push_back(
                {RowRegister(step, row), entry.key, entry.writeValue, entry.readValue});
        }
    }
    return result;
}

namespace {

// Queues the steps of an opened step data file from the line after its header. 0, or -1
// after the message has been shown.
int QueueFileSteps(TransferContext& context, CFileCtrl& file, int valueColumn, int span, int offset,
                   long denominator) {
    std::uint16_t reg = kStepFirstReg;
    long line = 0;  // lines read since the header
    for (;;) {
        std::string stepCell;
        if (GetField(stepCell, file, kStepColumn) != 0 || stepCell.empty()) {
            return 0;
        }
        for (int rowNumber = 0; rowNumber < 15; ++rowNumber, ++line) {
            ShowProgress(context.ui, offset + span * (line + 2) / denominator);
            std::string cell;
            std::string kind;
            long number = -1;
            GetField(cell, file, kRowColumn);
            GetField(kind, file, kKindColumn);
            if (!ScanDecimal(cell, number) || number != rowNumber || kind.empty()) {
                ShowFormatError(context.ui);
                return -1;
            }
            GetField(cell, file, valueColumn);
            const long value = DecimalOrZero(cell);
            char text[16];
            int queued = 0;
            if (kind == "W") {
                // A negative 16-bit value goes in as its two's complement, so that the
                // register and the row agree.
                std::snprintf(text, sizeof text, "%04x",
                              static_cast<unsigned>(value < 0 ? (value & 0xFFFF) : value));
                queued = QueueStepValue(context, reg, text, kValueWord);
                reg = static_cast<std::uint16_t>(reg + 1);
            } else if (kind == "2W") {
                std::snprintf(text, sizeof text, "%08x",
                              static_cast<unsigned>(static_cast<std::uint32_t>(value)));
                queued = QueueStepValue(context, reg, text, kValueDword);
                reg = static_cast<std::uint16_t>(reg + 2);
                // The continuation line carries no value of its own.
                SkipLines(file, 1);
                ++rowNumber;
                ++line;
            }
            if (queued != 0) {
                return -1;
            }
            SkipLines(file, 1);
        }
    }
}

}  // namespace

int WriteStepsFromData(TransferContext& context, const stADP_FORMAT& record, int span, int offset) {
    Ui& ui = context.ui;
    const std::string path = ResolveDataFile(record, record.strStepFile);
    ui.setStatusText(MessageText(kMsgProgressStateStepfileScanning));

    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        ShowFileOpenError(ui);
        return -1;
    }
    HeaderInfo header;
    if (FindHeader(file, record.strParamColumn, header) != 0) {
        ShowFormatError(ui);
        return -1;
    }
    int sumLine = -1;
    if (!ChecksumMatches(file, header.headerLine, kKindColumn, header.valueColumn, sumLine)) {
        ShowFormatErrorWithCountermeasure(ui);
        return -1;
    }
    const long denominator = ProgressDenominator(sumLine);

    GoToFirstDataLine(file, header.headerLine);
    QueueStepValue(context, kWriterReset, std::string(), 0);
    ui.setStatusText(MessageText(kMsgProgressStateStepwrite));
    if (QueueFileSteps(context, file, header.valueColumn, span, offset, denominator) != 0) {
        return -1;
    }
    file.Close();

    ui.setStatusText(MessageText(kMsgProgressStateVerify));
    if (VerifyStepRegisters(context) != 0) {
        ShowVerifyError(ui);
        QueueStepValue(context, kWriterReset, std::string(), 0);
        return -1;
    }
    QueueStepValue(context, kWriterReset, std::string(), 0);
    return 0;
}

}  // namespace velmora
