#pragma once

#include "cli/cli_ui.h"
#include "platform/stop_requests.h"

namespace velmora::cli {

// What Ctrl-C, a termination request and a closed terminal do while a job runs. A service
// manager stopping the unit or a closed terminal must not end the process with a request half
// on the line.
enum class StopSignals {
    Cancel,  // ask the job to stop at its next test point
    Refuse,  // say on stderr that the job ends on its own, and carry on
    // The production line: start no new job and stop waiting for controllers; the writes under
    // way run to their end.
    EndLine,
};

// Installs the handling for its lifetime and puts the previous one back.
class SignalScope {
  public:
    SignalScope(ConsoleUi& ui, StopSignals mode);
    ~SignalScope();
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;

  private:
    StopRequestScope stopRequests_;
};

using velmora::IgnoreBrokenPipes;

}  // namespace velmora::cli
