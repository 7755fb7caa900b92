#pragma once

// velmora-cli run as a program against the virtual controller on a pseudo-terminal, with a
// program folder of its own and rule files written for each case.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "sim/pty_controller.h"
#include "support/backup_text.h"
#include "support/cli_process.h"
#include "support/rule_file.h"
#include "support/temp_folder.h"
#include "support/transmit_support.h"

namespace velmora::test {

namespace fs = std::filesystem;

inline constexpr const char* kWarningTitle = "Test warning title";
inline constexpr const char* kWarningText = "Test warning: think twice";
inline constexpr const char* kRefusalTitle = "Test refusal title";
inline constexpr const char* kRefusalText = "Test refusal: not this controller";
inline constexpr const char* kPartNo = "VMA10-06I";
inline constexpr const char* kColumn = "VMA10-L06";

// How a run is disturbed: a signal once the controller has seen that many requests, and
// standard output into a pipe whose reader has gone.
struct Disturbance {
    int signalAfterRequests = -1;
    int signal = SIGINT;
    bool stdoutReaderGone = false;
};

// Counts the lines of text that start with the prefix.
inline int LinesStartingWith(const std::string& text, const std::string& prefix) {
    int count = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        count += text.compare(start, prefix.size(), prefix) == 0 ? 1 : 0;
        start = end + 1;
    }
    return count;
}

class CliJobsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.valid());
        const std::error_code error = CopyBuiltSystem(folder);
        ASSERT_FALSE(error) << error.message();
        ASSERT_TRUE(fs::exists(folder.file("System/Data/VMA-Series/AdapterFile.vms")));
        ASSERT_TRUE(sim.start());
        controller().setVersion(110);
        WriteRules(2);
    }

    void TearDown() override { sim.stop(); }

    sim::VirtualController& controller() { return sim.controller(); }

    // Rules under which a controller of version 1.00 to 1.99 that the data was made for is
    // allowed, and any other combination gets the verdict.
    void WriteRules(int verdict) {
        test::RuleFile rules;
        rules.set("MSG_WARNING_TITLE", kWarningTitle)
            .set("MSG_WARNING_1", kWarningText)
            .set("MSG_ERR_TITLE", kRefusalTitle)
            .set("MSG_ERR_1", kRefusalText);
        // Jobs obey the communication verdict too: it allows every version here.
        rules.ranges("COMM", 1, 9999)
            .set("COMM_SVNO_OK_BKC_OK", 0)
            .set("COMM_SVNO_OK_BKC_NG", 0)
            .set("COMM_SVNO_NG_BKC_OK", 0)
            .set("COMM_SVNO_NG_BKC_NG", 0);
        for (int record = 1; record <= 3; ++record) {
            rules.outcome("COMM", record, 1, 1, 1, 1);
        }
        for (const std::string prefix : {"ACTUATOR", "FILE", "BACKUP"}) {
            rules.ranges(prefix, 100, 199);
            for (int record = 1; record <= 3; ++record) {
                rules.outcome(prefix, record, 1, 1, 1, 1);
            }
        }
        for (const std::string prefix : {"ACTUATOR", "FILE"}) {
            for (const char* sv : {"OK", "NG"}) {
                for (const char* bkc : {"OK", "NG"}) {
                    for (const char* sel : {"OK", "NG"}) {
                        const std::string key =
                            prefix + "_SVNO_" + sv + "_BKC_" + bkc + "_SEL_" + sel;
                        const bool allowed = std::string(sv) == "OK" && std::string(bkc) == "OK" &&
                                             std::string(sel) == "OK";
                        rules.set(key, allowed ? 0 : verdict);
                    }
                }
            }
        }
        rules.set("BACKUP_SVNO_OK_BKC_OK", 0)
            .set("BACKUP_SVNO_OK_BKC_NG", verdict)
            .set("BACKUP_SVNO_NG_BKC_OK", verdict)
            .set("BACKUP_SVNO_NG_BKC_NG", verdict);
        rules.writeTo(folder);
    }

    // Runs velmora-cli on the controller's line with standard input from /dev/null.
    CliResult Cli(std::vector<std::string> args, Disturbance disturbance = {}) {
        test::CliRun run = test::CliOnLine(folder, sim.slavePath(), args);
        run.stdoutReaderGone = disturbance.stdoutReaderGone;
        run.signal = disturbance.signal;
        if (disturbance.signalAfterRequests >= 0) {
            run.signalNow = [this, disturbance] {
                return controller().requestCount() >=
                       static_cast<std::size_t>(disturbance.signalAfterRequests);
            };
        }
        return test::RunCli(std::move(run));
    }

    RegisterValues Snapshot(std::uint16_t first, std::uint16_t last) {
        RegisterValues image;
        for (unsigned reg = first; reg <= last; ++reg) {
            image[static_cast<std::uint16_t>(reg)] =
                controller().getRegister(static_cast<std::uint16_t>(reg)).value_or(0xDEAD);
        }
        return image;
    }

    bool AnythingWritten() {
        for (const auto& frame : controller().requestLog()) {
            if (frame.size() > 1 && frame[1] == 0x10) {
                return true;
            }
        }
        return false;
    }

    std::string SamplePlain(const std::string& name) {
        return test::ReadBytes(test::SamplePath(name));
    }

    // A controller holding other steps, in a mode a steps-only write can restore.
    void ArrangeForStepsWrite() {
        test::SeedImage(controller(), 23, "SOMETHING-ELSE");
        controller().setRegister(0x000C, 0x0064);
        controller().clearRequestLog();
    }

    void ExpectStepsWritten() {
        for (const auto& [reg, value] :
             test::ExpectedStepImage(SamplePlain("VMA10_step.csv"), kColumn)) {
            EXPECT_EQ(controller().getRegister(reg), value) << "register " << reg;
        }
    }

    // No file of the name, finished or half written.
    void ExpectNoFileLike(const std::string& name) {
        for (const auto& found : folder.names()) {
            EXPECT_EQ(found.find(name), std::string::npos) << found;
        }
    }

    test::TempFolder folder;
    sim::PtyController sim;
};

}  // namespace velmora::test
