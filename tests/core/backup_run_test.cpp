#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "backup/backup_run.h"
#include "model/file_ctrl.h"
#include "model/register_map.h"
#include "support/backup_text.h"
#include "support/link_fixture.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::ParseBackupText;
using test::ReadBytes;
using test::ScriptedUi;
using test::SplitCrLfLines;
using test::TempFolder;

constexpr const char* kOldBytes = "yesterday's backup, not to be lost";

// Forwards to a ScriptedUi and notes how many cancel polls had been made when each status
// text was set, so that cancel points can be aimed at a part of the run.
class CountingUi final : public Ui {
  public:
    explicit CountingUi(ScriptedUi& inner) : inner_(inner) {}
    MessageAnswer showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override {
        return inner_.showMessage(text, title, icon, buttons);
    }
    void setStatusText(const std::string& text) override {
        statusAtPoll.emplace_back(text, polls);
        inner_.setStatusText(text);
    }
    void setProgress(int percent) override { inner_.setProgress(percent); }
    bool cancelRequested() override {
        ++polls;
        return inner_.cancelRequested();
    }

    int polls = 0;
    std::vector<std::pair<std::string, int>> statusAtPoll;

  private:
    ScriptedUi& inner_;
};

std::string ReadStoredText(const std::string& path) {
    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        return "<unreadable>";
    }
    std::string text(static_cast<std::size_t>(file.GetLength()), '\0');
    if (!text.empty() && file.Read(text.data(), text.size()) != text.size()) {
        return "<short>";
    }
    return text;
}

mode_t ProcessUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

std::uint16_t RequestAddress(const std::vector<std::uint8_t>& frame) {
    return frame.size() >= 4 ? static_cast<std::uint16_t>(frame[2] << 8 | frame[3]) : 0xFFFF;
}

bool IsParameterAreaRead(const std::vector<std::uint8_t>& frame) {
    return frame.size() >= 6 && frame[1] == 0x03 && RequestAddress(frame) < 0x0180;
}

class BackupRun : public test::LinkFixture {
  protected:
    void SetUp() override {
        test::LinkFixture::SetUp();
        ASSERT_TRUE(folder.valid());
        std::mt19937 generator(4711);
        std::vector<std::uint16_t> parameters(kParameterRegCount);
        for (auto& value : parameters) {
            value = static_cast<std::uint16_t>(generator());
        }
        // The first registers hold values whose lines are written out below by hand.
        const std::vector<std::uint16_t> head = {
            0x0102, 0xFF00, 0x0001, 0x86A0, 0xFFFF, 0xFFFF, 0x8000, 0x0007, 0x0000, 0x0005, 0x0000,
            0x0000, 0x01C8, 0x0300,
            // "VMA-100" and zero bytes
            0x564D, 0x412D, 0x3130, 0x3000, 0x0000, 0x0000, 0x0000, 0x0000};
        std::copy(head.begin(), head.end(), parameters.begin());
        parameters[0x0100] = 0xFF01;
        parameters[0x017F] = 0x1234;
        std::vector<std::uint16_t> steps(kStepCount * kStepRegCount);
        for (auto& value : steps) {
            value = static_cast<std::uint16_t>(generator());
        }
        const std::vector<std::uint16_t> step0 = {1, 100, 0, 2000, 1000};
        std::copy(step0.begin(), step0.end(), steps.begin());
        steps[steps.size() - 2] = 0x0001;
        steps[steps.size() - 1] = 0x0000;
        ASSERT_TRUE(controller().setRange(kParameterFirstReg, parameters));
        ASSERT_TRUE(controller().setRange(kStepFirstReg, steps));
        controller().setVersion(110);
        controller().clearRequestLog();
    }

    TransferContext Context(Ui& user) { return TransferContext{link, 1, user}; }

    // Every register the file holds equals the controller's, by the readers' rules.
    void ExpectFileMatchesController(const std::string& path) {
        const std::string text = ReadStoredText(path);
        const auto parsed = ParseBackupText(text);
        ASSERT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.unitName, "VMA-100");
        const auto parameters = controller().getRange(kParameterFirstReg, kParameterRegCount);
        const auto steps = controller().getRange(kStepFirstReg, kStepCount * kStepRegCount);
        ASSERT_EQ(parameters.size(), kParameterRegCount);
        ASSERT_EQ(steps.size(), kStepCount * kStepRegCount);
        for (const auto& [reg, value] : parsed.registers) {
            const std::uint16_t expected =
                reg >= kStepFirstReg ? steps[reg - kStepFirstReg] : parameters[reg];
            EXPECT_EQ(value, expected) << "register " << reg;
        }
        // The text registers are on the unit name line; every other one has its own value.
        EXPECT_EQ(parsed.registers.size(), kParameterRegCount - 8 + steps.size());
    }

    TempFolder folder;
};

TEST_F(BackupRun, SavedFileHoldsTheControllersRegisters) {
    struct Case {
        const char* name;
        std::function<std::string(const TempFolder&)> prepare;  // returns the path to back up to
        std::string stored;                                     // where the backup must land
        mode_t mode;                                            // 0: the umask's default
    };
    const Case cases[] = {
        {"new file", [](const TempFolder& f) { return f.file("backup.bkp"); }, "backup.bkp", 0},
        {"overwrite keeps the permissions",
         [](const TempFolder& f) {
             const std::string path = f.write("backup.bkp", kOldBytes);
             ::chmod(path.c_str(), 0640);
             return path;
         },
         "backup.bkp", 0640},
        {"through a link",
         [](const TempFolder& f) {
             f.write("real.bkp", kOldBytes);
             ::chmod(f.file("real.bkp").c_str(), 0604);
             fs::create_symlink("real.bkp", f.file("link.bkp"));
             return f.file("link.bkp");
         },
         "real.bkp", 0604},
    };
    const mode_t defaultMode = 0666 & ~ProcessUmask();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder target;
        ASSERT_TRUE(target.valid());
        const std::string path = c.prepare(target);
        const auto namesBefore = target.names();
        ui.clear();
        TransferContext context = Context(ui);
        ASSERT_EQ(RunBackup(context, path), 0);

        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, MessageText(kMsgBackupCompleteTitle));
        EXPECT_EQ(messages[0].text, MessageText(kMsgBackupCompleteContents));
        EXPECT_EQ(messages[0].icon, MessageIcon::Information);

        const std::string stored = target.file(c.stored);
        EXPECT_EQ(ModeOf(stored), c.mode == 0 ? defaultMode : c.mode);
        auto expectedNames = namesBefore;
        expectedNames.insert(c.stored);
        EXPECT_EQ(target.names(), expectedNames);  // no temporary file left behind
        if (c.stored != "backup.bkp") {
            EXPECT_TRUE(fs::is_symlink(path));
        }

        const auto lines = SplitCrLfLines(ReadStoredText(stored));
        const std::vector<std::string> expectedHead = {
            "Parameter",
            "D000e,Unit name=,VMA-100",
            "D0000,Controller ID=,1",
            ",IO patern=,2",
            "D0001,ACC/DEC pattern=,255",
            ",S-motion rate=,0",
            "D0002,Stroke(+),100000",
            ",,--------------",
            "D0004,Stroke(-),4294967295",
            ",,--------------",
            "D0006,Max speed=,32768",
            "D0007,Max ACC/DEC=,7",
            "D0008,Def In position=,5",
            ",,--------------",
            "D000a,ORIG offset=,0",
            ",,--------------",
            "D000c,Max force=,1",
            ",Para protect=,200",
            "D000d,Enable SW=,3",
            ",0013=,0",
        };
        ASSERT_GT(lines.size(), expectedHead.size() + 1);
        EXPECT_TRUE(std::regex_match(
            lines[0],
            std::regex(
                R"(BackupDataV001,1\.10,1\.10,\d{4}/\d\d/\d\d \d\d:\d\d:\d\d,CRC32=[0-9a-f]{8})")))
            << lines[0];
        for (std::size_t i = 0; i < expectedHead.size(); ++i) {
            EXPECT_EQ(lines[i + 1], expectedHead[i]) << "line " << i + 1;
        }
        EXPECT_EQ(lines[expectedHead.size() + 1].rfind("D0016,W-AREA1=,", 0), 0u);

        const auto io = std::find(lines.begin(), lines.end(), "D0100,IN1 func(P1M0)=,65535");
        ASSERT_NE(io, lines.end());
        EXPECT_EQ(*(io + 1), ",IN2 func(P1M0)=,1");
        const auto stepData = std::find(lines.begin(), lines.end(), "StepData");
        ASSERT_NE(stepData, lines.end());
        const std::vector<std::string> around = {
            "D017f,0723=0,4660", "",       "", "StepData", "0,0,1", ",1,100", ",2,2000",
            ",3,--------------", ",4,1000"};
        EXPECT_EQ(std::vector<std::string>(stepData - 3, stepData + 6), around);
        EXPECT_EQ(lines.end() - stepData - 1, 1024);
        EXPECT_EQ(lines[lines.size() - 2], ",14,65536");
        EXPECT_EQ(lines.back(), ",15,--------------");
        // Header, "Parameter", unit name, one line per other parameter row, two empty lines,
        // "StepData", 64 steps of 16 lines.
        std::size_t parameterLines = 0;
        for (const RegisterUnit& unit : ParameterMap()) {
            parameterLines += unit.packing == Packing::Word ? 1 : 2;
        }
        parameterLines -= 2;  // the text's line is the unit name line
        EXPECT_EQ(lines.size(), 3 + parameterLines + 3 + 1024);
        ExpectFileMatchesController(stored);

        const auto progress = ui.progress();
        ASSERT_FALSE(progress.empty());
        EXPECT_LE(progress.size(), 101u);
        EXPECT_EQ(progress.front(), 0);
        EXPECT_EQ(progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_TRUE(std::adjacent_find(progress.begin(), progress.end()) == progress.end());
        EXPECT_GE(*std::min_element(progress.begin(), progress.end()), 0);
        EXPECT_LE(*std::max_element(progress.begin(), progress.end()), 100);
        EXPECT_NE(std::find(progress.begin(), progress.end(), 50), progress.end());
        EXPECT_NE(std::find(progress.begin(), progress.end(), 51), progress.end());

        // The backup's own status texts appear in this order (the readers may add theirs).
        const std::vector<std::string> wanted = {
            MessageText(kMsgProgressBackupInitialize), MessageText(kMsgProgressBackupParameter),
            MessageText(kMsgProgressBackupInitialize), MessageText(kMsgProgressBackupStep)};
        const auto status = ui.statusTexts();
        auto at = status.begin();
        for (const auto& text : wanted) {
            at = std::find(at, status.end(), text);
            ASSERT_NE(at, status.end()) << text;
            ++at;
        }
    }
}

TEST_F(BackupRun, CancelLeavesNoNewFileAndTheOlderOneUntouched) {
    // A run that is not cancelled tells how many polls each part takes.
    ScriptedUi reference;
    CountingUi counting(reference);
    TransferContext referenceContext = Context(counting);
    ASSERT_EQ(RunBackup(referenceContext, folder.file("reference.bkp")), 0);
    ASSERT_TRUE(fs::remove(folder.file("reference.bkp")));
    // One poll after the parameter area, one before each step read of both readings, one at
    // the end.
    ASSERT_EQ(counting.polls, 1 + 64 + 64 + 1);

    struct Case {
        const char* name;
        int polls;  // answered "go on" this many times
        int lastStatus;
    };
    const Case cases[] = {
        {"after the parameter area", 0, kMsgProgressBackupInitialize},
        {"first step", 1, kMsgProgressBackupInitialize},
        {"middle of the steps", 33, kMsgProgressBackupInitialize},
        {"second reading", 66, kMsgProgressBackupStep},
        {"last poll", counting.polls - 1, kMsgProgressBackupStep},
    };
    for (const Case& c : cases) {
        for (const bool older : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (older ? " over an older file" : " new file"));
            const std::string path = folder.file("backup.bkp");
            std::error_code ignored;
            fs::remove(path, ignored);
            if (older) {
                folder.write("backup.bkp", kOldBytes);
            }
            ui.clear();
            ScriptedUi user;
            user.cancelAfter(c.polls);
            TransferContext context = Context(user);
            EXPECT_EQ(RunBackup(context, path), -1);
            EXPECT_TRUE(user.messages().empty());
            EXPECT_TRUE(ui.messages().empty());
            ASSERT_FALSE(user.statusTexts().empty());
            EXPECT_EQ(user.statusTexts().back(), MessageText(c.lastStatus));
            if (older) {
                EXPECT_EQ(ReadBytes(path), kOldBytes);
                EXPECT_EQ(folder.names(), std::set<std::string>{"backup.bkp"});
            } else {
                EXPECT_TRUE(folder.names().empty());
            }
        }
    }
}

TEST_F(BackupRun, FailedReadShowsTheLinkMessageThenTheBackupError) {
    // Where the unit name is read: the request for its eight registers before the steps.
    TransferContext reference = Context(ui);
    ASSERT_EQ(RunBackup(reference, folder.file("reference.bkp")), 0);
    ASSERT_TRUE(fs::remove(folder.file("reference.bkp")));
    const auto log = controller().requestLog();
    int unitNameRequest = -1;
    auto inStepArea = [](const std::vector<std::uint8_t>& frame) {
        return RequestAddress(frame) >= kStepFirstReg && RequestAddress(frame) < 0x0800;
    };
    for (std::size_t i = 0; i < log.size() && !inStepArea(log[i]); ++i) {
        if (log[i].size() >= 6 && log[i][1] == 0x03 && RequestAddress(log[i]) == 0x000E &&
            log[i][5] == 8) {
            unitNameRequest = static_cast<int>(i);
        }
    }
    ASSERT_GE(unitNameRequest, 1);

    const std::string timeout = MessageText(kMsgComTimeoutCountermeasureContents);
    const std::string exception = ComposeAlarmText(kMsgComAbnormalResponseInjusticeContents,
                                                   kMsgComAbnormalResponseCountermeasureContents);
    struct Case {
        const char* name;
        std::function<void(sim::VirtualController&)> fault;
        std::string linkMessage;
        bool readsParameters;
    };
    const Case cases[] = {
        {"no controller", [](auto& c) { c.stopAfterRequests(0); }, timeout, false},
        {"time-out in the parameter read",
         [&](auto& c) { c.stopAfterRequests(unitNameRequest + 2); }, timeout, true},
        {"time-out at the unit name", [&](auto& c) { c.stopAfterRequests(unitNameRequest); },
         timeout, true},
        {"exception in the step read", [](auto& c) { c.exceptionAt(0x0400 + 16 * 20, 4); },
         exception, true},
    };
    for (const Case& c : cases) {
        for (const bool older : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (older ? " over an older file" : " new file"));
            const std::string path = folder.file("backup.bkp");
            std::error_code ignored;
            fs::remove(path, ignored);
            if (older) {
                folder.write("backup.bkp", kOldBytes);
            }
            controller().clearFaults();
            controller().clearRequestLog();
            c.fault(controller());
            ui.clear();
            TransferContext context = Context(ui);
            EXPECT_EQ(RunBackup(context, path), -1);
            controller().clearFaults();

            const auto messages = ui.messages();
            ASSERT_EQ(messages.size(), 2u);
            EXPECT_EQ(messages[0].text, c.linkMessage);
            EXPECT_EQ(messages[1].title, MessageText(kMsgBackupErrorTitle));
            EXPECT_EQ(messages[1].text,
                      ComposeAlarmText(kMsgBackupErrorAlarmContents,
                                       kMsgBackupErrorAlarmCountermeasureContents));
            EXPECT_EQ(messages[1].icon, MessageIcon::Error);
            const auto requests = controller().requestLog();
            EXPECT_EQ(std::any_of(requests.begin(), requests.end(), IsParameterAreaRead),
                      c.readsParameters);
            if (older) {
                EXPECT_EQ(ReadBytes(path), kOldBytes);
                EXPECT_EQ(folder.names(), std::set<std::string>{"backup.bkp"});
            } else {
                EXPECT_TRUE(folder.names().empty());
            }
        }
    }
}

TEST_F(BackupRun, UnwritableTargetIsReportedBeforeAnyRead) {
    struct Case {
        const char* name;
        std::function<std::string(const TempFolder&)> prepare;
        bool needsUnprivileged;  // permission bits do not stop root
    };
    const Case cases[] = {
        {"missing folder", [](const TempFolder& f) { return f.file("missing/backup.bkp"); }, false},
        {"target is a folder",
         [](const TempFolder& f) {
             fs::create_directory(f.file("backup.bkp"));
             return f.file("backup.bkp");
         },
         false},
        {"path names a folder", [](const TempFolder& f) { return f.path() + "/"; }, false},
        {"read-only folder",
         [](const TempFolder& f) {
             fs::create_directory(f.file("locked"));
             ::chmod(f.file("locked").c_str(), 0555);
             return f.file("locked/backup.bkp");
         },
         true},
        {"read-only older file",
         [](const TempFolder& f) {
             const std::string path = f.write("backup.bkp", kOldBytes);
             ::chmod(path.c_str(), 0444);
             return path;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsUnprivileged && ::geteuid() == 0) {
            continue;
        }
        TempFolder target;
        ASSERT_TRUE(target.valid());
        const std::string path = c.prepare(target);
        const auto namesBefore = target.names();
        ui.clear();
        controller().clearRequestLog();
        TransferContext context = Context(ui);
        EXPECT_EQ(RunBackup(context, path), -1);
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, MessageText(kMsgFileOpenFailedTitle));
        EXPECT_EQ(messages[0].text,
                  ComposeAlarmText(kMsgFileOpenFailedContents, kMsgFileOpenFailedCountermeasure));
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        const auto requests = controller().requestLog();
        EXPECT_TRUE(requests.empty());  // the controller is not asked anything
        EXPECT_FALSE(std::any_of(requests.begin(), requests.end(), IsParameterAreaRead));
        EXPECT_EQ(target.names(), namesBefore);
    }
}

}  // namespace
}  // namespace velmora
