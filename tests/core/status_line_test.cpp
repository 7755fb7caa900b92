#include "cli/status_line.h"

#include <gtest/gtest.h>

namespace velmora::cli {
namespace {

TEST(StatusLine, ALongPortNameGivesWayBeforeTheProgress) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const struct {
        std::string name;
        std::size_t width;
        std::string expected;
    } cases[] = {
        {"/dev/ttyUSB0", 79, "/dev/ttyUSB0 [########............] 40% Writing step data..."},
        {byId, 79,
         "...USB_UART_A50285BI-if00-port0 [########............] 40% Writing step data..."},
        // A narrow terminal: the name keeps its distinctive end, the phase is cut.
        {byId, 50, "...BI-if00-port0 [########............] 40% Writin"},
        {"COM5", 10, "COM5 [####"},
    };
    for (const auto& c : cases) {
        const std::string line = StatusLine(c.name, 40, "Writing step data...", c.width);
        EXPECT_EQ(line, c.expected) << c.width;
        EXPECT_LE(line.size(), c.width);
    }
}

}  // namespace
}  // namespace velmora::cli
