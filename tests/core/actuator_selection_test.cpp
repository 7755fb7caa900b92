#include "data/actuator_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "model/file_ctrl.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "sysfiles/language.h"
#include "transmit/transmit_contents.h"

namespace velmora {
namespace {

using test::ScriptedUi;
using test::TempFolder;
using Texts = std::vector<std::string>;

const std::string kHeading =
    "Part No.,Model,Controller,Motor,Lead,Stroke,SV,IO,Version,Param,Step,Column\r\n";

struct Row {
    std::string partNo;
    std::string model = "M";
    std::string controller = "C";
    std::string motor = "D";
    std::string lead = "L";
    std::string stroke = "S";
    std::string sv = "1";
    std::string io = "NPN";
    std::string version = "V";
};

std::string Line(const Row& r) {
    return r.partNo + "," + r.model + "," + r.controller + "," + r.motor + "," + r.lead + "," +
           r.stroke + "," + r.sv + "," + r.io + "," + r.version + ",p.csv,s.csv,H\r\n";
}

int IndexOf(const ChoiceList& list, const std::string& text) {
    const auto at = std::find(list.entries.begin(), list.entries.end(), text);
    return at == list.entries.end() ? -1 : static_cast<int>(at - list.entries.begin());
}

// Entries after the any-entry, which must be there.
Texts Values(const ChoiceList& list) {
    EXPECT_TRUE(list.hasAnyEntry);
    EXPECT_FALSE(list.entries.empty());
    if (list.entries.empty()) {
        return {};
    }
    EXPECT_EQ(list.entries.front(), MessageText(kListDlgActuatorUnknown));
    return Texts(list.entries.begin() + 1, list.entries.end());
}

class ActuatorSelectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.valid());
        savedModuleFolder_ = App().moduleFolder;
        App().moduleFolder = std::string(VELMORA_SOURCE_DIR) + "/";
        SilentUi silent;
        LoadMessageTable(silent);
        ASSERT_FALSE(MessageText(kListDlgActuatorUnknown).empty());
        ASSERT_FALSE(MessageText(kDlgTopTab3TxtNodatafile).empty());
        model_.onReferenceVersion = [this](const std::string& text) { shown_.push_back(text); };
    }
    void TearDown() override {
        App().moduleFolder = savedModuleFolder_;
        ResetLanguageStateForTesting();
    }

    // Stores the rows as a scrambled list file and initialises the model from the folder.
    void Load(const std::vector<Row>& rows) {
        std::string text = kHeading;
        for (const Row& row : rows) {
            text += Line(row);
        }
        const std::string path = folder_.write("System/Data/Set/AdapterFile.vms", "");
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeCreate | kFileModeWrite));
        file.WriteText(text);
        ASSERT_EQ(file.ScrambleAndWrite(), 0);
        file.Close();
        model_.Initialise(ui_, folder_.path());
        ASSERT_TRUE(ui_.messages().empty());
    }

    void SelectModel(const std::string& name) {
        const int index = IndexOf(model_.models(), name);
        ASSERT_GE(index, 0) << name;
        model_.selectModel(index);
    }

    TempFolder folder_;
    std::string savedModuleFolder_;
    ScriptedUi ui_;
    ActuatorSelectionModel model_;
    Texts shown_;
};

TEST_F(ActuatorSelectionTest, ControllerChoiceDecidesTheMotorsOffered) {
    Load({{.partNo = "P1", .model = "M1", .controller = "C1", .motor = "R"},
          {.partNo = "P2", .model = "M1", .controller = "C2", .motor = "L"},
          {.partNo = "P3", .model = "M1", .controller = "C2", .motor = "Top"},
          {.partNo = "P4", .model = "M2", .controller = "C1", .motor = "X"}});
    SelectModel("M1");
    EXPECT_EQ(Values(model_.controllers()), (Texts{"C1", "C2"}));
    EXPECT_FALSE(model_.models().hasAnyEntry);

    struct Case {
        std::string controller;  // empty: the any-entry
        Texts motors;
        std::size_t records;
    };
    const Case cases[] = {
        {"", {"L", "R", "Top"}, 3},
        {"C1", {"R"}, 1},
        {"C2", {"L", "Top"}, 2},
    };
    for (const Case& c : cases) {
        const int index = c.controller.empty() ? 0 : IndexOf(model_.controllers(), c.controller);
        ASSERT_GE(index, 0);
        model_.selectController(index);
        EXPECT_EQ(Values(model_.motors()), c.motors) << c.controller;
        EXPECT_EQ(model_.listController().size(), c.records) << c.controller;
        for (const auto& record : model_.listController()) {
            EXPECT_EQ(record.strModel, "M1");
        }
        EXPECT_EQ(model_.motors().current, 0);
        EXPECT_EQ(model_.leads().current, 0);
        EXPECT_EQ(model_.strokes().current, 0);
    }
}

TEST_F(ActuatorSelectionTest, ControllerListIgnoresCaseButItsFilterDoesNot) {
    struct Case {
        std::string first;
        std::string second;
    };
    const Case cases[] = {{"C1", "c1"}, {"c1", "C1"}};
    for (const Case& c : cases) {
        Load({{.partNo = "P1", .controller = c.first, .motor = "D1"},
              {.partNo = "P2", .controller = c.second, .motor = "D2"}});
        EXPECT_EQ(Values(model_.controllers()), Texts{c.first}) << c.first;
        model_.selectController(1);
        EXPECT_EQ(Values(model_.motors()), Texts{"D1"}) << c.first;
        ASSERT_EQ(model_.listController().size(), 1u);
        EXPECT_EQ(model_.listController()[0].strPartNo, "P1");
    }
}

TEST_F(ActuatorSelectionTest, StageListsAreSorted) {
    Load({{.partNo = "P1", .lead = "b", .stroke = "100"},
          {.partNo = "P2", .lead = "A", .stroke = "25"},
          {.partNo = "P3", .lead = "c", .stroke = "50"},
          {.partNo = "P4", .lead = "A", .stroke = "100"}});
    EXPECT_EQ(Values(model_.leads()), (Texts{"A", "b", "c"}));
    EXPECT_EQ(Values(model_.strokes()), (Texts{"25", "50", "100"}));
    model_.selectLead(IndexOf(model_.leads(), "A"));
    EXPECT_EQ(Values(model_.strokes()), (Texts{"25", "100"}));
    EXPECT_EQ(model_.listLead().size(), 2u);
}

TEST_F(ActuatorSelectionTest, StrokeChoiceNarrowsTheSearch) {
    Load({{.partNo = "B2", .stroke = "100"},
          {.partNo = "A1", .stroke = "25"},
          {.partNo = "C3", .stroke = "100"},
          {.partNo = "A1", .stroke = "50", .sv = "2"}});
    struct Case {
        std::string stroke;  // empty: the any-entry
        Texts results;
    };
    const Case cases[] = {{"", {"A1", "B2", "C3"}}, {"100", {"B2", "C3"}}, {"50", {"A1"}}};
    for (const Case& c : cases) {
        const int index = c.stroke.empty() ? 0 : IndexOf(model_.strokes(), c.stroke);
        ASSERT_GE(index, 0);
        model_.selectStroke(index);
        model_.SearchNarrowDown();
        EXPECT_EQ(model_.narrowDownResults().entries, c.results) << c.stroke;
        EXPECT_FALSE(model_.narrowDownResults().hasAnyEntry);
        EXPECT_EQ(model_.narrowDownResults().current, 0);
        EXPECT_TRUE(model_.startEnabled()) << c.stroke;
    }
}

TEST_F(ActuatorSelectionTest, PatternFindsPiecesInAnyOrderAndCase) {
    Load({{.partNo = "AB10ST"},
          {.partNo = "st-10"},
          {.partNo = "X10"},
          {.partNo = "STY"},
          {.partNo = "1s0t"},
          {.partNo = "Q-sT-9-10"}});
    model_.SetPartNoMode();
    model_.setPattern("*10*st");
    model_.SearchPartNo();
    EXPECT_EQ(model_.partNoResults().entries, (Texts{"AB10ST", "Q-sT-9-10", "st-10"}));
    EXPECT_EQ(model_.listFound().size(), 3u);
    EXPECT_EQ(model_.partNoResults().current, 0);
    ASSERT_EQ(model_.listSelected().size(), 1u);
    EXPECT_EQ(model_.listSelected()[0].strPartNo, "AB10ST");
}

TEST_F(ActuatorSelectionTest, StartNeedsARecordWithBothConditions) {
    Load({{.partNo = "P1", .sv = "1", .io = "NPN", .version = "V1"},
          {.partNo = "P1", .sv = "2", .io = "PNP", .version = "V2"}});
    model_.SearchNarrowDown();
    ASSERT_EQ(model_.svNumbers().entries, (Texts{"1.00", "2.00"}));
    ASSERT_EQ(model_.ioSpecs().entries, (Texts{"NPN", "PNP"}));
    struct Case {
        std::string sv;
        std::string io;
        std::string version;  // of the selected record; empty: none
    };
    const Case cases[] = {
        {"1.00", "PNP", ""}, {"1.00", "NPN", "V1"}, {"2.00", "NPN", ""}, {"2.00", "PNP", "V2"}};
    for (const Case& c : cases) {
        model_.selectSv(IndexOf(model_.svNumbers(), c.sv));
        model_.selectIo(IndexOf(model_.ioSpecs(), c.io));
        EXPECT_EQ(model_.startEnabled(), !c.version.empty()) << c.sv << " " << c.io;
        EXPECT_EQ(model_.listSelected().size(), c.version.empty() ? 0u : 1u);
        if (!model_.listSelected().empty()) {
            EXPECT_EQ(model_.listSelected()[0].strParamVersion, c.version);
        }
        EXPECT_EQ(model_.StartWriting().has_value(), !c.version.empty());
    }
}

TEST_F(ActuatorSelectionTest, SearchThatFindsNothingLeavesStartDisabled) {
    Load({{.partNo = "P1"}, {.partNo = "P2"}});
    model_.SetPartNoMode();
    struct Case {
        std::string pattern;
        bool found;
    };
    const Case cases[] = {{"p1", true}, {"ZZZ", false}, {"p*", true}, {"P1*Q", false}};
    for (const Case& c : cases) {
        model_.setPattern(c.pattern);
        model_.SearchPartNo();
        EXPECT_EQ(model_.startEnabled(), c.found) << c.pattern;
        EXPECT_EQ(model_.partNoResults().entries.empty(), !c.found) << c.pattern;
        EXPECT_EQ(model_.svNumbers().entries.empty(), !c.found) << c.pattern;
        EXPECT_EQ(model_.ioSpecs().entries.empty(), !c.found) << c.pattern;
        EXPECT_EQ(model_.listSelected().empty(), !c.found) << c.pattern;
        EXPECT_FALSE(model_.StartWriting().has_value() && !c.found);
    }
}

TEST_F(ActuatorSelectionTest, NarrowDownSortsConditionsWhilePartNoSearchKeepsRecordOrder) {
    Load({{.partNo = "P1", .sv = "3", .io = "PNP"},
          {.partNo = "P1", .sv = "1", .io = "NPN"},
          {.partNo = "P1", .sv = "2", .io = "Other"},
          {.partNo = "P1", .sv = "1.0", .io = "npn"}});
    model_.SearchNarrowDown();
    EXPECT_EQ(model_.svNumbers().entries, (Texts{"1.00", "2.00", "3.00"}));
    EXPECT_EQ(model_.ioSpecs().entries, (Texts{"NPN", "Other", "PNP"}));
    EXPECT_EQ(model_.listPartNo().size(), 4u);

    model_.SetPartNoMode();
    model_.setPattern("p1");
    model_.SearchPartNo();
    EXPECT_EQ(model_.svNumbers().entries, (Texts{"3.00", "1.00", "2.00"}));
    EXPECT_EQ(model_.ioSpecs().entries, (Texts{"PNP", "NPN", "Other"}));
    EXPECT_EQ(model_.listPartNo().size(), 4u);
    // First entries: (3.00, PNP), a pair the first record has.
    EXPECT_TRUE(model_.startEnabled());
}

TEST_F(ActuatorSelectionTest, ModeSwitchesResetTheResults) {
    Load({{.partNo = "P1"}});
    struct Case {
        ActuatorSelectionModel::Mode mode;
    };
    const Case cases[] = {{ActuatorSelectionModel::Mode::PartNo},
                          {ActuatorSelectionModel::Mode::NarrowDown},
                          {ActuatorSelectionModel::Mode::PartNo}};
    for (const Case& c : cases) {
        model_.SearchNarrowDown();
        ASSERT_TRUE(model_.startEnabled());
        shown_.clear();
        const bool partNo = c.mode == ActuatorSelectionModel::Mode::PartNo;
        if (partNo) {
            model_.SetPartNoMode();
        } else {
            model_.SetNarrowDownMode();
        }
        EXPECT_EQ(model_.mode(), c.mode);
        EXPECT_EQ(model_.partNoControlsEnabled(), partNo);
        EXPECT_EQ(model_.narrowDownControlsEnabled(), !partNo);
        EXPECT_FALSE(model_.startEnabled());
        EXPECT_TRUE(model_.narrowDownResults().entries.empty());
        EXPECT_TRUE(model_.svNumbers().entries.empty());
        EXPECT_TRUE(model_.ioSpecs().entries.empty());
        EXPECT_TRUE(model_.listPartNo().empty());
        EXPECT_TRUE(model_.listSelected().empty());
        EXPECT_EQ(shown_, Texts{MessageText(kDlgTopTab3TxtNodatafile)});
        EXPECT_EQ(model_.referenceVersion(), MessageText(kDlgTopTab3TxtNodatafile));
    }
}

TEST_F(ActuatorSelectionTest, StartWritingHandsOverTheRecordAndWriteContents) {
    Load({{.partNo = "P1", .io = "PNP", .version = "V1"},
          {.partNo = "P1", .sv = "2", .io = "NPN", .version = "V7"}});
    EXPECT_EQ(model_.writeContents().current, 0);
    EXPECT_FALSE(model_.StartWriting().has_value());
    model_.SearchNarrowDown();
    model_.selectSv(IndexOf(model_.svNumbers(), "2.00"));
    model_.selectIo(IndexOf(model_.ioSpecs(), "NPN"));
    ASSERT_EQ(model_.listSelected().size(), 1u);
    for (int contents = 0; contents < kWriteContentsCount; ++contents) {
        model_.selectWriteContents(contents);
        ASSERT_TRUE(model_.startEnabled());
        shown_.clear();
        const auto request = model_.StartWriting();
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(request->record, model_.listSelected()[0]);
        EXPECT_EQ(request->record.strSVNo, "2.00");
        EXPECT_EQ(request->record.strIOSpec, "NPN");
        EXPECT_EQ(request->writeContents, contents);
        EXPECT_EQ(request->fromFile, 0);
        EXPECT_EQ(shown_, Texts{"V7"});
        EXPECT_EQ(model_.referenceVersion(), "V7");
    }
}

TEST_F(ActuatorSelectionTest, EmptyTableFindsNothing) {
    model_.Initialise(ui_, folder_.path());
    EXPECT_TRUE(ui_.messages().empty());
    EXPECT_TRUE(model_.models().entries.empty());
    EXPECT_EQ(Values(model_.controllers()), Texts{});
    model_.SearchNarrowDown();
    EXPECT_TRUE(model_.narrowDownResults().entries.empty());
    model_.SetPartNoMode();
    model_.SearchPartNo();
    EXPECT_TRUE(model_.partNoResults().entries.empty());
    EXPECT_FALSE(model_.startEnabled());
}

TEST(MatchPartNumberTest, EveryPieceSomewhereIgnoringCase) {
    struct Case {
        std::string partNo;
        std::string pattern;
        bool matches;
    };
    const Case cases[] = {
        {"ABC", "", true},         {"", "", true},          {"ABC", "*", true},
        {"ABC", "**", true},       {"ABC", "a*", true},     {"ABC", "*a", true},
        {"ABC", "*c", true},       {"ABC", "c*a", true},    {"ABC", "b*a*c", true},
        {"ABC", "abc", true},      {"abc", "ABC", true},    {"ABC", "ac", false},
        {"ABC", "a*d", false},     {"ABC", "abcd", false},  {"A-10-st", "ST*10", true},
        {"", "a", false},          {"ABC", "a**c", true},   {"aXa", "a*a", true},
        {"VMA10", "vma1*0", true}, {"VMA10", "*01", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchPartNumber(c.partNo, c.pattern), c.matches)
            << "'" << c.partNo << "' '" << c.pattern << "'";
    }
}

TEST(TransmitContentsTest, ControllerPartNumberCarriesTheIoLetter) {
    struct Case {
        std::string io;
        std::string expected;
    };
    const Case cases[] = {{"NPN", "C1N-A2"}, {"PNP", "C1P-A2"}, {"npn", "C1"},
                          {"pnp", "C1"},     {"", "C1"},        {"NPN ", "C1"}};
    for (const Case& c : cases) {
        stADP_FORMAT record;
        record.strController = "C1";
        record.strPartNo = "A2";
        record.strIOSpec = c.io;
        EXPECT_EQ(ControllerPartNumberText(record), c.expected) << "'" << c.io << "'";
        const TransmitContents contents = MakeTransmitContents(record, "W");
        EXPECT_EQ(contents.controller, c.expected);
        EXPECT_EQ(contents.partNo, "A2");
        EXPECT_EQ(contents.writeContents, "W");
    }
}

}  // namespace
}  // namespace velmora
