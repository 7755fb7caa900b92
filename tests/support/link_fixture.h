#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sysfiles/app_state.h"
#include "link/com_link.h"
#include "sim/pty_controller.h"
#include "support/scripted_ui.h"
#include "sysfiles/language.h"

namespace velmora::test {

// A virtual controller on a pseudo-terminal and a link of our own opened on it, with the
// shipped English message table loaded. Each test gets its own line, so tests can run in
// parallel processes.
class LinkFixture : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kBaud = 38400;

    void SetUp() override {
        savedFolder_ = App().moduleFolder;
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        LoadMessageTable(ui);
        ASSERT_EQ(MessageText(kMsgComTimeoutCountermeasureContents).empty(), false);
        ASSERT_TRUE(sim.start());
        ASSERT_EQ(link.OpenPort(sim.slavePath()), 0);
        ASSERT_EQ(link.ConfigurePort(kBaud, 1, 0), 0);
        ui.clear();
    }

    void TearDown() override {
        link.ClosePort();
        sim.stop();
        ResetLanguageStateForTesting();
        App().moduleFolder = savedFolder_;
    }

    sim::VirtualController& controller() { return sim.controller(); }

    ScriptedUi ui;
    sim::PtyController sim;
    LinkChannel channel;
    CComLink link{ui, channel};

  private:
    std::string savedFolder_;
};

}  // namespace velmora::test
