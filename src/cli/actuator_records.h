#pragma once

// What several commands share: their own options, the actuator table of the program folder and
// choosing one record of it.

#include <filesystem>
#include <string>
#include <vector>

#include "app/ui.h"
#include "cli/commands.h"
#include "model/actuator_table.h"

namespace velmora::cli {

std::string CommandOption(const Options& options, const std::string& name);
bool HasCommandOption(const Options& options, const std::string& name);

// The program folder, absolute, so that the records' list file paths name their data files from
// anywhere.
std::filesystem::path ProgramRoot();

// The data set a record comes from: the folder of its list file below System/Data, or below the
// program folder for a list file elsewhere in it.
std::string DataSetOf(const stADP_FORMAT& record);

// The whole program folder, as the actuator selection dialog searches it.
std::vector<stADP_FORMAT> LoadTable(Ui& ui);

// text as a JSON string, quotes included.
std::string JsonString(const std::string& text);

// What tells records of one part number, SV number and IO specification apart.
struct RecordChoice {
    std::string controller;
    std::string stroke;
    std::string dataSet;
};

// The one record of the part number with this SV number and IO specification (narrowed by the
// choice), or the exit status after telling the user what there is instead.
int FindRecord(const std::vector<stADP_FORMAT>& table, const std::string& partNo,
               const std::string& svNo, const std::string& ioSpec, const RecordChoice& choice,
               stADP_FORMAT& found);

// Whether --part-no, --sv and --io are all given, and not empty.
bool NamesActuator(const Options& options);

// The record --part-no, --sv and --io (narrowed by --controller, --stroke, --data-set) name;
// the status of FindRecord.
int ChooseActuator(const Options& options, Ui& ui, stADP_FORMAT& found);

}  // namespace velmora::cli
