#pragma once

#include <memory>

namespace velmora {

// Routes the user's requests to stop the process (Ctrl-C, a termination request, a closed
// terminal or console window) to a handler while the scope lives, then puts the previous
// handling back. The handler may run in a signal handler or on a system thread: it may only
// touch atomics and write to stderr through WriteStopNotice.
class StopRequestScope {
  public:
    using Handler = void (*)();
    explicit StopRequestScope(Handler handler);
    ~StopRequestScope();
    StopRequestScope(const StopRequestScope&) = delete;
    StopRequestScope& operator=(const StopRequestScope&) = delete;

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// Writes text to stderr in a way that is safe from a stop handler.
void WriteStopNotice(const char* text, unsigned size);

// Writes to a pipe whose reader has gone fail instead of ending the process, so that
// "velmora-cli ... | head" never stops a write part way.
void IgnoreBrokenPipes();

}  // namespace velmora
