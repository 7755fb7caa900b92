// The work jobs of velmora-cli, run as a program against the virtual controller on a
// pseudo-terminal, with a program folder of its own and rule files written for each case.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "support/cli_jobs_fixture.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::BinaryFolder;
using test::CliJobsTest;
using test::CliResult;
using test::Disturbance;
using test::kColumn;
using test::kPartNo;
using test::kRefusalText;
using test::kRefusalTitle;
using test::kWarningText;
using test::kWarningTitle;
using test::LinesStartingWith;
using test::RegisterValues;

// Each job asks the rule file first: allowed goes on, a refusal shows the rule file's title
// and message and stops with 3, a warning stops with 3 unless --yes accepts it (standard input
// is no terminal, so no one can be asked).
TEST_F(CliJobsTest, RuleFileVerdictDecidesWhetherAJobRuns) {
    // A backup to restore from, taken while everything is allowed.
    test::SeedImage(controller(), 11, "CLI-UNIT");
    const std::string backup = folder.file("before.bkp");
    const RegisterValues seededSteps = Snapshot(0x0400, 0x07FF);
    ASSERT_EQ(Cli({"backup", backup}).status, 0);

    struct Job {
        const char* name;
        std::vector<std::string> args;
    };
    const Job jobs[] = {
        {"write-actuator",
         {"write-actuator", "--part-no", kPartNo, "--controller", "VC-1A", "--stroke", "50", "--sv",
          "1.1", "--io", "NPN", "--contents", "steps"}},
        {"backup", {"backup", folder.file("job.bkp")}},
        {"restore", {"restore", backup, "--contents", "steps"}},
    };
    struct Case {
        const char* what;
        std::uint16_t version;
        int verdict;
        bool yes;
        int status;
        const char* title;
        const char* text;
    };
    const Case cases[] = {
        {"allowed", 110, 2, false, 0, nullptr, nullptr},
        {"refused", 250, 2, true, 3, kRefusalTitle, kRefusalText},
        {"warning declined", 250, 1, false, 3, kWarningTitle, kWarningText},
        {"warning accepted with --yes", 250, 1, true, 0, kWarningTitle, kWarningText},
    };
    for (const Job& job : jobs) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(job.name) + ": " + c.what);
            WriteRules(c.verdict);
            controller().setVersion(c.version);
            test::SeedImage(controller(), 23, "SOMETHING-ELSE");
            controller().setRegister(0x000C, 0x0064);  // a mode a steps-only write can restore
            controller().clearRequestLog();
            fs::remove(folder.file("job.bkp"));
            std::vector<std::string> args = job.args;
            if (c.yes) {
                args.insert(args.begin(), "--yes");
            }

            const CliResult result = Cli(args);

            EXPECT_EQ(result.status, c.status) << result.err;
            if (c.title != nullptr) {
                EXPECT_NE(result.err.find(c.title), std::string::npos) << result.err;
                EXPECT_NE(result.err.find(c.text), std::string::npos) << result.err;
            }
            const std::string jobName = job.name;
            if (c.status != 0) {
                EXPECT_FALSE(AnythingWritten());
                EXPECT_FALSE(fs::exists(folder.file("job.bkp")));
                continue;
            }
            if (jobName == "write-actuator") {
                for (const auto& [reg, value] :
                     test::ExpectedStepImage(SamplePlain("VMA10_step.csv"), kColumn)) {
                    EXPECT_EQ(controller().getRegister(reg), value) << "register " << reg;
                }
            } else if (jobName == "backup") {
                const auto parsed =
                    test::ParseBackupText(test::ReadStoredText(folder.file("job.bkp")));
                EXPECT_EQ(parsed.error, "");
                EXPECT_EQ(parsed.unitName, "SOMETHING-ELSE");
                EXPECT_EQ(parsed.registers.at(0x0400), controller().getRegister(0x0400));
            } else {
                EXPECT_EQ(Snapshot(0x0400, 0x07FF), seededSteps);
            }
        }
    }
}

// The three write contents from the command line: the mode byte and the date code end as the
// sequence of each says.
// Part of the shipped English caution after a write.
constexpr const char* kNameplateAdvice = "nameplate";

TEST_F(CliJobsTest, WriteActuatorContentsChoices) {
    struct Case {
        const char* contents;
        bool parameters;
        int modeLowAfter;
    };
    const Case cases[] = {{"both", true, 1}, {"params", true, 1}, {"steps", false, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents);
        controller().resetImage();
        controller().setRegister(0x000C, 0x0364);
        controller().setRegister(0x00EF, 0x0101);

        const CliResult result =
            Cli({"write-actuator", "--part-no", kPartNo, "--controller", "VC-1A", "--stroke", "50",
                 "--sv", "1.10", "--io", "PNP", "--contents", c.contents});

        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find("VC-1AP-VMA10-06I"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(kNameplateAdvice), std::string::npos) << result.out;
        EXPECT_EQ(*controller().getRegister(0x000C) & 0xFF, c.modeLowAfter);
        EXPECT_EQ(*controller().getRegister(0x00EF),
                  c.parameters ? test::TodaysDateCode() : 0x0101);
        if (c.parameters) {
            const RegisterValues expected =
                test::ExpectedParameterImage(SamplePlain("VMA10_param.csv"), kColumn, kPartNo);
            EXPECT_EQ(controller().getRegister(0x0040), expected.at(0x0040));
            EXPECT_EQ(controller().getRegister(0x0100), expected.at(0x0100));
        }
    }
    const CliResult wrong =
        Cli({"write-actuator", "--part-no", kPartNo, "--controller", "VC-1A", "--stroke", "50",
             "--sv", "1.10", "--io", "PNP", "--contents", "all"});
    EXPECT_EQ(wrong.status, 2);
}

// Text edits of a sound input; each returns the damaged text.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
}

// A damaged input is refused before the controller is written: exit 1, not one write request,
// and the controller holds what it held. With --yes too: nothing may be accepted of it.
TEST_F(CliJobsTest, DamagedInputWritesNothing) {
    test::SeedImage(controller(), 41, "DAMAGE-SRC");
    const std::string backup = folder.file("sound.bkp");
    ASSERT_EQ(Cli({"backup", backup}).status, 0);
    const std::string sound = test::ReadStoredText(backup);
    const std::string dataFile = folder.file("System/Data/VMA-Series/VMA10_param.vmw");
    const std::string soundData = test::ReadStoredText(dataFile);
    ASSERT_FALSE(sound.empty());
    ASSERT_FALSE(soundData.empty());
    const std::size_t header = sound.find("\r\n");

    struct Case {
        const char* what;
        bool dataSet;
        std::string text;
    };
    const Case cases[] = {
        {"a digit of Stroke(+) changed", false,
         Replaced(sound, "\r\nD0002,Stroke(+),", "\r\nD0002,Stroke(+),9")},
        {"a flipped bit in a value", false,
         Replaced(sound, "\r\nD0006,Max speed=,", "\r\nD0006,Max speed=,0<")},
        {"an extra row before D000c", false,
         Replaced(sound, "\r\nD000c,", "\r\nD1000c,x=,4660\r\nD000c,")},
        {"cut short", false, sound.substr(0, sound.size() / 2)},
        {"header only", false, sound.substr(0, header + 2)},
        {"empty", false, std::string()},
        {"CR-only line ends", false,
         [&] {
             std::string text = sound;
             for (std::size_t at = text.find("\r\n"); at != std::string::npos;
                  at = text.find("\r\n", at)) {
                 text.erase(at + 1, 1);
             }
             return text;
         }()},
        {"data set with a wrong checksum", true,
         Replaced(soundData, ",Max speed,,0,65535,W,", ",Max speed,,0,65535,W,1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(!c.text.empty() || std::string(c.what) == "empty");
        ASSERT_TRUE(test::StoreText(c.dataSet ? dataFile : folder.file("damaged.bkp"), c.text));
        test::SeedImage(controller(), 42, "UNTOUCHED");
        const RegisterValues before = Snapshot(0x0000, 0x07FF);
        controller().clearRequestLog();

        const CliResult result =
            c.dataSet ? Cli({"--yes", "write-actuator", "--part-no", kPartNo, "--controller",
                             "VC-1A", "--stroke", "50", "--sv", "1.10", "--io", "NPN"})
                      : Cli({"--yes", "restore", folder.file("damaged.bkp")});

        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_FALSE(AnythingWritten());
        EXPECT_EQ(Snapshot(0x0000, 0x07FF), before);
        ASSERT_TRUE(test::StoreText(dataFile, soundData));
    }

    // A sum line whose register cell is empty closes the rows: the last row stays a register
    // of its own and is written as the file gives it, not with the sum as its low byte.
    ASSERT_TRUE(test::StoreText(dataFile, Replaced(soundData, "\r\n,Sum,", "\r\n,,")));
    controller().setRegister(0x017F, 0x1234);
    const CliResult written = Cli({"write-actuator", "--part-no", kPartNo, "--controller", "VC-1A",
                                   "--stroke", "50", "--sv", "1.10", "--io", "NPN"});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(controller().getRegister(0x017F), 0);
}

// A data set value beyond its register's width is written as its low bits only when the user
// accepts the list: declined (no terminal, no --yes) it writes nothing and exits 3; accepted it
// writes 300 as 0x2C and says how many values were cut.
TEST_F(CliJobsTest, ValuesBeyondTheirWidthAreWrittenOnlyWhenAccepted) {
    const std::string dataFile = folder.file("System/Data/VMA-Series/VMA10_param.vmw");
    std::string text = test::ReadStoredText(dataFile);
    text = Replaced(text, ",Controller ID,,0,255,W,1,", ",Controller ID,,0,255,W,300,");
    text = Replaced(text, ",sum,609341,", ",sum,609640,");
    ASSERT_TRUE(test::StoreText(dataFile, text));
    const std::vector<std::string> write = {
        "write-actuator", "--part-no", kPartNo, "--controller", "VC-1A",      "--stroke", "50",
        "--sv",           "1.10",      "--io",  "NPN",          "--contents", "params"};

    const CliResult declined = Cli(write);
    EXPECT_EQ(declined.status, 3) << declined.err;
    EXPECT_NE(declined.err.find("VMA10_param.vmw:4: 300"), std::string::npos) << declined.err;
    EXPECT_FALSE(AnythingWritten());

    std::vector<std::string> yes = write;
    yes.insert(yes.begin(), "--yes");
    const CliResult accepted = Cli(yes);
    EXPECT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_EQ(*controller().getRegister(0x0000) >> 8, 0x2C);
    EXPECT_NE(accepted.out.find("1 value(s)"), std::string::npos) << accepted.out;
}

// A verification failure ends with 1 and lists the first 20 differing rows and their count.
TEST_F(CliJobsTest, VerificationFailureExitsOneWithTheDifferingRows) {
    for (std::uint16_t reg = 0x0500; reg < 0x0500 + 25; ++reg) {
        controller().changeRegisterAfterWrite(reg, 0x7E7E);
    }

    const CliResult result =
        Cli({"write-actuator", "--part-no", kPartNo, "--controller", "VC-1A", "--stroke", "50",
             "--sv", "1.10", "--io", "NPN", "--contents", "steps"});

    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("25 row(s)"), std::string::npos) << result.err;
    EXPECT_EQ(LinesStartingWith(result.err, "  0x05"), 20) << result.err;
    EXPECT_NE(result.err.find("0x0500"), std::string::npos);
    EXPECT_NE(result.err.find("32382 (0x7e7e)"), std::string::npos);
    EXPECT_NE(result.err.find("Verification Error"), std::string::npos);
    EXPECT_NE(result.err.find("Writing to the controller failed"), std::string::npos);
    // No advice to relabel a controller the write failed on.
    EXPECT_EQ(result.out.find(kNameplateAdvice), std::string::npos) << result.out;
}

TEST_F(CliJobsTest, RecordsThatDoNotMatchAreReportedWithWhatThereIs) {
    struct Case {
        const char* partNo;
        const char* sv;
        const char* io;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {kPartNo,
         "2.00",
         "NPN",
         {"--sv 1.00 --io NPN", "--sv 1.00 --io PNP", "--sv 1.10 --io PNP"}},
        {kPartNo, "1.10", "npn", {"--sv 1.10 --io NPN"}},
        {"NO-SUCH-PART", "1.10", "NPN", {"no actuator with part number 'NO-SUCH-PART'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sv) + " " + c.io);
        controller().clearRequestLog();

        const CliResult result =
            Cli({"write-actuator", "--part-no", c.partNo, "--sv", c.sv, "--io", c.io});

        EXPECT_EQ(result.status, 1);
        for (const auto& text : c.listed) {
            EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
        }
        EXPECT_EQ(controller().requestCount(), 0u);
    }
}

// A backup made by one run and restored by another gives the controller its areas back.
TEST_F(CliJobsTest, BackupAndRestoreRoundTrip) {
    test::SeedImage(controller(), 31, "ROUND-TRIP");
    controller().setRegister(0x000C, 0x0201);
    const RegisterValues params = Snapshot(0x0000, 0x017F);
    const RegisterValues steps = Snapshot(0x0400, 0x07FF);
    const std::string path = folder.file("round.bkp");

    const CliResult saved = Cli({"backup", path});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out.find(path), std::string::npos);

    test::SeedImage(controller(), 32, "OVERWRITTEN");
    controller().setRegister(0x00EE, 100);
    const CliResult restored = Cli({"restore", path, "--contents", "both"});
    ASSERT_EQ(restored.status, 0) << restored.err;
    // A backup names no controller part number, so there is nothing to relabel.
    EXPECT_EQ(restored.out.find(kNameplateAdvice), std::string::npos) << restored.out;

    for (const auto& [reg, value] : params) {
        const auto now = controller().getRegister(reg);
        if (reg == 0x000C) {
            EXPECT_EQ(now, 0x0201);
        } else if (reg == 0x00EE) {
            EXPECT_EQ(now, 1100);
        } else if (reg != 0x00EF) {
            EXPECT_EQ(now, value) << "register " << reg;
        }
    }
    EXPECT_EQ(Snapshot(0x0400, 0x07FF), steps);
}

const std::vector<std::string> kStepsWrite = {
    "write-actuator", "--part-no", kPartNo, "--controller", "VC-1A",      "--stroke", "50",
    "--sv",           "1.10",      "--io",  "NPN",          "--contents", "steps"};

// Ctrl-C, SIGTERM and SIGHUP stop a backup cleanly (130, no file, no temp file). During a write
// they are refused with a note: the write runs to its end and verifies.
TEST_F(CliJobsTest, StopSignalsCancelABackupButNeverAWrite) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        // A job runs to about a hundred requests; slowed down, it is still running long after
        // the signal lands.
        controller().setExtraDelayMs(5);
        controller().clearRequestLog();

        // Past the rule checks' four reads (communication, then backup) and into the job.
        const CliResult backup = Cli({"backup", folder.file("cancelled.bkp")},
                                     {.signalAfterRequests = 6, .signal = signal});

        EXPECT_EQ(backup.status, 130) << backup.err;
        ExpectNoFileLike("cancelled.bkp");

        ArrangeForStepsWrite();
        const CliResult written = Cli(kStepsWrite, {.signalAfterRequests = 6, .signal = signal});

        EXPECT_EQ(written.status, 0) << written.err;
        EXPECT_NE(written.err.find("cannot be stopped part way"), std::string::npos) << written.err;
        ExpectStepsWritten();
    }
}

// "velmora-cli write-actuator ... | head -c 1": the reader of standard output is gone before
// anything is printed. The write still runs to its end and the exit status says how it went.
TEST_F(CliJobsTest, AClosedStandardOutputDoesNotStopAWrite) {
    ArrangeForStepsWrite();

    const CliResult result = Cli(kStepsWrite, {.stdoutReaderGone = true});

    EXPECT_EQ(result.status, 0) << result.err;
    ExpectStepsWritten();
}

// Each exit status from the situation that causes it, through the real program.
TEST_F(CliJobsTest, ExitStatusNamesWhatWentWrong) {
    const std::string backup = folder.file("status.bkp");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* told;
        int answered = -1;  // requests the controller answers before it falls silent
        std::uint16_t version = 110;
        bool portHeld = false;  // by another program
        bool drifts = false;    // register 0x0500 changes on its own after a write
    };
    const Case cases[] = {
        {"usage error", {"backup"}, 2, "usage: backup FILE"},
        {"unknown bit rate", {"--baud", "12345", "backup", backup}, 2, "not a bit rate"},
        {"missing port",
         {"--port", "/dev/velmora-none", "backup", backup},
         4,
         "no such device — is the adapter plugged in?"},
        {"port in use", {"backup", backup}, 4, "in use by another program", -1, 110, true},
        {"silent at the rule check", {"backup", backup}, 4, "did not answer the rule check", 0},
        {"silent during a backup", {"backup", backup}, 4, "did not answer as it should", 6},
        {"silent during a write", kStepsWrite, 4, "did not answer as it should", 6},
        {"refused by the rule file", {"backup", backup}, 3, kRefusalText, -1, 250},
        {"verification differs", kStepsWrite, 1, "read back differently", -1, 110, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        controller().clearFaults();
        controller().setVersion(c.version);
        controller().stopAfterRequests(c.answered);
        if (c.drifts)
            controller().changeRegisterAfterWrite(0x0500, 0x7E7E);
        ArrangeForStepsWrite();
        const std::unique_ptr<SerialPort> otherProgram = MakeSystemSerialPort();
        if (c.portHeld) {
            ASSERT_TRUE(otherProgram->open(sim.slavePath()));
        }

        const CliResult result = Cli(c.args);

        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.told), std::string::npos) << result.err;
        // A silent controller is never reported as one the rule file refuses.
        if (c.status != 3) {
            EXPECT_EQ(result.err.find(kRefusalTitle), std::string::npos) << result.err;
        }
        ExpectNoFileLike("status.bkp");
    }
}

// The table as the list files expand it: one line per combination of their alternatives,
// thirteen fields each, and the same records as JSON objects.
TEST_F(CliJobsTest, ActuatorsListsTheExpandedTable) {
    const auto rows = test::SplitCsv(SamplePlain("AdapterFile.vms"));
    std::size_t expected = 0;
    std::map<std::string, int> perPart;
    for (std::size_t line = 1; line < rows.size(); ++line) {
        if (rows[line].size() < 12) {
            continue;
        }
        std::size_t combinations = 1;
        for (const auto& field : rows[line]) {
            combinations *=
                static_cast<std::size_t>(std::count(field.begin(), field.end(), '|') + 1);
        }
        expected += combinations;
        perPart[rows[line][0]] += static_cast<int>(combinations);
    }

    const CliResult text = Cli({"actuators"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.out.begin(), text.out.end(), '\n')),
              expected);
    for (const auto& [partNo, count] : perPart) {
        EXPECT_EQ(LinesStartingWith(text.out, partNo + "\t"), count) << partNo;
    }
    std::size_t start = 0;
    while (start < text.out.size()) {
        const std::size_t end = text.out.find('\n', start);
        const std::string line = text.out.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 12) << line;
        EXPECT_NE(line.find(folder.path() + "/System/Data/VMA-Series/AdapterFile.vms"),
                  std::string::npos)
            << line;
        start = end + 1;
    }

    const CliResult json = Cli({"actuators", "--json"});
    ASSERT_EQ(json.status, 0);
    ASSERT_FALSE(json.out.empty());
    EXPECT_EQ(json.out.front(), '[');
    std::size_t objects = 0;
    for (std::size_t at = json.out.find("{\"partNo\": "); at != std::string::npos;
         at = json.out.find("{\"partNo\": ", at + 1)) {
        ++objects;
    }
    EXPECT_EQ(objects, expected);
    for (const char* field : {"\"sv\": \"1.10\"", "\"io\": \"PNP\"", "\"controller\": \"VC-1A\"",
                              "\"stroke\": \"50\"", "\"dataSet\": \"VMA-Series\"}\n"}) {
        EXPECT_NE(json.out.find(field), std::string::npos) << field;
    }
    EXPECT_EQ(json.out.find("\"strPartNo\""), std::string::npos);
    EXPECT_EQ(controller().requestCount(), 0u);
}

}  // namespace
}  // namespace velmora
