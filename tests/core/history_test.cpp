// The service history: one row per job of velmora-cli against the virtual controller on a
// pseudo-terminal, rows that say "interrupted" for jobs that never ended, jobs that go on when
// the database is locked or damaged, and the schema's migrations.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/history_page_model.h"
#include "app/job_recorder.h"
#include "history/history_store.h"
#include "history/sha256.h"
#include "sim/pty_controller.h"
#include "support/cli_process.h"
#include "support/rule_file.h"
#include "support/temp_folder.h"
#include "support/test_os.h"
#include "support/transmit_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct SqliteCloser {
    void operator()(sqlite3* database) const { sqlite3_close(database); }
};
using Connection = std::unique_ptr<sqlite3, SqliteCloser>;

Connection Connect(const std::string& path) {
    sqlite3* database = nullptr;
    sqlite3_open(path.c_str(), &database);
    return Connection(database);
}

bool Exec(const Connection& connection, const std::string& sql) {
    return sqlite3_exec(connection.get(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::vector<JobRecord> Jobs(const std::string& path, HistoryQuery query = {}) {
    HistoryStore store;
    std::vector<JobRecord> records;
    EXPECT_TRUE(store.open(path).ok());
    EXPECT_TRUE(store.list(query, records).ok());
    return records;
}

class HistoryCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        VELMORA_SKIP_WITHOUT_PTY();
        ASSERT_TRUE(folder.valid());
        const std::error_code error = test::CopyBuiltSystem(folder);
        ASSERT_FALSE(error) << error.message();
        ASSERT_TRUE(sim.start());
        sim.controller().setVersion(110);
        // Every job allowed on every version.
        test::RuleFile rules;
        for (const std::string prefix : {"COMM", "FILE", "BACKUP"}) {
            rules.ranges(prefix, 1, 9999);
            for (int record = 1; record <= 3; ++record) {
                rules.outcome(prefix, record, 1, 1, 1, 1);
            }
            for (const char* sv : {"OK", "NG"}) {
                for (const char* bkc : {"OK", "NG"}) {
                    const std::string key = prefix + "_SVNO_" + sv + "_BKC_" + bkc;
                    if (prefix == "FILE") {
                        rules.set(key + "_SEL_OK", 0).set(key + "_SEL_NG", 0);
                    } else {
                        rules.set(key, 0);
                    }
                }
            }
        }
        rules.writeTo(folder);
    }

    void TearDown() override { sim.stop(); }

    test::CliResult Cli(std::vector<std::string> args) {
        test::CliRun run = test::CliOnLine(folder, sim.slavePath(), args);
        return test::RunCli(std::move(run));
    }

    // A backup of a controller named "ROUND-TRIP", restored into one named "OVERWRITTEN".
    void BackupAndRestore(const std::string& path) {
        test::SeedImage(sim.controller(), 31, "ROUND-TRIP");
        sim.controller().setRegister(0x000C, 0x0201);
        const test::CliResult saved = Cli({"backup", path});
        ASSERT_EQ(saved.status, 0) << saved.err;
        test::SeedImage(sim.controller(), 32, "OVERWRITTEN");
        sim.controller().setRegister(0x00EE, 100);
        restored = Cli({"restore", path, "--contents", "params"});
    }

    std::string historyPath() { return folder.file("history.db"); }

    test::TempFolder folder;
    sim::PtyController sim;
    test::CliResult restored;
};

TEST_F(HistoryCliTest, EachJobLeavesOneCompleteRow) {
    const std::string path = folder.file("round.bkp");
    BackupAndRestore(path);
    ASSERT_EQ(restored.status, 0) << restored.err;

    const std::vector<JobRecord> jobs = Jobs(historyPath());
    ASSERT_EQ(jobs.size(), 2u);
    std::string digest;
    ASSERT_TRUE(FileSha256Hex(path, digest));
    // Newest first.
    const JobRecord& restore = jobs[0];
    const JobRecord& backup = jobs[1];
    EXPECT_EQ(backup.kind, JobKind::Backup);
    EXPECT_EQ(backup.result, JobResult::Saved);
    EXPECT_EQ(backup.unitNameAfter, "ROUND-TRIP");
    EXPECT_EQ(restore.kind, JobKind::Restore);
    EXPECT_EQ(restore.result, JobResult::WrittenAndVerified);
    EXPECT_EQ(restore.contents, JobContents::Parameters);
    EXPECT_EQ(restore.unitNameBefore, "OVERWRITTEN");
    EXPECT_EQ(restore.unitNameAfter, "ROUND-TRIP");
    for (const JobRecord& job : jobs) {
        EXPECT_EQ(job.backupPath, fs::path(path).lexically_normal().string());
        EXPECT_EQ(job.backupSha256, digest);
        EXPECT_EQ(job.port, sim.slavePath());
        EXPECT_EQ(job.station, 1);
        EXPECT_EQ(job.bitRate, 38400);
        EXPECT_EQ(job.controllerSv, "1.10");
        EXPECT_FALSE(job.ended.empty());
        EXPECT_LE(job.started, job.ended);
    }

    // The listing: JSON with camelCase keys, the limit, and a bad date refused with 2.
    const test::CliResult json = Cli({"history", "--json", "--limit", "1"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"kind\": \"restore\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"unitNameBefore\": \"OVERWRITTEN\""), std::string::npos);
    EXPECT_EQ(json.out.find("\"kind\": \"backup\""), std::string::npos) << json.out;
    const test::CliResult table = Cli({"history", "--since", "2000-01-01"});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("written and verified"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("saved"), std::string::npos) << table.out;
    EXPECT_EQ(Cli({"history", "--since", "2024-02-30"}).status, 2);
}

// A locked or damaged database costs a warning line, never the job.
TEST_F(HistoryCliTest, AnUnwritableHistoryDoesNotStopAWrite) {
    const std::string path = folder.file("round.bkp");
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "locked");
        Connection holder;
        if (damaged) {
            fs::remove(historyPath());
            fs::remove(historyPath() + "-wal");
            fs::remove(historyPath() + "-shm");
            ASSERT_TRUE(test::StoreText(historyPath(), std::string(4096, 'x')));
        } else {
            holder = Connect(historyPath());
            ASSERT_TRUE(Exec(holder, "PRAGMA journal_mode = WAL"));
            ASSERT_TRUE(Exec(holder, "BEGIN EXCLUSIVE"));
        }
        BackupAndRestore(path);
        EXPECT_EQ(restored.status, 0) << restored.err;
        EXPECT_NE(restored.err.find("warning: The job could not be recorded"), std::string::npos)
            << restored.err;
    }
}

TEST(HistoryStoreTest, AJobThatNeverEndedStaysInterrupted) {
    test::TempFolder folder;
    const std::string path = folder.file("history.db");
    SilentUi ui;
    {
        JobRecorder recorder(JobKind::WriteActuator, ui, {}, path);
        recorder.record().partNo = "VMA10-06I";
        ASSERT_TRUE(recorder.status().ok()) << recorder.status().text;
    }
    JobRecorder finished(JobKind::Backup, ui, {}, path);
    finished.setDifferences({{0x0012, "P12", 5, 7}});
    finished.finish(JobResult::VerifyFailed);

    const std::vector<JobRecord> jobs = Jobs(path);
    ASSERT_EQ(jobs.size(), 2u);
    const JobRecord& lost = jobs[1].kind == JobKind::WriteActuator ? jobs[1] : jobs[0];
    const JobRecord& done = jobs[1].kind == JobKind::WriteActuator ? jobs[0] : jobs[1];
    EXPECT_EQ(lost.result, JobResult::Interrupted);
    EXPECT_TRUE(lost.ended.empty());
    EXPECT_EQ(done.result, JobResult::VerifyFailed);
    ASSERT_EQ(done.differences.size(), 1u);
    EXPECT_EQ(done.differences[0].key, "P12");
    EXPECT_EQ(done.differences[0].right, 7);
}

// An empty file, the tables of version 1 with a row, and a newer program's file.
TEST(HistoryStoreTest, OlderSchemasAreMigratedAndNewerOnesRefused) {
    struct Case {
        const char* name;
        int version;
        HistoryError expected;
    };
    for (const Case& c :
         {Case{"empty", 0, HistoryError::None}, Case{"first", 1, HistoryError::None},
          Case{"newer", 99, HistoryError::TooNew}}) {
        SCOPED_TRACE(c.name);
        test::TempFolder folder;
        const std::string path = folder.file("history.db");
        {
            const Connection old = Connect(path);
            for (int step = 0; step < c.version && step < HistorySchemaVersion(); ++step) {
                for (const std::string& sql : HistoryMigrations()[static_cast<std::size_t>(step)]) {
                    ASSERT_TRUE(Exec(old, sql)) << sql;
                }
            }
            if (c.version == 1) {
                ASSERT_TRUE(Exec(old,
                                 "INSERT INTO jobs (kind, started, result) VALUES "
                                 "('backup', '2020-01-02T03:04:05', 'saved')"));
            }
            ASSERT_TRUE(Exec(old, "PRAGMA user_version = " + std::to_string(c.version)));
        }
        HistoryStore store;
        EXPECT_EQ(store.open(path).error, c.expected);
        if (c.expected != HistoryError::None) {
            continue;
        }
        const Connection check = Connect(path);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(check.get(), "PRAGMA user_version", -1, &statement, nullptr);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(statement, 0), HistorySchemaVersion());
        sqlite3_finalize(statement);
        EXPECT_EQ(Jobs(path, {0, "2020-01-01"}).size(), c.version == 1 ? 1u : 0u);
    }
}

TEST(HistoryStoreTest, DigestsFilterAndCsv) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(std::string(1000, 'a')),
              "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");

    JobRecord quoted;
    quoted.unitNameAfter = "A \"B\", C";
    quoted.result = JobResult::Saved;
    JobRecord other;
    other.partNo = "VMA10-06I";
    HistoryPageModel model;
    model.setRecords({quoted, other});
    model.setFilter("vma10");
    ASSERT_EQ(model.rows().size(), 1u);
    EXPECT_EQ(model.rows()[0][12], "VMA10-06I");
    model.setFilter("a \"b\"");
    const std::string csv = model.csv({"one", "two"});
    EXPECT_EQ(csv.substr(0, 9), "one,two\r\n");
    EXPECT_NE(csv.find(",\"A \"\"B\"\", C\","), std::string::npos) << csv;
    EXPECT_EQ(csv.find("VMA10"), std::string::npos) << csv;
}

}  // namespace
}  // namespace velmora
