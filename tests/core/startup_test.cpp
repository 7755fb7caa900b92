#include "app/startup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::ScriptedUi;
using test::TempFolder;

// Records which window operation ran when; results and side effects per pass are scripted.
class FakeWindows final : public StartupWindows {
  public:
    int ShowDisclaimer() override {
        log.push_back("disclaimer");
        return disclaimerResult;
    }
    int ShowSettingsFrame() override {
        log.push_back("frame");
        const std::size_t pass = framePass++;
        if (onFrame) {
            onFrame(pass);
        }
        return pass < frameResults.size() ? frameResults[pass] : kStartupResultOk;
    }
    void CreateMainDialog() override { log.push_back("create main"); }
    void CreateWorkDialogs() override { log.push_back("create work"); }
    void RunMainDialog() override {
        log.push_back("run main");
        const std::size_t pass = mainPass++;
        if (onRunMain) {
            onRunMain(pass);
        }
    }
    void DestroyMainDialog() override { log.push_back("destroy main"); }
    void DestroyWorkDialogs() override { log.push_back("destroy work"); }
    void CloseMainDialog() override { log.push_back("close main"); }

    std::vector<std::string> log;
    int disclaimerResult = kStartupResultOk;
    std::vector<int> frameResults;
    std::function<void(std::size_t)> onFrame;
    std::function<void(std::size_t)> onRunMain;

  private:
    std::size_t framePass = 0;
    std::size_t mainPass = 0;
};

constexpr const char* kSettings =
    "[COMMUNICATION_SETTING]\r\n"
    "COM_NUM=2\r\n"
    "COM_PORT=/dev/ttyUSB3\r\n"
    "COM_SELECT=MANUAL\r\n"
    "COM_BITRATE=19200\r\n"
    "COM_CONNECTION_ID=4\r\n"
    "COM_SILENT_INTERVAL=2\r\n"
    "COM_DELAY=7\r\n";

// A program folder with a settings file whose reading changes every field of the record, and
// the shipped English language file.
class StartupFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = App();
        ASSERT_TRUE(module.valid());
        module.write("System/CommunicationSetting.ini", kSettings);
        languageFile = module.write("System/LanguageData.ini",
                                    ReadBytes(VELMORA_SOURCE_DIR "/System/LanguageData.ini"));
        App().moduleFolder = module.path() + "/";
        App().commSettings = CommSettings{};
        App().commSettings.bitRate = 4800;
        App().commSettings.activeStationId = 7;
        App().commCheckState = kCommWarningDeclined;
        App().restartRequested = 0;
        App().startupComSetting = 0;
        ResetLanguageStateForTesting();
    }
    void TearDown() override {
        ResetLanguageStateForTesting();
        App() = saved_;
    }

    // Replaces one key's value in the language file.
    void ChangeLanguageText(const std::string& key, const std::string& value) {
        std::string text = ReadBytes(languageFile);
        const std::size_t start = text.find("\n" + key + "=") + 1;
        const std::size_t end = text.find('\n', start);
        text.replace(start, end - start, key + "=" + value);
        module.write("System/LanguageData.ini", text);
    }

    ScriptedUi ui;
    TempFolder module;
    std::string languageFile;
    FakeWindows windows;

  private:
    AppState saved_;
};

struct EndingCase {
    const char* name;
    int disclaimerResult;
    int frameResult;
    std::vector<std::string> expectedLog;
    bool settingsRead;
};

class StartupEndingTest : public StartupFixture,
                          public ::testing::WithParamInterface<EndingCase> {};

TEST_P(StartupEndingTest, EndsWhereTheUserLeaves) {
    const EndingCase& c = GetParam();
    windows.disclaimerResult = c.disclaimerResult;
    windows.frameResults = {c.frameResult};
    int startupModeInFrame = -1;
    int startupModeInMain = -1;
    std::string titleInFrame;
    windows.onFrame = [&](std::size_t) {
        startupModeInFrame = App().startupComSetting;
        titleInFrame = MessageText(kMsgComUnidentifiedTitle);
    };
    windows.onRunMain = [&](std::size_t) { startupModeInMain = App().startupComSetting; };

    RunStartup(windows, ui);

    EXPECT_EQ(windows.log, c.expectedLog);
    const CommSettings& settings = App().commSettings;
    if (c.settingsRead) {
        EXPECT_EQ(settings.portNumber, 2);
        EXPECT_EQ(settings.portName, "/dev/ttyUSB3");
        EXPECT_EQ(settings.autoSelect, 0);
        EXPECT_EQ(settings.bitRate, 19200);
        EXPECT_EQ(settings.connectionId, 4);
        EXPECT_EQ(settings.silentInterval, 2);
        EXPECT_EQ(settings.delay, 7);
        // The check state starts at "allowed", so the station read before is forgotten.
        EXPECT_EQ(App().commCheckState, kCommAllowed);
        EXPECT_EQ(settings.activeStationId, -1);
        EXPECT_EQ(startupModeInFrame, 1);
        EXPECT_EQ(titleInFrame, "No Controller Connected");
    } else {
        EXPECT_EQ(settings.bitRate, 4800);
        EXPECT_EQ(settings.portName, "");
        EXPECT_EQ(settings.activeStationId, 7);
        EXPECT_EQ(App().commCheckState, kCommWarningDeclined);
        EXPECT_EQ(MessageText(kMsgComUnidentifiedTitle), "");
    }
    if (c.frameResult == kStartupResultOk && c.settingsRead) {
        EXPECT_EQ(startupModeInMain, 0);
    }
    EXPECT_TRUE(ui.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Endings, StartupEndingTest,
                         ::testing::Values(EndingCase{"DisclaimerRefused",
                                                      kStartupResultCancel,
                                                      kStartupResultOk,
                                                      {"disclaimer"},
                                                      false},
                                           EndingCase{"FrameQuitAtFirstPass",
                                                      kStartupResultOk,
                                                      kStartupResultCancel,
                                                      {"disclaimer", "frame"},
                                                      true},
                                           EndingCase{"MainWindowClosed",
                                                      kStartupResultOk,
                                                      kStartupResultOk,
                                                      {"disclaimer", "frame", "create main",
                                                       "create work", "run main", "destroy main"},
                                                      true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RestartCase {
    const char* name;
    int commCheckState;
    int expectedStation;
};

class StartupRestartTest : public StartupFixture,
                           public ::testing::WithParamInterface<RestartCase> {};

TEST_P(StartupRestartTest, NextPassRereadsEverythingAndKeepsOnlyAnAcceptedStation) {
    const RestartCase& c = GetParam();
    struct FrameView {
        int station;
        int startupMode;
        int restartRequested;
        int bitRate;
        std::string title;
    };
    std::vector<FrameView> frames;
    windows.onFrame = [&](std::size_t) {
        frames.push_back({App().commSettings.activeStationId, App().startupComSetting,
                          App().restartRequested, App().commSettings.bitRate,
                          MessageText(kMsgComUnidentifiedTitle)});
    };
    windows.onRunMain = [&](std::size_t pass) {
        if (pass != 0) {
            return;
        }
        // A check in a work dialog's frame identified station 4 and left this state.
        App().commSettings.activeStationId = 4;
        App().commCheckState = c.commCheckState;
        ChangeLanguageText("MSG_COM_UNIDENTIFIED_TITLE", "Reloaded title");
        module.write("System/CommunicationSetting.ini",
                     "[COMMUNICATION_SETTING]\r\nCOM_BITRATE=57600\r\n");
        RequestRestart(windows);
        EXPECT_EQ(App().restartRequested, 1);
    };

    RunStartup(windows, ui);

    const std::vector<std::string> expectedLog = {
        "disclaimer",   "frame",      "create main",  "create work", "run main",
        "destroy work", "close main", "destroy main", "frame",       "create main",
        "create work",  "run main",   "destroy main"};
    EXPECT_EQ(windows.log, expectedLog);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].station, -1);
    EXPECT_EQ(frames[0].title, "No Controller Connected");
    EXPECT_EQ(frames[1].station, c.expectedStation);
    EXPECT_EQ(frames[1].startupMode, 1);
    EXPECT_EQ(frames[1].restartRequested, 0);
    EXPECT_EQ(frames[1].bitRate, 57600);
    EXPECT_EQ(frames[1].title, "Reloaded title");
    EXPECT_EQ(App().restartRequested, 0);
    EXPECT_EQ(App().startupComSetting, 0);
}

INSTANTIATE_TEST_SUITE_P(States, StartupRestartTest,
                         ::testing::Values(RestartCase{"WarningAccepted", kCommWarningAccepted, 4},
                                           RestartCase{"Allowed", kCommAllowed, -1},
                                           RestartCase{"WarningDeclined", kCommWarningDeclined, -1},
                                           RestartCase{"Refused", kCommRefused, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
