#include "cli/commands.h"

#include <cstdio>

#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora::cli {

// Opens and configures the line from the options, falling back on the settings file.
// Returns the station ID to address, or -1 after telling the user what failed.
int Connect(const Options& options, CComLink& link, Ui& ui) {
    const CommSettings& settings = App().commSettings;
    const std::string port = options.port.empty() ? settings.portName : options.port;
    const int baud = options.baudRate.value_or(settings.bitRate);
    const int station = options.stationId.value_or(settings.connectionId);
    if (link.OpenPort(port) != 0) {
        ui.showMessage(ComposeAlarmText(kMsgComsettingComopenErrorAlarmContents,
                                        kMsgComsettingComopenErrorCountermeasureContents),
                       MessageText(kMsgComsettingComopenErrorTitle), MessageIcon::Error,
                       MessageButtons::Ok);
        std::fprintf(stderr, "port: %s\n", port.empty() ? "(none set)" : port.c_str());
        return -1;
    }
    if (baud < 1024 || link.ConfigurePort(static_cast<std::uint32_t>(baud), settings.silentInterval,
                                          settings.delay) != 0) {
        std::fprintf(stderr, "velmora-cli: cannot set the bit rate %d on %s\n", baud, port.c_str());
        return -1;
    }
    if (station < 1 || station > 247) {
        std::fprintf(stderr, "velmora-cli: no valid station ID (got %d); use --id\n", station);
        return -1;
    }
    return station;
}

const CommandTable& Commands() {
    static const CommandTable table = [] {
        CommandTable all;
        AddLinkCommands(all);
        AddDataCommands(all);
        AddCommCommands(all);
        AddJobCommands(all);
        AddDataCheckCommands(all);
        return all;
    }();
    return table;
}

}  // namespace velmora::cli
