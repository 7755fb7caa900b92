#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/ui.h"
#include "platform/serial_port.h"

namespace velmora {

inline constexpr std::size_t kFrameBufferSize = 1024;

// The one serial line of the process: its port and the request and response buffers, shared by
// every link object. The mutex covers a whole request cycle (frame building to reply
// evaluation), so a GUI thread and a worker can never interleave frames.
class LinkChannel {
  public:
    LinkChannel();
    explicit LinkChannel(std::unique_ptr<SerialPort> port);
    LinkChannel(const LinkChannel&) = delete;
    LinkChannel& operator=(const LinkChannel&) = delete;

    SerialPort& port() { return *port_; }
    std::recursive_mutex& mutex() { return mutex_; }
    std::array<std::uint8_t, kFrameBufferSize>& request() { return request_; }
    std::array<std::uint8_t, kFrameBufferSize>& response() { return response_; }

  private:
    std::unique_ptr<SerialPort> port_;
    std::recursive_mutex mutex_;
    std::array<std::uint8_t, kFrameBufferSize> request_{};
    std::array<std::uint8_t, kFrameBufferSize> response_{};
};

LinkChannel& ProcessLinkChannel();

// How one exchange ended.
enum class ExchangeOutcome {
    Accepted,   // a reply that answers the request
    Timeout,    // no valid reply in time (nothing, or only garbled or foreign frames)
    Exception,  // the controller refused the request with an exception reply
    Mismatch,   // a valid frame that does not answer this request (byte count, echo)
    PortClosed,
};

// What the caller makes of a reply that passed the frame checks (CRC, station, function).
enum class ReplyVerdict { Accepted, Exception, Mismatch };
using ReplyCheck = std::function<ReplyVerdict(const std::uint8_t* reply)>;

// CRC-16/MODBUS; the caller stores it low byte first.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

// One set of link parameters over the shared line.
class CComLink {
  public:
    explicit CComLink(Ui& ui, LinkChannel& channel = ProcessLinkChannel());
    CComLink(const CComLink&) = delete;
    CComLink& operator=(const CComLink&) = delete;

    // 0 on success, -1 when the port cannot be opened (the name is then emptied). Shows nothing.
    int OpenPort(const std::string& name);
    // Closes the shared port, whichever link opened it.
    void ClosePort();
    // 0, or -1 when no port is open or the rate cannot be set (below 1024 bit/s, unknown rate).
    int ConfigurePort(std::uint32_t baudRate, int silentFactor, int delayMs);
    // Waits for a reply of expectedLength bytes (or a complete exception reply) to the request
    // last sent. 0 when a valid reply arrived, -1 on time-out or when no port is open.
    int ReceiveReply(int expectedLength, std::uint8_t* buffer, bool showTimeout);

    // Runs the request cycle for a frame of frameLength bytes already in the request buffer:
    // appends the CRC, sends the frame, waits the silent interval and the response delay, and
    // receives the reply into the response buffer.
    int Transact(std::size_t frameLength, int expectedLength, bool showTimeout);

    // As Transact, without messages, and with the reply judged by check. A time-out or a
    // mismatch sends the request again, up to retries() more times; an exception reply never
    // does. Each repeat is counted.
    ExchangeOutcome Exchange(std::size_t frameLength, int expectedLength, const ReplyCheck& check);

    // Repeats of a request after a line error (0: the request is sent once).
    void setRetries(int retries) { retries_ = retries < 0 ? 0 : retries; }
    int retries() const { return retries_; }
    // Requests repeated since the count was last reset.
    int repeatedRequests() const { return repeated_.load(); }
    void resetRepeatedRequests() { repeated_ = 0; }

    // Held by every register operation for its whole exchange.
    std::unique_lock<std::recursive_mutex> Lock() {
        return std::unique_lock<std::recursive_mutex>(channel_.mutex());
    }
    void ClearBuffers();
    std::uint8_t* RequestBuffer() { return channel_.request().data(); }
    std::uint8_t* ResponseBuffer() { return channel_.response().data(); }

    bool IsPortOpen() { return channel_.port().isOpen(); }
    const std::string& portName() const { return portName_; }
    std::uint32_t baudRate() const { return baudRate_; }
    int silentInterval() const { return silentInterval_; }
    int responseDelay() const { return responseDelay_; }
    // Milliseconds the receiver waits per empty poll for a reply of the given length.
    unsigned PollInterval(int expectedLength) const;
    Ui& ui() { return ui_; }

  private:
    using Clock = std::chrono::steady_clock;

    // Sends the request in the buffer and receives the reply, after the line has been quiet
    // long enough that nothing of an earlier exchange can still arrive.
    int SendAndReceive(std::size_t frameLength, int expectedLength);
    // Waits until no byte has arrived for the given time, dropping what does arrive.
    void WaitForQuietLine(std::chrono::microseconds quiet);
    std::chrono::microseconds FrameGap() const;
    bool ReplyIsValid(const std::uint8_t* frame, std::size_t length) const;
    std::size_t ReplyLength(const std::uint8_t* frame, std::size_t received,
                            std::size_t expectedLength) const;

    Ui& ui_;
    LinkChannel& channel_;
    std::string portName_;
    std::uint32_t baudRate_ = 0;
    int silentInterval_ = 0;
    int responseDelay_ = 0;
    // The request the next reply must answer; set by Transact.
    std::uint8_t expectedStation_ = 0;
    std::uint8_t expectedFunction_ = 0;
    int retries_ = 0;
    std::atomic<int> repeated_{0};
    // When the line last carried a byte of ours or the controller's.
    Clock::time_point lastActivity_{};
    // The last exchange failed: before the next request the line must stay quiet for a whole
    // reply time, so that a late answer cannot be taken for the next one.
    bool afterError_ = false;
};

}  // namespace velmora
