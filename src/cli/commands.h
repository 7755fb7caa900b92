#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_ui.h"
#include "link/com_link.h"

namespace velmora::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// The controller's software version does not allow the operation (rule file).
inline constexpr int kExitRefused = 3;

struct Options {
    std::string root;
    std::string port;
    std::optional<int> stationId;
    std::optional<int> baudRate;
    bool assumeYes = false;
    // Options of single commands by name without the dashes: "--sv 1.10" as {"sv", "1.10"};
    // a flag such as "--json" maps to an empty value.
    std::map<std::string, std::string> commandOptions;
};

using Command =
    std::function<int(const Options&, const std::vector<std::string>& args, ConsoleUi& ui)>;
using CommandTable = std::map<std::string, Command>;

const CommandTable& Commands();

// Each group of commands adds itself to the table.
void AddLinkCommands(CommandTable& table);
void AddDataCommands(CommandTable& table);
void AddCommCommands(CommandTable& table);
void AddJobCommands(CommandTable& table);
void AddDataCheckCommands(CommandTable& table);

// Opens and configures the line from the options, falling back on the settings file. Returns
// the station ID to address, or -1 after telling the user what failed.
int Connect(const Options& options, CComLink& link, Ui& ui);

}  // namespace velmora::cli
