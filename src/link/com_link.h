#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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
};

}  // namespace velmora
