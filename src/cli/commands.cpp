#include "cli/commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/link_messages.h"
#include "platform/bit_rates.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora::cli {
namespace {

// Words for an errno value from opening a port.
std::string PortErrorText(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "no such device — is the adapter plugged in?";
        case EACCES:
        case EPERM:
            return "permission denied — join the dialout group";
        case EBUSY:
            return "in use by another program";
        case ENOTTY:
            return "not a serial port";
        case 0:
            return "cannot be opened";
        default:
            return std::strerror(error);
    }
}

}  // namespace

std::string PortOpenFailureText(int osError) {
    return PortErrorText(osError);
}

int CommunicationFailed(Ui& ui, const LinkStatus& status) {
    ShowLinkError(ui, status);
    return status.error == LinkError::BadArgument ? kExitUsage : kExitCommFailed;
}

int FailureStatus(const LinkStatus& linkFailure) {
    return IsCommunicationFailure(linkFailure) ? kExitCommFailed : kExitFailure;
}

int Connect(const Options& options, RtuMaster& link, CliUi& ui, std::uint8_t& station) {
    const CommSettings& settings = App().commSettings;
    const std::string port = options.port.empty() ? settings.portName : options.port;
    const int baud = options.baudRate.value_or(settings.bitRate);
    const int id = options.stationId.value_or(settings.connectionId);
    // What the options give is bad usage; what the settings file gives is bad input.
    if (port.empty()) {
        ui.err("velmora-cli: no port set; use --port\n");
        return kExitUsage;
    }
    if (baud < 0 || !IsSupportedBitRate(static_cast<std::uint32_t>(baud))) {
        ui.err("velmora-cli: %d is not a bit rate the line can run at%s\n", baud,
               options.baudRate ? "" : " (from the settings file; use --baud)");
        return options.baudRate ? kExitUsage : kExitFailure;
    }
    if (id < 1 || id > 247) {
        ui.err("velmora-cli: no valid station ID (got %d); use --id\n", id);
        return kExitFailure;
    }
    if (const LinkStatus opened = link.open(port); !opened.ok()) {
        ui.showMessage(ComposeAlarmText(kMsgComsettingComopenErrorAlarmContents,
                                        kMsgComsettingComopenErrorCountermeasureContents),
                       MessageText(kMsgComsettingComopenErrorTitle), MessageIcon::Error,
                       MessageButtons::Ok);
        ui.err("velmora-cli: cannot open %s: %s\n", port.c_str(),
               PortOpenFailureText(opened.osError).c_str());
        return kExitCommFailed;
    }
    if (!link.configure(static_cast<std::uint32_t>(baud), settings.silentInterval, settings.delay)
             .ok()) {
        ui.err("velmora-cli: %s does not take the bit rate %d\n", port.c_str(), baud);
        return kExitCommFailed;
    }
    link.setRetries(settings.retries);
    station = static_cast<std::uint8_t>(id);
    return kExitSuccess;
}

const CommandTable& Commands() {
    static const CommandTable table = [] {
        CommandTable all;
        AddLinkCommands(all);
        AddDataCommands(all);
        AddCommCommands(all);
        AddJobCommands(all);
        AddDataCheckCommands(all);
        AddCompareCommands(all);
        AddHistoryCommands(all);
        return all;
    }();
    return table;
}

}  // namespace velmora::cli
