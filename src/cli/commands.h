#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_ui.h"

namespace velmora::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Options {
    std::string root;
    std::string port;
    std::optional<int> stationId;
    std::optional<int> baudRate;
    bool assumeYes = false;
};

using Command =
    std::function<int(const Options&, const std::vector<std::string>& args, ConsoleUi& ui)>;
using CommandTable = std::map<std::string, Command>;

const CommandTable& Commands();

}  // namespace velmora::cli
