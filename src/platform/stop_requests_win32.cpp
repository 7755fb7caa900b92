#include <atomic>

#include "platform/stop_requests.h"
#include "platform/win32_util.h"

namespace velmora {
namespace {

std::atomic<StopRequestScope::Handler> currentHandler{nullptr};

// Set while no scope is open, so a closing console waits for the job to finish. It lives as
// long as the process: a handler thread may still wait on it when a scope ends.
HANDLE ScopeEnded() {
    static const win32::UniqueHandle event(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    return event.get();
}

// Windows ends the process once this returns for a close, log-off or shut-down event, and
// at the latest after about five seconds: the job gets as much of that time as it needs.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
    const StopRequestScope::Handler handler = currentHandler.load();
    if (handler == nullptr) {
        return FALSE;
    }
    handler();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        ::WaitForSingleObject(ScopeEnded(), kCloseGraceMs);
    }
    return TRUE;
}

}  // namespace

struct StopRequestScope::Saved {
    bool installed = false;
};

StopRequestScope::StopRequestScope(Handler handler) : saved_(std::make_unique<Saved>()) {
    ::ResetEvent(ScopeEnded());
    currentHandler = handler;
    saved_->installed = ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

StopRequestScope::~StopRequestScope() {
    currentHandler = nullptr;
    if (saved_->installed) {
        ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    }
    ::SetEvent(ScopeEnded());
}

void WriteStopNotice(const char* text, unsigned size) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, size, &written, nullptr);
}

// Windows raises no signal for a broken pipe: the write fails and says so.
void IgnoreBrokenPipes() {}

}  // namespace velmora
