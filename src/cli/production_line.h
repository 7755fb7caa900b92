#pragma once

// The production line: one write job on several ports at once, each port on its own thread
// with its own master, and with --repeat the same job again on every controller connected
// after the last one went away.

#include <memory>
#include <string>

#include "app/job_recorder.h"
#include "cli/commands.h"
#include "link/traffic_trace.h"
#include "transmit/write_source.h"

namespace velmora::cli {

// How RunWrite fits the run around it.
struct WriteRun {
    const WriteSource& source;
    int operation = 0;  // the rule file's operation (RestrictActuator, RestrictFile)
    // A job alone: the console whose stop signals the write refuses, and RunWrite prints the
    // undo command and the result itself. nullptr on the line, which does both.
    ConsoleUi* console = nullptr;
    // Filled once writing began after a backup: the restore command that undoes the write.
    std::string undoCommand;

    bool onLine() const { return console == nullptr; }
};

// The rule checks, then the write with its auto-backup and verification as the transmit
// dialog runs it. The exit status.
int RunWrite(const Options& options, RtuMaster& link, std::uint8_t station, WriteRun& run,
             CliUi& ui, JobRecorder& recorder);

struct LineJob {
    const WriteSource& source;
    int operation = 0;
    JobKind kind = JobKind::WriteActuator;
};

// Several ports, or --repeat: the job runs on the production line.
bool RunsOnLine(const Options& options);

// Runs the job on every port of options.ports at once (the input was read and accepted
// before), prints a live status line and a result line per port, and with --repeat a summary.
// 0 when every job succeeded, else the highest exit status of the failed ones.
int RunProductionLine(const Options& options, const LineJob& job, ConsoleUi& console,
                      const std::shared_ptr<TrafficTrace>& trace);

}  // namespace velmora::cli
