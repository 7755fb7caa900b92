#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/unique_fd.h"

namespace velmora::test {

// The far end of a serial line for the serial port's contract tests: a pseudo-terminal whose
// master side answers a few commands. The same tests thereby run against the termios port in
// process and against the Windows port under Wine, with the terminal linked as a COM port.
//
// Commands, sent by the port under test (numbers big-endian):
enum class PeerCommand : std::uint8_t {
    Ping = 'P',       // -> "OK"
    Status = 'S',     // -> the line's settings as text, e.g. "38400 8N1 raw noflow\n"
    Echo = 'E',       // u16 n, n bytes -> the same n bytes
    SendLater = 'T',  // u16 n, u16 ms -> after ms milliseconds, n bytes of PeerPattern
    Count = 'C',      // u32 n, n bytes -> u32 n, u32 PeerHash of the bytes
    Cook = 'K',       // -> "OK\n" on a line made cooked: 7E2, 1200 bit/s, echo, flow control;
                      //    what comes in is dropped until the port sets the line raw again
    Vanish = 'V',     // -> nothing; the device goes away
};

std::uint8_t PeerPattern(std::size_t index);
std::uint32_t PeerHash(const std::uint8_t* data, std::size_t size);

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
    bool cooked_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace velmora::test
