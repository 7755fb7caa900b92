#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/ui.h"
#include "link/rtu_master.h"

namespace velmora {

// The bit rates an automatic search tries for each station, in this order.
inline constexpr std::array<std::uint32_t, 6> kSearchBitRates = {9600,  19200,  38400,
                                                                 57600, 115200, 230400};
inline constexpr int kSearchFirstStation = 1;
inline constexpr int kSearchLastStation = 32;
inline constexpr int kSearchAttempts =
    (kSearchLastStation - kSearchFirstStation + 1) * static_cast<int>(kSearchBitRates.size());

// Results of SearchAndCheck.
enum SearchResult : int {
    kSearchCancelled = -1,
    kSearchAccepted = 0,  // found, and the rules allow it (or the user accepted their warning)
    kSearchNotFound = 1,
    kSearchRejected = 2,  // found, but the user declined the warning or the rules refuse it
};

// What the settings page holds when the check starts: the texts of its lists.
struct SearchParameters {
    std::string portName;
    bool automatic = true;
    std::string idText;       // manual check only
    std::string bitRateText;  // manual check only
};

// Finds (automatic) or checks (manual) the controller on the link's open port, stores the
// station and bit rate in App().commSettings and runs the communication restriction check,
// which sets App().commCheckState and, where the verdict says so, App().functionEnables.
// Cancel (ui.cancelRequested) is honoured between attempts and ends without a message.
int SearchAndCheck(RtuMaster& link, const SearchParameters& parameters, Ui& ui);

// The steps after the search: forgets the station unless one was found. Returns whether the
// settings frame may be left with OK.
bool ApplySearchOutcome(int result);

// The check button: opens the port named in the parameters (an error box and -1 when it
// cannot be opened, without searching), then searches and applies the outcome. Returns the
// search's result.
int StartSearch(RtuMaster& link, const SearchParameters& parameters, Ui& ui);

}  // namespace velmora
