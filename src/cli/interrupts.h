#pragma once

#include <signal.h>

#include <array>
#include <cstddef>

#include "cli/cli_ui.h"

namespace velmora::cli {

// What Ctrl-C, SIGTERM and SIGHUP do while a job runs. A service manager stopping the unit or
// a closed terminal must not end the process with a request half on the line.
enum class StopSignals {
    Cancel,  // ask the job to stop at its next test point
    Refuse,  // say on stderr that the job ends on its own, and carry on
};

// Installs the handlers for its lifetime and puts the previous ones back.
class SignalScope {
  public:
    SignalScope(ConsoleUi& ui, StopSignals mode);
    ~SignalScope();
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;

    // SIGINT, SIGTERM and SIGHUP.
    static constexpr std::size_t kSignalCount = 3;

  private:
    struct Saved {
        struct sigaction action {};
        bool installed = false;
    };
    std::array<Saved, kSignalCount> saved_{};
};

// Writes to a pipe whose reader has gone fail with EPIPE instead of killing the process, so
// that "velmora-cli ... | head" never stops a write part way.
void IgnoreBrokenPipes();

}  // namespace velmora::cli
