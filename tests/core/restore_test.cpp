// Restoring backup files into the virtual controller: backups made by the backup run from one
// controller and written into another, and files edited for one case each.

#include "transmit/restore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_run.h"
#include "link/register_tables.h"
#include "support/backup_text.h"
#include "support/transmit_support.h"
#include "support/writer_fixture.h"
#include "sysfiles/language.h"
#include "transmit/transmit_worker.h"

namespace velmora {
namespace {

using test::AreaReads;
using test::AreaWrites;
using test::Concat;
using test::Describe;
using test::RegisterImage;
using test::Request;
using test::StepBlocks;

constexpr const char* kNameA = "UNIT-A01";

std::string ReplaceLine(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find("\r\n" + from + "\r\n");
    if (at == std::string::npos) {
        return {};
    }
    return text.substr(0, at + 2) + to + text.substr(at + 2 + from.size());
}

// Removes a whole line (with its CR LF); empty when it is not there.
std::string RemoveLine(const std::string& text, const std::string& line) {
    const std::size_t at = text.find("\r\n" + line + "\r\n");
    if (at == std::string::npos) {
        return {};
    }
    return text.substr(0, at + 2) + text.substr(at + 4 + line.size());
}

// The line that starts with the prefix (without its CR LF); empty when none does.
std::string LineStartingWith(const std::string& text, const std::string& prefix) {
    const std::size_t at = text.find("\r\n" + prefix);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t end = text.find("\r\n", at + 2);
    return text.substr(at + 2, end - at - 2);
}

// The fixture's controller is the source of the backups; writes go to it as well unless a
// test brings a second one.
class RestoreTest : public test::WriterFixture {
  protected:
    void SetUp() override {
        WriterFixture::SetUp();
        test::SeedImage(controller(), 7, kNameA);
        controller().setRegister(0x000C, 0x0564);
        backupPath = folder.file("source.bkp");
        TransferContext ctx = context();
        ASSERT_EQ(RunBackup(ctx, backupPath), 0);
        backupText = test::ReadStoredText(backupPath);
        ASSERT_FALSE(backupText.empty());
        ASSERT_EQ(test::ParseBackupText(backupText).error, "");
        source = Snapshot(0x0000, 0x017F);
        sourceSteps = Snapshot(0x0400, 0x07FF);
        controller().clearRequestLog();
        ui.clear();
    }

    RegisterImage Snapshot(std::uint16_t first, std::uint16_t last) {
        RegisterImage image;
        for (unsigned reg = first; reg <= last; ++reg) {
            image[static_cast<std::uint16_t>(reg)] =
                controller().getRegister(static_cast<std::uint16_t>(reg)).value_or(0xDEAD);
        }
        return image;
    }

    // Stores an edited backup text and returns its path.
    std::string Edited(const std::string& name, const std::string& text) {
        EXPECT_FALSE(text.empty()) << "the edit did not apply";
        const std::string path = folder.file(name);
        EXPECT_TRUE(test::StoreText(path, text));
        return path;
    }

    int RestoreParameters(const std::string& path, int span = 100) {
        TransferContext ctx = context();
        return WriteParametersFromBackup(ctx, path, span);
    }

    int RestoreSteps(const std::string& path, int span = 100, int offset = 0) {
        TransferContext ctx = context();
        return WriteStepsFromBackup(ctx, path, span, offset);
    }

    void ExpectOnlyMessage(int titleId, const std::string& text) { ExpectOneError(titleId, text); }

    std::string backupPath;
    std::string backupText;
    RegisterImage source;
    RegisterImage sourceSteps;
};

// A backup written into a second controller with other values: both areas become the
// source's, apart from the mode, the check value and the date code, which the worker sets.
TEST_F(RestoreTest, BackupRestoredOntoASecondControllerCopiesBothAreas) {
    sim::PtyController second;
    ASSERT_TRUE(second.start());
    test::SeedImage(second.controller(), 99, "OTHER-UNIT-XYZ");
    const std::uint16_t checkBefore = 4321;
    second.controller().setRegister(0x00EE, checkBefore);
    ASSERT_NE(second.controller().getRegister(0x0100), source.at(0x0100));
    link.ClosePort();
    ASSERT_EQ(link.OpenPort(second.slavePath()), 0);
    ASSERT_EQ(link.ConfigurePort(kBaud, 1, 0), 0);

    TransmitRequest request;
    request.record.strParamFile = backupPath;
    request.writeContents = 0;
    request.fromFile = kFromBackupFile;
    TransmitHooks hooks;
    hooks.sleep = [](int) {};
    TransferContext ctx = context();
    ASSERT_EQ(TransmitWorker(ctx, request, hooks), 0);
    EXPECT_TRUE(differences.empty());

    for (const auto& [reg, value] : source) {
        const std::uint16_t now = second.controller().getRegister(reg).value_or(0xDEAD);
        switch (reg) {
            case 0x000C:
                EXPECT_EQ(now, (value & 0xFF00) | 1);
                break;
            case 0x00EE:
                EXPECT_EQ(now, checkBefore + 1000);
                break;
            case 0x00EF:
                EXPECT_EQ(now, test::TodaysDateCode());
                break;
            default:
                EXPECT_EQ(now, value) << "register " << reg;
        }
    }
    for (const auto& [reg, value] : sourceSteps) {
        EXPECT_EQ(second.controller().getRegister(reg), value) << "register " << reg;
    }
    EXPECT_TRUE(controller().requestLog().empty()) << "the source was not touched";
    link.ClosePort();
    second.stop();
}

TEST_F(RestoreTest, RestoreSendsTheAreaWithoutReadingItFirst) {
    ASSERT_EQ(RestoreParameters(backupPath, 50), 0);
    ASSERT_EQ(RestoreSteps(backupPath, 50, 50), 0);

    EXPECT_EQ(Describe(Requests()),
              Concat({AreaWrites(), AreaReads(), StepBlocks(0x10), StepBlocks(0x03)}));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(
        ui.statusTexts(),
        (std::vector<std::string>{
            MessageText(kMsgProgressStateParameterfileScanning),
            MessageText(kMsgProgressStateParameterwrite), MessageText(kMsgProgressStateVerify),
            MessageText(kMsgProgressStateStepfileScanning), MessageText(kMsgProgressStateStepwrite),
            MessageText(kMsgProgressStateVerify)}));
    const auto progress = ui.progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
    // The backup holds mode 100; the mode byte goes to the writing mode all the same.
    EXPECT_NE(backupText.find("\r\nD000c,Max force=,5\r\n,Para protect=,100\r\n"),
              std::string::npos);
    EXPECT_EQ(*controller().getRegister(0x000C), 0x05C8);
}

// A backup kept read-only, as an archive would keep it, restores all the same.
TEST_F(RestoreTest, ReadOnlyBackupRestores) {
    test::SeedImage(controller(), 77, "SOMEONE-ELSE");
    std::filesystem::permissions(backupPath, std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::replace);

    EXPECT_EQ(RestoreParameters(backupPath, 50), 0);
    EXPECT_EQ(RestoreSteps(backupPath, 50, 50), 0);

    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(controller().getRegister(0x0100), source.at(0x0100));
    EXPECT_EQ(controller().getRegister(0x07FF), sourceSteps.at(0x07FF));
}

// A controller without a name backs up an empty name; restoring it writes 16 zero bytes in a
// request of their own.
TEST_F(RestoreTest, EmptyUnitNameIsWrittenAsZeros) {
    const std::string line = LineStartingWith(backupText, "D000e,");
    ASSERT_EQ(line, std::string("D000e,Unit name=,") + kNameA);
    const std::string path =
        Edited("unnamed.bkp", ReplaceLine(backupText, line, "D000e,Unit name=,"));

    ASSERT_EQ(RestoreParameters(path), 0);

    const auto requests = Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(Describe(requests[0]), Request(0x10, 0x000E, 8));
    EXPECT_EQ(requests[0].data, std::vector<std::uint8_t>(16, 0));
    EXPECT_EQ(Describe(requests), Concat({AreaWrites(), AreaReads()}));
    for (std::uint16_t reg = 0x000E; reg <= 0x0015; ++reg) {
        EXPECT_EQ(controller().getRegister(reg), 0u);
    }
    EXPECT_TRUE(ui.messages().empty());
}

// The register cells are upper-cased before they are compared, so the unit name row and the
// last row are recognised however their letters are written.
TEST_F(RestoreTest, KeysAreRecognisedInEitherLetterCase) {
    const std::string nameLine = LineStartingWith(backupText, "D000e,");
    const std::string lastLine = LineStartingWith(backupText, "D017f,");
    ASSERT_FALSE(nameLine.empty());
    ASSERT_FALSE(lastLine.empty());
    struct Case {
        const char* name;
        const char* last;
    };
    const Case cases[] = {{"D000E", "D017F"}, {"d000e", "d017f"}, {"D000e", "d017F"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::SeedImage(controller(), 1234, "SOMEONE-ELSE");
        controller().clearRequestLog();
        std::string text = ReplaceLine(backupText, nameLine, c.name + nameLine.substr(5));
        text = ReplaceLine(text, lastLine, c.last + lastLine.substr(5));

        ASSERT_EQ(RestoreParameters(Edited("case.bkp", text)), 0);

        EXPECT_EQ(Describe(Requests()), Concat({AreaWrites(), AreaReads()}));
        for (const auto& [reg, value] : source) {
            EXPECT_EQ(controller().getRegister(reg), reg == 0x000C ? 0x05C8 : value)
                << "register " << reg;
        }
    }
}

// Files the restore cannot use are refused with the format message before anything is sent.
TEST_F(RestoreTest, DamagedFilesAreRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* what;
        std::string text;
        bool steps;
    };
    const std::string secondLineLower = ReplaceLine(backupText, "Parameter", "parameter");
    const std::string secondLineOther = ReplaceLine(backupText, "Parameter", "Parameters,");
    const std::string noStepMarker = ReplaceLine(backupText, "StepData", "Steps");
    const std::string outOfSequence =
        ReplaceLine(backupText, "0,0," + std::to_string(sourceSteps.at(0x0400)),
                    "0,1," + std::to_string(sourceSteps.at(0x0400)));
    const Case cases[] = {
        {"second line lower case", secondLineLower, false},
        {"second line not Parameter", secondLineOther, false},
        {"header only", "BackupDataV001,1.10,1.10,2024/01/01 00:00:00\r\n", false},
        {"no StepData line", noStepMarker, true},
        {"first step row numbered 1", outOfSequence, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        controller().clearRequestLog();
        ui.clear();
        const std::string path = Edited("damaged.bkp", c.text);

        EXPECT_EQ(c.steps ? RestoreSteps(path) : RestoreParameters(path), -1);

        EXPECT_TRUE(controller().requestLog().empty());
        ExpectOnlyMessage(kMsgTransmitFormatErrorTitle,
                          MessageText(kMsgTransmitFormatErrorAlarmContents));
    }
}

TEST_F(RestoreTest, MissingFileShowsTheOpenFailure) {
    for (const bool steps : {false, true}) {
        ui.clear();
        const std::string path = folder.file("absent.bkp");
        EXPECT_EQ(steps ? RestoreSteps(path) : RestoreParameters(path), -1);
        EXPECT_TRUE(controller().requestLog().empty());
        ExpectOnlyMessage(kMsgTransmitFileopenErrorTitle,
                          ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                                           kMsgTransmitFileopenErrorCountermeasureContents));
    }
}

// Without its "D017F" line the last block is never sent, and the verification says so.
TEST_F(RestoreTest, BackupWithoutTheLastRowFailsVerification) {
    test::SeedImage(controller(), 555, "SOMEONE-ELSE");
    const RegisterImage before = Snapshot(0x0000, 0x017F);
    controller().clearRequestLog();
    const std::string lastLine = LineStartingWith(backupText, "D017f,");
    const std::string path = Edited("short.bkp", RemoveLine(backupText, lastLine));

    EXPECT_EQ(RestoreParameters(path), -1);

    std::vector<std::string> writes = AreaWrites();
    writes.pop_back();
    EXPECT_EQ(Describe(Requests()), Concat({writes, AreaReads()}));
    for (std::uint16_t reg = 0x0178; reg <= 0x017F; ++reg) {
        EXPECT_EQ(controller().getRegister(reg), before.at(reg)) << "register " << reg;
    }
    ExpectOnlyMessage(kMsgTransmitVerifyErrorTitle,
                      ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                                       kMsgTransmitVerifyErrorAlarmCountermeasureContents));
    EXPECT_FALSE(differences.empty());
}

// Signed step words go in as their low 16 bits and do not disturb how the row before them
// is told apart from a dword.
TEST_F(RestoreTest, NegativeStepWordsGoInAsTheirLowSixteenBits) {
    // Step 0: column 0 and 1 are words, column 4 a word after the dword at 2.
    std::string text = backupText;
    const std::string column1 = LineStartingWith(text, ",1,");
    const std::string column4 = LineStartingWith(text, ",4,");
    text = ReplaceLine(text, column1, ",1,-2");
    text = ReplaceLine(text, column4, ",4,-32768");
    const std::string path = Edited("signed.bkp", text);

    ASSERT_EQ(RestoreSteps(path), 0);

    EXPECT_EQ(controller().getRegister(0x0401), 0xFFFEu);
    EXPECT_EQ(controller().getRegister(0x0404), 0x8000u);
    EXPECT_EQ(controller().getRegister(0x0400), sourceSteps.at(0x0400));
    EXPECT_EQ(controller().getRegister(0x0402), sourceSteps.at(0x0402));
    EXPECT_EQ(Describe(Requests()), Concat({StepBlocks(0x10), StepBlocks(0x03)}));
}

TEST_F(RestoreTest, ChangedRegisterFailsVerificationWithItsRow) {
    struct Case {
        std::uint16_t reg;
        bool steps;
    };
    const Case cases[] = {{0x0031, false}, {0x0123, false}, {0x0600, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reg);
        ui.clear();
        differences.clear();
        controller().clearFaults();
        const std::uint16_t wanted = c.steps ? sourceSteps.at(c.reg) : source.at(c.reg);
        const auto leftBehind = static_cast<std::uint16_t>(wanted ^ 0x0101);
        controller().changeRegisterAfterWrite(c.reg, leftBehind);

        EXPECT_EQ(c.steps ? RestoreSteps(backupPath) : RestoreParameters(backupPath), -1);

        ExpectOnlyMessage(kMsgTransmitVerifyErrorTitle,
                          ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                                           kMsgTransmitVerifyErrorAlarmCountermeasureContents));
        ASSERT_FALSE(differences.empty());
        EXPECT_EQ(differences.front().reg, c.reg);
    }
}

}  // namespace
}  // namespace velmora
