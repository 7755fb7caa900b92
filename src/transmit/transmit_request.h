#pragma once

#include "model/actuator_table.h"

namespace velmora {

// Sources of a write, as the transmit dialog tells them apart.
inline constexpr int kFromActuatorSelection = 0;
inline constexpr int kFromBackupFile = 1;

// What a selection dialog hands to the transmit dialog when its start button is pressed.
struct TransmitRequest {
    stADP_FORMAT record;
    int writeContents = 0;  // 0 parameters and step data, 1 parameters only, 2 step data only
    int fromFile = kFromActuatorSelection;
};

}  // namespace velmora
