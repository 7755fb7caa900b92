#pragma once

#include <ctime>
#include <string>

namespace velmora {

// What the connection strip is made from: the line in use and the controller identified on it.
struct ConnectionFacts {
    int station = -1;                // -1: no controller identified
    std::string portDescription;     // the port as the port list describes it
    bool virtualController = false;  // the port is the built-in virtual controller's
    int bitRate = 0;
    std::string controllerVersion;  // empty when not read
    std::time_t checkedAt = 0;      // 0: unknown
};

struct ConnectionStripView {
    std::string text;
    bool identified = false;
    // The built-in virtual controller: shown so that nobody takes it for a real one.
    bool training = false;
};

// The strip's one line from the message table, e.g.
// "Port: /dev/ttyUSB0 (FTDI FT232R)   Station ID: 1   38400 bit/s   SV 2.10   checked at 14:03:05".
ConnectionStripView FormatConnectionStrip(const ConnectionFacts& facts);

// The facts of the program's state for the line on portPath at bitRate; virtualPath is the
// built-in virtual controller's port (empty when none runs).
ConnectionFacts CurrentConnectionFacts(const std::string& portPath, int bitRate,
                                       const std::string& virtualPath,
                                       const std::string& sysTtyDir = "/sys/class/tty");

}  // namespace velmora
