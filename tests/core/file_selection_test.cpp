#include "data/file_selection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "data/file_ctrl.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using test::ScriptedUi;
using test::TempFolder;

std::string Unit(std::uint32_t value) {
    return std::to_string(value);
}

// The opening lines of a backup file up to the unit number, as the backup writer prints them.
std::string Backup(const std::string& sv, const std::string& unitNameRow,
                   const std::string& unitNumber, const std::string& unitNumberRow = "D008e") {
    return "BackupDataV001," + sv + ",1.10,2014/06/09 14:05:31\r\n" + "Parameter\r\n" +
           unitNameRow + "\r\n" + "D0000,Controller ID=,1\r\n" + ",IO patern=,0\r\n" +
           "D0002,Stroke(+),5000\r\n" + ",,--------------\r\n" + unitNumberRow + ",Unit number=," +
           unitNumber + "\r\n" + ",,--------------\r\n" + "D0090,Speed=,100\r\n" +
           "\r\n\r\nStepData\r\n0,0,1\r\n";
}

const std::string kNameRow = "D000e,Unit name=,ACT01";

class FileSelectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.valid());
        savedModuleFolder_ = App().moduleFolder;
        App().moduleFolder = std::string(VELMORA_SOURCE_DIR) + "/";
        SilentUi silent;
        LoadMessageTable(silent);
        ASSERT_FALSE(MessageText(kMsgTransmitFileopenErrorTitle).empty());
    }
    void TearDown() override {
        App().moduleFolder = savedModuleFolder_;
        ResetLanguageStateForTesting();
    }

    std::string Store(const std::string& text, const std::string& name = "BackupFile.bkp") {
        const std::string path = folder_.write(name, "");
        CFileCtrl file;
        EXPECT_TRUE(file.Open(path, kFileModeCreate | kFileModeWrite));
        file.WriteText(text);
        EXPECT_EQ(file.ScrambleAndWrite(), 0);
        return path;
    }

    void ExpectOpenFailureMessage(const ScriptedUi& ui) const {
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, MessageText(kMsgTransmitFileopenErrorTitle));
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

TEST_F(FileSelectionTest, DescriptionComesFromTheFirstLines) {
    struct Case {
        std::string name;
        std::string text;
        std::string sv;
        std::string partNo;
        std::string controller;
    };
    const std::string bit31Unit = Unit(0x80000000u | (0x105u << 16) | 0x1234u);
    const Case cases[] = {
        {"QTX11", Backup("1.10", kNameRow, Unit(0x105u << 16)), "1.10", "ACT01", "QTX11-ACT01"},
        {"QTX16", Backup("1.10", kNameRow, Unit(0x101u << 16)), "1.10", "ACT01", "QTX16-ACT01"},
        {"QTX1A", Backup("1.10", kNameRow, Unit(0x104u << 16)), "1.10", "ACT01", "QTX1A-ACT01"},
        {"QTX26", Backup("1.10", kNameRow, Unit(0x201u << 16)), "1.10", "ACT01", "QTX26-ACT01"},
        {"unknown code", Backup("1.10", kNameRow, Unit(0x102u << 16)), "1.10", "ACT01", "---"},
        {"low word ignored", Backup("1.10", kNameRow, Unit((0x201u << 16) | 0xFFFFu)), "1.10",
         "ACT01", "QTX26-ACT01"},
        {"bits 28 to 31 ignored", Backup("1.10", kNameRow, Unit(0x71050000u)), "1.10", "ACT01",
         "QTX11-ACT01"},
        {"bit 31 set", Backup("1.10", kNameRow, bit31Unit), "1.10", "ACT01", "QTX11-ACT01"},
        {"upper-case row", Backup("1.10", kNameRow, Unit(0x105u << 16), "D008E"), "1.10", "ACT01",
         "QTX11-ACT01"},
        {"lower-case row", Backup("1.10", kNameRow, Unit(0x105u << 16), "d008e"), "1.10", "ACT01",
         "QTX11-ACT01"},
        {"no unit number", Backup("1.10", kNameRow, Unit(0x105u << 16), "D008F"), "1.10", "ACT01",
         "---"},
        {"lower-case name row", Backup("1.10", "d000e,Unit name=,x-9", Unit(0x101u << 16)), "1.10",
         "x-9", "QTX16-x-9"},
        {"third line not the name", Backup("1.10", "D000F,Unit name=,ACT01", Unit(0x105u << 16)),
         "1.10", "---", "---"},
        {"one decimal", Backup("1.1", kNameRow, Unit(0x105u << 16)), "1.10", "ACT01",
         "QTX11-ACT01"},
        {"no version", Backup("", kNameRow, Unit(0x105u << 16)), ".00", "ACT01", "QTX11-ACT01"},
        {"three decimals", Backup("2.345", kNameRow, Unit(0)), "2.34", "ACT01", "---"},
        {"header only", "BackupDataV001,3\r\n", "3.00", "---", "---"},
    };
    for (const Case& c : cases) {
        const std::string path = Store(c.text);
        ScriptedUi ui;
        stADP_FORMAT description;
        description.strDataFile = "stale";
        ASSERT_EQ(DescribeBackupFile(path, description, ui), 0) << c.name;
        EXPECT_TRUE(ui.messages().empty()) << c.name;
        EXPECT_EQ(description.strSVNo, c.sv) << c.name;
        EXPECT_EQ(description.strPartNo, c.partNo) << c.name;
        EXPECT_EQ(description.strController, c.controller) << c.name;
        EXPECT_EQ(description.strParamFile, path);
        EXPECT_EQ(description.strStepFile, path);
        EXPECT_TRUE(description.strDataFile.empty());
        EXPECT_TRUE(description.strSpare.empty());
        for (const std::string* unknown :
             {&description.strModel, &description.strMotorDir, &description.strLead,
              &description.strStroke, &description.strIOSpec, &description.strParamVersion,
              &description.strParamColumn}) {
            EXPECT_EQ(*unknown, "---") << c.name;
        }
    }
}

TEST_F(FileSelectionTest, FirstUnitNumberRowCounts) {
    const std::string text = Backup("1.10", kNameRow, Unit(0x102u << 16)) + "D008e,Unit number=," +
                             Unit(0x105u << 16) + "\r\n";
    ScriptedUi ui;
    stADP_FORMAT description;
    ASSERT_EQ(DescribeBackupFile(Store(text), description, ui), 0);
    EXPECT_EQ(description.strController, "---");
}

TEST_F(FileSelectionTest, UnopenableFileIsReported) {
    struct Case {
        std::string name;
        std::string path;
        bool lock;
    };
    const std::string good = Store(Backup("1.10", kNameRow, Unit(0x105u << 16)), "good.bkp");
    const Case cases[] = {
        {"missing", folder_.file("missing.bkp"), false},
        {"not scrambled", folder_.write("plain.bkp", "abc"), false},
        {"locked elsewhere", good, true},
    };
    for (const Case& c : cases) {
        int fd = -1;
        if (c.lock) {
            fd = ::open(c.path.c_str(), O_RDONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        }
        ScriptedUi ui;
        stADP_FORMAT description;
        description.strPartNo = "untouched";
        EXPECT_EQ(DescribeBackupFile(c.path, description, ui), -1) << c.name;
        ExpectOpenFailureMessage(ui);
        EXPECT_EQ(description.strPartNo, "untouched") << c.name;

        FileSelectionModel model;
        std::vector<std::string> shown;
        model.onReferenceVersion = [&](const std::string& text) { shown.push_back(text); };
        model.BrowseResult(true, c.path);
        ScriptedUi modelUi;
        EXPECT_FALSE(model.StartFromFile(modelUi).has_value()) << c.name;
        ExpectOpenFailureMessage(modelUi);
        EXPECT_TRUE(shown.empty()) << c.name;
        EXPECT_EQ(model.path(), c.path);
        EXPECT_TRUE(model.startEnabled());
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

TEST_F(FileSelectionTest, BrowseKeepsTheLastChosenFile) {
    struct Step {
        bool ok;
        std::string path;
    };
    struct Case {
        std::vector<Step> steps;
        std::string path;
        bool enabled;
    };
    const Case cases[] = {
        {{}, "", false},
        {{{false, ""}}, "", false},
        {{{true, "/a.bkp"}}, "/a.bkp", true},
        {{{true, "/a.bkp"}, {false, ""}}, "/a.bkp", true},
        {{{true, "/a.bkp"}, {false, "/ignored.bkp"}}, "/a.bkp", true},
        {{{true, "/a.bkp"}, {true, "/b.bkp"}, {false, ""}}, "/b.bkp", true},
    };
    for (const Case& c : cases) {
        FileSelectionModel model;
        for (const Step& step : c.steps) {
            model.BrowseResult(step.ok, step.path);
        }
        EXPECT_EQ(model.path(), c.path) << c.steps.size();
        EXPECT_EQ(model.startEnabled(), c.enabled) << c.steps.size();
    }
}

TEST_F(FileSelectionTest, StartFromFileHandsOverTheDescription) {
    const std::string path = Store(Backup("1.1", kNameRow, Unit(0x201u << 16)));
    for (int contents = 0; contents < 3; ++contents) {
        FileSelectionModel model;
        model.Initialise();
        std::vector<std::string> shown;
        model.onReferenceVersion = [&](const std::string& text) { shown.push_back(text); };
        model.BrowseResult(true, path);
        model.selectWriteContents(contents);
        ScriptedUi ui;
        const auto request = model.StartFromFile(ui);
        ASSERT_TRUE(request.has_value());
        EXPECT_TRUE(ui.messages().empty());
        stADP_FORMAT expected;
        ASSERT_EQ(DescribeBackupFile(path, expected, ui), 0);
        EXPECT_EQ(request->record, expected);
        EXPECT_EQ(request->record.strController, "QTX26-ACT01");
        EXPECT_EQ(request->writeContents, contents);
        EXPECT_EQ(request->fromFile, 1);
        EXPECT_EQ(shown, std::vector<std::string>{MessageText(kDlgTopTab3TxtNodatafile)});
        EXPECT_EQ(model.referenceVersion(), MessageText(kDlgTopTab3TxtNodatafile));
    }
}

TEST(ControllerModelTextTest, TwelveBitsAboveTheLowWord) {
    struct Case {
        std::uint32_t unit;
        std::string model;
    };
    const Case cases[] = {
        {0x01010000u, "QTX16"}, {0x01040000u, "QTX1A"}, {0x01050000u, "QTX11"},
        {0x02010000u, "QTX26"}, {0xF1050000u, "QTX11"}, {0x0000FFFFu, ""},
        {0x01020000u, ""},      {0x00001010u, ""},      {0xFFFFFFFFu, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ControllerModelText(c.unit), c.model) << std::hex << c.unit;
    }
}

}  // namespace
}  // namespace velmora
