#include "app/job_recorder.h"

#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

#include "history/sha256.h"
#include "link/register_ops.h"
#include "model/backup_file.h"
#include "model/register_map.h"
#include "platform/user_host.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "transmit/transmit_worker.h"

namespace velmora {

std::string HistoryPath() {
    return ModulePath("history.db");
}

JobRecorder::JobRecorder(JobKind kind, Ui& ui, JobRecord known, std::string path)
    : ui_(ui), path_(std::move(path)), record_(std::move(known)) {
    record_.kind = kind;
    record_.started = HistoryTimeNow();
    if (record_.user.empty()) {
        record_.user = CurrentUserName();
    }
    if (record_.host.empty()) {
        record_.host = CurrentHostName();
    }
    HistoryStatus opened = store_.open(path_);
    note(opened.ok() ? store_.begin(record_) : std::move(opened));
}

void JobRecorder::setDifferences(const std::vector<RegisterDifference>& differences) {
    record_.differences.clear();
    for (const RegisterDifference& row : differences) {
        record_.differences.push_back({row.reg, row.key, row.written, row.read});
    }
}

void JobRecorder::setBackupFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    record_.backupPath = error ? path : absolute.lexically_normal().string();
    record_.backupSha256.clear();
    FileSha256Hex(path, record_.backupSha256);
}

void JobRecorder::finish(JobResult result) {
    if (finished_) {
        return;
    }
    finished_ = true;
    record_.result = result;
    record_.ended = HistoryTimeNow();
    if (!store_.isOpen()) {
        if (HistoryStatus opened = store_.open(path_); !opened.ok()) {
            note(std::move(opened));
            return;
        }
    }
    if (record_.id == 0) {
        // The start could not be recorded: the whole row goes in now.
        if (HistoryStatus begun = store_.begin(record_); !begun.ok()) {
            note(std::move(begun));
            return;
        }
    }
    note(store_.finish(record_));
}

void JobRecorder::note(HistoryStatus status) {
    if (status.ok()) {
        return;
    }
    status_ = std::move(status);
    // A build without the history has nothing to tell; the rest is said once a job.
    if (status_.error == HistoryError::Unavailable || warned_) {
        return;
    }
    warned_ = true;
    ui_.showNotice(MessageText(kMsgHistoryNotRecorded) + " (" + status_.text + ")");
}

namespace {

// A unit name's bytes as text: the zero padding carries no character.
std::string NameText(std::string bytes) {
    std::erase(bytes, '\0');
    return bytes;
}

JobContents ContentsOf(int writeContents) {
    switch (writeContents) {
        case 1:
            return JobContents::Parameters;
        case 2:
            return JobContents::Steps;
        default:
            return JobContents::Both;
    }
}

}  // namespace

JobRecord LineRecord(const RtuMaster& link, std::uint8_t station) {
    JobRecord record;
    record.port = link.portName();
    record.station = station;
    record.bitRate = static_cast<int>(link.baudRate());
    record.controllerSv = App().lastCheck.controllerVersion;
    return record;
}

void RecordWriteSource(JobRecorder& recorder, const WriteSource& source) {
    JobRecord& record = recorder.record();
    const TransmitRequest& request = source.request;
    record.contents = ContentsOf(request.writeContents);
    record.unitNameAfter = NameText(source.image.unitName());
    record.partNo = request.record.strPartNo;
    record.sv = request.record.strSVNo;
    record.io = request.record.strIOSpec;
    if (request.fromFile == kFromBackupFile) {
        // A backup's record names the file as its parameter and step file.
        recorder.setBackupFile(request.record.strParamFile);
    }
}

void RecordUnitNameBefore(JobRecorder& recorder, RtuMaster& link, std::uint8_t station) {
    std::array<std::uint8_t, kUnitNameBytes> name{};
    if (ReadRegisters(link, station, kUnitNameReg, kUnitNameBytes / 2, name.data()).ok()) {
        recorder.record().unitNameBefore = NameText(std::string(name.begin(), name.end()));
    }
}

void RecordSavedBackup(JobRecorder& recorder, const std::string& path) {
    recorder.setBackupFile(path);
    const BackupReading saved = ReadBackupFile(path);
    if (saved.backup) {
        JobRecord& record = recorder.record();
        record.unitNameBefore = NameText(saved.backup->image.unitName());
        record.unitNameAfter = record.unitNameBefore;
        record.controllerSv = saved.backup->controllerVersion;
    }
}

JobResult TransferResult(JobKind kind, int result, const TransferContext& context) {
    if (result == 0) {
        return kind == JobKind::Backup ? JobResult::Saved : JobResult::WrittenAndVerified;
    }
    if (kind != JobKind::Backup && result == kTransmitSvError) {
        return JobResult::Refused;
    }
    if (IsCommunicationFailure(context.linkFailure)) {
        return JobResult::CommunicationFailed;
    }
    if (context.differences != nullptr && !context.differences->empty()) {
        return JobResult::VerifyFailed;
    }
    // A write is never cancelled part way; a backup is.
    if (kind == JobKind::Backup && context.ui.cancelRequested()) {
        return JobResult::Cancelled;
    }
    return JobResult::Failed;
}

void FinishTransfer(JobRecorder& recorder, int result, const TransferContext& context) {
    JobRecord& record = recorder.record();
    record.repeatedRequests = context.link.repeatedRequests();
    if (context.differences != nullptr) {
        recorder.setDifferences(*context.differences);
    }
    if (record.kind == JobKind::Backup && result == 0) {
        RecordSavedBackup(recorder, record.backupPath);
    }
    recorder.finish(TransferResult(record.kind, result, context));
}

}  // namespace velmora
