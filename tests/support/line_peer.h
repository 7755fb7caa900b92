#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/unique_fd.h"
#include "support/line_peer_protocol.h"

namespace velmora::test {

// The far end of a serial line for the serial port's contract tests: a pseudo-terminal whose
// master side answers a few commands. The same tests thereby run against the termios port in
// process and against the Windows port under Wine, with the terminal linked as a COM port.
//
// The commands it answers are in line_peer_protocol.h.

class LinePeer {
  public:
    // link: when not empty, a symbolic link kept pointing at the current device; after Vanish
    // a new device is made and the link moved to it, as an adapter plugged in again would be.
    explicit LinePeer(std::string link = {});
    ~LinePeer();
    LinePeer(const LinePeer&) = delete;
    LinePeer& operator=(const LinePeer&) = delete;

    bool valid() const { return !device().empty(); }
    // The terminal's path (/dev/pts/N); empty once it vanished and none came back.
    std::string device() const;
    // Blocks until the peer stops on its own (never with a link) or stop() is called.
    void wait();
    void stop();

  private:
    bool makeDevice();
    void serve();
    bool handle(std::string& input);  // false: the device vanished
    void reply(const void* data, std::size_t size);

    std::string link_;
    mutable std::mutex mutex_;
    std::string device_;
    UniqueFd master_;
    UniqueFd heldSlave_;  // keeps the master from seeing a hang-up while no client is open
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace velmora::test
