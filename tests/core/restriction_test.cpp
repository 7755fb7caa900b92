#include "rules/restriction.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/register_ops.h"
#include "support/link_fixture.h"
#include "support/rule_file.h"
#include "support/temp_folder.h"
#include "sysfiles/app_state.h"
#include "sysfiles/settings_file.h"

namespace velmora {
namespace {

using test::LinkFixture;
using test::RuleFile;
using test::TempFolder;

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// The controller on a pseudo-terminal and a program folder of our own for the rule file.
class RestrictionTest : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        if (HasFatalFailure())
            return;
        // The verdicts need the controller's answers, however busy the machine.
        givePatientTiming();
        ASSERT_TRUE(folder.valid());
        App().moduleFolder = folder.path() + "/";
        controller().setVersion(110);
        controller().setRegister(kRegCheckValue, 500);
    }

    void Arrange(int version, int checkValue) {
        controller().setVersion(static_cast<std::uint16_t>(version));
        controller().setRegister(kRegCheckValue, static_cast<std::uint16_t>(checkValue));
        controller().clearRequestLog();
        ui.clear();
    }

    int Check(int operation, int selection, RestrictionResult& result) {
        return CheckFunctionalRestriction(link, 1, operation, selection, result, ui);
    }

    TempFolder folder;
};

// Verdict codes outside 0 to 2 come back unchanged, so each combination gets a code of its
// own and the returned code names the combination the rules chose.
RuleFile CombinationRules() {
    RuleFile rules;
    rules.ranges("COMM", 100, 199, 10, 20, 30, 40);
    rules.set("COMM_SVNO_OK_BKC_OK", 10).set("COMM_SVNO_OK_BKC_NG", 11);
    rules.set("COMM_SVNO_NG_BKC_OK", 12).set("COMM_SVNO_NG_BKC_NG", 13);
    rules.ranges("BACKUP", 300, 399, 0, 65535, 0, 0);
    rules.set("BACKUP_SVNO_OK_BKC_OK", 30).set("BACKUP_SVNO_OK_BKC_NG", 31);
    rules.set("BACKUP_SVNO_NG_BKC_OK", 32).set("BACKUP_SVNO_NG_BKC_NG", 33);
    const char* suffixes[] = {"_SVNO_OK_BKC_OK_SEL_OK", "_SVNO_OK_BKC_OK_SEL_NG",
                              "_SVNO_OK_BKC_NG_SEL_OK", "_SVNO_OK_BKC_NG_SEL_NG",
                              "_SVNO_NG_BKC_OK_SEL_OK", "_SVNO_NG_BKC_OK_SEL_NG",
                              "_SVNO_NG_BKC_NG_SEL_OK", "_SVNO_NG_BKC_NG_SEL_NG"};
    rules.ranges("ACTUATOR", 100, 199, 0, 999, 0, 999);
    rules.ranges("FILE", 100, 199, 0, 999, 0, 999);
    for (int i = 0; i < 8; ++i) {
        rules.set(std::string("ACTUATOR") + suffixes[i], 20 + i);
        rules.set(std::string("FILE") + suffixes[i], 40 + i);
    }
    return rules;
}

TEST_F(RestrictionTest, RangesAreInclusiveAndPickTheVerdictKey) {
    CombinationRules().writeTo(folder);
    struct Case {
        const char* name;
        int operation;
        int version;
        int checkValue;
        int verdict;
    };
    const Case cases[] = {
        {"lowest version in range", RestrictComm, 100, 15, 10},
        {"highest version in range", RestrictComm, 199, 15, 10},
        {"version just below", RestrictComm, 99, 35, 12},
        {"version just above", RestrictComm, 200, 35, 12},
        {"ok check range, low end", RestrictComm, 150, 10, 10},
        {"ok check range, high end", RestrictComm, 150, 20, 10},
        {"below ok check range", RestrictComm, 150, 9, 11},
        {"above ok check range", RestrictComm, 150, 21, 11},
        {"version ok, value only in the ng range", RestrictComm, 150, 35, 11},
        {"ng check range, low end", RestrictComm, 250, 30, 12},
        {"ng check range, high end", RestrictComm, 250, 40, 12},
        {"below ng check range", RestrictComm, 250, 29, 13},
        {"above ng check range", RestrictComm, 250, 41, 13},
        {"version ng, value only in the ok range", RestrictComm, 99, 15, 13},
        {"backup keys", RestrictBackup, 300, 65535, 30},
        {"backup, ng range holds only 0", RestrictBackup, 400, 0, 32},
        {"backup, outside the ng range", RestrictBackup, 400, 1, 33},
        {"backup, version below", RestrictBackup, 299, 0, 32},
        {"backup, highest version", RestrictBackup, 399, 0, 30},
    };
    for (const Case& c : cases) {
        Arrange(c.version, c.checkValue);
        RestrictionResult result;
        EXPECT_EQ(Check(c.operation, 0, result), c.verdict) << c.name;
        EXPECT_TRUE(ui.messages().empty()) << c.name;
    }
}

TEST_F(RestrictionTest, WritingComparesTheSelectionWithTheVersion) {
    CombinationRules().writeTo(folder);
    struct Case {
        const char* name;
        int operation;
        int version;
        int checkValue;
        int selection;
        int verdict;
    };
    const Case cases[] = {
        {"all ok", RestrictActuator, 110, 500, 110, 20},
        {"data for another version", RestrictActuator, 110, 500, 111, 21},
        {"check value ng", RestrictActuator, 110, 1000, 110, 22},
        {"check value ng, other data", RestrictActuator, 110, 1000, 111, 23},
        {"version ng, matching data", RestrictActuator, 200, 500, 200, 24},
        {"version ng, other data", RestrictActuator, 200, 500, 110, 25},
        {"all ng but data", RestrictActuator, 200, 1000, 200, 26},
        {"no selection number", RestrictActuator, 200, 1000, -1, 27},
        {"9.99 lets actuator data through", RestrictActuator, 110, 500, 999, 0},
        {"9.99 lets actuator data through, all ng", RestrictActuator, 200, 1000, 999, 0},
        {"file keys", RestrictFile, 110, 500, 110, 40},
        {"file, other data", RestrictFile, 110, 1000, 120, 43},
        {"file, 9.99 data follows the keys", RestrictFile, 110, 500, 999, 41},
        {"file, 9.99 controller and data", RestrictFile, 999, 500, 999, 44},
    };
    for (const Case& c : cases) {
        Arrange(c.version, c.checkValue);
        RestrictionResult result;
        EXPECT_EQ(Check(c.operation, c.selection, result), c.verdict) << c.name;
    }
}

TEST_F(RestrictionTest, SelectionNineNineNineAllowsOnlyActuatorWrites) {
    RuleFile rules;
    for (const char* prefix : {"ACTUATOR", "FILE"}) {
        const std::string p = prefix;
        rules.ranges(p, 100, 999);
        for (const char* sv : {"OK", "NG"})
            for (const char* bkc : {"OK", "NG"})
                for (const char* sel : {"OK", "NG"})
                    rules.set(p + "_SVNO_" + sv + "_BKC_" + bkc + "_SEL_" + sel, 2);
        rules.outcome(p, 1, 0, 1, 0, 1);
        rules.outcome(p, 3, 1, 0, 1, 0);
    }
    rules.set("MSG_ERR_TITLE", "Refused").set("MSG_ERR_1", "not this controller");
    rules.writeTo(folder);
    const int selection = SelectionNumberFromSvText("9.99");
    ASSERT_EQ(selection, 999);
    for (int version : {110, 999}) {
        Arrange(version, 500);
        RestrictionResult byActuator;
        EXPECT_EQ(Check(RestrictActuator, selection, byActuator), kVerdictAllowed) << version;
        EXPECT_EQ(byActuator.actuatorWriteEnabled, 1);
        EXPECT_EQ(byActuator.fileWriteEnabled, 0);
        EXPECT_EQ(byActuator.backupEnabled, 1);
        EXPECT_EQ(byActuator.message, "");

        RestrictionResult fromFile;
        EXPECT_EQ(Check(RestrictFile, selection, fromFile), kVerdictRefused) << version;
        EXPECT_EQ(fromFile.title, "Refused");
        EXPECT_EQ(fromFile.message, "not this controller");
        EXPECT_EQ(fromFile.fileWriteEnabled, 1);
    }
}

TEST_F(RestrictionTest, RuleValuesAreReadLikeScanfDecimal) {
    struct Case {
        const char* name;
        std::optional<std::string> raw;  // nothing: no line for the key
        int verdict;
    };
    const Case cases[] = {
        {"comment after the value", "2 // refuse", 2},
        {"decimal point", "1.10", 1},
        {"tab comment", "0\tallowed", 0},
        {"slash right after", "1/warn", 1},
        {"plus sign", "+2", 2},
        {"spaces before the value", "   2", 2},
        {"negative", "-1", -1},
        {"not a number", "x1", -1},
        {"comment only", "// nothing", -1},
        {"empty", "", -1},
        {"missing", std::nullopt, -1},
    };
    for (const Case& c : cases) {
        RuleFile rules;
        rules.ranges("COMM", 100, 199);
        if (c.raw)
            rules.set("COMM_SVNO_OK_BKC_OK", *c.raw);
        rules.writeTo(folder);
        Arrange(110, 500);
        RestrictionResult result;
        EXPECT_EQ(Check(RestrictComm, 0, result), c.verdict) << c.name;
    }
    // A range bound goes through the same scan: "1.10" is 1, so version 0.01 lies in range.
    RuleFile rules;
    rules.ranges("COMM", 100, 199).set("COMM_SVNO_MIN", "1.10");
    rules.set("COMM_SVNO_OK_BKC_OK", 0).set("COMM_SVNO_NG_BKC_OK", 2);
    rules.writeTo(folder);
    Arrange(1, 500);
    RestrictionResult result;
    EXPECT_EQ(Check(RestrictComm, 0, result), 0);
}

TEST_F(RestrictionTest, UndecidedVerdictsStopWithoutABox) {
    struct Case {
        const char* name;
        std::optional<int> verdictKey;
        int operation;
        int verdict;
    };
    const Case cases[] = {
        {"missing verdict key", std::nullopt, RestrictComm, -1},
        {"unknown verdict", 5, RestrictComm, 5},
        {"unknown operation", 0, 4, -1},
        {"negative operation", 0, -1, -1},
    };
    for (const Case& c : cases) {
        RuleFile rules;
        rules.ranges("COMM", 100, 199).outcome("COMM", 1, 0, 1, 1, 1);
        if (c.verdictKey)
            rules.set("COMM_SVNO_OK_BKC_OK", *c.verdictKey);
        rules.writeTo(folder);
        Arrange(110, 500);
        RestrictionOutcome outcome = RestrictionOutcome::Allowed;
        EXPECT_EQ(RunRestrictionCheck(link, 1, c.operation, 0, ui, &outcome), -1) << c.name;
        EXPECT_EQ(outcome, RestrictionOutcome::Undecided) << c.name;
        EXPECT_TRUE(ui.messages().empty()) << c.name;

        RestrictionResult result;
        EXPECT_EQ(Check(c.operation, 0, result), c.verdict) << c.name;
        EXPECT_EQ(result.actuatorWriteEnabled, 0) << c.name;
    }
}

TEST_F(RestrictionTest, MissingRuleFileWarnsAtEveryCheckAfterReadingTheController) {
    for (int check = 1; check <= 2; ++check) {
        RestrictionResult result;
        EXPECT_EQ(Check(RestrictComm, 0, result), -1);
    }
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 2u);
    for (const auto& m : messages) {
        EXPECT_EQ(m.text, "FunctionalRestriction.ini Reading Failed");
        EXPECT_EQ(m.icon, MessageIcon::Warning);
        EXPECT_EQ(m.buttons, MessageButtons::Ok);
    }
    // Each check asked for the version register, then for the check value register.
    const auto log = controller().requestLog();
    ASSERT_EQ(log.size(), 4u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        const unsigned address = log[i][2] * 256u + log[i][3];
        EXPECT_EQ(log[i][1], 0x03);
        EXPECT_EQ(address, i % 2 == 0 ? kRegVersion : kRegCheckValue) << i;
    }
}

TEST_F(RestrictionTest, FailedControllerReadsLieOutsideEveryRange) {
    RuleFile rules;
    // Every range takes every value the controller could give.
    rules.ranges("COMM", 0, 65535, 0, 65535, 0, 65535);
    rules.set("COMM_SVNO_OK_BKC_OK", 10).set("COMM_SVNO_OK_BKC_NG", 11);
    rules.set("COMM_SVNO_NG_BKC_OK", 12).set("COMM_SVNO_NG_BKC_NG", 13);
    rules.writeTo(folder);
    struct Case {
        const char* name;
        std::function<void(sim::VirtualController&)> fault;
        int verdict;
        std::size_t requests;
        bool versionRead;
    };
    const Case cases[] = {
        {"both reads answer", [](auto&) {}, 10, 2, true},
        {"version read times out", [](auto& c) { c.dropNextReplies(1); }, 13, 1, false},
        {"version read refused", [](auto& c) { c.exceptionAt(kRegVersion, 2); }, 13, 1, false},
        {"check value read refused", [](auto& c) { c.exceptionAt(kRegCheckValue, 2); }, 11, 2,
         true},
    };
    for (const Case& c : cases) {
        Arrange(110, 500);
        c.fault(controller());
        RestrictionResult result;
        EXPECT_EQ(Check(RestrictComm, 0, result), c.verdict) << c.name;
        EXPECT_EQ(result.versionRead, c.versionRead) << c.name;
        EXPECT_EQ(controller().requestLog().size(), c.requests) << c.name;
        controller().clearFaults();
    }
}

struct TextCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> lines;
    int verdict;
    int messageNumber;
    std::string title;
    std::string message;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class RestrictionTextTest : public RestrictionTest,
                            public ::testing::WithParamInterface<TextCase> {};

TEST_P(RestrictionTextTest, ResultCarriesTheVerdictsText) {
    const TextCase& c = GetParam();
    RuleFile rules;
    rules.ranges("COMM", 100, 199).set("COMM_SVNO_OK_BKC_OK", c.verdict);
    rules.outcome("COMM", 2, c.messageNumber, 1, 1, 1);
    rules.outcome("COMM", 3, c.messageNumber, 0, 0, 0);
    for (const auto& [key, value] : c.lines) rules.set(key, value);
    rules.writeTo(folder);
    RestrictionResult result;
    ASSERT_EQ(Check(RestrictComm, 0, result), c.verdict);
    EXPECT_EQ(result.title, c.title);
    EXPECT_EQ(result.message, c.message);
}

const std::string kA = "\xE3\x81\x82";  // U+3042, three bytes in UTF-8
const std::string kE = "\xC3\xA9";      // U+00E9, two bytes in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Texts, RestrictionTextTest,
    ::testing::Values(
        TextCase{
            "LineFeedAlone",
            {{"MSG_ERR_TITLE", "Refused"}, {"MSG_ERR_1", "one"}, {"MSG_ERR_2", "Line1\\nLine2"}},
            2,
            2,
            "Refused",
            "Line1\nLine2"},
        TextCase{"OtherEscapes",
                 {{"MSG_WARNING_TITLE", "Careful\\tnow"}, {"MSG_WARNING_1", "a\\r\\nb\\rc\\td"}},
                 1,
                 1,
                 "Careful\tnow",
                 "a\r\nb\rc\td"},
        TextCase{"GapNumberAboveCountIsEmpty",
                 {{"MSG_WARNING_TITLE", "W"}, {"MSG_WARNING_1", "one"}, {"MSG_WARNING_3", "three"}},
                 1,
                 3,
                 "W",
                 ""},
        TextCase{"GapSlotIsEmpty",
                 {{"MSG_WARNING_TITLE", "W"}, {"MSG_WARNING_1", "one"}, {"MSG_WARNING_3", "three"}},
                 1,
                 2,
                 "W",
                 ""},
        TextCase{"FirstOfAGappedTable",
                 {{"MSG_WARNING_TITLE", "W"}, {"MSG_WARNING_1", "one"}, {"MSG_WARNING_3", "three"}},
                 1,
                 1,
                 "W",
                 "one"},
        TextCase{"NumberZero", {{"MSG_WARNING_1", "one"}}, 1, 0, "", ""},
        TextCase{"Number256", {{"MSG_WARNING_1", "one"}}, 1, 256, "", ""},
        TextCase{"MissingTitle", {{"MSG_ERR_1", "refused"}}, 2, 1, "", "refused"},
        TextCase{"WarningTableForWarnings",
                 {{"MSG_ERR_TITLE", "E"}, {"MSG_ERR_1", "err"}, {"MSG_WARNING_1", "warn"}},
                 1,
                 1,
                 "",
                 "warn"},
        TextCase{"AllowedShowsNoText",
                 {{"MSG_WARNING_TITLE", "W"}, {"MSG_WARNING_1", "warn"}},
                 0,
                 1,
                 "",
                 ""},
        TextCase{"Exactly256BytesKeptWhole",
                 {{"SET_LOCALE", "C.UTF-8"}, {"MSG_WARNING_1", "x" + Repeat(kA, 85)}},
                 1,
                 1,
                 "",
                 "x" + Repeat(kA, 85)},
        TextCase{"LongerCutAtACharacterStart",
                 {{"SET_LOCALE", "C.UTF-8"}, {"MSG_WARNING_1", Repeat(kA, 90)}},
                 1,
                 1,
                 "",
                 Repeat(kA, 86)},
        TextCase{"CharacterStartingBefore256Kept",
                 {{"SET_LOCALE", "C.UTF-8"}, {"MSG_WARNING_1", "ab" + Repeat(kA, 85) + "cd"}},
                 1,
                 1,
                 "",
                 "ab" + Repeat(kA, 85)},
        TextCase{
            "TitleCutToo",
            {{"SET_LOCALE", "C.UTF-8"}, {"MSG_ERR_TITLE", Repeat(kE, 200)}, {"MSG_ERR_1", "e"}},
            2,
            1,
            Repeat(kE, 128),
            "e"},
        TextCase{"OneByteLocaleCountsCharacters",
                 {{"SET_LOCALE", "C"}, {"MSG_WARNING_1", Repeat(kE, 200)}},
                 1,
                 1,
                 "",
                 Repeat(kE, 200)},
        TextCase{"At most 256 characters are read",
                 {{"MSG_WARNING_1", Repeat("a", 300)}},
                 1,
                 1,
                 "",
                 Repeat("a", 256)}),
    [](const ::testing::TestParamInfo<TextCase>& info) {
        std::string name = info.param.name;
        std::erase(name, ' ');
        return name;
    });

TEST_F(RestrictionTest, RunRestrictionCheckShowsTheVerdictsBox) {
    struct Case {
        const char* name;
        int verdict;
        std::optional<MessageAnswer> answer;
        int goOn;
        RestrictionOutcome outcome;
        std::optional<MessageIcon> icon;
        MessageButtons buttons;
    };
    const Case cases[] = {
        {"allowed", 0, std::nullopt, 0, RestrictionOutcome::Allowed, std::nullopt,
         MessageButtons::Ok},
        {"warning accepted", 1, MessageAnswer::Ok, 0, RestrictionOutcome::WarningAccepted,
         MessageIcon::Warning, MessageButtons::OkCancel},
        {"warning declined", 1, MessageAnswer::Cancel, -1, RestrictionOutcome::WarningDeclined,
         MessageIcon::Warning, MessageButtons::OkCancel},
        {"refused", 2, std::nullopt, -1, RestrictionOutcome::Refused, MessageIcon::Error,
         MessageButtons::Ok},
    };
    for (const Case& c : cases) {
        RuleFile rules;
        rules.ranges("BACKUP", 100, 199).set("BACKUP_SVNO_OK_BKC_OK", c.verdict);
        rules.outcome("BACKUP", 2, 1, 1, 1, 1).outcome("BACKUP", 3, 1, 0, 0, 0);
        rules.set("MSG_WARNING_TITLE", "WT").set("MSG_WARNING_1", "warned");
        rules.set("MSG_ERR_TITLE", "ET").set("MSG_ERR_1", "refused");
        rules.writeTo(folder);
        Arrange(110, 500);
        if (c.answer)
            ui.queueAnswer(*c.answer);
        RestrictionOutcome outcome = RestrictionOutcome::Undecided;
        EXPECT_EQ(RunRestrictionCheck(link, 1, RestrictBackup, 0, ui, &outcome), c.goOn) << c.name;
        EXPECT_EQ(outcome, c.outcome) << c.name;
        const auto messages = ui.messages();
        if (!c.icon) {
            EXPECT_TRUE(messages.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(messages.size(), 1u) << c.name;
        EXPECT_EQ(messages[0].icon, *c.icon) << c.name;
        EXPECT_EQ(messages[0].buttons, c.buttons) << c.name;
        EXPECT_EQ(messages[0].title, c.verdict == 1 ? "WT" : "ET") << c.name;
        EXPECT_EQ(messages[0].text, c.verdict == 1 ? "warned" : "refused") << c.name;
    }
}

TEST(WarningButtons, CancelIsTheDefaultOnlyBeforeAWrite) {
    EXPECT_EQ(WarningButtons(RestrictActuator), MessageButtons::OkCancelDefaultCancel);
    EXPECT_EQ(WarningButtons(RestrictFile), MessageButtons::OkCancelDefaultCancel);
    EXPECT_EQ(WarningButtons(RestrictBackup), MessageButtons::OkCancel);
    EXPECT_EQ(WarningButtons(RestrictComm), MessageButtons::OkCancel);
}

TEST(SelectionNumber, DotsAreRemovedBeforeTheScan) {
    struct Case {
        const char* text;
        int number;
    };
    const Case cases[] = {
        {"1.10", 110},  {"9.99", 999}, {"0.05", 5}, {"2", 2},    {"1.2.3", 123},
        {" 1.00", 100}, {"12ab", 12},  {"", -1},    {"abc", -1}, {".", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SelectionNumberFromSvText(c.text), c.number) << c.text;
    }
}

// The rule file the program ships with.
class ShippedRulesTest : public RestrictionTest {
  protected:
    void SetUp() override {
        RestrictionTest::SetUp();
        if (HasFatalFailure())
            return;
        folder.write("System/FunctionalRestriction.ini",
                     test::ReadBytes(VELMORA_SOURCE_DIR "/System/FunctionalRestriction.ini"));
    }
};

TEST_F(ShippedRulesTest, EveryRuleKeyHoldsANumber) {
    const std::string path = ModulePath(kRestrictionFile);
    std::vector<std::string> keys;
    for (const char* p : {"COMM", "ACTUATOR", "FILE", "BACKUP"}) {
        const std::string prefix = p;
        const bool writing = prefix == "ACTUATOR" || prefix == "FILE";
        for (const char* bound : {"_SVNO_MIN", "_SVNO_MAX", "_SVNO_OK_BKC_MIN", "_SVNO_OK_BKC_MAX",
                                  "_SVNO_NG_BKC_MIN", "_SVNO_NG_BKC_MAX"})
            keys.push_back(prefix + bound);
        for (const char* sv : {"OK", "NG"})
            for (const char* bkc : {"OK", "NG"}) {
                const std::string key = prefix + "_SVNO_" + sv + "_BKC_" + bkc;
                if (writing) {
                    keys.push_back(key + "_SEL_OK");
                    keys.push_back(key + "_SEL_NG");
                } else {
                    keys.push_back(key);
                }
            }
        for (const char* record : {"_1_", "_2_", "_3_"})
            for (const char* field : {"MESSAGE", "ACTUATOR", "FILE", "BACKUP"})
                keys.push_back(prefix + record + field);
    }
    ASSERT_EQ(keys.size(), 96u);
    for (const std::string& key : keys) {
        std::string value;
        ASSERT_EQ(ReadSettingValue(path, kRestrictionSection, key, value), 0) << key;
        EXPECT_NE(value.find_first_of("0123456789"), std::string::npos) << key << "=" << value;
    }
}

TEST_F(ShippedRulesTest, VersionsGetTheirVerdicts) {
    struct Case {
        int operation;
        int version;
        int selection;
        int verdict;
        int enables;  // -1: not checked
    };
    const Case cases[] = {
        {RestrictComm, 100, 0, kVerdictAllowed, 1},
        {RestrictComm, 999, 0, kVerdictAllowed, 1},
        {RestrictComm, 1, 0, kVerdictAllowed, 1},
        {RestrictComm, 99, 0, kVerdictAllowed, 1},
        {RestrictComm, 0, 0, kVerdictRefused, 0},
        {RestrictComm, 1000, 0, kVerdictRefused, 0},
        {RestrictActuator, 110, 110, kVerdictAllowed, -1},
        {RestrictActuator, 110, 120, kVerdictWarning, -1},
        {RestrictActuator, 99, 99, kVerdictWarning, -1},
        {RestrictActuator, 1000, 1000, kVerdictWarning, -1},
        {RestrictActuator, 99, 999, kVerdictAllowed, -1},
        {RestrictFile, 110, 110, kVerdictAllowed, -1},
        {RestrictFile, 110, 120, kVerdictWarning, -1},
        {RestrictFile, 50, 50, kVerdictWarning, -1},
        {RestrictBackup, 100, 0, kVerdictAllowed, -1},
        {RestrictBackup, 999, 0, kVerdictAllowed, -1},
        {RestrictBackup, 99, 0, kVerdictWarning, -1},
    };
    for (const Case& c : cases) {
        Arrange(c.version, 500);
        RestrictionResult result;
        const int verdict = Check(c.operation, c.selection, result);
        EXPECT_EQ(verdict, c.verdict) << c.operation << " v" << c.version << " s" << c.selection;
        // Every box the shipped rules can show has a title and a text.
        if (verdict == kVerdictWarning || verdict == kVerdictRefused) {
            EXPECT_FALSE(result.title.empty()) << c.operation << " v" << c.version;
            EXPECT_FALSE(result.message.empty()) << c.operation << " v" << c.version;
        }
        if (c.enables >= 0) {
            EXPECT_EQ(result.actuatorWriteEnabled, c.enables) << c.version;
            EXPECT_EQ(result.fileWriteEnabled, c.enables) << c.version;
            EXPECT_EQ(result.backupEnabled, c.enables) << c.version;
        }
    }
    // A controller whose check value register cannot be read is refused.
    Arrange(110, 500);
    controller().exceptionAt(kRegCheckValue, 2);
    RestrictionResult result;
    EXPECT_EQ(Check(RestrictComm, 0, result), kVerdictRefused);
}

// Version numbers as the controller shows its own, for messages that name both.
TEST(SvNumberTextTest, ShowsTwoDecimals) {
    const std::pair<int, const char*> cases[] = {{110, "1.10"}, {5, "0.05"},     {50, "0.50"},
                                                 {999, "9.99"}, {1000, "10.00"}, {0, "0.00"}};
    for (const auto& [number, text] : cases) {
        EXPECT_EQ(SvNumberText(number), text) << number;
    }
}

}  // namespace
}  // namespace velmora
