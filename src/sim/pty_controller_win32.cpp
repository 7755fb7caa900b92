#include "sim/pty_controller.h"

namespace velmora::sim {

// Windows has no pseudo-terminals: the controller exists, but its line never starts, and the
// tests that need it skip.
PtyController::PtyController() : PtyController(PtyOptions{}) {}

PtyController::PtyController(PtyOptions options)
    : options_(std::move(options)),
      bitRate_(options_.bitRate),
      pacing_(options_.pacing),
      turnaroundMs_(options_.turnaroundMs) {}

PtyController::~PtyController() = default;

bool PtyController::start() {
    return false;
}

void PtyController::stop() {}

}  // namespace velmora::sim
