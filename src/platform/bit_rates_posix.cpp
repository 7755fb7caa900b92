#include "platform/bit_rates.h"

#include "platform/termios_rates.h"

namespace velmora {

bool IsSupportedBitRate(std::uint32_t bitsPerSecond) {
    return SpeedForBitRate(bitsPerSecond).has_value();
}

}  // namespace velmora
