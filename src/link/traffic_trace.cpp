#include "link/traffic_trace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/local_time.h"

namespace velmora {

namespace {

// The multiplication sign in UTF-8, spelt out so that no compiler's source charset matters.
constexpr std::string_view kTimes = "\xC3\x97";
// A garbled burst can run to thousands of bytes; the line shows its start and its length.
constexpr std::size_t kMaxShownBytes = 300;
// Time stamp, port, direction, kMaxShownBytes in hex and the meaning fit with room to spare.
constexpr std::size_t kLineCapacity = 1400;

// Appends to a fixed buffer and cuts off what does not fit, so a line never allocates.
class LineBuffer {
  public:
    explicit LineBuffer(std::span<char> out) : out_(out) {}

    void append(std::string_view text) {
        const std::size_t room = out_.size() - used_;
        const std::size_t n = std::min(room, text.size());
        std::copy_n(text.data(), n, out_.data() + used_);
        used_ += n;
    }
    template <typename... Args>
    void format(const char* pattern, Args... args) {
        const std::size_t room = out_.size() - used_;
        if (room == 0) {
            return;
        }
        const int n = std::snprintf(out_.data() + used_, room, pattern, args...);
        if (n > 0) {
            used_ += std::min(room - 1, static_cast<std::size_t>(n));
        }
    }
    void hex(std::span<const std::uint8_t> bytes) {
        static constexpr char kDigits[] = "0123456789abcdef";
        for (std::size_t i = 0; i < bytes.size() && used_ + 3 <= out_.size(); ++i) {
            if (i > 0) {
                out_[used_++] = ' ';
            }
            out_[used_++] = kDigits[bytes[i] >> 4];
            out_[used_++] = kDigits[bytes[i] & 0x0F];
        }
    }
    std::size_t size() const { return used_; }
    std::string_view text() const { return {out_.data(), used_}; }

  private:
    std::span<char> out_;
    std::size_t used_ = 0;
};

unsigned Word(std::span<const std::uint8_t> frame, std::size_t at) {
    return static_cast<unsigned>(frame[at] << 8 | frame[at + 1]);
}

const char* ExceptionName(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return " illegal function";
        case 0x02:
            return " illegal address";
        case 0x03:
            return " illegal value";
        case 0x04:
            return " device failure";
        case 0x05:
            return " acknowledge";
        case 0x06:
            return " busy";
        default:
            return "";
    }
}

void Describe(LineBuffer& line, TraceDirection direction, std::span<const std::uint8_t> frame) {
    // Station, function, and at least the CRC behind them.
    if (frame.size() < 4) {
        line.append("short frame");
        return;
    }
    const std::uint8_t function = frame[1];
    const bool request = direction == TraceDirection::Request;
    if (!request && (function & 0x80) != 0) {
        line.format("exception %02x%s", frame[2], ExceptionName(frame[2]));
        return;
    }
    switch (function) {
        case 0x03:
            if (request && frame.size() >= 8) {
                line.format("read 0x%04X ", Word(frame, 2));
                line.append(kTimes);
                line.format("%u", Word(frame, 4));
            } else if (!request) {
                line.format("reply %u bytes", static_cast<unsigned>(frame[2]));
            } else {
                line.append("short frame");
            }
            return;
        case 0x10:
            if (frame.size() >= 8) {
                line.format(request ? "write 0x%04X " : "written 0x%04X ", Word(frame, 2));
                line.append(kTimes);
                line.format("%u", Word(frame, 4));
            } else {
                line.append("short frame");
            }
            return;
        case 0x08:
            line.append("echo");
            return;
        default:
            line.format("function 0x%02x", static_cast<unsigned>(function));
            return;
    }
}

void Stamp(LineBuffer& line, std::string_view port) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto micros = duration_cast<microseconds>(now.time_since_epoch()).count() % 1'000'000;
    std::tm local{};
    char date[32] = "0000-00-00 00:00:00";
    if (LocalTime(seconds, local)) {
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    }
    line.format("%s.%06lld ", date, static_cast<long long>(micros < 0 ? 0 : micros));
    line.append(port);
    line.append(" ");
}

const char* EventText(TraceEvent event) {
    switch (event) {
        case TraceEvent::Timeout:
            return "time-out";
        case TraceEvent::Mismatch:
            return "mismatch";
        case TraceEvent::Retry:
            return "retry";
        case TraceEvent::PortGone:
            return "port gone";
        case TraceEvent::SendFailed:
            return "send failed";
    }
    return "?";
}

}  // namespace

std::size_t DescribeFrame(TraceDirection direction, std::span<const std::uint8_t> frame,
                          std::span<char> out) {
    LineBuffer line(out);
    Describe(line, direction, frame);
    return line.size();
}

TrafficTrace::TrafficTrace(std::string path, std::uintmax_t capBytes)
    : path_(std::move(path)), capBytes_(capBytes) {}

TraceStatus TrafficTrace::open() {
    std::lock_guard guard(mutex_);
    failure_ = {};
    file_.reset(std::fopen(path_.c_str(), "ab"));
    if (!file_) {
        return remember({TraceError::OpenFailed, errno});
    }
    std::error_code error;
    const auto existing = std::filesystem::file_size(path_, error);
    size_ = error ? 0 : existing;
    return {};
}

TraceStatus TrafficTrace::frame(std::string_view port, TraceDirection direction,
                                std::span<const std::uint8_t> bytes) {
    std::array<char, kLineCapacity> buffer;
    LineBuffer line(buffer);
    Stamp(line, port);
    line.append(direction == TraceDirection::Request ? "-> " : "<- ");
    line.hex(bytes.first(std::min(bytes.size(), kMaxShownBytes)));
    line.append("  ");
    Describe(line, direction, bytes);
    line.append("\n");
    return writeLine(line.text());
}

TraceStatus TrafficTrace::garbled(std::string_view port, std::span<const std::uint8_t> first,
                                  std::size_t total) {
    std::array<char, kLineCapacity> buffer;
    LineBuffer line(buffer);
    Stamp(line, port);
    line.append("<- ");
    const auto shown = first.first(std::min({first.size(), total, kMaxShownBytes}));
    line.hex(shown);
    if (total > shown.size()) {
        line.append(" ...");
    }
    line.format("  garbled, %zu bytes\n", total);
    return writeLine(line.text());
}

TraceStatus TrafficTrace::event(std::string_view port, TraceEvent event, int number) {
    std::array<char, kLineCapacity> buffer;
    LineBuffer line(buffer);
    Stamp(line, port);
    line.append(EventText(event));
    if (event == TraceEvent::Retry) {
        line.format(" %d", number);
    }
    line.append("\n");
    return writeLine(line.text());
}

TraceStatus TrafficTrace::failure() const {
    std::lock_guard guard(mutex_);
    return failure_;
}

void TrafficTrace::setFailureHandler(FailureHandler handler) {
    std::lock_guard guard(mutex_);
    onFailure_ = std::move(handler);
}

TraceStatus TrafficTrace::fail(TraceStatus status) {
    const bool first = failure_.ok();
    remember(status);
    if (first && onFailure_) {
        onFailure_(status);
    }
    return status;
}

TraceStatus TrafficTrace::remember(TraceStatus status) {
    if (!status.ok() && failure_.ok()) {
        failure_ = status;
    }
    return status;
}

TraceStatus TrafficTrace::writeLine(std::string_view line) {
    std::lock_guard guard(mutex_);
    if (!file_) {
        return fail({TraceError::NotOpen, 0});
    }
    // Flushed line by line: the trace is read while the program runs, and after a crash.
    if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size() ||
        std::fflush(file_.get()) != 0) {
        return fail({TraceError::WriteFailed, errno});
    }
    size_ += line.size();
    return size_ > capBytes_ ? rotate() : TraceStatus{};
}

TraceStatus TrafficTrace::rotate() {
    // Closed before the rename: Windows does not move an open file.
    file_.reset();
    const std::string older = path_ + ".1";
    std::error_code error;
    std::filesystem::remove(older, error);
    std::filesystem::rename(path_, older, error);
    const int renameError = error.value();
    file_.reset(std::fopen(path_.c_str(), "ab"));
    if (!file_) {
        return fail({TraceError::OpenFailed, errno});
    }
    std::error_code sizeError;
    const auto left = std::filesystem::file_size(path_, sizeError);
    size_ = sizeError ? 0 : left;
    return renameError != 0 ? fail({TraceError::RotateFailed, renameError}) : TraceStatus{};
}

}  // namespace velmora
