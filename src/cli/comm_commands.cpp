#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "cli/commands.h"
#include "comsetup/search_and_check.h"
#include "link/com_link.h"
#include "sysfiles/settings_file.h"

namespace velmora::cli {
namespace {

constexpr int kExitCancelled = 130;

std::atomic<ConsoleUi*> interruptTarget{nullptr};

extern "C" void OnInterrupt(int) {
    if (ConsoleUi* ui = interruptTarget.load())
        ui->requestCancel();
}

// Ctrl-C asks the search to stop at its next test point instead of killing the process
// with a request half on the line.
class InterruptToCancel {
  public:
    explicit InterruptToCancel(ConsoleUi& ui) {
        interruptTarget = &ui;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        installed_ = sigaction(SIGINT, &action, &previous_) == 0;
    }
    ~InterruptToCancel() {
        if (installed_)
            sigaction(SIGINT, &previous_, nullptr);
        interruptTarget = nullptr;
    }
    InterruptToCancel(const InterruptToCancel&) = delete;
    InterruptToCancel& operator=(const InterruptToCancel&) = delete;

  private:
    struct sigaction previous_ {};
    bool installed_ = false;
};

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
              bool automatic, const char* name) {
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

    CComLink link(ui);
    int result = kSearchCancelled;
    {
        InterruptToCancel interrupt(ui);
        result = StartSearch(link, parameters, ui);
    }
    ui.finishProgress();
    if (result == kSearchCancelled) {
        if (ui.cancelRequested()) {
            std::fprintf(stderr, "velmora-cli: %s cancelled\n", name);
            return kExitCancelled;
        }
        std::fprintf(stderr, "port: %s\n",
                     parameters.portName.empty() ? "(none set)" : parameters.portName.c_str());
        return kExitFailure;
    }
    if (result == kSearchNotFound)
        return kExitFailure;

    std::printf("port: %s\nstation: %d\nbit rate: %d\nverdict: %s\n", parameters.portName.c_str(),
                settings.activeStationId, settings.bitRate, CheckStateText(App().commCheckState));
    if (result != kSearchAccepted)
        return kExitRefused;
    // Stored as the main window stores them when it closes.
    settings.portName = parameters.portName;
    settings.autoSelect = automatic ? 1 : 0;
    WriteCommSettings(ModulePath(kCommSettingsFile), settings);
    return kExitSuccess;
}

int SearchCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui) {
    return RunSearch(options, args, ui, true, "search");
}

int CheckCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui) {
    return RunSearch(options, args, ui, false, "check");
}

}  // namespace

void AddCommCommands(CommandTable& table) {
    table["search"] = SearchCommand;
    table["check"] = CheckCommand;
}

}  // namespace velmora::cli
