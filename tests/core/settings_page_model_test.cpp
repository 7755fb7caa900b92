#include "comsetup/settings_page_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/register_ops.h"
#include "sim/pty_controller.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "support/test_os.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::ScriptedUi;
using test::TempFolder;

// A page over three stand-in devices, with the shipped English message table loaded.
class PageFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = App();
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        LoadMessageTable(ui);
        ASSERT_FALSE(MessageText(kMsgComsettingCominitializeInitialized).empty());
        ui.clear();
        ASSERT_TRUE(folder.valid());
        devices = {folder.write("dev/ttyS0", ""), folder.write("dev/ttyS1", ""),
                   folder.write("dev/ttyS2", "")};
        App().commSettings = CommSettings{};
        App().commSettings.silentInterval = 1;
        App().commSettings.activeStationId = 9;
        App().commCheckState = kCommAllowed;
        App().restartRequested = 0;
        App().startupComSetting = 0;
        page.setPortSource([this] { return devices; }, folder.file("sys"));
        page.setFrameOkDisabler([this] { ++okDisables; });
    }
    void TearDown() override {
        page.onDestroyed();
        ResetLanguageStateForTesting();
        App() = saved_;
    }

    std::string SelectedText(const std::vector<std::string>& list, int index) const {
        return index < 0 ? std::string() : list[static_cast<std::size_t>(index)];
    }

    ScriptedUi ui;
    RtuMaster master;
    TempFolder folder;
    std::vector<std::string> devices;
    ComSettingPageModel page{master};
    int okDisables = 0;

  private:
    AppState saved_;
};

// ---- Port list -------------------------------------------------------------------------------

class ComSettingPortListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (test::kOnWindows)
            GTEST_SKIP() << "builds a Linux /dev and /sys tree; Windows lists the registry's ports";
        ASSERT_TRUE(folder.valid());
        usb0 = folder.write("dev/ttyUSB0", "");
        usb1 = folder.write("dev/ttyUSB1", "");
        acm0 = folder.write("dev/ttyACM0", "");
        byId = folder.file("dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0");
        fs::create_directories(folder.file("dev/serial/by-id"));
        fs::create_symlink("../../ttyUSB0", byId);
        // ttyUSB: the port sits below the USB interface; ttyACM: the interface is the device.
        fs::create_directories(folder.file("usb/1-1/1-1:1.0/ttyUSB0"));
        folder.write("usb/1-1/manufacturer", "FTDI\n");
        folder.write("usb/1-1/product", "FT232R USB UART\n");
        folder.write("usb/1-1/serial", "A1B2\n");
        fs::create_directories(folder.file("usb/2-1/2-1:1.0"));
        folder.write("usb/2-1/manufacturer", "Velmora\n");
        folder.write("usb/2-1/product", "Controller\n");
        fs::create_directories(folder.file("sys/ttyUSB0"));
        fs::create_directories(folder.file("sys/ttyACM0"));
        fs::create_directory_symlink(folder.file("usb/1-1/1-1:1.0/ttyUSB0"),
                                     folder.file("sys/ttyUSB0/device"));
        fs::create_directory_symlink(folder.file("usb/2-1/2-1:1.0"),
                                     folder.file("sys/ttyACM0/device"));
    }

    std::vector<std::string> Devices() const { return {byId, usb0, usb1, acm0}; }

    TempFolder folder;
    std::string usb0, usb1, acm0, byId;
};

TEST_F(ComSettingPortListTest, ListsEachDeviceOnceUnderItsStablePathWithWhatTheSystemKnows) {
    const std::vector<PortEntry> entries =
        BuildPortEntries(Devices(), folder.file("sys"), std::string());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, byId);
    EXPECT_NE(entries[0].display.find("ttyUSB0"), std::string::npos) << entries[0].display;
    EXPECT_NE(entries[0].display.find("FTDI FT232R USB UART, serial A1B2"), std::string::npos)
        << entries[0].display;
    EXPECT_EQ(entries[1].path, usb1);
    EXPECT_EQ(entries[1].display, usb1);
    EXPECT_EQ(entries[2].path, acm0);
    EXPECT_NE(entries[2].display.find("(Velmora Controller)"), std::string::npos)
        << entries[2].display;
}

struct ConfiguredCase {
    const char* name;
    const char* configured;  // "@usb1", "@fifo", "@link": paths made by the test
    bool appended;
};

class ComSettingConfiguredPortTest : public ComSettingPortListTest,
                                     public ::testing::WithParamInterface<ConfiguredCase> {};

TEST_P(ComSettingConfiguredPortTest, AppendsAnExistingPathNotListedYet) {
    const ConfiguredCase& c = GetParam();
    std::string configured = c.configured;
    if (configured == "@usb1") {
        configured = usb1;
    } else if (configured == "@pty") {
        configured = folder.write("pts/7", "");
    } else if (configured == "@link") {
        fs::create_symlink(folder.write("pts/8", ""), folder.file("velmora-sim"));
        configured = folder.file("velmora-sim");
    } else if (configured == "@missing") {
        configured = folder.file("pts/9");
    }
    const std::vector<PortEntry> entries =
        BuildPortEntries(Devices(), folder.file("sys"), configured);
    ASSERT_EQ(entries.size(), c.appended ? 4u : 3u);
    int matches = 0;
    for (const PortEntry& entry : entries) {
        matches += entry.path == configured ? 1 : 0;
    }
    EXPECT_EQ(matches, configured == usb1 || c.appended ? 1 : 0);
    if (c.appended) {
        EXPECT_EQ(entries.back().path, configured);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, ComSettingConfiguredPortTest,
                         ::testing::Values(ConfiguredCase{"AlreadyListed", "@usb1", false},
                                           ConfiguredCase{"PseudoTerminal", "@pty", true},
                                           ConfiguredCase{"LinkToPseudoTerminal", "@link", true},
                                           ConfiguredCase{"MissingPath", "@missing", false},
                                           ConfiguredCase{"WindowsName", "COM7", false},
                                           ConfiguredCase{"Empty", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

using ComSettingPageTest = PageFixture;

TEST_F(ComSettingPageTest, TypedPathIsListedOnceAndTakenAsPortName) {
    const std::string typed = folder.write("pts/3", "");
    page.LoadPortList();
    for (int round = 0; round < 2; ++round) {
        page.setTypedPort(typed);
        ASSERT_EQ(page.portEntries().size(), devices.size() + 1) << "round " << round;
        EXPECT_EQ(page.selectedPortPath(), typed);
        EXPECT_EQ(App().commSettings.portName, typed);
    }
}

// ---- Filling from the settings -----------------------------------------------------------------

struct FillCase {
    const char* name;
    int portNameEntry;  // index of the device named by portName; -1: the name below
    const char* otherName;
    int autoSelect;
    int connectionId;
    int bitRate;
    int expectedPort;
    const char* expectedId;  // "" for no selection
    const char* expectedBitRate;
};

class ComSettingPageFillTest : public PageFixture, public ::testing::WithParamInterface<FillCase> {
  protected:
    void Apply(const FillCase& c) {
        CommSettings& settings = App().commSettings;
        settings.portName = c.portNameEntry >= 0
                                ? devices[static_cast<std::size_t>(c.portNameEntry)]
                                : std::string(c.otherName);
        settings.autoSelect = c.autoSelect;
        settings.connectionId = c.connectionId;
        settings.bitRate = c.bitRate;
        page.LoadPortList();
    }
    void ExpectSelections(const FillCase& c) {
        EXPECT_EQ(page.portIndex(), c.expectedPort);
        EXPECT_EQ(SelectedText(page.idEntries(), page.idIndex()), c.expectedId);
        EXPECT_EQ(SelectedText(page.bitRateEntries(), page.bitRateIndex()), c.expectedBitRate);
        EXPECT_EQ(page.automaticSelected(), c.autoSelect == 1);
        EXPECT_EQ(page.manualSelected(), c.autoSelect != 1);
        EXPECT_EQ(page.manualControlsEnabled(), c.autoSelect != 1);
    }
};

TEST_P(ComSettingPageFillTest, MainWindowFillSelectsAndTakesTheSelectedPortName) {
    const FillCase& c = GetParam();
    Apply(c);
    page.FillFromSettings();
    ExpectSelections(c);
    EXPECT_EQ(App().commSettings.portName, devices[static_cast<std::size_t>(c.expectedPort)]);
    EXPECT_EQ(App().commSettings.autoSelect, c.autoSelect == 1 ? 1 : 0);
}

TEST_P(ComSettingPageFillTest, InitControlsSelectsAndTakesThePortNameOnlyInManualMode) {
    FillCase c = GetParam();
    Apply(c);
    const std::string before = App().commSettings.portName;
    page.InitControls(1);
    // A stored port that is not listed: no other device is selected, nor stored in its place.
    const bool listed = c.portNameEntry >= 0;
    c.expectedPort = listed ? c.expectedPort : -1;
    ExpectSelections(c);
    EXPECT_EQ(App().commSettings.portName, c.autoSelect == 1 || !listed
                                               ? before
                                               : devices[static_cast<std::size_t>(c.expectedPort)]);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ComSettingPageFillTest,
    ::testing::Values(
        FillCase{"PortNameNotListed", -1, "COM7", 1, 3, 19200, 0, "3", "19200"},
        FillCase{"MissingPathNotListed", -1, "/nonexistent/ttyUSB4", 0, 3, 19200, 0, "3", "19200"},
        FillCase{"PortByName", 1, "", 0, 32, 230400, 1, "32", "230400"},
        FillCase{"BitRate4800SelectsFirst", 2, "", 0, 7, 4800, 2, "7", "9600"},
        FillCase{"ConnectionIdZeroSelectsFirst", 2, "", 1, 0, 38400, 2, "1", "38400"},
        FillCase{"NegativeConnectionIdSelectsFirst", 0, "", 0, -4, 57600, 0, "1", "57600"},
        FillCase{"ConnectionIdAbove32SelectsNone", 0, "", 0, 33, 115200, 0, "", "115200"},
        FillCase{"OtherAutoSelectValueIsManual", 1, "", 5, 1, 9600, 1, "1", "9600"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefreshCase {
    const char* name;
    bool portNameListed;
    int portNumber;
    int expectedPort;
};

class ComSettingPageRefreshTest : public PageFixture,
                                  public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(ComSettingPageRefreshTest, SettingsTabSelectsThePortInUseAndLeavesFrameMode) {
    const RefreshCase& c = GetParam();
    App().commSettings.portName = c.portNameListed ? devices[1] : "/gone/ttyUSB9";
    App().commSettings.portNumber = c.portNumber;
    App().commSettings.autoSelect = 1;
    App().commSettings.connectionId = 4;
    App().commSettings.bitRate = 57600;
    page.LoadPortList();
    page.setInFrame(1);
    page.RefreshFromSettings();
    EXPECT_EQ(page.inFrame(), 0);
    EXPECT_EQ(page.portIndex(), c.expectedPort);
    EXPECT_EQ(SelectedText(page.idEntries(), page.idIndex()), "4");
    EXPECT_EQ(SelectedText(page.bitRateEntries(), page.bitRateIndex()), "57600");
    // Out of the frame the method handler sees a change from "none".
    EXPECT_EQ(App().commSettings.activeStationId, -1);
}

INSTANTIATE_TEST_SUITE_P(Positions, ComSettingPageRefreshTest,
                         ::testing::Values(RefreshCase{"ListedNameWins", true, 2, 1},
                                           RefreshCase{"Third", false, 2, 2},
                                           RefreshCase{"First", false, 0, 0},
                                           RefreshCase{"PastTheEnd", false, 5, 0},
                                           RefreshCase{"Negative", false, -1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FirstFillCase {
    const char* name;
    int inFrame;
    int autoSelect;
    bool throughInitControls;
    int expectedStation;
};

class ComSettingPageFirstFillTest : public PageFixture,
                                    public ::testing::WithParamInterface<FirstFillCase> {};

TEST_P(ComSettingPageFirstFillTest, ClearsTheStationUnlessInFrame) {
    const FirstFillCase& c = GetParam();
    App().commSettings.portName = devices[0];
    App().commSettings.autoSelect = c.autoSelect;
    App().commSettings.connectionId = 6;
    App().commSettings.activeStationId = 6;
    page.LoadPortList();
    page.setInFrame(c.inFrame);
    if (c.throughInitControls) {
        page.InitControls(1);
    } else {
        page.FillFromSettings();
    }
    EXPECT_EQ(App().commSettings.activeStationId, c.expectedStation);
}

INSTANTIATE_TEST_SUITE_P(Fills, ComSettingPageFirstFillTest,
                         ::testing::Values(FirstFillCase{"MainAutomatic", 0, 1, false, -1},
                                           FirstFillCase{"MainManual", 0, 0, false, -1},
                                           FirstFillCase{"PageAutomatic", 0, 1, true, -1},
                                           FirstFillCase{"PageManual", 0, 0, true, -1},
                                           FirstFillCase{"InFrameAutomatic", 1, 1, true, 6},
                                           FirstFillCase{"InFrameManual", 1, 0, true, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Change detection ------------------------------------------------------------------------

enum class Click { Automatic, Manual, Port0, Port1, Id0, Id4, Rate0, Rate2 };

struct ChangeCase {
    const char* name;
    int inFrame;
    std::vector<Click> clicks;
    int expectedInvalidations;
};

class ComSettingPageChangeTest : public PageFixture,
                                 public ::testing::WithParamInterface<ChangeCase> {
  protected:
    void Run(Click click) {
        switch (click) {
            case Click::Automatic:
                page.onAutomaticClicked();
                break;
            case Click::Manual:
                page.onManualClicked();
                break;
            case Click::Port0:
                page.onPortSelected(0);
                break;
            case Click::Port1:
                page.onPortSelected(1);
                break;
            case Click::Id0:
                page.onIdSelected(0);
                break;
            case Click::Id4:
                page.onIdSelected(4);
                break;
            case Click::Rate0:
                page.onBitRateSelected(0);
                break;
            case Click::Rate2:
                page.onBitRateSelected(2);
                break;
        }
    }
};

TEST_P(ComSettingPageChangeTest, InvalidatesTheStationOnlyWhenAControlStateChanges) {
    const ChangeCase& c = GetParam();
    page.LoadPortList();
    page.selectPort(0);
    page.setInFrame(c.inFrame);
    int invalidations = 0;
    for (std::size_t i = 0; i < c.clicks.size(); ++i) {
        App().commSettings.activeStationId = 9;
        const int disablesBefore = okDisables;
        Run(c.clicks[i]);
        invalidations += App().commSettings.activeStationId == -1 ? 1 : 0;
        EXPECT_GT(okDisables, disablesBefore) << "click " << i << " left the frame's OK enabled";
    }
    EXPECT_EQ(invalidations, c.expectedInvalidations);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ComSettingPageChangeTest,
    ::testing::Values(
        ChangeCase{"AutomaticTwice", 0, {Click::Automatic, Click::Automatic}, 1},
        ChangeCase{"ManualTwice", 0, {Click::Manual, Click::Manual}, 1},
        ChangeCase{
            "AutomaticManualAutomatic", 0, {Click::Automatic, Click::Manual, Click::Automatic}, 2},
        ChangeCase{"SamePortTwice", 0, {Click::Port1, Click::Port1}, 1},
        ChangeCase{"PortBackAndForth", 0, {Click::Port0, Click::Port1, Click::Port0}, 3},
        ChangeCase{"SameIdTwice", 0, {Click::Id4, Click::Id4}, 1},
        ChangeCase{"IdChanged", 0, {Click::Id0, Click::Id4}, 2},
        ChangeCase{"BitRateChanged", 0, {Click::Rate0, Click::Rate2, Click::Rate2}, 2},
        ChangeCase{"InFrameNothingInvalidates",
                   1,
                   {Click::Automatic, Click::Manual, Click::Port1, Click::Id4, Click::Rate2},
                   0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Reset button ----------------------------------------------------------------------------

struct ResetCase {
    const char* name;
    bool portOpen;
};

class ComSettingPageResetTest : public PageFixture,
                                public ::testing::WithParamInterface<ResetCase> {
  protected:
    sim::PtyController sim;
};

TEST_P(ComSettingPageResetTest, Selects38400AndStationOneAndForgetsTheStation) {
    const ResetCase& c = GetParam();
    CommSettings& settings = App().commSettings;
    settings.connectionId = 12;
    settings.bitRate = 115200;
    settings.delay = 40;
    settings.activeStationId = 12;
    page.selectId(11);
    page.selectBitRate(4);
    if (c.portOpen) {
        VELMORA_SKIP_WITHOUT_PTY();
        ASSERT_TRUE(sim.start());
        ASSERT_TRUE(page.link().open(sim.slavePath()).ok());
        ASSERT_TRUE(page.link().configure(115200, 1, 40).ok());
        // The controller listens at 38400 only, so it cannot answer yet.
        ASSERT_FALSE(EchoTest(page.link(), 1).ok());
    }
    page.onReset(ui);
    EXPECT_EQ(SelectedText(page.idEntries(), page.idIndex()), "1");
    EXPECT_EQ(SelectedText(page.bitRateEntries(), page.bitRateIndex()), "38400");
    EXPECT_EQ(settings.delay, 5);
    EXPECT_EQ(settings.activeStationId, -1);
    EXPECT_EQ(settings.connectionId, 12);
    EXPECT_EQ(settings.bitRate, 115200);
    EXPECT_GT(okDisables, 0);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, MessageText(kMsgComsettingCominitializeInitialized));
    EXPECT_EQ(messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(page.link().isOpen(), c.portOpen);
    if (c.portOpen) {
        EXPECT_EQ(page.link().baudRate(), 38400u);
        EXPECT_EQ(page.link().responseDelay(), 5);
        EXPECT_TRUE(EchoTest(page.link(), 1).ok());
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, ComSettingPageResetTest,
                         ::testing::Values(ResetCase{"PortOpen", true},
                                           ResetCase{"NoPortOpen", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Frame -------------------------------------------------------------------------------------

struct FrameOpenCase {
    const char* name;
    int startupComSetting;
    int commCheckState;
    FrameButtons expected;
};

class ComSettingFrameOpenTest : public PageFixture,
                                public ::testing::WithParamInterface<FrameOpenCase> {
  protected:
    ComSettingFrameModel frame{master};
};

TEST_P(ComSettingFrameOpenTest, ShowsTheButtonsOfItsModeAndDisablesOkOnEveryChange) {
    const FrameOpenCase& c = GetParam();
    App().commSettings.portName = devices[0];
    App().commSettings.autoSelect = 1;
    frame.page().setPortSource([this] { return devices; }, folder.file("sys"));
    // Left enabled by an earlier opening: every opening starts from disabled buttons.
    frame.SetOkEnabled(true);
    const FrameButtons buttons = frame.FrameOpened(c.startupComSetting, c.commCheckState);
    EXPECT_EQ(buttons.ok1099Visible, c.expected.ok1099Visible);
    EXPECT_EQ(buttons.ok1099Enabled, c.expected.ok1099Enabled);
    EXPECT_EQ(buttons.quit1100Visible, c.expected.quit1100Visible);
    EXPECT_EQ(buttons.ok1101Visible, c.expected.ok1101Visible);
    EXPECT_EQ(buttons.ok1101Enabled, c.expected.ok1101Enabled);
    EXPECT_EQ(frame.page().portEntries().size(), devices.size());

    frame.SetOkEnabled(true);
    frame.page().onBitRateSelected(1);
    EXPECT_FALSE(frame.buttons().ok1099Enabled);
    EXPECT_FALSE(frame.buttons().ok1101Enabled);
    frame.SetOkEnabled(true);
    frame.page().onReset(ui);
    EXPECT_FALSE(frame.buttons().ok1099Enabled);
    EXPECT_FALSE(frame.buttons().ok1101Enabled);
    frame.FrameClosed();
    EXPECT_FALSE(frame.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ComSettingFrameOpenTest,
    ::testing::Values(
        FrameOpenCase{
            "StartupWarningAccepted", 1, kCommWarningAccepted, {true, true, true, false, false}},
        FrameOpenCase{"StartupAllowed", 1, kCommAllowed, {true, false, true, false, false}},
        FrameOpenCase{
            "StartupDeclined", 1, kCommWarningDeclined, {true, false, true, false, false}},
        FrameOpenCase{"StartupRefused", 1, kCommRefused, {true, false, true, false, false}},
        FrameOpenCase{"WorkDialogWarningAccepted",
                      0,
                      kCommWarningAccepted,
                      {false, false, false, true, false}},
        FrameOpenCase{"WorkDialogAllowed", 0, kCommAllowed, {false, false, false, true, false}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CloseBoxCase {
    const char* name;
    int restartRequested;     // when the close box is pressed
    int commCheckStateAfter;  // left by the check made inside the frame
    bool expectRestore;
    bool expectRestart;
};

// The frame opened from a work dialog over two virtual controllers: the one in force when it
// opens (station 3 at 19200 bit/s) and another the user checks inside it.
class ComSettingFrameCloseBoxTest : public PageFixture,
                                    public ::testing::WithParamInterface<CloseBoxCase> {
  protected:
    void SetUp() override {
        PageFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        simA.controller().setStationId(3);
        simA.controller().setVersion(210);
        simB.controller().setStationId(5);
        VELMORA_SKIP_WITHOUT_PTY();
        ASSERT_TRUE(simA.start());
        ASSERT_TRUE(simB.start());
        devices.clear();
        mainPage.setPortSource([] { return std::vector<std::string>(); });
        frame.page().setPortSource([] { return std::vector<std::string>(); });
    }
    void TearDown() override {
        mainPage.onDestroyed();
        frame.page().onDestroyed();
        PageFixture::TearDown();
    }

    sim::PtyController simA{sim::PtyOptions{19200, false, 2, ""}};
    sim::PtyController simB{sim::PtyOptions{57600, false, 2, ""}};
    ComSettingPageModel mainPage{master};
    ComSettingFrameModel frame{master};
};

TEST_P(ComSettingFrameCloseBoxTest, BringsBackTheSettingsItWasOpenedWith) {
    const CloseBoxCase& c = GetParam();
    CommSettings& settings = App().commSettings;
    settings.portName = simA.slavePath();
    settings.bitRate = 19200;
    settings.connectionId = 3;
    settings.autoSelect = 1;
    settings.delay = 0;
    // The main window's start: its fill keeps the identified station aside.
    settings.activeStationId = 3;
    mainPage.LoadPortList();
    mainPage.FillFromSettings();
    settings.activeStationId = 3;
    ASSERT_EQ(mainPage.OpenPortFromSettings(), 0);

    int restarts = 0;
    const int result = RunFrameFromWorkDialog(
        frame, mainPage,
        [&] {
            ComSettingPageModel& page = frame.page();
            EXPECT_EQ(page.inFrame(), 1);
            EXPECT_EQ(page.saved().portName, simA.slavePath());
            frame.FrameOpened(App().startupComSetting, App().commCheckState);
            page.onManualClicked();
            page.setTypedPort(simB.slavePath());
            page.onIdSelected(4);
            page.onBitRateSelected(3);
            // What a successful manual check on the other controller leaves behind.
            EXPECT_TRUE(page.link().open(simB.slavePath()).ok());
            EXPECT_TRUE(page.link().configure(57600, 1, 0).ok());
            EXPECT_TRUE(EchoTest(page.link(), 5).ok());
            settings.bitRate = 57600;
            settings.connectionId = 5;
            settings.activeStationId = 5;
            App().commCheckState = c.commCheckStateAfter;
            App().restartRequested = c.restartRequested;

            frame.FrameCloseBox();
            if (c.expectRestore) {
                EXPECT_EQ(page.link().portName(), simA.slavePath());
                EXPECT_EQ(page.link().baudRate(), 19200u);
                std::string version;
                EXPECT_TRUE(ReadVersion(page.link(), 3, version).ok());
                EXPECT_EQ(version, "2.10");
            }
            frame.FrameClosed();
            EXPECT_FALSE(page.link().isOpen());
            return kFrameResultCancel;
        },
        [&] { ++restarts; });

    EXPECT_EQ(result, kFrameResultCancel);
    EXPECT_EQ(restarts, c.expectRestart ? 1 : 0);
    if (c.expectRestore) {
        EXPECT_EQ(settings.portName, simA.slavePath());
        EXPECT_EQ(settings.bitRate, 19200);
        EXPECT_EQ(settings.connectionId, 3);
        EXPECT_EQ(settings.autoSelect, 1);
        EXPECT_EQ(settings.activeStationId, 3);
        // The opener reopened the port on the main link with the restored settings.
        EXPECT_EQ(mainPage.link().portName(), simA.slavePath());
        std::string version;
        EXPECT_TRUE(ReadVersion(mainPage.link(), 3, version).ok());
        EXPECT_EQ(version, "2.10");
    } else {
        EXPECT_EQ(settings.portName, simB.slavePath());
        EXPECT_EQ(settings.bitRate, 57600);
        EXPECT_EQ(settings.connectionId, 5);
        EXPECT_EQ(settings.autoSelect, 0);
        EXPECT_EQ(settings.activeStationId, 5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComSettingFrameCloseBoxTest,
    ::testing::Values(CloseBoxCase{"Restores", 0, kCommAllowed, true, false},
                      CloseBoxCase{"RestoresThenAsksRestart", 0, kCommWarningAccepted, true, true},
                      CloseBoxCase{"RestartUnderWayKeepsTheCheck", 1, kCommAllowed, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
