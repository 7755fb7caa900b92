#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "sim/virtual_controller.h"

namespace velmora::sim {

struct PtyOptions {
    std::uint32_t bitRate = 38400;
    // Reply no sooner than a real controller on a real line would: turnaround plus the time
    // the request and the reply take on the wire.
    bool pacing = false;
    int turnaroundMs = 2;
    // A stable symbolic link to the pseudo-terminal's device; empty for none.
    std::string linkPath;
};

// A VirtualController on the far side of a pseudo-terminal. Clients open slavePath() (or the
// link) as a serial port; the controller answers only at its own bit rate, which it learns
// from the terminal settings the client applied.
class PtyController {
  public:
    PtyController();
    explicit PtyController(PtyOptions options);
    ~PtyController();
    PtyController(const PtyController&) = delete;
    PtyController& operator=(const PtyController&) = delete;

    // Creates the pseudo-terminal (and the link) and starts answering. False on failure.
    bool start();
    // Stops answering, removes the link and closes the pseudo-terminal.
    void stop();
    bool running() const { return worker_.joinable(); }

    const std::string& slavePath() const { return slavePath_; }
    const std::string& linkPath() const { return options_.linkPath; }
    VirtualController& controller() { return controller_; }

    void setBitRate(std::uint32_t bitRate) { bitRate_ = bitRate; }
    std::uint32_t bitRate() const { return bitRate_; }
    void setPacing(bool enabled) { pacing_ = enabled; }
    void setTurnaroundMs(int milliseconds) { turnaroundMs_ = milliseconds; }
    // Chunks of bytes thrown away because the line ran at another bit rate.
    std::size_t garbledChunks() const { return garbledChunks_; }
    // Replies put on the line so far (each copy of a doubled reply counts).
    std::size_t repliesSent() const { return repliesSent_; }

    // Holds back the reply to the first request from now on that holdWhen accepts (the
    // request is acted on) until releaseHeldReply() or stop(). Lets a test stop a job at a
    // known point and act there, instead of guessing how long the job takes. holdWhen runs
    // on the controller's thread.
    using RequestTest = std::function<bool(const std::vector<std::uint8_t>& request)>;
    void holdReplyWhen(RequestTest holdWhen);
    // True while a reply is held back.
    bool replyHeld() const { return replyHeld_; }
    void releaseHeldReply();

  private:
    void run();
    bool lineRateMatches() const;
    void extractFrames(std::vector<std::uint8_t>& pending);
    void resyncAfterSilence(std::vector<std::uint8_t>& pending);
    void respond(const std::vector<std::uint8_t>& request);
    // The plan's bytes, trickled when it says so; false when stopping or the write failed.
    bool sendReply(const ReplyPlan& plan);
    bool writeToLine(const std::uint8_t* data, std::size_t size);
    // Sleeps unless a stop is requested first; false when stopping.
    bool pauseMicroseconds(long long microseconds);
    bool makeLink();
    void removeLink();

    VirtualController controller_;
    PtyOptions options_;
    std::atomic<std::uint32_t> bitRate_;
    std::atomic<bool> pacing_;
    std::atomic<int> turnaroundMs_;
    std::atomic<std::size_t> garbledChunks_{0};
    std::atomic<std::size_t> repliesSent_{0};

    UniqueFd master_;
    // Held open so the master never sees a hang-up while no client has the port open.
    UniqueFd slave_;
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;
    std::string slavePath_;
    bool linkMade_ = false;

    std::thread worker_;
    std::atomic<bool> stopping_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
    // Guarded by pauseMutex_.
    RequestTest holdWhen_;
    bool released_ = false;
    std::atomic<bool> replyHeld_{false};
};

}  // namespace velmora::sim
