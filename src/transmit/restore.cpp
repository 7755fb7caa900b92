#include "transmit/restore.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "link/register_ops.h"
#include "link/register_tables.h"
#include "transmit/parameter_writer.h"
#include "transmit/step_writer.h"
#include "transmit/writer_internal.h"

namespace velmora {
namespace {

using namespace writer_internal;

constexpr const char* kParameterLine = "Parameter";
constexpr const char* kStepDataLine = "StepData";
constexpr const char* kUnitNameCell = "D000E";
constexpr const char* kLastParameterCell = "D017F";
constexpr std::uint16_t kUnitNameReg = 0x000E;
constexpr std::size_t kUnitNameBytes = 16;
constexpr std::uint16_t kModeReg = 0x000C;
constexpr long kWritingModeLowByte = 200;
constexpr int kLastStepRowNumber = 15;

enum class RowKind { Word, Dword, BytePair, Text };

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Hex(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Field of the line after the current one; false when there is no further line. The position
// is left where it was.
bool NextLineField(CFileCtrl& file, int index, std::string& out) {
    out.clear();
    const std::int64_t here = file.GetPosition();
    const bool present = SkipLines(file, 1) == 0 && GetField(out, file, index) != -1;
    file.Seek(here, SeekFrom::Begin);
    return present;
}

// A parameter group's packing, told by the line after its first line.
RowKind ParameterRowKind(CFileCtrl& file, const std::string& cell) {
    if (cell == kUnitNameCell) {
        return RowKind::Text;
    }
    if (cell == kLastParameterCell) {
        return RowKind::Word;
    }
    std::string next;
    if (!NextLineField(file, 0, next) || !next.empty()) {
        return RowKind::Word;
    }
    NextLineField(file, 1, next);
    return next.empty() ? RowKind::Dword : RowKind::BytePair;
}

// Lines after the current one up to the first "StepData" line or the end; never below 1.
long ParameterDenominator(CFileCtrl& file) {
    const std::int64_t first = file.GetPosition();
    long count = 0;
    std::string cell;
    while (SkipLines(file, 1) == 0 && GetField(cell, file, 0) != -1 && cell != kStepDataLine) {
        ++count;
    }
    file.Seek(first, SeekFrom::Begin);
    return std::max(count, 1L);
}

// The unit name row; the writer keeps its first 16 characters. A backup of a controller
// without a name holds no text, which the text write would refuse: the 16 zero bytes go out
// as a block of their own instead.
int QueueUnitName(TransferContext& context, const std::string& name) {
    if (name.empty()) {
        const std::array<std::uint8_t, kUnitNameBytes> zeros{};
        return WriteRegisters(context.link, context.stationId, kUnitNameReg, zeros.data(),
                              static_cast<int>(zeros.size()));
    }
    return QueueParameterValue(context, kUnitNameReg, name, kValueText, 0);
}

// Queues one parameter group starting at the current line, whose upper-cased first cell names
// reg. linesUsed receives the lines it took. 0; -1 when a request failed; 1 when the file ends
// inside the line, whose value is then not whole.
int QueueParameterGroup(TransferContext& context, CFileCtrl& file, const std::string& cell,
                        std::uint16_t reg, int& linesUsed) {
    std::string value;
    if (GetField(value, file, 2) != 0) {
        return 1;
    }
    linesUsed = 1;
    switch (ParameterRowKind(file, cell)) {
        case RowKind::Text:
            return QueueUnitName(context, value);
        case RowKind::Word:
            return QueueParameterValue(
                context, reg, Hex("%04x", static_cast<unsigned>(DecimalOrZero(value) & 0xFFFF)),
                kValueWord, 0);
        case RowKind::Dword:
            linesUsed = 2;
            return QueueParameterValue(
                context, reg,
                Hex("%08x",
                    static_cast<unsigned>(static_cast<std::uint32_t>(DecimalOrZero(value)))),
                kValueDword, 0);
        case RowKind::BytePair: {
            linesUsed = 2;
            std::string second;
            NextLineField(file, 2, second);
            // The controller must stay in its writing mode whatever the backup holds.
            const long low = reg == kModeReg ? kWritingModeLowByte : DecimalOrZero(second);
            const auto word =
                static_cast<unsigned>((DecimalOrZero(value) & 0xFF) * 256 + (low & 0xFF));
            return QueueParameterValue(context, reg, Hex("%04x", word), kValueWord, 0);
        }
    }
    return 0;
}

// Step section: the next line's value tells a word (a number) from a dword (the dashes of its
// continuation line). A sign before the digits still makes a number, so that a negative word
// after a row does not turn that row into a dword.
bool NextLineHoldsNumber(CFileCtrl& file) {
    std::string next;
    NextLineField(file, 2, next);
    std::size_t at = 0;
    if (!next.empty() && (next[0] == '-' || next[0] == '+')) {
        at = 1;
    }
    return at < next.size() && std::isdigit(static_cast<unsigned char>(next[at])) != 0;
}

// Lines from the one after the current line to the end; never below 1.
long StepDenominator(CFileCtrl& file) {
    const std::int64_t first = file.GetPosition();
    long count = 0;
    while (SkipLines(file, 1) == 0 && file.GetPosition() < file.GetLength()) {
        ++count;
    }
    file.Seek(first, SeekFrom::Begin);
    return std::max(count, 1L);
}

// Queues the steps from the current line (the first after "StepData"). 0, or -1 after the
// message, if any, has been shown.
int QueueBackupSteps(TransferContext& context, CFileCtrl& file, int span, int offset,
                     long denominator) {
    std::uint16_t reg = kStepFirstReg;
    long line = 0;
    std::string cell;
    while (GetField(cell, file, 0) == 0 && !cell.empty()) {
        int rowNumber = 0;
        do {
            ShowProgress(context.ui, offset + span * (line + 2) / denominator);
            long number = -1;
            GetField(cell, file, 1);
            if (!ScanDecimal(cell, number) || number != rowNumber) {
                ShowFormatError(context.ui);
                return -1;
            }
            const bool word = NextLineHoldsNumber(file);
            // A row the end of the file cuts short has no whole value to write.
            if (GetField(cell, file, 2) != 0) {
                ShowFormatError(context.ui);
                return -1;
            }
            const long value = DecimalOrZero(cell);
            int queued = 0;
            if (word) {
                // A negative word goes in as its two's complement.
                const auto bits = static_cast<unsigned>(value < 0 ? (value & 0xFFFF) : value);
                queued = QueueStepValue(context, reg, Hex("%04x", bits), kValueWord);
                reg = static_cast<std::uint16_t>(reg + 1);
            } else {
                queued = QueueStepValue(
                    context, reg,
                    Hex("%08x", static_cast<unsigned>(static_cast<std::uint32_t>(value))),
                    kValueDword);
                reg = static_cast<std::uint16_t>(reg + 2);
                SkipLines(file, 1);  // the continuation line
                ++rowNumber;
                ++line;
            }
            if (queued != 0) {
                return -1;
            }
            SkipLines(file, 1);
            ++rowNumber;
            ++line;
        } while (rowNumber < kLastStepRowNumber);
    }
    return 0;
}

}  // namespace

int WriteParametersFromBackup(TransferContext& context, const std::string& path, int span) {
    Ui& ui = context.ui;
    QueueParameterValue(context, kWriterReset, std::string(), 0, 0);
    ui.setStatusText(MessageText(kMsgProgressStateParameterfileScanning));

    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        ShowFileOpenError(ui);
        return -1;
    }
    std::string cell;
    if (SkipLines(file, 1) != 0 || GetField(cell, file, 0) != 0 || cell != kParameterLine) {
        ShowFormatError(ui);
        return -1;
    }
    SkipLines(file, 1);
    const long denominator = ParameterDenominator(file);

    ui.setStatusText(MessageText(kMsgProgressStateParameterwrite));
    long lineIndex = 2;
    auto showProgress = [&] {
        ShowProgress(ui, std::min<long>(span, span * (lineIndex + 1) / denominator));
    };
    showProgress();
    for (;;) {
        if (GetField(cell, file, 0) != 0) {
            break;
        }
        cell = Upper(cell);
        unsigned regNumber = 0;
        // A key that names no register ends the section like any other line.
        if (cell.empty() || cell.front() != 'D' ||
            std::sscanf(cell.c_str() + 1, "%x", &regNumber) != 1) {
            break;
        }
        int linesUsed = 1;
        const int queued = QueueParameterGroup(context, file, cell,
                                               static_cast<std::uint16_t>(regNumber), linesUsed);
        if (queued < 0) {
            return -1;
        }
        if (queued > 0) {
            // A cut-off last row would write a wrong value and could still verify.
            ShowFormatError(ui);
            return -1;
        }
        lineIndex += linesUsed;
        if (SkipLines(file, linesUsed) != 0) {
            break;
        }
        showProgress();
    }
    // No flush: the "D017F" row closes the last block by its flag, so a file that lacks it
    // leaves that block unsent and the verification reports it.
    file.Close();

    ui.setStatusText(MessageText(kMsgProgressStateVerify));
    const int verified = VerifyParameterRegisters(context);
    QueueParameterValue(context, kWriterReset, std::string(), 0, 0);
    if (verified != 0) {
        ShowVerifyError(ui);
        return -1;
    }
    return 0;
}

int WriteStepsFromBackup(TransferContext& context, const std::string& path, int span, int offset) {
    Ui& ui = context.ui;
    QueueStepValue(context, kWriterReset, std::string(), 0);
    ui.setStatusText(MessageText(kMsgProgressStateStepfileScanning));

    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        ShowFileOpenError(ui);
        return -1;
    }
    std::string cell;
    if (SkipLines(file, 1) != 0) {
        ShowFormatError(ui);
        return -1;
    }
    for (;;) {
        GetField(cell, file, 0);
        if (cell == kStepDataLine) {
            break;
        }
        if (SkipLines(file, 1) != 0) {
            ShowFormatError(ui);
            return -1;
        }
    }
    SkipLines(file, 1);
    const long denominator = StepDenominator(file);

    ui.setStatusText(MessageText(kMsgProgressStateStepwrite));
    if (QueueBackupSteps(context, file, span, offset, denominator) != 0) {
        return -1;
    }
    file.Close();

    ui.setStatusText(MessageText(kMsgProgressStateVerify));
    const int verified = VerifyStepRegisters(context);
    QueueStepValue(context, kWriterReset, std::string(), 0);
    if (verified != 0) {
        ShowVerifyError(ui);
        return -1;
    }
    return 0;
}

}  // namespace velmora
