// The start-up settings window when the stored port is gone: it takes no other device for it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comsetup/search_and_check.h"
#include "comsetup/settings_page_model.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

struct GoneCase {
    const char* name;
    int autoSelect;
    int commCheckState;
};

class StartupFrameGonePortTest : public ::testing::TestWithParam<GoneCase> {
  protected:
    void SetUp() override {
        saved_ = App();
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        test::ScriptedUi ui;
        LoadMessageTable(ui);
        ASSERT_TRUE(folder_.valid());
        devices_ = {folder_.write("dev/ttyUSB0", ""), folder_.write("dev/ttyUSB1", "")};
    }
    void TearDown() override {
        ResetLanguageStateForTesting();
        App() = saved_;
    }

    test::TempFolder folder_;
    std::vector<std::string> devices_;
    RtuMaster master_;

  private:
    AppState saved_;
};

TEST_P(StartupFrameGonePortTest, SelectsNoPortAndKeepsOkDisabledUntilACheck) {
    const GoneCase& c = GetParam();
    const std::string gone = folder_.file("dev/ttyUSB9");
    CommSettings& settings = App().commSettings;
    settings.portName = gone;
    settings.autoSelect = c.autoSelect;
    settings.connectionId = 4;
    settings.bitRate = 19200;
    settings.activeStationId = 4;
    App().commCheckState = c.commCheckState;
    App().startupComSetting = 1;

    ComSettingFrameModel frame{master_};
    frame.page().setPortSource([this] { return devices_; }, folder_.file("sys"));
    const FrameButtons buttons = frame.FrameOpened(1, c.commCheckState);

    EXPECT_EQ(frame.page().portIndex(), -1);
    EXPECT_EQ(frame.page().portEntries().size(), devices_.size());
    EXPECT_TRUE(buttons.ok1099Visible);
    EXPECT_FALSE(buttons.ok1099Enabled);
    EXPECT_EQ(settings.portName, gone);
    EXPECT_EQ(settings.activeStationId, -1);
    EXPECT_TRUE(master_.portName().empty());

    // Picking a port is not enough: only a check enables OK.
    frame.page().onPortSelected(1);
    EXPECT_EQ(settings.portName, devices_[1]);
    EXPECT_FALSE(frame.buttons().ok1099Enabled);
    frame.SetOkEnabled(ApplySearchOutcome(kSearchAccepted));
    EXPECT_TRUE(frame.buttons().ok1099Enabled);
    frame.FrameClosed();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StartupFrameGonePortTest,
    ::testing::Values(GoneCase{"Manual", 0, kCommAllowed},
                      GoneCase{"ManualAfterAcceptedWarning", 0, kCommWarningAccepted},
                      GoneCase{"AutomaticAfterAcceptedWarning", 1, kCommWarningAccepted}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
