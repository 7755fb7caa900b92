#include "cli/job_history.h"

#include "sysfiles/app_state.h"

namespace velmora::cli {
namespace {

JobResult ResultOf(JobKind kind, int status, bool differences) {
    switch (status) {
        case kExitSuccess:
            return kind == JobKind::Backup ? JobResult::Saved : JobResult::WrittenAndVerified;
        case kExitRefused:
            return JobResult::Refused;
        case kExitCommFailed:
            return JobResult::CommunicationFailed;
        case kExitCancelled:
            return JobResult::Cancelled;
        default:
            return differences ? JobResult::VerifyFailed : JobResult::Failed;
    }
}

}  // namespace

JobRecord CliJobStart(const Options& options) {
    const CommSettings& settings = App().commSettings;
    JobRecord record;
    record.port = options.port.empty() ? settings.portName : options.port;
    record.station = options.stationId.value_or(settings.connectionId);
    record.bitRate = options.baudRate.value_or(settings.bitRate);
    return record;
}

int FinishJob(JobRecorder& recorder, int status, const RtuMaster& link) {
    JobRecord& record = recorder.record();
    record.repeatedRequests = link.repeatedRequests();
    if (record.kind == JobKind::Backup && status == kExitSuccess) {
        RecordSavedBackup(recorder, record.backupPath);
    }
    recorder.finish(ResultOf(record.kind, status, !record.differences.empty()));
    return status;
}

}  // namespace velmora::cli
