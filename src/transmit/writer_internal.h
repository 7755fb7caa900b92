#pragma once

// Pieces the parameter and step writers share: message boxes, progress, the file's header and
// checksum scan, and the number reading the data files call for.

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "app/app_state.h"
#include "app/ui.h"
#include "data/actuator_table.h"
#include "data/field_reader.h"
#include "data/file_ctrl.h"
#include "sysfiles/language.h"

namespace velmora::writer_internal {

inline void ShowError(Ui& ui, const std::string& text, int titleId) {
    ui.showMessage(text, MessageText(titleId), MessageIcon::Error, MessageButtons::Ok);
}

inline void ShowFileOpenError(Ui& ui) {
    ShowError(ui,
              ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                               kMsgTransmitFileopenErrorCountermeasureContents),
              kMsgTransmitFileopenErrorTitle);
}

// The file's layout is wrong where it was read: no countermeasure to offer.
inline void ShowFormatError(Ui& ui) {
    ShowError(ui, MessageText(kMsgTransmitFormatErrorAlarmContents), kMsgTransmitFormatErrorTitle);
}

// The file or the order of its values is damaged: ask for a sound file.
inline void ShowFormatErrorWithCountermeasure(Ui& ui) {
    ShowError(ui,
              ComposeAlarmText(kMsgTransmitFormatErrorAlarmContents,
                               kMsgTransmitFormatErrorAlarmCountermeasureContents),
              kMsgTransmitFormatErrorTitle);
}

inline void ShowVerifyError(Ui& ui) {
    ShowError(ui,
              ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                               kMsgTransmitVerifyErrorAlarmCountermeasureContents),
              kMsgTransmitVerifyErrorTitle);
}

// The bar and the percent text take the lowest 8 bits of the position.
inline void ShowProgress(Ui& ui, long position) {
    ui.setProgress(static_cast<int>(position & 0xFF));
}

// A decimal number as the files hold it (leading blanks and a sign allowed); false when the
// text does not start with one.
inline bool ScanDecimal(const std::string& text, long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const long read = std::strtol(begin, &end, 10);
    if (end == begin) {
        return false;
    }
    value = read;
    return true;
}

// A value cell; text that is no number counts as 0.
inline long DecimalOrZero(const std::string& text) {
    long value = 0;
    ScanDecimal(text, value);
    return value;
}

// Where a data file named in the record lies. A list file given relative to the program
// folder is looked up there, as the shipped data folder is.
inline std::string ResolveDataFile(const stADP_FORMAT& record, const std::string& listedName) {
    std::string path = DataFilePath(record, listedName);
    if (!path.empty() && path.front() != '/' && !App().moduleFolder.empty()) {
        path = App().moduleFolder + path;
    }
    return path;
}

struct HeaderInfo {
    int numberColumn = -1;  // column of "No.", when one came before the heading
    int valueColumn = -1;
    int headerLine = -1;
};

// Reads field by field from the start until a field equals the heading. 0 when found.
inline int FindHeader(CFileCtrl& file, const std::string& heading, HeaderInfo& info) {
    info = HeaderInfo{};
    // An empty heading would match any empty cell: the list file names no column.
    if (heading.empty()) {
        return -1;
    }
    file.Seek(0, SeekFrom::Begin);
    int line = 0;
    int column = 0;
    std::string field;
    for (;;) {
        const int result = GetNextField(field, file);
        if (result == -1) {
            return -1;
        }
        if (result != -2) {
            if (field == "No.") {
                info.numberColumn = column;
            }
            if (field == heading) {
                info.valueColumn = column;
                info.headerLine = line;
                return 0;
            }
        }
        if (result == 0) {
            ++column;
        } else {
            ++line;
            column = 0;
        }
    }
}

// Adds a value cell to a running sum. False, leaving the sum alone, when the result would not
// fit: a sum the file's numbers push out of range cannot be checked.
inline bool AddToSum(long& sum, long value) {
    if ((value > 0 && sum > std::numeric_limits<long>::max() - value) ||
        (value < 0 && sum < std::numeric_limits<long>::min() - value)) {
        return false;
    }
    sum += value;
    return true;
}

// Positions the file at the start of the first line after the header. 0, or -1 when there is
// none.
inline int GoToFirstDataLine(CFileCtrl& file, int headerLine) {
    file.Seek(0, SeekFrom::Begin);
    return SkipLines(file, headerLine + 1);
}

// Sums the value column of every line after the header up to the line whose kind cell reads
// "sum". True when the sum matches; sumLine is that line's 0-based index. A file without a
// sum line does not pass.
inline bool ChecksumMatches(CFileCtrl& file, int headerLine, int kindColumn, int valueColumn,
                            int& sumLine) {
    sumLine = -1;
    if (GoToFirstDataLine(file, headerLine) != 0) {
        return false;
    }
    long sum = 0;
    bool inRange = true;
    for (int line = headerLine + 1;; ++line) {
        std::string kind;
        std::string value;
        if (GetField(kind, file, kindColumn) != 0 || GetField(value, file, valueColumn) != 0) {
            return false;
        }
        if (kind == "sum") {
            sumLine = line;
            long expected = 0;
            return inRange && ScanDecimal(value, expected) && expected == sum;
        }
        inRange = inRange && AddToSum(sum, DecimalOrZero(value));
        if (SkipLines(file, 1) != 0) {
            return false;
        }
    }
}

// The progress denominator: data lines when the header is on the third line. Never below 1.
inline long ProgressDenominator(int sumLine) {
    return sumLine - 3 > 0 ? sumLine - 3 : 1;
}

// Hex digits of part of a value text; missing digits read as nothing.
inline std::uint32_t HexDigits(const std::string& text, std::size_t first, std::size_t count) {
    if (first >= text.size()) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::strtoul(text.substr(first, count).c_str(), nullptr, 16));
}

}  // namespace velmora::writer_internal
