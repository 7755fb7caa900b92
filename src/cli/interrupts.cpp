#include "cli/interrupts.h"

#include <unistd.h>

#include <atomic>

namespace velmora::cli {
namespace {

constexpr std::array<int, SignalScope::kSignalCount> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

std::atomic<ConsoleUi*> cancelTarget{nullptr};

extern "C" void CancelOnSignal(int) {
    if (ConsoleUi* ui = cancelTarget.load())
        ui->requestCancel();
}

extern "C" void RefuseSignal(int) {
    static const char kText[] =
        "\nvelmora-cli: a write cannot be stopped part way; it ends on its own\n";
    const ssize_t ignored = ::write(STDERR_FILENO, kText, sizeof kText - 1);
    (void)ignored;
}

}  // namespace

// A write is never cancelled: stopping between two requests would leave the controller half
// written and in its writing mode, and every request ends by itself within its time-out.
SignalScope::SignalScope(ConsoleUi& ui, StopSignals mode) {
    cancelTarget = &ui;
    struct sigaction action {};
    action.sa_handler = mode == StopSignals::Cancel ? CancelOnSignal : RefuseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        saved_[i].installed = sigaction(kStopSignals[i], &action, &saved_[i].action) == 0;
    }
}

SignalScope::~SignalScope() {
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        if (saved_[i].installed)
            sigaction(kStopSignals[i], &saved_[i].action, nullptr);
    }
    cancelTarget = nullptr;
}

void IgnoreBrokenPipes() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace velmora::cli
