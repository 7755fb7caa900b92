#include "comsetup/search_and_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/register_ops.h"
#include "platform/serial_port.h"
#include "rules/restriction.h"
#include "support/link_fixture.h"
#include "support/rule_file.h"
#include "support/temp_folder.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using test::LinkFixture;
using test::RuleFile;
using test::ScriptedUi;
using test::TempFolder;

constexpr std::uint8_t kFnRead = 0x03;
constexpr std::uint8_t kFnEcho = 0x08;

// Rules for the communication check: version 1.00 to 9.99 gets the given verdict, each outcome
// record its own pattern of enables so the test can tell which one was copied.
RuleFile CommRules(std::optional<int> verdict) {
    RuleFile rules;
    rules.ranges("COMM", 100, 999);
    if (verdict)
        rules.set("COMM_SVNO_OK_BKC_OK", *verdict);
    rules.outcome("COMM", 1, 0, 1, 0, 1);
    rules.outcome("COMM", 2, 1, 0, 1, 0);
    rules.outcome("COMM", 3, 1, 0, 0, 1);
    rules.set("MSG_WARNING_TITLE", "Version warning").set("MSG_WARNING_1", "old version");
    rules.set("MSG_ERR_TITLE", "Version refused").set("MSG_ERR_1", "unsupported version");
    return rules;
}

// The system port, except that it refuses one bit rate, as some USB adapters do.
class PortRefusingARate final : public SerialPort {
  public:
    explicit PortRefusingARate(std::uint32_t refused) : refused_(refused) {}
    bool open(const std::string& name) override { return port_->open(name); }
    void close() override { port_->close(); }
    bool isOpen() const override { return port_->isOpen(); }
    bool configure(std::uint32_t baudRate) override {
        return baudRate != refused_ && port_->configure(baudRate);
    }
    int bytesWaiting() override { return port_->bytesWaiting(); }
    int read(std::uint8_t* buffer, std::size_t size) override { return port_->read(buffer, size); }
    int write(const std::uint8_t* data, std::size_t size) override {
        return port_->write(data, size);
    }
    bool waitForInput(int timeoutMs) override { return port_->waitForInput(timeoutMs); }
    void discardInput() override { port_->discardInput(); }

  private:
    std::unique_ptr<SerialPort> port_ = MakeSystemSerialPort();
    std::uint32_t refused_;
};

class SearchAndCheckTest : public LinkFixture {
  protected:
    void SetUp() override {
        saved_ = App();
        LinkFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(folder.valid());
        App().moduleFolder = folder.path() + "/";
        // No silent interval and no response delay: a missed attempt costs only its polls.
        App().commSettings.silentInterval = 0;
        App().commSettings.delay = 0;
        App().commSettings.activeStationId = 77;
        App().commSettings.bitRate = 4800;
        App().commSettings.connectionId = 31;
        App().commCheckState = kCommAllowed;
        App().functionEnables = {7, 7, 7};
        CommRules(0).writeTo(folder);
    }
    void TearDown() override {
        LinkFixture::TearDown();
        App() = saved_;
    }

    void PlaceController(int station, std::uint32_t bitRate) {
        controller().setStationId(static_cast<std::uint8_t>(station));
        sim.setBitRate(bitRate);
        controller().clearRequestLog();
    }

    // The station addressed by every echo request the controller accepted.
    std::vector<int> EchoStations() {
        std::vector<int> stations;
        for (const auto& request : controller().requestLog()) {
            if (request[1] == kFnEcho)
                stations.push_back(request[0]);
        }
        return stations;
    }

    static std::string Enables() {
        const FunctionEnables& e = App().functionEnables;
        return std::to_string(e.actuatorWriteEnabled) + std::to_string(e.fileWriteEnabled) +
               std::to_string(e.backupEnabled);
    }

    TempFolder folder;

  private:
    AppState saved_;
};

TEST_F(SearchAndCheckTest, AutomaticSearchFindsTheControllerAtItsAttempt) {
    struct Case {
        int station;
        std::uint32_t bitRate;
        std::size_t attempts;
        int lastPercent;
    };
    const Case cases[] = {{1, 9600, 1, 0}, {2, 230400, 12, 6}, {1, 57600, 4, 2}};
    for (const Case& c : cases) {
        PlaceController(c.station, c.bitRate);
        App().commSettings.bitRate = 4800;  // no last answer to try first
        ui.clear();
        const SearchParameters parameters{sim.slavePath(), true, "", ""};
        EXPECT_EQ(SearchAndCheck(link, parameters, ui), kSearchAccepted) << c.station;
        const auto progress = ui.progress();
        ASSERT_EQ(progress.size(), c.attempts) << c.bitRate;
        EXPECT_EQ(progress.front(), 0);
        EXPECT_EQ(progress.back(), c.lastPercent) << c.bitRate;
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        const auto status = ui.statusTexts();
        ASSERT_FALSE(status.empty());
        EXPECT_EQ(status.back(), MessageText(kMsgProgressStateSearch) +
                                     "\tID:" + std::to_string(c.station) + "\t" +
                                     std::to_string(c.bitRate) + "bps");
        EXPECT_EQ(status.size(), c.attempts);

        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(messages[0].title, MessageText(kMsgComsettingComsearchOkTitle));
        const std::string expected =
            MessageText(kMsgComsettingComsearchOkContents1) + "\n" +
            MessageText(kMsgComsettingComsearchOkContents2) + "\n  " + sim.slavePath() + "\n" +
            MessageText(kMsgComsettingComsearchOkContents3) + "\n  " + std::to_string(c.station) +
            "\n" + MessageText(kMsgComsettingComsearchOkContents4) + "\n  " +
            std::to_string(c.bitRate) + "bps\n\n";
        EXPECT_EQ(messages[0].text, expected);

        EXPECT_EQ(App().commSettings.activeStationId, c.station);
        EXPECT_EQ(App().commSettings.connectionId, c.station);
        EXPECT_EQ(App().commSettings.bitRate, static_cast<int>(c.bitRate));
        EXPECT_EQ(App().commCheckState, kCommAllowed);
        EXPECT_EQ(Enables(), "101");
        EXPECT_EQ(link.baudRate(), c.bitRate);
        // The rule check read the version and the check value from the found station.
        const auto log = controller().requestLog();
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[1][1], kFnRead);
        EXPECT_EQ(log[2][1], kFnRead);
        EXPECT_EQ(log[1][0], c.station);
    }
}

// The search first asks where the controller answered last time; a controller that moved costs
// that one echo, and the search then runs its whole order.
TEST_F(SearchAndCheckTest, AutomaticSearchFirstTriesTheLastAnswer) {
    struct Case {
        const char* name;
        int lastStation;
        int lastRate;
        int station;
        std::uint32_t bitRate;
        std::size_t attempts;  // of the search's own order
    };
    const Case cases[] = {
        {"unchanged", 17, 115200, 17, 115200, 0},
        {"moved", 17, 115200, 2, 9600, 7},
        {"last rate not one the search tries", 3, 4800, 3, 9600, 13},
    };
    const auto status = [](int station, int rate) {
        return MessageText(kMsgProgressStateSearch) + "\tID:" + std::to_string(station) + "\t" +
               std::to_string(rate) + "bps";
    };
    for (const Case& c : cases) {
        PlaceController(c.station, c.bitRate);
        App().commSettings.connectionId = c.lastStation;
        App().commSettings.bitRate = c.lastRate;
        ui.clear();
        const auto start = std::chrono::steady_clock::now();
        const SearchParameters parameters{sim.slavePath(), true, "", ""};
        EXPECT_EQ(SearchAndCheck(link, parameters, ui), kSearchAccepted) << c.name;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::printf("[   INFO   ] search, %s: %lld ms\n", c.name,
                    static_cast<long long>(elapsed.count()));
        const bool probed = c.lastRate != 4800;
        EXPECT_EQ(ui.progress().size(), c.attempts) << c.name;
        ASSERT_EQ(ui.statusTexts().size(), c.attempts + (probed ? 1 : 0)) << c.name;
        EXPECT_EQ(ui.statusTexts().front(),
                  probed ? status(c.lastStation, c.lastRate) : status(1, 9600))
            << c.name;
        EXPECT_EQ(App().commSettings.activeStationId, c.station) << c.name;
        EXPECT_EQ(App().commSettings.bitRate, static_cast<int>(c.bitRate)) << c.name;
    }
}

TEST_F(SearchAndCheckTest, ManualCheckSendsOneEchoToTheChosenStation) {
    PlaceController(5, 115200);
    const SearchParameters parameters{sim.slavePath(), false, "5", "115200"};
    EXPECT_EQ(StartSearch(link, parameters, ui), kSearchAccepted);
    EXPECT_EQ(EchoStations(), std::vector<int>{5});
    EXPECT_EQ(link.baudRate(), 115200u);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find("\n  115200bps\n\n"), std::string::npos) << messages[0].text;
    EXPECT_NE(messages[0].text.find("\n  5\n"), std::string::npos) << messages[0].text;
    EXPECT_EQ(ui.statusTexts(),
              std::vector<std::string>{MessageText(kMsgProgressStateSearch) + "\tID:5\t115200bps"});
    EXPECT_EQ(App().commSettings.activeStationId, 5);
    EXPECT_EQ(App().commSettings.connectionId, 5);
    EXPECT_EQ(App().commSettings.bitRate, 115200);
}

TEST_F(SearchAndCheckTest, ManualCheckWithoutAnswerReportsNotFound) {
    struct Case {
        const char* id;
        const char* bitRate;
        std::vector<int> echoed;  // stations whose echo reached the controller
    };
    const Case cases[] = {
        {"6", "115200", {}},  // another station: the controller ignores the request
        {"5", "9600", {}},    // another bit rate: the request arrives garbled
    };
    for (const Case& c : cases) {
        PlaceController(5, 115200);
        ui.clear();
        App().commSettings.activeStationId = 77;
        const SearchParameters parameters{sim.slavePath(), false, c.id, c.bitRate};
        EXPECT_EQ(StartSearch(link, parameters, ui), kSearchNotFound) << c.id;
        EXPECT_EQ(EchoStations(), c.echoed) << c.id;
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(messages[0].title, MessageText(kMsgComsettingComsearchNgTitle));
        EXPECT_EQ(messages[0].text, MessageText(kMsgComsettingComsearchNgContents));
        EXPECT_EQ(App().commSettings.activeStationId, -1);
        EXPECT_EQ(App().commSettings.bitRate, 4800);
    }
}

// The controller listens at the rate the port was left at; a rate the adapter refuses must not
// be recorded for an answer that came at the old rate.
TEST_F(SearchAndCheckTest, RateTheAdapterRefusesIsNeverRecorded) {
    link.close();
    RtuMaster refusingLink(std::make_unique<PortRefusingARate>(9600));
    ASSERT_TRUE(refusingLink.open(sim.slavePath()).ok());
    PlaceController(1, 115200);

    const SearchParameters manual{sim.slavePath(), false, "1", "9600"};
    ASSERT_TRUE(refusingLink.configure(115200, 0, 0).ok());
    ui.clear();
    EXPECT_EQ(SearchAndCheck(refusingLink, manual, ui), kSearchNotFound);
    EXPECT_TRUE(EchoStations().empty());
    EXPECT_EQ(App().commSettings.bitRate, 4800);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, MessageText(kMsgComsettingComsearchNgTitle));

    // The first attempt (9600) is refused; the controller is found at its own rate instead.
    const SearchParameters automatic{sim.slavePath(), true, "", ""};
    ASSERT_TRUE(refusingLink.configure(115200, 0, 0).ok());
    ui.clear();
    EXPECT_EQ(SearchAndCheck(refusingLink, automatic, ui), kSearchAccepted);
    EXPECT_EQ(App().commSettings.activeStationId, 1);
    EXPECT_EQ(App().commSettings.bitRate, 115200);
    EXPECT_EQ(ui.progress().size(), 5u);
    refusingLink.close();
}

TEST_F(SearchAndCheckTest, CancelStopsAtTheNextTestPointWithoutAMessage) {
    struct Case {
        const char* name;
        bool automatic;
        int pollsBeforeCancel;
        std::size_t attempts;  // progress values shown
        std::size_t echoes;    // echo requests the controller saw
    };
    // The controller answers station 1 at 38400 bit/s, the third combination of the search.
    const Case cases[] = {
        {"before the first station", true, 0, 0, 0},
        {"before the second combination", true, 2, 1, 0},
        {"before the third combination", true, 3, 2, 0},
        {"manual, after an answered echo", false, 0, 1, 1},
    };
    for (const Case& c : cases) {
        PlaceController(1, 38400);
        ScriptedUi cancelling;
        cancelling.cancelAfter(c.pollsBeforeCancel);
        App().commSettings.activeStationId = 77;
        const SearchParameters parameters{sim.slavePath(), c.automatic, "1", "38400"};
        EXPECT_EQ(StartSearch(link, parameters, cancelling), kSearchCancelled) << c.name;
        EXPECT_TRUE(cancelling.messages().empty()) << c.name;
        EXPECT_EQ(cancelling.progress().size(), c.attempts) << c.name;
        EXPECT_EQ(EchoStations().size(), c.echoes) << c.name;
        EXPECT_EQ(App().commSettings.activeStationId, -1) << c.name;
        EXPECT_EQ(Enables(), "777") << c.name;
    }
}

TEST_F(SearchAndCheckTest, RestrictionVerdictDecidesTheResult) {
    struct Case {
        const char* name;
        std::optional<int> verdict;  // nothing: the verdict key is missing
        bool ruleFile;
        std::optional<MessageAnswer> answer;
        int result;
        int state;
        std::string enables;
        std::vector<std::string> boxTitles;  // after the found box
    };
    const Case cases[] = {
        {"allowed", 0, true, std::nullopt, kSearchAccepted, kCommAllowed, "101", {}},
        {"warning accepted",
         1,
         true,
         MessageAnswer::Ok,
         kSearchAccepted,
         kCommWarningAccepted,
         "010",
         {"Version warning"}},
        {"warning declined",
         1,
         true,
         MessageAnswer::Cancel,
         kSearchRejected,
         kCommWarningDeclined,
         "777",
         {"Version warning"}},
        {"refused",
         2,
         true,
         std::nullopt,
         kSearchRejected,
         kCommRefused,
         "001",
         {"Version refused"}},
        {"no verdict key",
         std::nullopt,
         true,
         std::nullopt,
         kSearchRejected,
         kCommRefused,
         "777",
         {}},
        {"no rule file", 0, false, std::nullopt, kSearchRejected, kCommRefused, "777", {"Velmora"}},
    };
    for (const Case& c : cases) {
        TempFolder programFolder;
        ASSERT_TRUE(programFolder.valid());
        App().moduleFolder = programFolder.path() + "/";
        if (c.ruleFile)
            CommRules(c.verdict).writeTo(programFolder);
        PlaceController(3, 19200);
        App().functionEnables = {7, 7, 7};
        App().commCheckState = -5;
        ScriptedUi answering;
        if (c.answer) {
            answering.queueAnswer(MessageAnswer::Ok);  // the box that reports the controller
            answering.queueAnswer(*c.answer);
        }
        const SearchParameters parameters{sim.slavePath(), false, "3", "19200"};
        EXPECT_EQ(SearchAndCheck(link, parameters, answering), c.result) << c.name;
        EXPECT_EQ(ApplySearchOutcome(c.result), c.result == kSearchAccepted) << c.name;
        EXPECT_EQ(App().commCheckState, c.state) << c.name;
        EXPECT_EQ(Enables(), c.enables) << c.name;
        // Found, whatever the rules say: the station stays identified.
        EXPECT_EQ(App().commSettings.activeStationId, 3) << c.name;
        const auto messages = answering.messages();
        ASSERT_EQ(messages.size(), 1 + c.boxTitles.size()) << c.name;
        EXPECT_EQ(messages[0].title, MessageText(kMsgComsettingComsearchOkTitle)) << c.name;
        for (std::size_t i = 0; i < c.boxTitles.size(); ++i)
            EXPECT_EQ(messages[i + 1].title, c.boxTitles[i]) << c.name;
    }
}

TEST_F(SearchAndCheckTest, PortThatCannotBeOpenedStopsBeforeTheSearch) {
    const SearchParameters parameters{folder.path() + "/no-such-port", true, "", ""};
    EXPECT_EQ(StartSearch(link, parameters, ui), kSearchCancelled);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].title, MessageText(kMsgComsettingComopenErrorTitle));
    EXPECT_EQ(messages[0].text, ComposeAlarmText(kMsgComsettingComopenErrorAlarmContents,
                                                 kMsgComsettingComopenErrorCountermeasureContents));
    EXPECT_TRUE(ui.progress().empty());
    EXPECT_EQ(App().commSettings.activeStationId, 77);
}

TEST(SearchOutcome, OnlyAcceptedSearchesKeepTheStationAndEnableOk) {
    struct Case {
        int result;
        int station;
        bool okEnabled;
    };
    const Case cases[] = {{kSearchAccepted, 9, true},
                          {kSearchRejected, 9, false},
                          {kSearchNotFound, -1, false},
                          {kSearchCancelled, -1, false}};
    const int saved = App().commSettings.activeStationId;
    for (const Case& c : cases) {
        App().commSettings.activeStationId = 9;
        EXPECT_EQ(ApplySearchOutcome(c.result), c.okEnabled) << c.result;
        EXPECT_EQ(App().commSettings.activeStationId, c.station) << c.result;
    }
    App().commSettings.activeStationId = saved;
}

TEST_F(SearchAndCheckTest, FullSearchWithoutControllerTriesEveryCombination) {
    PlaceController(40, 38400);  // a station the search never addresses
    const SearchParameters parameters{sim.slavePath(), true, "", ""};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StartSearch(link, parameters, ui), kSearchNotFound);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("[   INFO   ] full search without a controller: %lld ms for %d attempts\n",
                static_cast<long long>(elapsed.count()), kSearchAttempts);
    RecordProperty("full_search_ms", static_cast<int>(elapsed.count()));

    const auto progress = ui.progress();
    ASSERT_EQ(progress.size(), 192u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress[11], 6);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(ui.statusTexts().size(), 192u);
    EXPECT_EQ(ui.statusTexts().back(), MessageText(kMsgProgressStateSearch) + "\tID:32\t230400bps");
    EXPECT_EQ(link.baudRate(), 230400u);  // left at the last rate tried
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, MessageText(kMsgComsettingComsearchNgTitle));
    EXPECT_EQ(App().commSettings.activeStationId, -1);
    EXPECT_EQ(App().commSettings.bitRate, 4800);
    EXPECT_EQ(App().commCheckState, kCommAllowed);
}

}  // namespace
}  // namespace velmora
