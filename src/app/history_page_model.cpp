#include "app/history_page_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace velmora {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string DifferencesText(const std::vector<JobDifference>& differences) {
    std::string text;
    for (const JobDifference& row : differences) {
        char line[64];
        std::snprintf(line, sizeof line, "0x%04x ", static_cast<unsigned>(row.address));
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a chain of + here.
        if (!text.empty())
            text += "; ";
        text += line;
        text += row.key.empty() ? "-" : row.key;
        text += ": ";
        text += std::to_string(row.left);
        text += " / ";
        text += std::to_string(row.right);
    }
    return text;
}

}  // namespace

const std::array<const char*, 21>& HistoryPageModel::ColumnKeys() {
    static const std::array<const char*, 21> kKeys = {
        "DLG_HISTORY_COLUMN_STARTED",     "DLG_HISTORY_COLUMN_ENDED",
        "DLG_HISTORY_COLUMN_JOB",         "DLG_HISTORY_COLUMN_RESULT",
        "DLG_HISTORY_COLUMN_USER",        "DLG_HISTORY_COLUMN_HOST",
        "DLG_HISTORY_COLUMN_PORT",        "DLG_HISTORY_COLUMN_STATION",
        "DLG_HISTORY_COLUMN_BITRATE",     "DLG_HISTORY_COLUMN_CONTROLLER_SV",
        "DLG_HISTORY_COLUMN_NAME_BEFORE", "DLG_HISTORY_COLUMN_NAME_AFTER",
        "DLG_HISTORY_COLUMN_PARTNO",      "DLG_HISTORY_COLUMN_SV",
        "DLG_HISTORY_COLUMN_IO",          "DLG_HISTORY_COLUMN_BACKUP",
        "DLG_HISTORY_COLUMN_SHA256",      "DLG_HISTORY_COLUMN_CONTENTS",
        "DLG_HISTORY_COLUMN_DIFFERENCES", "DLG_HISTORY_COLUMN_REPEATED",
        "DLG_HISTORY_COLUMN_AUTO_BACKUP"};
    return kKeys;
}

std::string HistoryPageModel::WordKey(const std::string& prefix, std::string_view word) {
    std::string key = "DLG_HISTORY_";
    key += prefix;
    key += '_';
    for (const char c : word) {
        key += std::isalnum(static_cast<unsigned char>(c))
                   ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                   : '_';
    }
    return key;
}

std::vector<std::string> HistoryPageModel::WordKeys() {
    std::vector<std::string> keys;
    for (const JobKind kind :
         {JobKind::Backup, JobKind::WriteActuator, JobKind::Restore, JobKind::Compare}) {
        keys.push_back(WordKey("KIND", JobKindText(kind)));
    }
    for (const JobContents contents :
         {JobContents::Both, JobContents::Parameters, JobContents::Steps}) {
        keys.push_back(WordKey("CONTENTS", JobContentsText(contents)));
    }
    for (const JobResult result :
         {JobResult::Interrupted, JobResult::Saved, JobResult::WrittenAndVerified,
          JobResult::VerifyFailed, JobResult::CommunicationFailed, JobResult::Cancelled,
          JobResult::Refused, JobResult::Failed, JobResult::Equal, JobResult::Differ}) {
        keys.push_back(WordKey("RESULT", JobResultText(result)));
    }
    return keys;
}

std::string HistoryPageModel::Word(const char* prefix, std::string_view word) const {
    const auto found = words_.find(WordKey(prefix, word));
    return found != words_.end() && !found->second.empty() ? found->second : std::string(word);
}

std::vector<std::string> HistoryPageModel::RowOf(const JobRecord& r) const {
    return {r.started,
            r.ended,
            Word("KIND", JobKindText(r.kind)),
            Word("RESULT", JobResultText(r.result)),
            r.user,
            r.host,
            r.port,
            std::to_string(r.station),
            std::to_string(r.bitRate),
            r.controllerSv,
            r.unitNameBefore,
            r.unitNameAfter,
            r.partNo,
            r.sv,
            r.io,
            r.backupPath,
            r.backupSha256,
            Word("CONTENTS", JobContentsText(r.contents)),
            DifferencesText(r.differences),
            std::to_string(r.repeatedRequests),
            r.autoBackupPath};
}

HistoryStatus HistoryPageModel::load(const std::string& path) {
    std::vector<JobRecord> records;
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        HistoryStore store;
        HistoryStatus status = store.open(path);
        if (status.ok()) {
            status = store.list({}, records);
        }
        if (!status.ok()) {
            setRecords({});
            return status;
        }
    }
    setRecords(records);
    return {};
}

void HistoryPageModel::setRecords(const std::vector<JobRecord>& records) {
    all_.clear();
    for (const JobRecord& record : records) {
        all_.push_back(RowOf(record));
    }
    setFilter(filter_);
}

void HistoryPageModel::setFilter(const std::string& text) {
    filter_ = text;
    const std::string wanted = Lower(text);
    shown_.clear();
    for (const auto& row : all_) {
        const bool match = std::any_of(row.begin(), row.end(), [&wanted](const std::string& cell) {
            return Lower(cell).find(wanted) != std::string::npos;
        });
        if (wanted.empty() || match) {
            shown_.push_back(row);
        }
    }
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string HistoryPageModel::csv(const std::vector<std::string>& headings) const {
    std::string text;
    auto line = [&text](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i != 0)
                text += ',';
            text += CsvField(fields[i]);
        }
        text += "\r\n";
    };
    line(headings);
    for (const auto& row : shown_) {
        line(row);
    }
    return text;
}

}  // namespace velmora
