#pragma once

#include <cstdint>

namespace velmora {

// True when the system serial port can be set to this rate (serial_port.h's configure may
// still be refused by a driver).
bool IsSupportedBitRate(std::uint32_t bitsPerSecond);

}  // namespace velmora
