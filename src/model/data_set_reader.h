#pragma once

// The reader of an actuator's data set: the parameter file and the step data file that a
// record of the actuator table names. Every caller that needs what a data set holds (the write
// by actuator, the data-set check) reads it here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/actuator_table.h"
#include "model/diagnostic.h"
#include "model/register_image.h"

namespace velmora {

// A value the file gives that does not fit its register: written as its low bits, as the
// data set's format has always done, but never without the user's consent.
struct MaskedValue {
    std::string file;
    int line = 0;            // 1-based line of the unscrambled text
    std::string given;       // the value as the file writes it
    std::uint32_t written = 0;  // what goes into the register(s)
};

struct DataSet {
    // Parameter area: every register from the parameter file, the unit name from the part
    // number. Step area: steps 0 to stepCount-1 from the step file. Only the parts read are
    // given.
    RegisterImage image;
    std::size_t stepCount = 0;
    std::vector<MaskedValue> masked;
    // What the data set names.
    std::string unitName;  // the part number's first 16 characters
    std::string svNo;
    std::string paramVersion;
};

struct DataSetReading {
    std::optional<DataSet> dataSet;  // set exactly when diagnostics is empty
    Diagnostics diagnostics;
};

// Reads the parameter file (parameters true) and the step file (steps true) of the record,
// validating all of it. Paths are resolved as the writers resolve them (relative list files
// against the program folder).
DataSetReading ReadDataSet(const stADP_FORMAT& record, bool parameters, bool steps);

}  // namespace velmora
