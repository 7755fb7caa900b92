#pragma once

#include <string>

namespace velmora {

inline constexpr int kMaxRetries = 10;

// The communication settings as the program holds them while it runs.
struct CommSettings {
    int portNumber = 0;      // zero-based position in the port list; read, never written back
    int autoSelect = 0;      // 1 automatic search, 0 manual check
    int connectionId = 0;    // station ID for the manual check, 1-based
    int bitRate = 0;         // bit/s
    std::string portName;    // as stored: a device path, or COMn from an older file
    int silentInterval = 0;  // silent-interval factor; the link uses its low byte
    int delay = 0;           // response delay in milliseconds
    int retries = 2;         // repeats of a request after a line error; 0: sent once
    int activeStationId = 0; // station of the identified controller, -1 when none; never stored
};

}  // namespace velmora
