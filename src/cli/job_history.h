#pragma once

// The service history of the command line's jobs: what each command hands its JobRecorder.

#include "app/job_recorder.h"
#include "cli/commands.h"

namespace velmora::cli {

// A job's row as it starts: the line as Connect will open it (options before settings).
JobRecord CliJobStart(const Options& options);

// Finishes the row by the command's exit status and returns that status. A backup that was
// saved gets the file's digest and unit name.
int FinishJob(JobRecorder& recorder, int status, const RtuMaster& link);

}  // namespace velmora::cli
