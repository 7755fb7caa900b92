#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

namespace velmora {

struct TermiosRate {
    std::uint32_t bitsPerSecond;
    speed_t speed;
};

// The standard termios rates the link can use: the poll arithmetic needs at least 1024 bit/s.
inline constexpr TermiosRate kTermiosRates[] = {
    {1200, B1200},       {1800, B1800},   {2400, B2400},   {4800, B4800},     {9600, B9600},
    {19200, B19200},     {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

inline std::optional<speed_t> SpeedForBitRate(std::uint32_t bitsPerSecond) {
    for (const TermiosRate& rate : kTermiosRates) {
        if (rate.bitsPerSecond == bitsPerSecond) {
            return rate.speed;
        }
    }
    return std::nullopt;
}

// 0 for a speed code outside the table (B0, B300 and the like).
inline std::uint32_t BitRateForSpeed(speed_t speed) {
    for (const TermiosRate& rate : kTermiosRates) {
        if (rate.speed == speed) {
            return rate.bitsPerSecond;
        }
    }
    return 0;
}

}  // namespace velmora
