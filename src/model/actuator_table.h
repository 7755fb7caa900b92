#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/ui.h"
#include "model/file_ctrl.h"

namespace velmora {

// One actuator variant, as expanded from a line of an "AdapterFile.vms" list file.
struct stADP_FORMAT {
    std::string strDataFile;      // path of the list file the record came from
    std::string strPartNo;        // column 0
    std::string strModel;         // column 1
    std::string strController;    // column 2
    std::string strMotorDir;      // column 3
    std::string strLead;          // column 4
    std::string strStroke;        // column 5
    std::string strSVNo;          // column 6, always with two decimals
    std::string strIOSpec;        // column 7
    std::string strParamVersion;  // column 8
    std::string strParamFile;     // column 9, as listed (".csv")
    std::string strStepFile;      // column 10, as listed (".csv")
    std::string strParamColumn;   // column 11: value-column heading in the data files
    std::string strSpare;         // always empty

    bool operator==(const stADP_FORMAT&) const = default;
};

inline constexpr const char* kAdapterFileName = "AdapterFile.vms";

// Limits on what the list files may expand to. A line whose alternatives multiply beyond
// kMaxRecordsPerLine gives no record, like a line with an empty column; a line that would take
// the table past kMaxActuatorRecords gives none either. Without them a single line of '|'
// could ask for more records than any memory holds.
inline constexpr std::size_t kMaxRecordsPerLine = 4096;
inline constexpr std::size_t kMaxActuatorRecords = 131072;

// Reads the line at the position of an opened list file and appends one record for every
// combination of its alternatives (none beyond the limits above). 0 when a line was read (the
// position is then at the start of the next line); -1 when no complete line could be read.
int ReadAdapterLine(CFileCtrl& file, const std::string& path, std::vector<stADP_FORMAT>& table);

// The pieces of text between its "|" characters. A bar at the end adds no empty piece; empty
// text gives no piece.
void SplitAlternatives(const std::string& text, std::vector<std::string>& pieces);

// An SV number with two decimals: "2" -> "2.00", "1.1" -> "1.10", "1.123" -> "1.12"; a text
// ending in its point stays as it is.
std::string NormaliseSvNumber(const std::string& text);

// Rebuilds the table from every list file below root (a folder path without a trailing '/'),
// and the model names met, sorted. A list file that cannot be opened is reported and ends the
// loading: what earlier files gave stays, and the model names are then left unsorted.
void LoadActuatorTable(Ui& ui, const std::string& root, std::vector<stADP_FORMAT>& table,
                       std::vector<std::string>& models);

// Where a data file named in a record lies: beside the record's list file, under the listed
// name with ".vmw" for ".csv".
std::string DataFilePath(const stADP_FORMAT& record, const std::string& listedName);

}  // namespace velmora
