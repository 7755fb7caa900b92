#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "history/job_record.h"

struct sqlite3;

namespace velmora {

// Why the history could not be opened or written. A job never stops for any of these: its
// front end says so in a line and goes on.
enum class HistoryError {
    None,
    Unavailable,  // this build records no history
    Busy,         // another program holds the database locked for longer than we wait
    Damaged,      // the file is no database, or a damaged one
    TooNew,       // written by a newer program whose tables this one does not know
    Failed,       // anything else: the folder cannot be written, the disk is full, ...
};

struct HistoryStatus {
    HistoryError error = HistoryError::None;
    std::string text;  // what SQLite said, for the message that follows
    bool ok() const { return error == HistoryError::None; }
};

// Which jobs a listing returns, newest first.
struct HistoryQuery {
    int limit = 0;      // 0: all
    std::string since;  // "YYYY-MM-DD": jobs that started on that day or later; empty: all
};

// The tables of each schema version: the statements at index N take a database from version N
// to N + 1 (PRAGMA user_version counts them). New versions are added at the end, never edited.
const std::vector<std::vector<std::string>>& HistoryMigrations();
int HistorySchemaVersion();

inline constexpr std::chrono::milliseconds kHistoryBusyTimeout{2000};

// One connection to the service history (history.db). Each job opens its own, so jobs on
// several ports, threads or processes record side by side; SQLite's WAL journal lets readers
// go on while one of them writes. Every write is a short transaction of its own.
class HistoryStore {
  public:
    HistoryStore();
    ~HistoryStore();
    HistoryStore(HistoryStore&&) noexcept;
    HistoryStore& operator=(HistoryStore&&) noexcept;

    // Opens (making it when missing) and brings the tables up to this program's version.
    HistoryStatus open(const std::string& path,
                       std::chrono::milliseconds busyTimeout = kHistoryBusyTimeout);
    bool isOpen() const { return database_ != nullptr; }

    // Adds the job's row, saying "interrupted", and sets record.id.
    HistoryStatus begin(JobRecord& record);
    // Writes every field of the row record.id and replaces its differences, in one
    // transaction.
    HistoryStatus finish(const JobRecord& record);
    HistoryStatus list(const HistoryQuery& query, std::vector<JobRecord>& records);

  private:
    struct Closer {
        void operator()(sqlite3* database) const;
    };
    std::unique_ptr<sqlite3, Closer> database_;
};

}  // namespace velmora
