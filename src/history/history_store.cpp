#include "history/history_store.h"

#include <utility>

#ifdef VELMORA_WITH_HISTORY
#include <sqlite3.h>
#endif

namespace velmora {

const std::vector<std::vector<std::string>>& HistoryMigrations() {
    static const std::vector<std::vector<std::string>> kMigrations = {
        // 0 -> 1: one row per job, one row per register it found different.
        {"CREATE TABLE jobs (id INTEGER PRIMARY KEY, kind TEXT NOT NULL, started TEXT NOT NULL, "
         "ended TEXT NOT NULL DEFAULT '', user TEXT NOT NULL DEFAULT '', host TEXT NOT NULL "
         "DEFAULT '', port TEXT NOT NULL DEFAULT '', station INTEGER NOT NULL DEFAULT 0, "
         "bit_rate INTEGER NOT NULL DEFAULT 0, controller_sv TEXT NOT NULL DEFAULT '', "
         "unit_name_before TEXT NOT NULL DEFAULT '', unit_name_after TEXT NOT NULL DEFAULT '', "
         "part_no TEXT NOT NULL DEFAULT '', sv TEXT NOT NULL DEFAULT '', io TEXT NOT NULL "
         "DEFAULT '', backup_path TEXT NOT NULL DEFAULT '', backup_sha256 TEXT NOT NULL "
         "DEFAULT '', contents TEXT NOT NULL DEFAULT 'both', result TEXT NOT NULL, "
         "repeated_requests INTEGER NOT NULL DEFAULT 0, auto_backup_path TEXT NOT NULL "
         "DEFAULT '')",
         "CREATE TABLE job_differences (job_id INTEGER NOT NULL REFERENCES jobs(id) ON DELETE "
         "CASCADE, address INTEGER NOT NULL, key TEXT NOT NULL DEFAULT '', left_value INTEGER "
         "NOT NULL, right_value INTEGER NOT NULL)"},
        // 1 -> 2: listings go by start time; a job's differences are found by its id.
        {"CREATE INDEX jobs_by_start ON jobs(started)",
         "CREATE INDEX differences_by_job ON job_differences(job_id)"},
    };
    return kMigrations;
}

int HistorySchemaVersion() {
    return static_cast<int>(HistoryMigrations().size());
}

HistoryStore::HistoryStore() = default;
HistoryStore::~HistoryStore() = default;
HistoryStore::HistoryStore(HistoryStore&&) noexcept = default;
HistoryStore& HistoryStore::operator=(HistoryStore&&) noexcept = default;

#ifndef VELMORA_WITH_HISTORY

void HistoryStore::Closer::operator()(sqlite3*) const {}

namespace {
HistoryStatus NotBuilt() {
    return {HistoryError::Unavailable, "this build records no service history"};
}
}  // namespace

HistoryStatus HistoryStore::open(const std::string&, std::chrono::milliseconds) {
    return NotBuilt();
}
HistoryStatus HistoryStore::begin(JobRecord&) {
    return NotBuilt();
}
HistoryStatus HistoryStore::finish(const JobRecord&) {
    return NotBuilt();
}
HistoryStatus HistoryStore::list(const HistoryQuery&, std::vector<JobRecord>&) {
    return NotBuilt();
}

#else

void HistoryStore::Closer::operator()(sqlite3* database) const {
    sqlite3_close_v2(database);
}

namespace {

HistoryStatus StatusOf(sqlite3* database, int code) {
    const int primary = code & 0xFF;
    const std::string text = database != nullptr && sqlite3_errcode(database) == code
                                 ? sqlite3_errmsg(database)
                                 : sqlite3_errstr(code);
    switch (primary) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return {};
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return {HistoryError::Busy, text};
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return {HistoryError::Damaged, text};
        default:
            return {HistoryError::Failed, text};
    }
}

// A prepared statement, finalised when it goes.
class Statement {
  public:
    Statement(sqlite3* database, const std::string& sql) : database_(database) {
        code_ = sqlite3_prepare_v2(database, sql.c_str(), -1, &statement_, nullptr);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(const std::string& text) {
        if (code_ == SQLITE_OK) {
            code_ = sqlite3_bind_text(statement_, ++bound_, text.c_str(),
                                      static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
        return *this;
    }
    Statement& bind(std::string_view text) { return bind(std::string(text)); }
    Statement& bind(std::int64_t number) {
        if (code_ == SQLITE_OK) {
            code_ = sqlite3_bind_int64(statement_, ++bound_, number);
        }
        return *this;
    }
    Statement& bind(int number) { return bind(static_cast<std::int64_t>(number)); }

    // True while a row came; the status says whether the end was reached cleanly.
    bool step() {
        if (code_ != SQLITE_OK && code_ != SQLITE_ROW) {
            return false;
        }
        code_ = sqlite3_step(statement_);
        return code_ == SQLITE_ROW;
    }
    HistoryStatus run() {
        while (step()) {
        }
        return status();
    }
    HistoryStatus status() const { return StatusOf(database_, code_); }

    std::string text(int column) const {
        const auto* value = sqlite3_column_text(statement_, column);
        return value != nullptr ? reinterpret_cast<const char*>(value) : "";
    }
    int integer(int column) const { return sqlite3_column_int(statement_, column); }
    std::int64_t integer64(int column) const { return sqlite3_column_int64(statement_, column); }

  private:
    sqlite3* database_;
    sqlite3_stmt* statement_ = nullptr;
    int code_ = SQLITE_OK;
    int bound_ = 0;
};

HistoryStatus Execute(sqlite3* database, const std::string& sql) {
    return StatusOf(database, sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr));
}

// BEGIN IMMEDIATE takes the write lock at once, so a busy database fails here (after the
// busy timeout) rather than halfway through; a transaction not committed rolls back.
class WriteTransaction {
  public:
    explicit WriteTransaction(sqlite3* database) : database_(database) {
        status_ = Execute(database, "BEGIN IMMEDIATE");
    }
    ~WriteTransaction() {
        if (status_.ok() && !committed_) {
            Execute(database_, "ROLLBACK");
        }
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    const HistoryStatus& status() const { return status_; }
    HistoryStatus commit() {
        HistoryStatus done = Execute(database_, "COMMIT");
        committed_ = done.ok();
        return done;
    }

  private:
    sqlite3* database_;
    HistoryStatus status_;
    bool committed_ = false;
};

HistoryStatus ReadVersion(sqlite3* database, int& version) {
    Statement read(database, "PRAGMA user_version");
    version = read.step() ? read.integer(0) : 0;
    HistoryStatus status = read.status();
    read.run();  // to its end, so that no read stays open
    return status;
}

HistoryStatus Migrate(sqlite3* database) {
    int version = 0;
    if (HistoryStatus read = ReadVersion(database, version); !read.ok()) {
        return read;
    }
    const int wanted = HistorySchemaVersion();
    if (version == wanted) {
        return {};
    }
    if (version > wanted) {
        return {HistoryError::TooNew, "the history was written by a newer program (schema " +
                                          std::to_string(version) + ")"};
    }
    WriteTransaction transaction(database);
    if (!transaction.status().ok()) {
        return transaction.status();
    }
    // Another process may have migrated while this one waited for the lock.
    if (HistoryStatus read = ReadVersion(database, version); !read.ok()) {
        return read;
    }
    for (; version < wanted; ++version) {
        for (const std::string& sql : HistoryMigrations()[static_cast<std::size_t>(version)]) {
            if (HistoryStatus done = Execute(database, sql); !done.ok()) {
                return done;
            }
        }
    }
    if (HistoryStatus done = Execute(database, "PRAGMA user_version = " + std::to_string(wanted));
        !done.ok()) {
        return done;
    }
    return transaction.commit();
}

constexpr const char* kColumns =
    "kind, started, ended, user, host, port, station, bit_rate, controller_sv, "
    "unit_name_before, unit_name_after, part_no, sv, io, backup_path, backup_sha256, contents, "
    "result, repeated_requests, auto_backup_path";

void BindFields(Statement& statement, const JobRecord& record) {
    statement.bind(JobKindText(record.kind))
        .bind(record.started)
        .bind(record.ended)
        .bind(record.user)
        .bind(record.host)
        .bind(record.port)
        .bind(record.station)
        .bind(record.bitRate)
        .bind(record.controllerSv)
        .bind(record.unitNameBefore)
        .bind(record.unitNameAfter)
        .bind(record.partNo)
        .bind(record.sv)
        .bind(record.io)
        .bind(record.backupPath)
        .bind(record.backupSha256)
        .bind(JobContentsText(record.contents))
        .bind(JobResultText(record.result))
        .bind(record.repeatedRequests)
        .bind(record.autoBackupPath);
}

JobRecord ReadFields(const Statement& row) {
    JobRecord record;
    record.id = row.integer64(0);
    record.kind = ParseJobKind(row.text(1)).value_or(JobKind::Backup);
    record.started = row.text(2);
    record.ended = row.text(3);
    record.user = row.text(4);
    record.host = row.text(5);
    record.port = row.text(6);
    record.station = row.integer(7);
    record.bitRate = row.integer(8);
    record.controllerSv = row.text(9);
    record.unitNameBefore = row.text(10);
    record.unitNameAfter = row.text(11);
    record.partNo = row.text(12);
    record.sv = row.text(13);
    record.io = row.text(14);
    record.backupPath = row.text(15);
    record.backupSha256 = row.text(16);
    record.contents = ParseJobContents(row.text(17)).value_or(JobContents::Both);
    // A result this program does not know is shown as one whose end is not known.
    record.result = ParseJobResult(row.text(18)).value_or(JobResult::Interrupted);
    record.repeatedRequests = row.integer(19);
    record.autoBackupPath = row.text(20);
    return record;
}

}  // namespace

HistoryStatus HistoryStore::open(const std::string& path, std::chrono::milliseconds busyTimeout) {
    database_.reset();
    sqlite3* opened = nullptr;
    const int code = sqlite3_open_v2(
        path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    std::unique_ptr<sqlite3, Closer> database(opened);
    if (code != SQLITE_OK) {
        return StatusOf(database.get(), code);
    }
    sqlite3_busy_timeout(database.get(), static_cast<int>(busyTimeout.count()));
    // WAL: a job's short writes do not block the readers (the history page, the CLI listing).
    {
        // Finalised before the migration: a statement left open would keep its read going.
        Statement journal(database.get(), "PRAGMA journal_mode = WAL");
        journal.step();
        if (HistoryStatus status = journal.status(); !status.ok()) {
            return status;
        }
    }
    for (const char* sql : {"PRAGMA foreign_keys = ON", "PRAGMA synchronous = NORMAL"}) {
        if (HistoryStatus status = Execute(database.get(), sql); !status.ok()) {
            return status;
        }
    }
    if (HistoryStatus status = Migrate(database.get()); !status.ok()) {
        return status;
    }
    database_ = std::move(database);
    return {};
}

HistoryStatus HistoryStore::begin(JobRecord& record) {
    if (!database_) {
        return {HistoryError::Failed, "the history is not open"};
    }
    JobRecord row = record;
    row.result = JobResult::Interrupted;
    row.ended.clear();
    Statement insert(database_.get(), std::string("INSERT INTO jobs (") + kColumns +
                                          ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                          "?, ?, ?, ?, ?, ?)");
    BindFields(insert, row);
    // A single statement is a transaction of its own: the row is there or not, never half.
    if (HistoryStatus done = insert.run(); !done.ok()) {
        return done;
    }
    record.id = sqlite3_last_insert_rowid(database_.get());
    return {};
}

HistoryStatus HistoryStore::finish(const JobRecord& record) {
    if (!database_ || record.id == 0) {
        return {HistoryError::Failed, "the job has no row in the history"};
    }
    WriteTransaction transaction(database_.get());
    if (!transaction.status().ok()) {
        return transaction.status();
    }
    Statement update(database_.get(),
                     "UPDATE jobs SET kind = ?, started = ?, ended = ?, user = ?, host = ?, "
                     "port = ?, station = ?, bit_rate = ?, controller_sv = ?, unit_name_before "
                     "= ?, unit_name_after = ?, part_no = ?, sv = ?, io = ?, backup_path = ?, "
                     "backup_sha256 = ?, contents = ?, result = ?, repeated_requests = ?, "
                     "auto_backup_path = ? WHERE id = ?");
    BindFields(update, record);
    update.bind(record.id);
    if (HistoryStatus done = update.run(); !done.ok()) {
        return done;
    }
    Statement clear(database_.get(), "DELETE FROM job_differences WHERE job_id = ?");
    clear.bind(record.id);
    if (HistoryStatus done = clear.run(); !done.ok()) {
        return done;
    }
    for (const JobDifference& difference : record.differences) {
        Statement insert(database_.get(),
                         "INSERT INTO job_differences (job_id, address, key, left_value, "
                         "right_value) VALUES (?, ?, ?, ?, ?)");
        insert.bind(record.id)
            .bind(difference.address)
            .bind(difference.key)
            .bind(difference.left)
            .bind(difference.right);
        if (HistoryStatus done = insert.run(); !done.ok()) {
            return done;
        }
    }
    return transaction.commit();
}

HistoryStatus HistoryStore::list(const HistoryQuery& query, std::vector<JobRecord>& records) {
    records.clear();
    if (!database_) {
        return {HistoryError::Failed, "the history is not open"};
    }
    // The date compares as text: "2024-05-31T..." sorts after "2024-05-31".
    Statement select(database_.get(), std::string("SELECT id, ") + kColumns +
                                          " FROM jobs WHERE started >= ? ORDER BY started "
                                          "DESC, id DESC LIMIT ?");
    select.bind(query.since).bind(query.limit > 0 ? query.limit : -1);
    while (select.step()) {
        records.push_back(ReadFields(select));
    }
    if (HistoryStatus done = select.status(); !done.ok()) {
        return done;
    }
    for (JobRecord& record : records) {
        Statement rows(database_.get(),
                       "SELECT address, key, left_value, right_value FROM job_differences "
                       "WHERE job_id = ? ORDER BY rowid");
        rows.bind(record.id);
        while (rows.step()) {
            record.differences.push_back(
                {rows.integer(0), rows.text(1), rows.integer(2), rows.integer(3)});
        }
        if (HistoryStatus done = rows.status(); !done.ok()) {
            return done;
        }
    }
    return {};
}

#endif

}  // namespace velmora
