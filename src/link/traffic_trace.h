#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

enum class TraceError {
    None,
    OpenFailed,    // the file cannot be opened for appending; osError tells why
    WriteFailed,   // a line could not be written (disk full, file gone); osError tells why
    RotateFailed,  // the full file could not be moved aside to FILE.1; osError tells why
    NotOpen,       // open() was never called or failed
};

struct TraceStatus {
    TraceError error = TraceError::None;
    int osError = 0;

    bool ok() const { return error == TraceError::None; }
};

enum class TraceDirection { Request, Reply };

// What happened on the line besides a frame, as one line of its own.
enum class TraceEvent { Timeout, Mismatch, Retry, PortGone, SendFailed };

// The meaning of one Modbus RTU frame (station, PDU, CRC) for the trace:
// "read 0x0400 ×16", "reply 32 bytes", "exception 02 illegal address", "write 0x0000 ×4"...
// Writes into out without allocating and gives back the characters written.
std::size_t DescribeFrame(TraceDirection direction, std::span<const std::uint8_t> frame,
                          std::span<char> out);

// A text file that records the traffic of one or more masters, a line per frame or event:
// local time with microseconds, port, direction, bytes in hex and their meaning. Shared by
// masters on several ports (each line names its port), so every call is thread-safe. When the
// file passes its cap it is renamed FILE.1 (replacing an older one) and a new FILE starts.
// Failures come back from each call and stay available in failure(); the trace never throws.
class TrafficTrace {
  public:
    static constexpr std::uintmax_t kDefaultCapBytes = 8u * 1024u * 1024u;
    // Told of the first failure to write after open(), on the thread whose line failed and
    // under the trace's lock: it must return quickly and must not call the trace.
    using FailureHandler = std::function<void(const TraceStatus& failure)>;

    explicit TrafficTrace(std::string path, std::uintmax_t capBytes = kDefaultCapBytes);
    TrafficTrace(const TrafficTrace&) = delete;
    TrafficTrace& operator=(const TrafficTrace&) = delete;

    // Opens the file for appending (creating it); a trace file left from an earlier run grows on.
    TraceStatus open();
    const std::string& path() const { return path_; }
    std::uintmax_t capBytes() const { return capBytes_; }

    // A frame as it went out or came in, decoded.
    TraceStatus frame(std::string_view port, TraceDirection direction,
                      std::span<const std::uint8_t> bytes);
    // Bytes that came in but never formed a reply to the request: the first of them and how
    // many there were in all.
    TraceStatus garbled(std::string_view port, std::span<const std::uint8_t> first,
                        std::size_t total);
    // An event; number is the repeat's count for Retry and ignored otherwise.
    TraceStatus event(std::string_view port, TraceEvent event, int number = 0);

    // The first failure since open(), or None.
    TraceStatus failure() const;
    // The front end's way to learn of a trace that stops mid-run. Once this returns, the
    // handler it replaced is no longer called.
    void setFailureHandler(FailureHandler handler);

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    TraceStatus writeLine(std::string_view line);
    TraceStatus rotate();
    TraceStatus remember(TraceStatus status);
    // remember, and the handler told when this is the first failure.
    TraceStatus fail(TraceStatus status);

    const std::string path_;
    const std::uintmax_t capBytes_;
    mutable std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::uintmax_t size_ = 0;
    TraceStatus failure_;
    FailureHandler onFailure_;
};

}  // namespace velmora
