#pragma once

#include <string>
#include <vector>

namespace velmora {

// One fault in a data set: the file, the 1-based line of its unscrambled text (0: the file as a
// whole) and what is wrong, in words for the person who made the set.
struct DataProblem {
    std::string file;
    int line = 0;
    std::string message;

    bool operator==(const DataProblem&) const = default;
};

// What a check looked at.
struct DataCheckSummary {
    int listFiles = 0;
    int parameterFiles = 0;
    int stepFiles = 0;
    int actuators = 0;  // records the list files expand to
};

// Checks a data folder the way the program will read it: every "AdapterFile.vms" below folder
// must be a readable stored file whose lines name an actuator completely; every parameter and
// step file a line names must be there, hold the line's column heading, carry a "sum" line that
// matches that column, and lay out its rows as the writers read them (register cells, row
// kinds, row numbers, values that fit). Problems come in the order met, each once; none means
// the set may be shipped.
std::vector<DataProblem> CheckDataFolder(const std::string& folder,
                                         DataCheckSummary* summary = nullptr);

}  // namespace velmora
