#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::test {

// What the line peer (line_peer.h) answers, as the serial port's contract tests speak it.
// Commands, sent by the port under test (numbers big-endian):
enum class PeerCommand : std::uint8_t {
    Ping = 'P',       // -> "OK"
    Status = 'S',     // -> the line's settings as text, e.g. "38400 8N1 raw noflow\n"
    Echo = 'E',       // u16 n, n bytes -> the same n bytes
    SendLater = 'T',  // u16 n, u16 ms -> after ms milliseconds, n bytes of PeerPattern
    Count = 'C',      // u32 n, n bytes -> u32 n, u32 PeerHash of the bytes
    Cook = 'K',       // -> "ok\n" on a line made cooked: 7E2, 1200 bit/s, echo, flow control
    Vanish = 'V',     // -> nothing; the device goes away
};

// The bytes SendLater sends.
inline std::uint8_t PeerPattern(std::size_t index) {
    return static_cast<std::uint8_t>(index * 7 + 3);
}

// FNV-1a, which Count answers with.
inline std::uint32_t PeerHash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash;
}

}  // namespace velmora::test
