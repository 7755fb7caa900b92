#include <iterator>

#include "platform/bit_rates.h"

namespace velmora {

// The standard rates (those the Linux build offers too); a DCB takes any number, but a
// driver's answer to an odd one cannot be told from a working line.
bool IsSupportedBitRate(std::uint32_t bitsPerSecond) {
    static constexpr std::uint32_t kRates[] = {1200,    1800,    2400,    4800,    9600,    19200,
                                               38400,   57600,   115200,  230400,  460800,  500000,
                                               576000,  921600,  1000000, 1152000, 1500000, 2000000,
                                               2500000, 3000000, 3500000, 4000000};
    for (const std::uint32_t rate : kRates) {
        if (rate == bitsPerSecond) {
            return true;
        }
    }
    return false;
}

}  // namespace velmora
