#pragma once

#include <string>
#include <vector>

#include "app/ui.h"
#include "history/history_store.h"
#include "model/register_image.h"
#include "transmit/transfer_context.h"
#include "transmit/write_source.h"

namespace velmora {

// history.db in the program folder.
std::string HistoryPath();

// The row of one job in the service history, for the front ends. Made when the job starts with
// what is known then (the row says "interrupted" from that moment on); the job fills in what it
// learns through record(); finish() writes the result, end time and differences at once. One
// that goes unfinished leaves the row saying "interrupted".
//
// The history never stops a job: a database that is locked, damaged or cannot be made is told
// once through Ui::showNotice, and the job goes on. A row that could not be made at the start
// is made complete at the finish when the database can be written again by then.
class JobRecorder {
  public:
    JobRecorder(JobKind kind, Ui& ui, JobRecord known = {}, std::string path = HistoryPath());
    JobRecorder(const JobRecorder&) = delete;
    JobRecorder& operator=(const JobRecorder&) = delete;

    JobRecord& record() { return record_; }
    void setDifferences(const std::vector<RegisterDifference>& differences);
    // The digest of the backup file at path, which the record names from now on.
    void setBackupFile(const std::string& path);
    void finish(JobResult result);

    bool finished() const { return finished_; }
    // The last failure of the history; ok when every write so far went in.
    const HistoryStatus& status() const { return status_; }

  private:
    void note(HistoryStatus status);

    Ui& ui_;
    std::string path_;
    JobRecord record_;
    HistoryStore store_;
    HistoryStatus status_;
    bool warned_ = false;
    bool finished_ = false;
};

// What the front ends fill in, alike for the GUI and the command line.

// The line as the master has it and the controller's version from the last accepted check.
JobRecord LineRecord(const RtuMaster& link, std::uint8_t station);
// What a write is about: the record's part number, SV and IO (or the backup file with its
// digest), the contents and the unit name it brings.
void RecordWriteSource(JobRecorder& recorder, const WriteSource& source);
// The unit name the controller holds before a write changes it; left empty when it cannot be
// read (the write itself will tell).
void RecordUnitNameBefore(JobRecorder& recorder, RtuMaster& link, std::uint8_t station);
// A backup saved at path: its digest, and the unit name and controller version it holds.
void RecordSavedBackup(JobRecorder& recorder, const std::string& path);
// How a backup (RunBackup) or a write (TransmitWorker) ended, by its result and its context.
JobResult TransferResult(JobKind kind, int result, const TransferContext& context);
// Notes the repeated requests and the differences of the context and finishes the row.
void FinishTransfer(JobRecorder& recorder, int result, const TransferContext& context);

}  // namespace velmora
