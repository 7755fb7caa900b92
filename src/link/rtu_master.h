#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "link/link_status.h"
#include "link/traffic_trace.h"
#include "platform/serial_port.h"

namespace velmora {

// A Modbus PDU: function code and data, without station and CRC (at most 253 bytes).
struct Pdu {
    static constexpr std::size_t kMaxSize = 253;
    std::array<std::uint8_t, kMaxSize> bytes{};
    std::size_t size = 0;

    std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// What the caller makes of a reply that passed the frame checks (CRC, station, function, length):
// whether its contents answer the request (byte count, echo).
enum class ReplyVerdict { Accepted, Mismatch };
using ReplyCheck = std::function<ReplyVerdict(std::span<const std::uint8_t> replyPdu)>;

// Whether a request that met a line error is sent again (up to retries() times).
enum class Retry { OnLineError, Never };

// CRC-16/MODBUS; the caller stores it low byte first.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

// The Modbus RTU master of one serial port: it owns the port, its frame buffers and its timing.
// Masters on different ports work independently; calls on one master from several threads are
// serialised, a request cycle at a time.
class RtuMaster {
  public:
    explicit RtuMaster(std::unique_ptr<SerialPort> port = MakeSystemSerialPort());
    RtuMaster(const RtuMaster&) = delete;
    RtuMaster& operator=(const RtuMaster&) = delete;

    // Opens the named port (closing one that is open). OpenFailed carries the system's reason.
    LinkStatus open(const std::string& name);
    void close();
    bool isOpen() const;
    // BadRate when no port is open or the rate cannot be set (below 1024 bit/s, unknown rate).
    LinkStatus configure(std::uint32_t baudRate, int silentFactor, int delayMs);

    // One request cycle: frames the request PDU for the station, sends it after a quiet line,
    // and gives back the reply PDU once its CRC, station, function and length are right and
    // check accepts its contents. An exception reply comes back as Exception with its code and is
    // never repeated; a time-out, a garbled reply or a mismatch sends the request again, up to
    // retries() times when retry allows it.
    LinkStatus transact(std::uint8_t station, std::span<const std::uint8_t> request,
                        std::size_t replyLength, Pdu& reply, const ReplyCheck& check = {},
                        Retry retry = Retry::OnLineError);

    // Held across several request cycles that belong together (read, modify, write).
    std::unique_lock<std::recursive_mutex> lock() const {
        return std::unique_lock<std::recursive_mutex>(mutex_);
    }

    // Repeats of a request after a line error (0: the request is sent once).
    void setRetries(int retries) { retries_ = retries < 0 ? 0 : retries; }
    int retries() const { return retries_; }
    // Requests repeated since the count was last reset.
    int repeatedRequests() const { return repeated_.load(); }
    void resetRepeatedRequests() { repeated_ = 0; }

    // Records every frame and line event of this master in trace from the next request cycle
    // on; nullptr stops recording. Several masters may share one trace. The master carries on
    // when the trace cannot be written: its owner learns that from the trace's failure().
    void setTrace(std::shared_ptr<TrafficTrace> trace);
    std::shared_ptr<TrafficTrace> trace() const;

    std::string portName() const;
    // The system's reason (errno) the last open failed; 0 after one that succeeded.
    int lastOpenError() const { return lastOpenError_; }
    std::uint32_t baudRate() const { return baudRate_; }
    int silentInterval() const { return silentInterval_; }
    int responseDelay() const { return responseDelay_; }
    // Milliseconds the receiver waits per empty poll for a reply frame of the given length.
    unsigned pollInterval(std::size_t frameLength) const;

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kFrameSize = Pdu::kMaxSize + 3;

    LinkStatus sendAndReceive(std::size_t requestLength, std::size_t replyLength);
    LinkStatus receiveReply(std::size_t replyLength);
    void waitForQuietLine(std::chrono::microseconds quiet);
    std::chrono::microseconds frameGap() const;
    std::size_t replyLength(std::size_t received, std::size_t expected) const;
    bool frameAnswers(std::size_t length) const;
    void traceOutcome(const LinkStatus& outcome, std::size_t replyFrame);

    std::unique_ptr<SerialPort> port_;
    mutable std::recursive_mutex mutex_;
    std::array<std::uint8_t, kFrameSize> request_{};
    std::array<std::uint8_t, kFrameSize> response_{};
    // Only with a trace: the first bytes heard for a reply and how many came in all, so that
    // a garbled reply can be shown as it came, before the receiver dropped its bytes.
    std::shared_ptr<TrafficTrace> trace_;
    std::array<std::uint8_t, kFrameSize> heard_{};
    std::size_t heardTotal_ = 0;
    std::string portName_;
    int lastOpenError_ = 0;
    std::uint32_t baudRate_ = 0;
    int silentInterval_ = 0;
    int responseDelay_ = 0;
    int retries_ = 0;
    std::atomic<int> repeated_{0};
    // When the line last carried a byte of ours or the controller's.
    Clock::time_point lastActivity_{};
    // The last exchange failed: before the next request the line must stay quiet for a whole
    // reply time, so that a late answer cannot be taken for the next one.
    bool afterError_ = false;
};

}  // namespace velmora
