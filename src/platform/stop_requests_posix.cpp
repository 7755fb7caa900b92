#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>

#include "platform/stop_requests.h"

namespace velmora {
namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

std::atomic<StopRequestScope::Handler> currentHandler{nullptr};

extern "C" void OnStopSignal(int) {
    if (StopRequestScope::Handler handler = currentHandler.load())
        handler();
}

}  // namespace

struct StopRequestScope::Saved {
    std::array<struct sigaction, kStopSignals.size()> actions{};
    std::array<bool, kStopSignals.size()> installed{};
};

StopRequestScope::StopRequestScope(Handler handler) : saved_(std::make_unique<Saved>()) {
    currentHandler = handler;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        saved_->installed[i] = sigaction(kStopSignals[i], &action, &saved_->actions[i]) == 0;
    }
}

StopRequestScope::~StopRequestScope() {
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        if (saved_->installed[i])
            sigaction(kStopSignals[i], &saved_->actions[i], nullptr);
    }
    currentHandler = nullptr;
}

void WriteStopNotice(const char* text, unsigned size) {
    const ssize_t ignored = ::write(STDERR_FILENO, text, size);
    (void)ignored;
}

void IgnoreBrokenPipes() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace velmora
