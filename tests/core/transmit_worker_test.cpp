// The transmit worker against the virtual controller on a pseudo-terminal: the six write
// sequences, their mode switching and stamping, and how failures end.

#include "transmit/transmit_worker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup_run.h"
#include "support/transmit_support.h"
#include "support/writer_fixture.h"
#include "sysfiles/language.h"
#include "transmit/write_source.h"

namespace velmora {
namespace {

using test::AreaReads;
using test::AreaWrites;
using test::Concat;
using test::Describe;
using test::ReadBytes;
using test::RegisterValues;
using test::Request;
using test::SamplePath;
using test::StepBlocks;

constexpr const char* kParamFile = "VMA10_param.csv";
constexpr const char* kStepFile = "VMA10_step.csv";
constexpr const char* kColumn = "VMA10-L06";
constexpr const char* kPartNo = "VMA10-06I";
// Mode register before a write: a high byte to keep and the low byte 100.
constexpr std::uint16_t kModeBefore = 0x0A64;
constexpr std::uint16_t kDateBefore = 0x0101;

class TransmitWorkerTest : public test::WriterFixture {
  protected:
    void SetUp() override {
        WriterFixture::SetUp();
        paramPlain = ReadBytes(SamplePath(kParamFile));
        stepPlain = ReadBytes(SamplePath(kStepFile));
        StoreFile(kParamFile, paramPlain);
        StoreFile(kStepFile, stepPlain);
        controller().setRegister(0x000C, kModeBefore);
        controller().setRegister(0x00EF, kDateBefore);
        controller().clearRequestLog();
        hooks.showSvError = [this] { ++svErrors; };
        hooks.showCaution = [this] { ++cautions; };
        hooks.sleep = [this](int ms) { sleeps.push_back(ms); };
    }

    TransmitRequest ActuatorRequest(int contents) const {
        TransmitRequest request;
        request.record = Record(kParamFile, kStepFile, kColumn);
        request.writeContents = contents;
        request.fromFile = kFromActuatorSelection;
        return request;
    }

    // A backup of the controller as it is now, for writes from a file.
    std::string MakeBackup() {
        const std::string path = folder.file("source.bkp");
        TransferContext ctx = context();
        EXPECT_EQ(RunBackup(ctx, path), 0);
        controller().clearRequestLog();
        ui.clear();
        return path;
    }

    int Run(const TransmitRequest& request) {
        const WriteSourceLoading loading = LoadWriteSource(request);
        if (!loading.source) {
            return -9;
        }
        TransferContext ctx = context();
        const int result = TransmitWorker(ctx, *loading.source, hooks);
        writingBegan = ctx.writingBegan;
        return result;
    }

    std::uint16_t Reg(std::uint16_t reg) { return controller().getRegister(reg).value_or(0xDEAD); }

    RegisterValues Snapshot(std::uint16_t first, std::uint16_t last) {
        RegisterValues image;
        for (unsigned reg = first; reg <= last; ++reg) {
            image[static_cast<std::uint16_t>(reg)] = Reg(static_cast<std::uint16_t>(reg));
        }
        return image;
    }

    // The last message box is the worker's summary with the given text.
    void ExpectSummary(int contentsId) {
        const auto messages = ui.messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().text, MessageText(contentsId));
        EXPECT_EQ(messages.back().title, MessageText(kMsgTransmitCompleteTitle));
        // A failed write ends on an error; only success is mere information.
        EXPECT_EQ(messages.back().icon, contentsId == kMsgTransmitCompleteContents
                                            ? MessageIcon::Information
                                            : MessageIcon::Error);
        const auto status = ui.statusTexts();
        ASSERT_FALSE(status.empty());
        EXPECT_EQ(status.back(), MessageText(contentsId == kMsgTransmitCompleteContents
                                                 ? kMsgProgressStateWritecomplete
                                                 : kMsgProgressStateWriteNg));
    }

    bool SawMessage(int contentsId) {
        for (const auto& message : ui.messages()) {
            if (message.text == MessageText(contentsId)) {
                return true;
            }
        }
        return false;
    }

    std::string paramPlain;
    std::string stepPlain;
    TransmitHooks hooks;
    int svErrors = 0;
    int cautions = 0;
    bool writingBegan = false;
    std::vector<int> sleeps;
};

// Each write contents choice from the data folder: what reaches the controller, how the mode
// byte ends, whether the date code is stamped and how long the worker lets the mode settle.
TEST_F(TransmitWorkerTest, ActuatorWritesLeaveTheControllerAsTheirSequenceSays) {
    struct Case {
        int contents;
        bool parameters;
        bool steps;
        int modeLowAfter;
        std::vector<int> sleeps;
    };
    const Case cases[] = {
        {0, true, true, 1, {1000}},
        {1, true, false, 1, {1500}},
        {2, false, true, kModeBefore & 0xFF, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("contents " + std::to_string(c.contents));
        controller().resetImage();
        controller().setRegister(0x000C, kModeBefore);
        controller().setRegister(0x00EF, kDateBefore);
        ui.clear();
        sleeps.clear();
        cautions = 0;
        const RegisterValues paramsBefore = Snapshot(0x0000, 0x017F);
        const RegisterValues stepsBefore = Snapshot(0x0400, 0x07FF);

        ASSERT_EQ(Run(ActuatorRequest(c.contents)), 0);

        ExpectSummary(kMsgTransmitCompleteContents);
        EXPECT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(cautions, 1);
        EXPECT_EQ(svErrors, 0);
        EXPECT_EQ(sleeps, c.sleeps);
        EXPECT_EQ(Reg(0x000C) & 0xFF, c.modeLowAfter);
        if (c.parameters) {
            const RegisterValues expected =
                test::ExpectedParameterImage(paramPlain, kColumn, kPartNo);
            for (const auto& [reg, value] : expected) {
                if (reg == 0x000C || reg == 0x00EF) {
                    continue;
                }
                EXPECT_EQ(Reg(reg), value) << "register " << reg;
            }
            EXPECT_EQ(Reg(0x000C), (expected.at(0x000C) & 0xFF00) | 1);
            EXPECT_EQ(Reg(0x00EF), test::TodaysDateCode());
        } else {
            EXPECT_EQ(Reg(0x000C), kModeBefore);
            RegisterValues params = Snapshot(0x0000, 0x017F);
            EXPECT_EQ(params, paramsBefore);
        }
        if (c.steps) {
            for (const auto& [reg, value] : test::ExpectedStepImage(stepPlain, kColumn)) {
                EXPECT_EQ(Reg(reg), value) << "register " << reg;
            }
        } else {
            EXPECT_EQ(Snapshot(0x0400, 0x07FF), stepsBefore);
        }
    }
}

TEST_F(TransmitWorkerTest, FullWriteSendsExactlyTheseRequests) {
    ASSERT_EQ(Run(ActuatorRequest(0)), 0);

    const std::vector<std::string> expected = Concat({
        {Request(0x03, 0x900C, 1)},
        {Request(0x03, 0x000C, 1), Request(0x10, 0x000C, 1)},  // mode 200
        AreaReads(),                                           // the controller's values first
        AreaWrites(),
        AreaReads(),  // verification
        StepBlocks(0x10),
        StepBlocks(0x03),
        {Request(0x10, 0x00EF, 1)},
        {Request(0x03, 0x000C, 1), Request(0x10, 0x000C, 1)},  // mode 1
    });
    EXPECT_EQ(Describe(Requests()), expected);
}

TEST_F(TransmitWorkerTest, StepsOnlyRestoresTheModeItFound) {
    for (const std::uint16_t mode : {0x0001, 0x0203, 0x00C8, 0x7F64}) {
        SCOPED_TRACE(mode);
        controller().setRegister(0x000C, mode);
        controller().clearRequestLog();
        ASSERT_EQ(Run(ActuatorRequest(2)), 0);
        EXPECT_EQ(Reg(0x000C), mode);
        const auto requests = Describe(Requests());
        ASSERT_GE(requests.size(), 4u);
        // Saved, set to 1, steps written and verified, set back.
        EXPECT_EQ(requests[1], Request(0x03, 0x000C, 1));
        EXPECT_EQ(requests[2], Request(0x03, 0x000C, 1));
        EXPECT_EQ(requests[3], Request(0x10, 0x000C, 1));
        EXPECT_EQ(requests.back(), Request(0x10, 0x000C, 1));
    }
}

// A mode byte the worker does not know cannot be restored after a steps-only write, so the
// write does not start.
TEST_F(TransmitWorkerTest, StepsOnlyRefusesAnUnknownModeByte) {
    controller().setRegister(0x000C, 0x0005);

    EXPECT_EQ(Run(ActuatorRequest(2)), -1);

    for (const auto& logged : Requests()) {
        EXPECT_EQ(logged.function, 0x03) << Describe(logged);
    }
    EXPECT_EQ(Reg(0x000C), 0x0005);
    ExpectSummary(kMsgTransmitNgContents);
}

// A register that does not keep what was written fails the verification: the routine's own
// message, the differing row, then NG; the mode byte stays in the writing mode.
TEST_F(TransmitWorkerTest, VerificationFailureEndsNgWithTheDifferingRows) {
    struct Case {
        int contents;
        std::uint16_t reg;
        std::uint16_t leftBehind;
        int modeLowAfter;
    };
    const Case cases[] = {
        {0, 0x0041, 0x4242, 200},
        {1, 0x0178, 0x7777, 200},
        {0, 0x0455, 0x1357, 200},
        {2, 0x07FF, 0x2468, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reg);
        controller().resetImage();
        controller().setRegister(0x000C, kModeBefore);
        controller().clearFaults();
        controller().clearRequestLog();
        ui.clear();
        differences.clear();
        cautions = 0;
        controller().changeRegisterAfterWrite(c.reg, c.leftBehind);

        EXPECT_EQ(Run(ActuatorRequest(c.contents)), -1);

        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0].title, MessageText(kMsgTransmitVerifyErrorTitle));
        EXPECT_EQ(messages[0].text,
                  ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                                   kMsgTransmitVerifyErrorAlarmCountermeasureContents));
        ExpectSummary(kMsgTransmitNgContents);
        EXPECT_EQ(cautions, 0);
        EXPECT_TRUE(writingBegan);
        ASSERT_EQ(differences.size(), 1u);
        EXPECT_EQ(differences[0].reg, c.reg);
        EXPECT_EQ(differences[0].read, c.leftBehind);
        EXPECT_NE(differences[0].written, c.leftBehind);
        EXPECT_EQ(Reg(0x000C) & 0xFF, c.modeLowAfter);
        for (const auto& request : Describe(Requests())) {
            EXPECT_NE(request, Request(0x10, 0x00EF, 1)) << "no date code after a failed write";
        }
    }
}

// A controller that stops answering part way: NG, never success, and the mode byte as the
// failing step left it.
TEST_F(TransmitWorkerTest, LineLostHalfWayEndsNgAndLeavesTheWritingMode) {
    struct Case {
        int contents;
        int answered;
        int modeLowAfter;
    };
    const Case cases[] = {
        {0, 3, 200},    // the mode switch went through, nothing else
        {0, 20, 200},   // during the parameter blocks
        {0, 100, 200},  // during the steps
        {1, 45, 200},   // after the parameter verification: the date code is lost
        {2, 4, 1},      // steps only: switched to 1, then the line went
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.contents) + " after " + std::to_string(c.answered));
        controller().resetImage();
        controller().setRegister(0x000C, kModeBefore);
        controller().clearFaults();
        ui.clear();
        cautions = 0;
        controller().stopAfterRequests(c.answered);

        EXPECT_EQ(Run(ActuatorRequest(c.contents)), -1);

        controller().clearFaults();
        EXPECT_FALSE(SawMessage(kMsgTransmitCompleteContents));
        ExpectSummary(kMsgTransmitNgContents);
        EXPECT_EQ(cautions, 0);
        EXPECT_TRUE(writingBegan);
        EXPECT_EQ(Reg(0x000C) & 0xFF, c.modeLowAfter);
    }
}

TEST_F(TransmitWorkerTest, VersionZeroWritesNothingAndShowsOnlyTheVersionError) {
    const std::string backup = MakeBackup();
    for (const int fromFile : {kFromActuatorSelection, kFromBackupFile}) {
        SCOPED_TRACE(fromFile);
        controller().setVersion(0);
        controller().clearRequestLog();
        ui.clear();
        svErrors = 0;
        TransmitRequest request = ActuatorRequest(0);
        request.fromFile = fromFile;
        if (fromFile == kFromBackupFile) {
            request.record.strParamFile = backup;
        }

        EXPECT_EQ(Run(request), kTransmitSvError);

        EXPECT_EQ(Describe(Requests()), std::vector<std::string>{Request(0x03, 0x900C, 1)});
        EXPECT_TRUE(ui.messages().empty());
        EXPECT_EQ(ui.statusTexts(),
                  std::vector<std::string>{MessageText(kMsgProgressStateNothingWritten)});
        EXPECT_EQ(svErrors, 1);
        EXPECT_FALSE(writingBegan);
        EXPECT_EQ(cautions, 0);
        EXPECT_TRUE(sleeps.empty());
    }
}

TEST_F(TransmitWorkerTest, UnreadableVersionEndsNgWithoutCaution) {
    controller().stopAfterRequests(0);

    EXPECT_EQ(Run(ActuatorRequest(0)), -1);

    controller().clearFaults();
    ExpectSummary(kMsgTransmitNgContents);
    EXPECT_EQ(cautions, 0);
    EXPECT_FALSE(writingBegan);
    for (const auto& request : Describe(Requests())) {
        EXPECT_EQ(request, Request(0x03, 0x900C, 1));
    }
}

// A write from a file reads register 0x00EE before anything else; when that fails nothing is
// written and the write ends NG.
TEST_F(TransmitWorkerTest, BackupWriteStopsWhenTheCheckValueIsUnreadable) {
    TransmitRequest request = ActuatorRequest(0);
    request.fromFile = kFromBackupFile;
    request.record.strParamFile = MakeBackup();
    controller().exceptionAt(0x00EE, 2);

    EXPECT_EQ(Run(request), -1);

    EXPECT_EQ(Describe(Requests()),
              (std::vector<std::string>{Request(0x03, 0x900C, 1), Request(0x03, 0x00EE, 1)}));
    ExpectSummary(kMsgTransmitNgContents);
    EXPECT_EQ(cautions, 0);
    EXPECT_FALSE(writingBegan);
    EXPECT_EQ(Reg(0x000C), kModeBefore);
}

TEST_F(TransmitWorkerTest, UnknownContentsChoiceSucceedsWithoutWriting) {
    for (const int fromFile : {kFromActuatorSelection, kFromBackupFile}) {
        SCOPED_TRACE(fromFile);
        controller().clearRequestLog();
        ui.clear();
        TransmitRequest request = ActuatorRequest(3);
        request.fromFile = fromFile;

        EXPECT_EQ(Run(request), 0);

        for (const auto& logged : Requests()) {
            EXPECT_EQ(logged.function, 0x03) << Describe(logged);
        }
        ExpectSummary(kMsgTransmitCompleteContents);
    }
}

// A missing data file is found before the controller is asked anything: the open-failure
// message, and not one request.
TEST_F(TransmitWorkerTest, MissingDataFileSendsNothing) {
    TransmitRequest request = ActuatorRequest(1);
    request.record.strParamFile = "absent_param.csv";

    const WriteSourceLoading loading = LoadWriteSource(request);
    EXPECT_FALSE(loading.source.has_value());
    EXPECT_EQ(ConfirmWriteSource(loading, ui), SourceVerdict::Invalid);

    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, MessageText(kMsgTransmitFileopenErrorTitle));
    EXPECT_EQ(controller().requestCount(), 0u);
}

}  // namespace
}  // namespace velmora
