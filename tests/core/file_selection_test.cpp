#include "data/file_selection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "model/file_ctrl.h"
#include "model/backup_file.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using test::ScriptedUi;
using test::TempFolder;

// A whole backup of a controller named ACT01 with this unit number (D008E and D008F).
std::string Backup(const std::string& sv, std::uint32_t unitNumber) {
    RegisterImage image;
    image.setUnitName("ACT01");
    image.set(kUnitNumberReg, static_cast<std::uint16_t>(unitNumber >> 16));
    image.set(kUnitNumberReg + 1, static_cast<std::uint16_t>(unitNumber & 0xFFFF));
    return FormatBackupText(image, sv, "2014/06/09 14:05:31");
}

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

    // The message names the fault of the file after the alarm text.
    static void ExpectRefusal(const ScriptedUi& ui, int titleId, const std::string& alarm,
                              const std::string& path) {
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, MessageText(titleId));
        EXPECT_EQ(messages[0].text.rfind(alarm + "\n\n" + path + ":", 0), 0u) << messages[0].text;
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
    }

    TempFolder folder_;
    std::string savedModuleFolder_;
};

TEST_F(FileSelectionTest, DescriptionComesFromTheBackup) {
    struct Case {
        std::string name;
        std::string text;
        std::string sv;
        std::string controller;
    };
    const Case cases[] = {
        {"QTX11", Backup("1.10", 0x105u << 16), "1.10", "QTX11-ACT01"},
        {"QTX16", Backup("1.10", 0x101u << 16), "1.10", "QTX16-ACT01"},
        {"QTX1A", Backup("1.10", 0x104u << 16), "1.10", "QTX1A-ACT01"},
        {"QTX26", Backup("1.10", 0x201u << 16), "1.10", "QTX26-ACT01"},
        {"unknown code", Backup("1.10", 0x102u << 16), "1.10", "---"},
        {"low word ignored", Backup("1.10", (0x201u << 16) | 0xFFFFu), "1.10", "QTX26-ACT01"},
        {"bit 31 set", Backup("1.10", 0x80000000u | (0x105u << 16) | 0x1234u), "1.10",
         "QTX11-ACT01"},
        {"one decimal", Backup("1.1", 0x105u << 16), "1.10", "QTX11-ACT01"},
        {"no version", Backup("", 0x105u << 16), ".00", "QTX11-ACT01"},
        {"three decimals", Backup("2.345", 0), "2.34", "---"},
    };
    for (const Case& c : cases) {
        const std::string path = Store(c.text);
        ScriptedUi ui;
        stADP_FORMAT description;
        description.strDataFile = "stale";
        ASSERT_EQ(DescribeBackupFile(path, description, ui), 0) << c.name;
        EXPECT_TRUE(ui.messages().empty()) << c.name;
        EXPECT_EQ(description.strSVNo, c.sv) << c.name;
        EXPECT_EQ(description.strPartNo, "ACT01") << c.name;
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

TEST_F(FileSelectionTest, RefusedFileIsReportedWithWhatIsWrong) {
    struct Case {
        std::string name;
        std::string path;
        bool lock;
        int titleId;
        std::string alarm;
    };
    const std::string unopened = ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                                                  kMsgTransmitFileopenErrorCountermeasureContents);
    const std::string damaged = ComposeAlarmText(
        kMsgTransmitFormatErrorAlarmContents, kMsgTransmitFormatErrorAlarmCountermeasureContents);
    std::string changed = Backup("1.10", 0x105u << 16);
    changed.replace(changed.find("Stroke(+),0"), 11, "Stroke(+),1");
    const std::string good = Store(Backup("1.10", 0x105u << 16), "good.bkp");
    const Case cases[] = {
        {"missing", folder_.file("missing.bkp"), false, kMsgTransmitFileopenErrorTitle, unopened},
        {"not scrambled", folder_.write("plain.bkp", "abc"), false, kMsgTransmitFileopenErrorTitle,
         unopened},
        {"locked elsewhere", good, true, kMsgTransmitFileopenErrorTitle, unopened},
        {"changed after saving", Store(changed, "changed.bkp"), false, kMsgTransmitFormatErrorTitle,
         damaged},
        {"cut short", Store(Backup("1.10", 0).substr(0, 900), "cut.bkp"), false,
         kMsgTransmitFormatErrorTitle, damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fd = -1;
        if (c.lock) {
            fd = ::open(c.path.c_str(), O_RDONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        }
        ScriptedUi ui;
        stADP_FORMAT description;
        description.strPartNo = "untouched";
        EXPECT_EQ(DescribeBackupFile(c.path, description, ui), -1);
        ExpectRefusal(ui, c.titleId, c.alarm, c.path);
        EXPECT_EQ(description.strPartNo, "untouched");

        FileSelectionModel model;
        std::vector<std::string> shown;
        model.onReferenceVersion = [&](const std::string& text) { shown.push_back(text); };
        model.BrowseResult(true, c.path);
        ScriptedUi modelUi;
        EXPECT_FALSE(model.StartFromFile(modelUi).has_value());
        ExpectRefusal(modelUi, c.titleId, c.alarm, c.path);
        EXPECT_TRUE(shown.empty());
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
    const std::string path = Store(Backup("1.1", 0x201u << 16));
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
