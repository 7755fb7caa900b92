#include "model/actuator_table.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "model/field_reader.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "platform/folder_utils.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using test::ScriptedUi;
using test::TempFolder;

// Stores text as a scrambled list file at relative below folder; returns its path.
std::string StoreList(const TempFolder& folder, const std::string& relative,
                      const std::string& text) {
    const std::string path = folder.write(relative, "");
    CFileCtrl file;
    EXPECT_TRUE(file.Open(path, kFileModeCreate | kFileModeWrite));
    file.WriteText(text);
    EXPECT_EQ(file.ScrambleAndWrite(), 0);
    return path;
}

const std::string kHeading =
    "Part No.,Model,Controller,Motor,Lead,Stroke,SV,IO,Version,Param,Step,Column\r\n";

// The records of a list file's lines (heading skipped), read the way the loader reads them.
std::vector<stADP_FORMAT> ReadLines(const std::string& lines, int* lastResult = nullptr) {
    TempFolder folder;
    const std::string path = StoreList(folder, "AdapterFile.vms", kHeading + lines);
    CFileCtrl file;
    EXPECT_TRUE(file.Open(path, kFileModeReadWrite | kFileShareExclusive));
    EXPECT_EQ(SkipLines(file, 1), 0);
    std::vector<stADP_FORMAT> table;
    int result = 0;
    while ((result = ReadAdapterLine(file, path, table)) == 0) {
    }
    if (lastResult != nullptr) {
        *lastResult = result;
    }
    for (auto& record : table) {
        EXPECT_EQ(record.strDataFile, path);
        record.strDataFile.clear();
    }
    return table;
}

stADP_FORMAT Record(const std::vector<std::string>& fields) {
    stADP_FORMAT r;
    std::string* slots[] = {&r.strPartNo,    &r.strModel,    &r.strController,
                            &r.strMotorDir,  &r.strLead,     &r.strStroke,
                            &r.strSVNo,      &r.strIOSpec,   &r.strParamVersion,
                            &r.strParamFile, &r.strStepFile, &r.strParamColumn};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        *slots[i] = fields[i];
    }
    return r;
}

TEST(SplitAlternativesTest, PiecesBetweenBars) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"a|b", {"a", "b"}},
        {"a||b", {"a", "", "b"}},
        {"|a", {"", "a"}},
        {"a|", {"a"}},
        {"a||", {"a", ""}},
        {"a", {"a"}},
        {"", {}},
        {"|", {""}},
        {"M1|M2|M3", {"M1", "M2", "M3"}},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<std::string> pieces = {"left over"};
        SplitAlternatives(text, pieces);
        EXPECT_EQ(pieces, expected) << "'" << text << "'";
    }
}

TEST(NormaliseSvNumberTest, TwoDecimals) {
    const std::pair<std::string, std::string> cases[] = {
        {"2", "2.00"}, {"1.1", "1.10"},   {"1.12", "1.12"},  {"1.123", "1.12"}, {"1.", "1."},
        {"", ".00"},   {"10.5", "10.50"}, {"1.2.3", "1.2."}, {".5", ".50"},     {"1.10", "1.10"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(NormaliseSvNumber(in), out) << "'" << in << "'";
    }
}

TEST(ReadAdapterLineTest, AlternativesExpandInNestedOrder) {
    const auto table = ReadLines("P1,M1|M2,C1,D1,L1,S1|S2,1.5,NPN,V1,a.csv,b.csv,H1\r\n");
    const std::vector<stADP_FORMAT> expected = {
        Record({"P1", "M1", "C1", "D1", "L1", "S1", "1.50", "NPN", "V1", "a.csv", "b.csv", "H1"}),
        Record({"P1", "M1", "C1", "D1", "L1", "S2", "1.50", "NPN", "V1", "a.csv", "b.csv", "H1"}),
        Record({"P1", "M2", "C1", "D1", "L1", "S1", "1.50", "NPN", "V1", "a.csv", "b.csv", "H1"}),
        Record({"P1", "M2", "C1", "D1", "L1", "S2", "1.50", "NPN", "V1", "a.csv", "b.csv", "H1"}),
    };
    EXPECT_EQ(table, expected);
}

TEST(ReadAdapterLineTest, EveryAlternativeColumnTakesPart) {
    const auto table = ReadLines("P,A|B,C,D1|D2,L,S,1|2.345,N|P,V,p.csv,s.csv,H\r\n");
    ASSERT_EQ(table.size(), 16u);
    // Column 7 turns fastest, column 1 slowest.
    std::vector<std::string> order;
    for (const auto& r : table) {
        order.push_back(r.strModel + r.strMotorDir + r.strSVNo + r.strIOSpec);
    }
    const std::vector<std::string> expected = {"AD11.00N", "AD11.00P", "AD12.34N", "AD12.34P",
                                               "AD21.00N", "AD21.00P", "AD22.34N", "AD22.34P",
                                               "BD11.00N", "BD11.00P", "BD12.34N", "BD12.34P",
                                               "BD21.00N", "BD21.00P", "BD22.34N", "BD22.34P"};
    EXPECT_EQ(order, expected);
}

TEST(ReadAdapterLineTest, ShortAndFaultyLines) {
    struct Case {
        std::string lines;
        std::vector<stADP_FORMAT> expected;
        int lastResult;
    };
    const Case cases[] = {
        // Eight fields: the columns after the IO specification are empty.
        {"P,M,C,D,L,S,1.5,NPN\r\n", {Record({"P", "M", "C", "D", "L", "S", "1.50", "NPN"})}, -1},
        // Seven fields: column 7 is empty, so no record; the next line is still read.
        {"P,M,C,D,L,S,1.5\r\nQ,M,C,D,L,S,2,PNP\r\n",
         {Record({"Q", "M", "C", "D", "L", "S", "2.00", "PNP"})},
         -1},
        // An empty column among 1 to 7 gives no record.
        {"P,M,,D,L,S,1,NPN,V,a,b,H\r\n", {}, -1},
        // Fields after column 11 are ignored.
        {"P,M,C,D,L,S,1,NPN,V,a,b,H,extra,more\r\n",
         {Record({"P", "M", "C", "D", "L", "S", "1.00", "NPN", "V", "a", "b", "H"})},
         -1},
        // A last line without CR LF gives no record.
        {"P,M,C,D,L,S,1,NPN,V,a,b,H\r\nQ,M,C,D,L,S,1,NPN,V,a,b,H",
         {Record({"P", "M", "C", "D", "L", "S", "1.00", "NPN", "V", "a", "b", "H"})},
         -1},
        {"", {}, -1},
    };
    for (const Case& c : cases) {
        int last = 0;
        EXPECT_EQ(ReadLines(c.lines, &last), c.expected) << c.lines;
        EXPECT_EQ(last, c.lastResult);
    }
}

TEST(ReadAdapterLineTest, PositionMovesToTheNextLine) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string line = "P,M,C,D,L,S,1,NPN,V,a,b,H\r\n";
    const std::string path = StoreList(folder, "AdapterFile.vms", line + "next\r\n");
    CFileCtrl file;
    ASSERT_TRUE(file.Open(path, kFileModeRead));
    std::vector<stADP_FORMAT> table;
    ASSERT_EQ(ReadAdapterLine(file, path, table), 0);
    EXPECT_EQ(file.GetPosition(), static_cast<std::int64_t>(line.size()));
}

class LoadActuatorTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.valid());
        savedModuleFolder_ = App().moduleFolder;
        App().moduleFolder = std::string(VELMORA_SOURCE_DIR) + "/";
        SilentUi silent;
        LoadMessageTable(silent);
    }
    void TearDown() override {
        App().moduleFolder = savedModuleFolder_;
        ResetLanguageStateForTesting();
    }

    static std::string Line(const std::string& part, const std::string& model) {
        return part + "," + model + ",C,D,L,S,1,NPN,V,p.csv,s.csv,H\r\n";
    }

    void ExpectOpenFailureMessage(const ScriptedUi& ui) const {
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, MessageText(kMsgTransmitFileopenErrorTitle));
        EXPECT_FALSE(messages[0].title.empty());
        EXPECT_EQ(messages[0].text,
                  MessageText(kMsgTransmitFileopenErrorAlarmContents) + "\n" +
                      MessageText(kMsgAlarmCountermeasureTitle) + "\n  " +
                      MessageText(kMsgTransmitFileopenErrorCountermeasureContents));
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
    }

    TempFolder folder_;
    std::string savedModuleFolder_;
};

TEST_F(LoadActuatorTableTest, SameModelInTwoFilesIsListedOnce) {
    const std::string first = StoreList(folder_, "System/Data/SetA/AdapterFile.vms",
                                        kHeading + Line("PA", "VMA10") + Line("PB", "VMA20"));
    const std::string second = StoreList(folder_, "System/Data/SetB/AdapterFile.vms",
                                         kHeading + Line("PC", "vma10") + Line("PD", "VMA10"));
    ScriptedUi ui;
    std::vector<stADP_FORMAT> table = {Record({"stale"})};
    std::vector<std::string> models = {"stale"};
    LoadActuatorTable(ui, folder_.path(), table, models);

    EXPECT_TRUE(ui.messages().empty());
    ASSERT_EQ(table.size(), 4u);
    for (const auto& record : table) {
        const bool fromFirst = record.strPartNo == "PA" || record.strPartNo == "PB";
        EXPECT_EQ(record.strDataFile, fromFirst ? first : second) << record.strPartNo;
        EXPECT_TRUE(record.strSpare.empty());
    }
    // Whichever file came first named VMA10 first; letter case does not make a new model.
    ASSERT_EQ(models.size(), 2u);
    EXPECT_EQ(models[1], "VMA20");
    EXPECT_TRUE(models[0] == "VMA10" || models[0] == "vma10") << models[0];
}

TEST_F(LoadActuatorTableTest, ModelsAreSortedIgnoringCase) {
    StoreList(folder_, "AdapterFile.vms",
              kHeading + Line("P1", "b") + Line("P2", "A") + Line("P3", "c") + Line("P4", "b"));
    ScriptedUi ui;
    std::vector<stADP_FORMAT> table;
    std::vector<std::string> models;
    LoadActuatorTable(ui, folder_.path(), table, models);
    EXPECT_EQ(models, (std::vector<std::string>{"A", "b", "c"}));
    EXPECT_EQ(table.size(), 4u);
}

TEST_F(LoadActuatorTableTest, NoListFileGivesAnEmptyTableSilently) {
    folder_.write("System/Data/Set/AdapterFile.csv", "not a list file");
    folder_.write("System/Data/Set/adapterfile.vms", "wrong case");
    ScriptedUi ui;
    std::vector<stADP_FORMAT> table = {Record({"stale"})};
    std::vector<std::string> models = {"stale"};
    LoadActuatorTable(ui, folder_.path(), table, models);
    EXPECT_TRUE(table.empty());
    EXPECT_TRUE(models.empty());
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(LoadActuatorTableTest, UnreadableListFileStopsTheLoadWithAMessage) {
    // Two good files; the one the walk meets second is then spoiled, so what the first gave
    // stays and its models are left unsorted.
    const std::string lines = kHeading + Line("P1", "b") + Line("P2", "A") + Line("P3", "c");
    StoreList(folder_, "x/AdapterFile.vms", lines);
    StoreList(folder_, "y/AdapterFile.vms", lines);
    std::vector<std::string> walk;
    ASSERT_EQ(FindFileInTree(folder_.path(), "AdapterFile.vms", walk), 1);
    ASSERT_EQ(walk.size(), 2u);
    const std::string stored = test::ReadBytes(walk[1]);
    folder_.write(walk[1].substr(folder_.path().size() + 1), stored.substr(0, stored.size() - 1));

    ScriptedUi ui;
    std::vector<stADP_FORMAT> table;
    std::vector<std::string> models;
    LoadActuatorTable(ui, folder_.path(), table, models);
    ExpectOpenFailureMessage(ui);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].strDataFile, walk[0]);
    EXPECT_EQ(models, (std::vector<std::string>{"b", "A", "c"}));
}

TEST_F(LoadActuatorTableTest, ListFileLockedElsewhereCannotBeOpened) {
    const std::string path = StoreList(folder_, "AdapterFile.vms", kHeading + Line("P", "M"));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ScriptedUi ui;
    std::vector<stADP_FORMAT> table;
    std::vector<std::string> models;
    LoadActuatorTable(ui, folder_.path(), table, models);
    ::close(fd);
    ExpectOpenFailureMessage(ui);
    EXPECT_TRUE(table.empty());
}

TEST(DataFilePathTest, DataFilesLieBesideTheListFile) {
    struct Case {
        std::string listFile;
        std::string listed;
        std::string expected;
    };
    const Case cases[] = {
        {"/opt/v/System/Data/Set/AdapterFile.vms", "VMA10_param.csv",
         "/opt/v/System/Data/Set/VMA10_param.vmw"},
        {"/opt/v/Data/AdapterFile.vms", "sub/b.csv", "/opt/v/Data/sub/b.vmw"},
        {"/d/AdapterFile.vms", "a.csv.csv", "/d/a.vmw.vmw"},
        {"/d/AdapterFile.vms", "plain.txt", "/d/plain.txt"},
        {"/AdapterFile.vms/AdapterFile.vms", "x.csv", "/x.vmw"},
    };
    for (const Case& c : cases) {
        stADP_FORMAT record;
        record.strDataFile = c.listFile;
        EXPECT_EQ(DataFilePath(record, c.listed), c.expected) << c.listFile;
    }
}

}  // namespace
}  // namespace velmora
