#include "comsetup/connection_strip_model.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/local_time.h"
#include "support/scripted_ui.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

// The strip's texts come from the shipped English file.
class ConnectionStripTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = App().moduleFolder;
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        test::ScriptedUi ui;
        LoadMessageTable(ui);
    }
    void TearDown() override {
        App().moduleFolder = saved_;
        ResetLanguageStateForTesting();
    }
    std::string saved_;
};

// 14:03:05 today, local time.
std::time_t AtClock(int hour, int minute, int second) {
    std::tm local{};
    const std::time_t now = std::time(nullptr);
    EXPECT_TRUE(LocalTime(now, local));
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

struct StripCase {
    const char* name;
    ConnectionFacts facts;
    std::string text;
    bool identified;
    bool training;
};

TEST_F(ConnectionStripTest, FormatsEachState) {
    const std::time_t checked = AtClock(14, 3, 5);
    const StripCase cases[] = {
        {"nothing identified",
         {-1, "/dev/ttyUSB0", false, 38400, "2.10", checked},
         "No controller checked — check communication before writing",
         false,
         false},
        {"no port open",
         {1, "", false, 38400, "", 0},
         "No controller checked — check communication before writing",
         false,
         false},
        {"real controller",
         {3, "/dev/ttyUSB0 (FTDI FT232R USB UART, serial A1)", false, 115200, "2.10", checked},
         "Port: /dev/ttyUSB0 (FTDI FT232R USB UART, serial A1)   Station ID: 3   115200 bit/s   "
         "SV 2.10   checked at 14:03:05",
         true,
         false},
        {"version not read",
         {1, "/dev/ttyS0", false, 9600, "", checked},
         "Port: /dev/ttyS0   Station ID: 1   9600 bit/s   checked at 14:03:05",
         true,
         false},
        {"no check time",
         {1, "/dev/ttyS0", false, 9600, "1.00", 0},
         "Port: /dev/ttyS0   Station ID: 1   9600 bit/s   SV 1.00",
         true,
         false},
        {"virtual controller",
         {1, "/dev/pts/7", true, 38400, "2.10", checked},
         "Port: Virtual controller (training)   Station ID: 1   38400 bit/s   SV 2.10   "
         "checked at 14:03:05",
         true,
         true},
        {"virtual controller, not checked",
         {-1, "/dev/pts/7", true, 38400, "", 0},
         "Virtual controller (training)   No controller checked — check communication before "
         "writing",
         false,
         true},
    };
    for (const StripCase& c : cases) {
        const ConnectionStripView view = FormatConnectionStrip(c.facts);
        EXPECT_EQ(view.text, c.text) << c.name;
        EXPECT_EQ(view.identified, c.identified) << c.name;
        EXPECT_EQ(view.training, c.training) << c.name;
    }
}

TEST_F(ConnectionStripTest, TakesTheProgramState) {
    const AppState saved = App();
    App().commSettings.activeStationId = 5;
    App().lastCheck = {AtClock(9, 0, 0), "3.02"};
    const ConnectionFacts facts = CurrentConnectionFacts("/dev/pts/4", 57600, "/dev/pts/4");
    EXPECT_EQ(facts.station, 5);
    EXPECT_TRUE(facts.virtualController);
    EXPECT_EQ(facts.bitRate, 57600);
    EXPECT_EQ(facts.controllerVersion, "3.02");
    EXPECT_FALSE(CurrentConnectionFacts("/dev/pts/4", 57600, "").virtualController);
    App() = saved;
}

}  // namespace
}  // namespace velmora
