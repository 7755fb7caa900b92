#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class JobKind { Backup, WriteActuator, Restore, Compare };
enum class JobContents { Both, Parameters, Steps };
// How a job ended. Interrupted is what a row says from the job's start until its end is
// recorded: a job that never got there (a crash, a pulled plug) stays so.
enum class JobResult {
    Interrupted,
    Saved,  // a backup
    WrittenAndVerified,
    VerifyFailed,
    CommunicationFailed,
    Cancelled,
    Refused,
    Failed,  // an input or output file, or anything else that is not the line's fault
    Equal,   // a comparison
    Differ,
};

// One register two images disagree on: written and read back for a write, left and right
// for a comparison.
struct JobDifference {
    int address = 0;
    std::string key;
    int left = 0;
    int right = 0;
};

// One job of the service history. Times are local ISO 8601 ("2024-05-31T14:03:09").
struct JobRecord {
    std::int64_t id = 0;  // given by the history when the job's row is made
    JobKind kind = JobKind::Backup;
    std::string started;
    std::string ended;  // empty while the job runs or when it was interrupted
    std::string user;
    std::string host;
    std::string port;
    int station = 0;
    int bitRate = 0;
    std::string controllerSv;
    std::string unitNameBefore;
    std::string unitNameAfter;
    std::string partNo;
    std::string sv;
    std::string io;
    std::string backupPath;
    // SHA-256 of the backup file's bytes as stored; empty when there was no file.
    std::string backupSha256;
    JobContents contents = JobContents::Both;
    JobResult result = JobResult::Interrupted;
    int repeatedRequests = 0;
    std::string autoBackupPath;
    std::vector<JobDifference> differences;
};

// The words the history stores and shows ("write-actuator", "parameters", "verify failed").
std::string_view JobKindText(JobKind kind);
std::string_view JobContentsText(JobContents contents);
std::string_view JobResultText(JobResult result);
std::optional<JobKind> ParseJobKind(std::string_view text);
std::optional<JobContents> ParseJobContents(std::string_view text);
std::optional<JobResult> ParseJobResult(std::string_view text);

// The local time now in the history's form.
std::string HistoryTimeNow();

}  // namespace velmora
