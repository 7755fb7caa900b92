// Compare, and the backup made before every write that undoes it: velmora-cli against the
// virtual controller on a pseudo-terminal, and the naming and pruning of the Backups folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "backup/auto_backup.h"
#include "support/cli_jobs_fixture.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::CliJobsTest;
using test::CliResult;
using test::RegisterValues;

// The sample actuator, one record of it.
const std::vector<std::string> kActuator = {"--part-no", test::kPartNo, "--controller", "VC-1A",
                                            "--stroke",  "50",          "--sv",         "1.10",
                                            "--io",      "NPN"};

std::vector<std::string> With(std::vector<std::string> args,
                              const std::vector<std::string>& more = kActuator) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Registers a write stamps whatever the source says: the mode, the check value, the date code.
bool StampedByAWrite(std::uint16_t reg) {
    return reg == 0x000C || reg == 0x00EE || reg == 0x00EF;
}

// The rest of the line that starts with prefix in text; empty when there is none.
std::string LineAfter(const std::string& text, const std::string& prefix) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    }
    return {};
}

TEST_F(CliJobsTest, CompareAnswersAsDiffDoes) {
    test::SeedImage(controller(), 41, "COMPARED");
    const std::string before = folder.file("before.bkp");
    ASSERT_EQ(Cli({"backup", before}).status, 0);
    const std::vector<std::uint16_t> changed = {0x0010, 0x0123, 0x0405};
    for (const std::uint16_t reg : changed) {
        controller().setRegister(reg, controller().getRegister(reg).value_or(0) ^ 0x00FF);
    }
    const std::string after = folder.file("after.bkp");
    ASSERT_EQ(Cli({"backup", after}).status, 0);

    struct Case {
        std::vector<std::string> args;
        int status;
        std::size_t rows;
    };
    const std::vector<Case> cases = {
        {{"compare", after}, 0, 0},           // the controller against what it holds
        {{"compare", before, before}, 0, 0},  // a file against itself
        {{"compare", before}, 1, changed.size()},
        {{"compare", before, after}, 1, changed.size()},
        {{"compare", before, after, "--json"}, 1, changed.size()},
        {{"compare", folder.file("missing.bkp")}, 2, 0},
        {{"compare", before, after, folder.file("third.bkp")}, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CliResult result = Cli(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        if (c.status == 2)
            continue;
        const bool json = c.args.back() == "--json";
        for (const std::uint16_t reg : changed) {
            char address[16];
            std::snprintf(address, sizeof address, json ? "\"0x%04x\"" : "\n0x%04x ", reg);
            EXPECT_EQ(result.out.find(address) != std::string::npos, c.rows > 0)
                << address << " in\n"
                << result.out;
        }
        EXPECT_NE(result.err.find(std::to_string(c.rows) + " of 1408 registers differ"),
                  std::string::npos)
            << result.err;
    }
    // Each comparison that ran is in the service history, with its verdict.
    const CliResult history = Cli({"history", "--json", "--limit", "1"});
    EXPECT_NE(history.out.find("\"compare\""), std::string::npos) << history.out;
    EXPECT_NE(history.out.find("\"differ\""), std::string::npos) << history.out;
}

TEST_F(CliJobsTest, AnActuatorJustWrittenDiffersOnlyWhereTheWriteStamps) {
    ASSERT_EQ(Cli(With({"write-actuator"})).status, 0);
    const CliResult result = Cli(With({"compare"}));
    EXPECT_EQ(result.status, 1) << result.err;
    std::istringstream rows(result.out);
    for (std::string row; std::getline(rows, row);) {
        if (row.rfind("0x", 0) == 0) {
            EXPECT_TRUE(StampedByAWrite(static_cast<std::uint16_t>(std::stoul(row, nullptr, 16))))
                << row;
        }
    }
}

TEST_F(CliJobsTest, TheBackupBeforeAWriteUndoesIt) {
    test::SeedImage(controller(), 42, "BEFORE-WRITE");
    const RegisterValues params = Snapshot(0x0000, 0x017F);
    const RegisterValues steps = Snapshot(0x0400, 0x07FF);

    const CliResult written = Cli(With({"write-actuator"}));
    ASSERT_EQ(written.status, 0) << written.err;
    const std::string saved = LineAfter(written.out, "state before the write saved: ");
    ASSERT_EQ(fs::path(saved).parent_path(), fs::path(folder.file("Backups")));
    EXPECT_EQ(fs::path(saved).filename().string().rfind("BEFORE-WRITE-", 0), 0u) << saved;
    ASSERT_NE(Snapshot(0x0400, 0x07FF), steps);

    // The command printed, run as printed.
    std::istringstream words(LineAfter(written.out, "to undo it: "));
    std::vector<std::string> argv;
    for (std::string word; words >> word;) {
        argv.push_back(argv.empty() ? (test::BinaryFolder() / "velmora-cli").string() : word);
    }
    test::CliRun run;
    run.argv = argv;
    run.outPath = folder.file("undo.out");
    run.errPath = folder.file("undo.err");
    const CliResult undone = test::RunCli(std::move(run));
    ASSERT_EQ(undone.status, 0) << undone.err;
    for (const auto& [reg, value] : params) {
        if (!StampedByAWrite(reg)) {
            EXPECT_EQ(controller().getRegister(reg), value) << "register " << reg;
        }
    }
    EXPECT_EQ(Snapshot(0x0400, 0x07FF), steps);

    // The undo is a write too: the state it replaced was backed up first.
    EXPECT_EQ(folder.names("Backups").size(), 2u);
}

TEST_F(CliJobsTest, AFailedBackupBeforeAWriteWritesNothing) {
    const std::string earlier = folder.file("earlier.bkp");
    ASSERT_EQ(Cli({"backup", earlier}).status, 0);
    std::ofstream(folder.file("Backups")) << "a file where the folder belongs\n";
    for (const std::vector<std::string>& args :
         {With({"write-actuator"}), std::vector<std::string>{"restore", earlier}}) {
        controller().clearRequestLog();
        const CliResult result = Cli(args);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.err.find("backup before writing failed"), std::string::npos) << result.err;
        EXPECT_FALSE(AnythingWritten());
    }
    const CliResult result = Cli(With({"write-actuator", "--no-auto-backup"}));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.find("to undo it"), std::string::npos);
}

}  // namespace
}  // namespace velmora
