// velmora-cli as a script sees it: usage errors, files that are no backups, and the shipped rule
// file's verdicts, run as a program against the virtual controller on a pseudo-terminal.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim/pty_controller.h"
#include "support/cli_process.h"
#include "support/temp_folder.h"
#include "support/transmit_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::CliResult;

class CliUsageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.valid());
        const std::error_code error = test::CopyBuiltSystem(folder);
        ASSERT_FALSE(error) << error.message();
        ASSERT_TRUE(sim.start());
        sim.controller().setVersion(110);
    }

    void TearDown() override { sim.stop(); }

    // Runs velmora-cli on the controller's line; a run that outlives the deadline is killed.
    CliResult Cli(const std::vector<std::string>& args) {
        test::CliRun run = test::CliOnLine(folder, sim.slavePath(), args);
        run.deadline = std::chrono::seconds(20);
        return test::RunCli(std::move(run));
    }

    test::TempFolder folder;
    sim::PtyController sim;
};

// Every usage error exits 2 with a message naming what is wrong, before the controller is
// asked anything.
TEST_F(CliUsageTest, UsageErrorsExitTwoAndNameTheirCause) {
    const std::string noSystem = folder.file("empty");
    fs::create_directories(noSystem);
    struct Case {
        std::vector<std::string> args;
        const char* told;
    };
    const Case cases[] = {
        {{"--baud", "12345", "check"}, "--baud 12345 is not a bit rate"},
        {{"--baud", "12345", "backup", "x.bkp"}, "--baud 12345 is not a bit rate"},
        {{"--root", noSystem, "actuators"}, "holds no System/ folder"},
        {{"--root", "", "ports"}, "--root wants a value"},
        {{"actuators", "--sv", "1"}, "actuators does not take --sv"},
        {{"ports", "--contents", "both"}, "ports does not take --contents"},
        {{"backup", "x.bkp", "--json"}, "backup does not take --json"},
        {{"backup", ""}, "backup: argument 1 is empty"},
        {{"restore", ""}, "restore: argument 1 is empty"},
        {{"backup"}, "usage: backup FILE"},
        {{"no-such-command"}, "unknown command"},
        {{"--no-such-option", "ports"}, "unknown option --no-such-option"},
        {{"--trace", folder.file("none/trace.txt"), "echo"}, "cannot be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CliResult result = Cli(c.args);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_NE(result.err.find(c.told), std::string::npos) << result.err;
    }
    EXPECT_EQ(sim.controller().requestCount(), 0u);
}

// A trace that stops taking lines mid-run is told on stderr once as it happens and once more
// at the end, and the run goes on.
TEST_F(CliUsageTest, TraceThatStopsMidRunIsToldOnceAndTheRunGoesOn) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const CliResult result = Cli({"--trace", "/dev/full", "echo"});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string told = "the trace /dev/full stopped, the run goes on: No space left";
    const std::size_t first = result.err.find(told);
    EXPECT_NE(first, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(told, first + 1), std::string::npos) << result.err;
    const std::size_t summary = result.err.find("the trace /dev/full is incomplete: No space");
    EXPECT_NE(summary, std::string::npos) << result.err;
    EXPECT_GT(summary, first) << result.err;
    EXPECT_GT(sim.controller().requestCount(), 0u);
}

// Files that cannot be backups are refused with their own reason, before anything opens them
// (a FIFO would block the program) and before the controller is asked anything.
TEST_F(CliUsageTest, FilesThatAreNoBackupsAreToldApart) {
    const std::string saved = folder.file("saved.bkp");
    ASSERT_EQ(Cli({"backup", saved}).status, 0);
    const std::string fifo = folder.file("fifo.bkp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string dir = folder.file("dir.bkp");
    fs::create_directories(dir);
    const std::string plain = folder.file("plain.bkp");
    ASSERT_TRUE(test::StoreText(plain, "Parameter data,VMA10\r\n"));
    const std::string whole = test::ReadBytes(saved);
    // The stored form goes in groups of four bytes: cut between groups, and inside one.
    const std::size_t half = whole.size() / 8 * 4;
    const std::string cut = folder.write("cut.bkp", whole.substr(0, half));
    const std::string cutInside = folder.write("inside.bkp", whole.substr(0, half + 1));
    const std::string empty = folder.write("empty.bkp", "");
    sim.controller().clearRequestLog();
    struct Case {
        std::vector<std::string> args;
        const char* told;
    };
    const Case cases[] = {
        {{"restore", fifo}, "is a FIFO (named pipe), not a regular file"},
        {{"restore", dir}, "is a folder, not a file"},
        {{"restore", folder.file("missing.bkp")}, "missing.bkp does not exist"},
        {{"restore", plain}, "is not a backup file: it does not begin with BackupDataV001"},
        {{"restore", cut}, "is a damaged or cut-short backup"},
        {{"restore", cutInside}, "is cut short, or is not a file this program stored"},
        {{"restore", empty}, "is empty, not a backup file"},
        {{"backup", fifo}, "is a FIFO (named pipe), not a regular file"},
        {{"backup", dir}, "is a folder, not a file"},
        {{"backup", folder.file("none/x.bkp")}, "its folder"},
        {{"unpack", fifo, "-"}, "is a FIFO (named pipe), not a regular file"},
        {{"pack", fifo, folder.file("x.vmw")}, "is a FIFO (named pipe), not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args[1]);
        const CliResult result = Cli(c.args);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.err.find(c.told), std::string::npos) << result.err;
    }
    EXPECT_EQ(sim.controller().requestCount(), 0u);
}

// The shipped rule file through the program: a controller at 0.50 may connect and is warned about
// for every job; one at 10.00 is refused for communication, so no job runs on it, --yes or not.
// check prints every operation's verdict; a warning names both versions.
TEST_F(CliUsageTest, ShippedRulesDecideCheckAndBackup) {
    const std::string target = folder.file("job.bkp");
    struct Case {
        std::uint16_t version;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> told;  // on stdout and stderr together
        bool saved;
    };
    const Case cases[] = {
        {50,
         {"check"},
         0,
         {"communication: allowed",
          "backup: warning (controller version 0.50, the rule file's "
          "versions for backup 1.00 to 9.99)",
          "settings kept: "},
         false},
        {1000,
         {"check"},
         3,
         {"communication: refused (controller version 10.00", "actuator write: warning",
          "file write: warning", "backup: warning", "no job runs on this controller"},
         false},
        {50,
         {"--yes", "backup", target},
         0,
         {"backup: warning: controller version 0.50, the rule file's versions for backup 1.00 "
          "to 9.99",
          "(answered OK with --yes)"},
         true},
        {50, {"backup", target}, 3, {"(answered Cancel: no terminal to ask"}, false},
        {1000,
         {"--yes", "backup", target},
         3,
         {"refused by the rule file for this controller (communication)"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + " " + c.args.front());
        sim.controller().setVersion(c.version);
        fs::remove(target);

        const CliResult result = Cli(c.args);

        EXPECT_EQ(result.status, c.status) << result.err;
        for (const std::string& text : c.told) {
            EXPECT_NE((result.out + result.err).find(text), std::string::npos)
                << result.out << result.err;
        }
        EXPECT_EQ(result.err.find("below 1.00"), std::string::npos) << result.err;
        EXPECT_EQ(fs::exists(target), c.saved);
    }
}

// A part number, SV and IO that several records share (other controllers, strokes, and here a
// second data set) is never settled by taking the first: the matches are listed with exit 2,
// and --controller, --stroke and --data-set choose one.
TEST_F(CliUsageTest, AmbiguousRecordsAreListedUntilOneIsChosen) {
    std::error_code error;
    fs::copy(folder.file("System/Data/VMA-Series"), folder.file("System/Data/Other-Series"),
             fs::copy_options::recursive, error);
    ASSERT_FALSE(error) << error.message();
    const std::vector<std::string> write = {
        "write-actuator", "--part-no", "VMA10-06I",  "--sv", "1.10",
        "--io",           "NPN",       "--contents", "steps"};
    struct Case {
        std::vector<std::string> choice;
        int status;
        const char* told;
    };
    const Case cases[] = {
        {{}, 2, "--controller VC-1B --stroke 150 --data-set Other-Series"},
        {{"--controller", "VC-1A", "--stroke", "50"}, 2, "--data-set VMA-Series"},
        {{"--controller", "VC-9"}, 2, "match no record"},
        {{"--controller", "VC-1A", "--stroke", "50", "--data-set", "Other-Series"},
         0,
         "written and verified"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice.empty() ? "no choice" : c.choice.back());
        sim.controller().setRegister(0x000C, 0x0064);  // a mode a steps-only write can restore
        sim.controller().clearRequestLog();
        std::vector<std::string> args = write;
        args.insert(args.end(), c.choice.begin(), c.choice.end());

        const CliResult result = Cli(args);

        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE((result.out + result.err).find(c.told), std::string::npos) << result.err;
        if (c.status != 0) {
            EXPECT_EQ(sim.controller().requestCount(), 0u);
        }
    }
}

TEST_F(CliUsageTest, VersionIsTheProjectVersion) {
    const CliResult result = Cli({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "velmora-cli " VELMORA_TEST_PROJECT_VERSION "\n");
}

}  // namespace
}  // namespace velmora
