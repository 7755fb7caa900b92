#include "cli/interrupts.h"

#include <atomic>

namespace velmora::cli {
namespace {

std::atomic<ConsoleUi*> cancelTarget{nullptr};

void CancelOnSignal() {
    if (ConsoleUi* ui = cancelTarget.load())
        ui->requestCancel();
}

void RefuseSignal() {
    static const char kText[] =
        "\nvelmora-cli: a write cannot be stopped part way; it ends on its own\n";
    WriteStopNotice(kText, sizeof kText - 1);
}

void EndLineOnSignal() {
    static const char kText[] =
        "\nvelmora-cli: stopping: no new job starts; the writes under way run to their end\n";
    if (ConsoleUi* ui = cancelTarget.load())
        ui->requestCancel();
    WriteStopNotice(kText, sizeof kText - 1);
}

// Points the cancel handler at ui before any stop request can reach it.
StopRequestScope::Handler HandlerFor(ConsoleUi& ui, StopSignals mode) {
    cancelTarget = &ui;
    switch (mode) {
        case StopSignals::Cancel:
            return CancelOnSignal;
        case StopSignals::EndLine:
            return EndLineOnSignal;
        case StopSignals::Refuse:
            break;
    }
    return RefuseSignal;
}

}  // namespace

// A write is never cancelled: stopping between two requests would leave the controller half
// written and in its writing mode, and every request ends by itself within its time-out.
SignalScope::SignalScope(ConsoleUi& ui, StopSignals mode) : stopRequests_(HandlerFor(ui, mode)) {}

SignalScope::~SignalScope() {
    cancelTarget = nullptr;
}

}  // namespace velmora::cli
