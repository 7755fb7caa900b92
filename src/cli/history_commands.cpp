// The service history from a shell: every backup, write and restore, newest first.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/job_recorder.h"
#include "cli/actuator_records.h"
#include "cli/commands.h"
#include "history/history_store.h"

namespace velmora::cli {
namespace {

std::string Json(std::string_view text) {
    return JsonString(std::string(text));
}

// A calendar date as YYYY-MM-DD, checked for a real day (no 2024-02-30).
bool IsDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (const std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const std::chrono::year_month_day day{
        std::chrono::year{std::stoi(text.substr(0, 4))},
        std::chrono::month{static_cast<unsigned>(std::stoi(text.substr(5, 2)))},
        std::chrono::day{static_cast<unsigned>(std::stoi(text.substr(8, 2)))}};
    return day.ok();
}

// What the job worked from: the backup file, or the part number with its SV and IO.
std::string Subject(const JobRecord& record) {
    if (!record.backupPath.empty()) {
        return record.backupPath;
    }
    if (record.partNo.empty()) {
        return "-";
    }
    return record.partNo + " SV " + record.sv + " " + record.io;
}

void PrintTable(const std::vector<JobRecord>& records) {
    std::printf("%-19s  %-14s  %-20s  %-14s  %3s  %6s  %-6s  %-10s  %s\n", "started", "job",
                "result", "port", "id", "baud", "sv", "contents", "part / file");
    for (const JobRecord& record : records) {
        std::printf("%-19s  %-14s  %-20s  %-14s  %3d  %6d  %-6s  %-10s  %s\n",
                    record.started.c_str(), std::string(JobKindText(record.kind)).c_str(),
                    std::string(JobResultText(record.result)).c_str(), record.port.c_str(),
                    record.station, record.bitRate,
                    record.controllerSv.empty() ? "-" : record.controllerSv.c_str(),
                    std::string(JobContentsText(record.contents)).c_str(), Subject(record).c_str());
    }
}

void PrintJson(const std::vector<JobRecord>& records) {
    std::printf("[");
    for (std::size_t i = 0; i < records.size(); ++i) {
        const JobRecord& r = records[i];
        std::printf("%s\n  {\"id\": %lld, \"kind\": %s, \"started\": %s, \"ended\": %s, ",
                    i == 0 ? "" : ",", static_cast<long long>(r.id),
                    Json(JobKindText(r.kind)).c_str(), Json(r.started).c_str(),
                    Json(r.ended).c_str());
        std::printf("\"user\": %s, \"host\": %s, \"port\": %s, \"station\": %d, \"bitRate\": %d, ",
                    Json(r.user).c_str(), Json(r.host).c_str(), Json(r.port).c_str(), r.station,
                    r.bitRate);
        std::printf("\"controllerSv\": %s, \"unitNameBefore\": %s, \"unitNameAfter\": %s, ",
                    Json(r.controllerSv).c_str(), Json(r.unitNameBefore).c_str(),
                    Json(r.unitNameAfter).c_str());
        std::printf(
            "\"partNo\": %s, \"sv\": %s, \"io\": %s, \"backupPath\": %s, "
            "\"backupSha256\": %s, ",
            Json(r.partNo).c_str(), Json(r.sv).c_str(), Json(r.io).c_str(),
            Json(r.backupPath).c_str(), Json(r.backupSha256).c_str());
        std::printf(
            "\"contents\": %s, \"result\": %s, \"repeatedRequests\": %d, "
            "\"autoBackupPath\": %s, \"differences\": [",
            Json(JobContentsText(r.contents)).c_str(), Json(JobResultText(r.result)).c_str(),
            r.repeatedRequests, Json(r.autoBackupPath).c_str());
        for (std::size_t d = 0; d < r.differences.size(); ++d) {
            const JobDifference& row = r.differences[d];
            std::printf("%s{\"address\": %d, \"key\": %s, \"left\": %d, \"right\": %d}",
                        d == 0 ? "" : ", ", row.address, Json(row.key).c_str(), row.left,
                        row.right);
        }
        std::printf("]}");
    }
    std::printf("%s]\n", records.empty() ? "" : "\n");
}

int HistoryCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi&,
                   Session&) {
    const auto option = [&options](const char* name) {
        const auto found = options.commandOptions.find(name);
        return found == options.commandOptions.end() ? std::string() : found->second;
    };
    if (!args.empty()) {
        std::fprintf(stderr,
                     "velmora-cli: usage: history [--json] [--limit N] [--since YYYY-MM-DD]\n");
        return kExitUsage;
    }
    HistoryQuery query;
    query.since = option("since");
    if (options.commandOptions.count("since") != 0 && !IsDate(query.since)) {
        std::fprintf(stderr, "velmora-cli: --since wants a date as YYYY-MM-DD, not '%s'\n",
                     query.since.c_str());
        return kExitUsage;
    }
    if (options.commandOptions.count("limit") != 0) {
        const std::string limit = option("limit");
        char* end = nullptr;
        const long value = std::strtol(limit.c_str(), &end, 10);
        if (limit.empty() || *end != '\0' || value < 1 || value > 1000000) {
            std::fprintf(stderr, "velmora-cli: --limit wants a number of jobs, not '%s'\n",
                         limit.c_str());
            return kExitUsage;
        }
        query.limit = static_cast<int>(value);
    }

    std::vector<JobRecord> records;
    const std::string path = HistoryPath();
    std::error_code error;
    // No history yet is an empty one; listing it makes no file.
    if (std::filesystem::exists(path, error)) {
        HistoryStore store;
        HistoryStatus status = store.open(path);
        if (status.ok()) {
            status = store.list(query, records);
        }
        if (!status.ok()) {
            std::fprintf(stderr, "velmora-cli: cannot read the history %s: %s\n", path.c_str(),
                         status.text.c_str());
            return kExitFailure;
        }
    }
    if (options.commandOptions.count("json") != 0) {
        PrintJson(records);
    } else {
        PrintTable(records);
    }
    return kExitSuccess;
}

}  // namespace

void AddHistoryCommands(CommandTable& table) {
    table["history"] = HistoryCommand;
}

}  // namespace velmora::cli
