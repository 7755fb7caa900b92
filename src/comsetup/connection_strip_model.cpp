#include "comsetup/connection_strip_model.h"

#include <cstdio>

#include "comsetup/settings_page_model.h"
#include "platform/local_time.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

constexpr const char* kGap = "   ";

std::string ClockText(std::time_t when) {
    std::tm local{};
    if (when == 0 || !LocalTime(when, local)) {
        return {};
    }
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

}  // namespace

ConnectionStripView FormatConnectionStrip(const ConnectionFacts& facts) {
    ConnectionStripView view;
    view.training = facts.virtualController;
    const std::string port =
        facts.virtualController ? MessageText(kMsgStripVirtualController) : facts.portDescription;
    if (facts.station < 0 || port.empty()) {
        // The training marker stays even then: the user is about to check the virtual one.
        view.text = MessageText(kMsgStripNotChecked);
        if (facts.virtualController) {
            view.text = port + kGap + view.text;
        }
        return view;
    }
    view.identified = true;
    view.text = MessageText(kMsgStripPort) + " " + port + kGap + MessageText(kMsgStripStation) +
                " " + std::to_string(facts.station);
    if (facts.bitRate > 0) {
        view.text += kGap + std::to_string(facts.bitRate) + " " + MessageText(kMsgStripBitRate);
    }
    if (!facts.controllerVersion.empty()) {
        view.text += kGap + MessageText(kMsgStripSv) + " " + facts.controllerVersion;
    }
    if (const std::string clock = ClockText(facts.checkedAt); !clock.empty()) {
        view.text += kGap + MessageText(kMsgStripChecked) + " " + clock;
    }
    return view;
}

ConnectionFacts CurrentConnectionFacts(const std::string& portPath, int bitRate,
                                       const std::string& virtualPath,
                                       const std::string& sysTtyDir) {
    const AppState& app = App();
    ConnectionFacts facts;
    facts.station = app.commSettings.activeStationId;
    facts.virtualController = !virtualPath.empty() && portPath == virtualPath;
    facts.portDescription = portPath.empty() ? std::string() : DescribePort(portPath, sysTtyDir);
    facts.bitRate = bitRate;
    facts.controllerVersion = app.lastCheck.controllerVersion;
    facts.checkedAt = app.lastCheck.when;
    return facts;
}

}  // namespace velmora
