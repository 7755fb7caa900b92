#pragma once

#include <string>

#include "model/actuator_table.h"

namespace velmora {

// The texts the transmit dialog shows about the record it is about to write.
struct TransmitContents {
    std::string partNo;
    std::string controller;  // see ControllerPartNumberText
    std::string svNo;
    std::string paramVersion;
    std::string writeContents;  // as the opener's write-contents list shows it
};

// The controller's own part number: the controller with the IO specification's letter and the
// actuator part number when the IO specification is exactly "NPN" or "PNP", else the controller.
std::string ControllerPartNumberText(const stADP_FORMAT& record);

TransmitContents MakeTransmitContents(const stADP_FORMAT& record,
                                      const std::string& writeContentsText);

}  // namespace velmora
