#pragma once

// The reader of an actuator's data set: the parameter file and the step data file that a
// record of the actuator table names. Every caller that needs what a data set holds (the write
// by actuator, the data-set check) reads it here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/actuator_table.h"
#include "model/diagnostic.h"
#include "model/register_image.h"

namespace velmora {

// A value the file gives that does not fit its register: written as its low bits, as the
// data set's format has always done, but never without the user's consent.
struct MaskedValue {
    std::string file;
    int line = 0;               // 1-based line of the unscrambled text
    std::string given;          // the value as the file writes it
    std::uint32_t written = 0;  // what goes into the register(s)
    int bits = 16;              // width of the value: 8 (a byte), 16 or 32
};

// "value 300 does not fit a byte (0 to 255): written as 44"
std::string MaskedValueText(const MaskedValue& value);

struct DataSet {
    // Parameter area: every register from the parameter file, the unit name from the part
    // number. Step area: steps 0 to stepCount-1 from the step file. Only the parts read are
    // given.
    RegisterImage image;
    std::size_t stepCount = 0;
    std::vector<MaskedValue> masked;
    // What the data set names.
    std::string unitName;  // the part number's first 16 characters, as the controller holds them
    std::string svNo;
    std::string paramVersion;
};

struct DataSetReading {
    std::optional<DataSet> dataSet;  // set exactly when diagnostics is empty
    Diagnostics diagnostics;         // file by file (parameters, steps, the record), in line order
    // Every masked value found, also when there are diagnostics (the data-set check reports
    // them all); the data set carries the same list.
    std::vector<MaskedValue> masked;
};

// Reads the parameter file (parameters true) and the step file (steps true) of the record,
// validating all of it. Paths are resolved as the writers resolve them (relative list files
// against the program folder).
DataSetReading ReadDataSet(const stADP_FORMAT& record, bool parameters, bool steps);

// The same from files given by path, taken as they are (an empty path is not read): for the
// data-set check, whose folders need not lie below the program folder. The record gives the
// data column and the unit name; the part number is not checked here, the list check does
// that on the list line.
DataSetReading ReadDataSetFiles(const stADP_FORMAT& record, const std::string& parameterPath,
                                const std::string& stepPath);

// A stored (scrambled) file's text, in UTF-8, cut into lines at CR LF.
struct StoredLines {
    std::vector<std::string> lines;
    bool lastLineEnded = true;  // false: the last line has no CR LF after it
};

// Reads a stored file. Nothing, with the reason added to diagnostics (line 0), when it cannot
// be read, is cut short, is empty or does not unscramble into text.
std::optional<StoredLines> ReadStoredLines(const std::string& path, Diagnostics& diagnostics);

}  // namespace velmora
