#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/interrupts.h"
#include "comsetup/search_and_check.h"
#include "link/rtu_master.h"
#include "sysfiles/app_state.h"
#include "sysfiles/settings_file.h"

namespace velmora::cli {
namespace {

const char* CheckStateText(int state) {
    switch (state) {
        case kCommAllowed:
            return "allowed";
        case kCommWarningAccepted:
            return "warning accepted";
        case kCommWarningDeclined:
            return "warning declined";
        default:
            return "refused";
    }
}

int RunSearch(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
              RtuMaster& link, bool automatic, const char* name) {
    if (!args.empty()) {
        std::fprintf(stderr, "velmora-cli: %s takes no arguments\n", name);
        return kExitUsage;
    }
    CommSettings& settings = App().commSettings;
    SearchParameters parameters;
    parameters.portName = options.port.empty() ? settings.portName : options.port;
    parameters.automatic = automatic;
    parameters.idText = std::to_string(options.stationId.value_or(settings.connectionId));
    parameters.bitRateText = std::to_string(options.baudRate.value_or(settings.bitRate));

    int result = kSearchCancelled;
    {
        // Ctrl-C stops the search at its next test point, not with a request half on the line.
        SignalScope signals(ui, StopSignals::Cancel);
        result = StartSearch(link, parameters, ui);
    }
    ui.finishProgress();
    if (result == kSearchCancelled) {
        if (ui.cancelRequested()) {
            std::fprintf(stderr, "velmora-cli: %s cancelled\n", name);
            return kExitCancelled;
        }
        // Not cancelled: the port could not be opened.
        if (parameters.portName.empty()) {
            std::fprintf(stderr, "velmora-cli: no port set; use --port\n");
            return kExitUsage;
        }
        std::fprintf(stderr, "velmora-cli: cannot open %s: %s\n", parameters.portName.c_str(),
                     PortOpenFailureText(link.lastOpenError()).c_str());
        return kExitCommFailed;
    }
    if (result == kSearchNotFound)
        return kExitCommFailed;

    std::printf("port: %s\nstation: %d\nbit rate: %d\nverdict: %s\n", parameters.portName.c_str(),
                settings.activeStationId, settings.bitRate, CheckStateText(App().commCheckState));
    PrintVerdicts(link, static_cast<std::uint8_t>(settings.activeStationId), ui);
    if (result != kSearchAccepted)
        return kExitRefused;
    // Stored as the main window stores them when it closes; a pseudo-terminal does not outlive
    // the run that opened it, so the real controller's settings stay.
    settings.portName = parameters.portName;
    settings.autoSelect = automatic ? 1 : 0;
    SaveCommSettings(ModulePath(kCommSettingsFile), settings);
    if (IsPseudoTerminalPath(parameters.portName))
        std::printf("settings kept: %s is a pseudo-terminal\n", parameters.portName.c_str());
    return kExitSuccess;
}

int SearchCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                  Session& session) {
    return RunSearch(options, args, ui, session.master, true, "search");
}

int CheckCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                 Session& session) {
    return RunSearch(options, args, ui, session.master, false, "check");
}

}  // namespace

void AddCommCommands(CommandTable& table) {
    table["search"] = SearchCommand;
    table["check"] = CheckCommand;
}

}  // namespace velmora::cli
