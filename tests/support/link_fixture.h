#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/rtu_master.h"
#include "sim/pty_controller.h"
#include "support/scripted_ui.h"
#include "support/test_os.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora::test {

// A link outcome in words, for tables of expected results.
inline std::string Describe(const LinkStatus& status) {
    switch (status.error) {
        case LinkError::None:
            return "ok";
        case LinkError::PortGone:
            return "port gone";
        case LinkError::OpenFailed:
            return "open failed " + std::to_string(status.osError);
        case LinkError::BadRate:
            return "bad rate";
        case LinkError::Timeout:
            return "time-out";
        case LinkError::Garbled:
            return "garbled";
        case LinkError::Exception:
            return "exception " + std::to_string(status.exceptionCode);
        case LinkError::Mismatch:
            return "mismatch";
        case LinkError::BadArgument:
            return "bad argument";
    }
    return "?";
}

// A virtual controller on a pseudo-terminal and a master of our own opened on it, with the
// shipped English message table loaded (the jobs on top show its texts). Each test gets its own
// line, so tests can run in parallel processes.
class LinkFixture : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kBaud = 38400;

    void SetUp() override {
        savedFolder_ = App().moduleFolder;  // first: TearDown puts it back after a skip too
        VELMORA_SKIP_WITHOUT_PTY();
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        LoadMessageTable(ui);
        ASSERT_EQ(MessageText(kMsgComTimeoutCountermeasureContents).empty(), false);
        ASSERT_TRUE(sim.start());
        ASSERT_TRUE(link.open(sim.slavePath()).ok());
        ASSERT_TRUE(link.configure(kBaud, 1, 0).ok());
        ui.clear();
    }

    void TearDown() override {
        link.close();
        sim.stop();
        ResetLanguageStateForTesting();
        App().moduleFolder = savedFolder_;
    }

    sim::VirtualController& controller() { return sim.controller(); }

    // A response delay that gives the controller's thread over a second to answer (the
    // master waits the delay and then ten poll intervals that include it), so a test that
    // expects a reply holds on a loaded machine. Each request costs the delay once.
    static constexpr int kPatientDelayMs = 100;
    void givePatientTiming(std::uint32_t baud = kBaud) {
        if (IsSkipped()) {
            return;  // no line to time where the fixture was skipped
        }
        ASSERT_TRUE(link.configure(baud, 1, kPatientDelayMs).ok());
    }

    ScriptedUi ui;
    sim::PtyController sim;
    RtuMaster link;

  private:
    std::string savedFolder_;
};

}  // namespace velmora::test
