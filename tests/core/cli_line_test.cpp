// The production line of velmora-cli: one write on several ports at once, and --repeat on the
// controllers connected one after another, against virtual controllers on pseudo-terminals.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/cli_jobs_fixture.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::CliJobsTest;
using test::CliResult;
using test::kColumn;
using test::kPartNo;
using test::LinesStartingWith;

const std::vector<std::string> kStepsWrite = {
    "write-actuator", "--part-no", kPartNo, "--controller", "VC-1A",      "--stroke", "50",
    "--sv",           "1.10",      "--io",  "NPN",          "--contents", "steps"};

// A controller holding other steps, in a mode a steps-only write can restore.
void ArrangeOtherSteps(sim::VirtualController& controller) {
    test::SeedImage(controller, 23, "SOMETHING-ELSE");
    controller.setRegister(0x000C, 0x0064);
    controller.clearRequestLog();
}

bool StepsWritten(sim::VirtualController& controller, const test::RegisterValues& expected) {
    for (const auto& [reg, value] : expected) {
        if (controller.getRegister(reg) != value)
            return false;
    }
    return true;
}

bool AnyWriteRequest(const sim::VirtualController& controller) {
    for (const auto& frame : controller.requestLog()) {
        if (frame.size() > 1 && frame[1] == 0x10)
            return true;
    }
    return false;
}

enum class Trouble {
    SilentController,  // the controller of the last port never answers
    MissingPort,       // the last port does not exist
    VersionWarned,     // the rule file warns about the last port's controller
};

// Every port's job runs to its own end; the one in trouble fails alone, and the exit status is
// its status. Each port gets exactly one result line.
TEST_F(CliJobsTest, SeveralPortsAreWrittenAtOnceAndFailAlone) {
    struct Case {
        const char* what;
        int ports;
        Trouble trouble;
        bool yes;
        int status;
    };
    const Case cases[] = {
        {"two ports, one controller silent", 2, Trouble::SilentController, false, 4},
        {"four ports, one missing", 4, Trouble::MissingPort, false, 4},
        {"two ports, a warning not accepted", 2, Trouble::VersionWarned, false, 3},
        {"two ports, a warning accepted with --yes", 2, Trouble::VersionWarned, true, 0},
    };
    const test::RegisterValues expected =
        test::ExpectedStepImage(SamplePlain("VMA10_step.csv"), kColumn);
    WriteRules(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<sim::PtyController>> others;
        std::vector<sim::VirtualController*> controllers = {&controller()};
        std::vector<std::string> ports = {sim.slavePath()};
        for (int i = 1; i < c.ports; ++i) {
            others.push_back(std::make_unique<sim::PtyController>());
            ASSERT_TRUE(others.back()->start());
            controllers.push_back(&others.back()->controller());
            ports.push_back(others.back()->slavePath());
        }
        for (sim::VirtualController* each : controllers) {
            each->clearFaults();
            each->setVersion(110);
            ArrangeOtherSteps(*each);
        }
        sim::VirtualController& troubled = *controllers.back();
        if (c.trouble == Trouble::SilentController)
            troubled.stopAfterRequests(0);
        if (c.trouble == Trouble::MissingPort)
            ports.back() = folder.file("no-such-port");
        if (c.trouble == Trouble::VersionWarned)
            troubled.setVersion(250);
        std::vector<std::string> args;
        for (std::size_t i = 1; i < ports.size(); ++i)
            args.insert(args.end(), {"--port", ports[i]});
        if (c.yes)
            args.push_back("--yes");
        args.insert(args.end(), kStepsWrite.begin(), kStepsWrite.end());

        const CliResult result = Cli(args);

        EXPECT_EQ(result.status, c.status) << result.out << result.err;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            SCOPED_TRACE(ports[i]);
            const bool fails = i + 1 == ports.size() && c.status != 0;
            EXPECT_EQ(LinesStartingWith(result.out, ports[i] + ": written and verified"),
                      fails ? 0 : 1)
                << result.out;
            EXPECT_EQ(LinesStartingWith(result.out, ports[i] + ": failed (exit " +
                                                        std::to_string(c.status) + ")"),
                      fails ? 1 : 0)
                << result.out;
            if (c.trouble == Trouble::MissingPort && i + 1 == ports.size())
                continue;
            EXPECT_EQ(StepsWritten(*controllers[i], expected), !fails);
            EXPECT_EQ(AnyWriteRequest(*controllers[i]), !fails);
        }
    }
}

// --repeat writes the controller, waits for it to be taken off and for the next one to answer,
// writes that one, and ends on Ctrl-C while it waits, with the tally. The next controller comes
// either on the same line or behind an adapter plugged in again under the same name.
TEST_F(CliJobsTest, RepeatWritesEachControllerConnectedUntilStopped) {
    WriteRules(1);
    const test::RegisterValues expected =
        test::ExpectedStepImage(SamplePlain("VMA10_step.csv"), kColumn);
    for (const bool replugged : {false, true}) {
        SCOPED_TRACE(replugged ? "adapter replugged" : "controller swapped");
        sim::PtyController next;
        sim::VirtualController* last = &controller();
        ArrangeOtherSteps(controller());
        // The name the line is opened by; a link stands for the adapter's stable device name.
        const std::string port = replugged ? folder.file("ttyReplugged") : std::string();
        std::string name = sim.slavePath();
        if (replugged) {
            fs::create_symlink(sim.slavePath(), port);
            name = port;
        }
        const std::string written = name + ": written and verified";
        enum class Stage { FirstJob, TakenOff, SecondJob } stage = Stage::FirstJob;
        bool secondWritten = false;
        std::vector<std::string> args = {"--repeat"};
        args.insert(args.end(), kStepsWrite.begin(), kStepsWrite.end());
        test::CliRun run = test::CliOnLine(folder, name, args);
        const std::string outPath = run.outPath;
        // Each stage waits on what the program has printed, then acts on the line.
        run.signalNow = [&] {
            const std::string out = test::ReadBytes(outPath);
            switch (stage) {
                case Stage::FirstJob:
                    if (LinesStartingWith(out, written) == 1) {
                        if (replugged)
                            sim.stop();  // the device goes with the adapter
                        else
                            controller().stopAfterRequests(0);
                        stage = Stage::TakenOff;
                    }
                    return false;
                case Stage::TakenOff:
                    if (out.find(name + ": the controller went away") != std::string::npos) {
                        if (replugged) {
                            EXPECT_TRUE(next.start());
                            next.controller().setVersion(110);
                            ArrangeOtherSteps(next.controller());
                            fs::remove(port);
                            fs::create_symlink(next.slavePath(), port);
                            last = &next.controller();
                        } else {
                            ArrangeOtherSteps(controller());
                            controller().stopAfterRequests(-1);
                        }
                        stage = Stage::SecondJob;
                    }
                    return false;
                case Stage::SecondJob:
                    secondWritten = LinesStartingWith(out, written) == 2;
                    return secondWritten;
            }
            return false;
        };

        const CliResult result = test::RunCli(std::move(run));

        EXPECT_TRUE(secondWritten) << result.out << result.err;
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_EQ(LinesStartingWith(result.out, name + ": 2 written, 0 failed"), 1) << result.out;
        EXPECT_EQ(LinesStartingWith(result.out, "total: 2 written, 0 failed"), 1) << result.out;
        EXPECT_NE(result.err.find("stopping"), std::string::npos) << result.err;
        EXPECT_TRUE(StepsWritten(*last, expected));
    }
}

}  // namespace
}  // namespace velmora
