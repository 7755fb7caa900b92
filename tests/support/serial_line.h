#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/serial_port.h"

namespace velmora::test {

// Collects bytes from the port until count have arrived or timeoutMs has passed.
inline std::vector<std::uint8_t> ReadBytes(SerialPort& port, std::size_t count, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !port.waitForInput(static_cast<int>(left))) {
            break;
        }
        std::uint8_t chunk[512];
        const std::size_t wanted = std::min(count - bytes.size(), sizeof chunk);
        const int got = port.read(chunk, wanted);
        if (got < 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

// Sends a whole frame; true when every byte went out.
inline bool SendBytes(SerialPort& port, const std::vector<std::uint8_t>& bytes) {
    return port.write(bytes.data(), bytes.size()) == static_cast<int>(bytes.size());
}

}  // namespace velmora::test
