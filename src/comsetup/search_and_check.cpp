#include "comsetup/search_and_check.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "link/register_ops.h"
#include "rules/restriction.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

// "%d" of a list's text; 0 when it holds no number (no controller answers at station 0).
int ListNumber(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || value > INT_MAX || value < INT_MIN)
        return 0;
    return static_cast<int>(value);
}

std::string SearchStatusText(int stationId, std::uint32_t bitRate) {
    return MessageText(kMsgProgressStateSearch) + "\tID:" + std::to_string(stationId) + "\t" +
           std::to_string(bitRate) + "bps";
}

void ShowFound(const std::string& portName, int stationId, const std::string& bitRateText, Ui& ui) {
    const std::string text =
        MessageText(kMsgComsettingComsearchOkContents1) + "\n" +
        MessageText(kMsgComsettingComsearchOkContents2) + "\n  " + portName + "\n" +
        MessageText(kMsgComsettingComsearchOkContents3) + "\n  " + std::to_string(stationId) +
        "\n" + MessageText(kMsgComsettingComsearchOkContents4) + "\n  " + bitRateText + "bps\n\n";
    ui.showMessage(text, MessageText(kMsgComsettingComsearchOkTitle), MessageIcon::Information,
                   MessageButtons::Ok);
}

int NotFound(Ui& ui) {
    ui.showMessage(MessageText(kMsgComsettingComsearchNgContents),
                   MessageText(kMsgComsettingComsearchNgTitle), MessageIcon::Error,
                   MessageButtons::Ok);
    App().commSettings.activeStationId = -1;
    return kSearchNotFound;
}

// An accepted check: the strip shows when it was made and what the controller said it runs.
void RecordCheck(const RestrictionResult& result) {
    App().lastCheck = {std::time(nullptr), result.versionRead ? result.controllerVersion : ""};
}

void StoreEnables(const RestrictionResult& result) {
    FunctionEnables& enables = App().functionEnables;
    enables.actuatorWriteEnabled = result.actuatorWriteEnabled;
    enables.fileWriteEnabled = result.fileWriteEnabled;
    enables.backupEnabled = result.backupEnabled;
}

// The controller answered: remember it and let the rules decide what it may do.
int Found(RtuMaster& link, int stationId, int bitRate, const std::string& bitRateText,
          const std::string& portName, Ui& ui) {
    ShowFound(portName, stationId, bitRateText, ui);
    CommSettings& settings = App().commSettings;
    settings.bitRate = bitRate;
    settings.connectionId = stationId;
    settings.activeStationId = stationId;

    RestrictionResult result;
    const int verdict = CheckFunctionalRestriction(link, static_cast<std::uint8_t>(stationId),
                                                   RestrictComm, 0, result, ui);
    switch (PresentRestrictionVerdict(verdict, result, ui)) {
        case RestrictionOutcome::Allowed:
            App().commCheckState = kCommAllowed;
            StoreEnables(result);
            RecordCheck(result);
            return kSearchAccepted;
        case RestrictionOutcome::WarningAccepted:
            App().commCheckState = kCommWarningAccepted;
            StoreEnables(result);
            RecordCheck(result);
            return kSearchAccepted;
        case RestrictionOutcome::WarningDeclined:
            App().commCheckState = kCommWarningDeclined;
            return kSearchRejected;
        case RestrictionOutcome::Refused:
            App().commCheckState = kCommRefused;
            StoreEnables(result);
            return kSearchRejected;
        case RestrictionOutcome::Undecided:
            break;
    }
    App().commCheckState = kCommRefused;
    return kSearchRejected;
}

// The station and rate that answered last time, when they are ones the search would try.
std::optional<std::pair<int, std::uint32_t>> LastAnswered(const CommSettings& settings) {
    const bool knownRate =
        std::find(kSearchBitRates.begin(), kSearchBitRates.end(),
                  static_cast<std::uint32_t>(settings.bitRate)) != kSearchBitRates.end();
    if (!knownRate || settings.connectionId < kSearchFirstStation ||
        settings.connectionId > kSearchLastStation) {
        return std::nullopt;
    }
    return std::pair{settings.connectionId, static_cast<std::uint32_t>(settings.bitRate)};
}

int AutomaticSearch(RtuMaster& link, const std::string& portName, Ui& ui) {
    const CommSettings& settings = App().commSettings;
    const auto last = LastAnswered(settings);
    App().commSettings.activeStationId = -1;
    // A controller that has not changed answers where it answered last time: one echo finds it
    // instead of up to 192. When it does not, the search runs its whole order as always.
    if (last) {
        const auto [station, bitRate] = *last;
        if (ui.cancelRequested())
            return kSearchCancelled;
        ui.setStatusText(SearchStatusText(station, bitRate));
        if (link.configure(bitRate, settings.silentInterval, settings.delay).ok() &&
            EchoTest(link, static_cast<std::uint8_t>(station)).ok()) {
            return Found(link, station, static_cast<int>(bitRate), std::to_string(bitRate),
                         portName, ui);
        }
    }
    int attempt = 1;
    for (int station = kSearchFirstStation; station <= kSearchLastStation; ++station) {
        if (ui.cancelRequested())
            return kSearchCancelled;
        for (const std::uint32_t bitRate : kSearchBitRates) {
            if (ui.cancelRequested())
                return kSearchCancelled;
            ui.setStatusText(SearchStatusText(station, bitRate));
            ui.setProgress(attempt * 100 / kSearchAttempts);
            ++attempt;
            // An adapter that cannot take this rate stays at the last one; an answer there would
            // be recorded under the wrong rate, so the attempt counts as missed.
            if (!link.configure(bitRate, settings.silentInterval, settings.delay).ok())
                continue;
            if (EchoTest(link, static_cast<std::uint8_t>(station)).ok()) {
                return Found(link, station, static_cast<int>(bitRate), std::to_string(bitRate),
                             portName, ui);
            }
        }
    }
    return NotFound(ui);
}

int ManualCheck(RtuMaster& link, const SearchParameters& parameters, const std::string& portName,
                Ui& ui) {
    const CommSettings& settings = App().commSettings;
    const int station = ListNumber(parameters.idText);
    const int bitRate = ListNumber(parameters.bitRateText);
    ui.setStatusText(SearchStatusText(station, static_cast<std::uint32_t>(std::max(bitRate, 0))));
    ui.setProgress(0);
    // A rate the line cannot take leaves the port at its last rate; no echo is sent, since an
    // answer there would be recorded under the chosen rate.
    const bool configured = bitRate > 0 && link.configure(static_cast<std::uint32_t>(bitRate),
                                                          settings.silentInterval, settings.delay)
                                               .ok();
    const bool answered = configured && EchoTest(link, static_cast<std::uint8_t>(station)).ok();
    if (ui.cancelRequested())
        return kSearchCancelled;
    if (!answered)
        return NotFound(ui);
    return Found(link, ListNumber(parameters.idText), ListNumber(parameters.bitRateText),
                 parameters.bitRateText, portName, ui);
}

}  // namespace

int SearchAndCheck(RtuMaster& link, const SearchParameters& parameters, Ui& ui) {
    const std::string portName = link.portName();
    if (parameters.automatic)
        return AutomaticSearch(link, portName, ui);
    return ManualCheck(link, parameters, portName, ui);
}

bool ApplySearchOutcome(int result) {
    if (result == kSearchNotFound || result == kSearchCancelled)
        App().commSettings.activeStationId = -1;
    return result == kSearchAccepted;
}

int StartSearch(RtuMaster& link, const SearchParameters& parameters, Ui& ui) {
    if (!link.open(parameters.portName).ok()) {
        ui.showMessage(ComposeAlarmText(kMsgComsettingComopenErrorAlarmContents,
                                        kMsgComsettingComopenErrorCountermeasureContents),
                       MessageText(kMsgComsettingComopenErrorTitle), MessageIcon::Error,
                       MessageButtons::Ok);
        return kSearchCancelled;
    }
    const int result = SearchAndCheck(link, parameters, ui);
    ApplySearchOutcome(result);
    return result;
}

}  // namespace velmora
