#include "link/com_link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "sysfiles/language.h"

namespace velmora {

namespace {

// A reply never legitimately exceeds a few hundred bytes; a line that keeps producing bytes
// that never form a valid reply is treated as silent rather than read forever.
constexpr std::size_t kMaxBytesPerReply = 4 * kFrameBufferSize;
constexpr int kMissesBeforeTimeout = 10;
constexpr std::size_t kExceptionReplyLength = 5;

bool IsExceptionFunction(std::uint8_t function) {
    return function == 0x83 || function == 0x88 || function == 0x90;
}

void SleepMs(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace

LinkChannel::LinkChannel() : port_(MakeSystemSerialPort()) {}

LinkChannel::LinkChannel(std::unique_ptr<SerialPort> port) : port_(std::move(port)) {}

LinkChannel& ProcessLinkChannel() {
    static LinkChannel channel;
    return channel;
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

CComLink::CComLink(Ui& ui, LinkChannel& channel) : ui_(ui), channel_(channel) {}

int CComLink::OpenPort(const std::string& name) {
    auto lock = Lock();
    SerialPort& port = channel_.port();
    if (port.isOpen()) {
        portName_.clear();
        baudRate_ = 0;
        port.close();
    }
    portName_ = name;
    if (name.empty() || !port.open(ResolvePortName(name))) {
        portName_.clear();
        return -1;
    }
    return 0;
}

void CComLink::ClosePort() {
    auto lock = Lock();
    portName_.clear();
    baudRate_ = 0;
    channel_.port().close();
}

int CComLink::ConfigurePort(std::uint32_t baudRate, int silentFactor, int delayMs) {
    auto lock = Lock();
    SerialPort& port = channel_.port();
    if (!port.isOpen()) {
        return -1;
    }
    // The poll interval divides by the rate shifted right by ten bits, so slow rates are refused.
    if (baudRate < 1024 || !port.configure(baudRate)) {
        return -1;
    }
    baudRate_ = baudRate;
    const auto factor = static_cast<std::uint8_t>(silentFactor & 0xFF);
    // Three and a half character times of ten bits, times the factor; the evaluation order and
    // the truncation are what existing settings files were tuned against.
    const long double interval = (1.0L / baudRate_) * 1000.0L * factor * 3.5L * 10.0L;
    silentInterval_ = static_cast<int>(interval);
    responseDelay_ = delayMs;
    return 0;
}

unsigned CComLink::PollInterval(int expectedLength) const {
    unsigned divisor = baudRate_ >> 10;
    if (divisor == 0) {
        divisor = 1;  // only before the first successful configuration
    }
    return static_cast<unsigned>(expectedLength) * 10u / divisor +
           static_cast<unsigned>(responseDelay_) + static_cast<unsigned>(silentInterval_) + 6u;
}

void CComLink::ClearBuffers() {
    channel_.request().fill(0);
    channel_.response().fill(0);
}

std::size_t CComLink::ReplyLength(const std::uint8_t* frame, std::size_t received,
                                  std::size_t expectedLength) const {
    if (received >= 2 && IsExceptionFunction(frame[1]) && frame[1] == (expectedFunction_ | 0x80)) {
        return kExceptionReplyLength;
    }
    return expectedLength;
}

bool CComLink::ReplyIsValid(const std::uint8_t* frame, std::size_t length) const {
    if (length < 4) {
        return false;
    }
    const std::uint16_t crc = Crc16(frame, length - 2);
    if (frame[length - 2] != (crc & 0xFF) || frame[length - 1] != (crc >> 8)) {
        return false;
    }
    return frame[0] == expectedStation_ && (frame[1] & 0x7F) == expectedFunction_;
}

int CComLink::ReceiveReply(int expectedLength, std::uint8_t* buffer, bool showTimeout) {
    auto lock = Lock();
    SerialPort& port = channel_.port();
    if (!port.isOpen()) {
        return -1;
    }
    const int pollInterval = static_cast<int>(PollInterval(expectedLength));
    if (expectedLength <= 0) {
        return 0;
    }
    const auto expected =
        std::min<std::size_t>(static_cast<std::size_t>(expectedLength), kFrameBufferSize);
    std::size_t received = 0;
    std::size_t totalBytes = 0;
    int misses = kMissesBeforeTimeout;
    while (misses > 0 && totalBytes < kMaxBytesPerReply) {
        const int waiting = port.bytesWaiting();
        if (waiting <= 0) {
            // Block for at most one poll interval; a byte arriving ends the wait at once.
            if (!port.waitForInput(pollInterval)) {
                --misses;
            }
            continue;
        }
        std::size_t wanted = ReplyLength(buffer, received, expected) - received;
        if (received < 2) {
            wanted = 1;  // the function code decides how long the reply is
        }
        const int got = port.read(buffer + received, std::min<std::size_t>(wanted, waiting));
        if (got <= 0) {
            // Bytes reported but none read: a failing line, not input. Counting it keeps a
            // broken device from holding the receiver for ever.
            --misses;
            port.waitForInput(pollInterval);
            continue;
        }
        received += static_cast<std::size_t>(got);
        totalBytes += static_cast<std::size_t>(got);
        lastActivity_ = Clock::now();
        misses = kMissesBeforeTimeout;
        // A complete frame that does not answer this request (noise, a corrupted CRC, another
        // station) is dropped byte by byte until a valid reply starts at the front.
        while (received >= 2 && received >= ReplyLength(buffer, received, expected)) {
            const std::size_t length = ReplyLength(buffer, received, expected);
            if (ReplyIsValid(buffer, length)) {
                return 0;
            }
            std::memmove(buffer, buffer + 1, received - 1);
            --received;
            buffer[received] = 0;
        }
    }
    if (showTimeout) {
        ui_.showMessage(MessageText(kMsgComTimeoutCountermeasureContents), std::string(),
                        MessageIcon::Error, MessageButtons::Ok);
    }
    return -1;
}

std::chrono::microseconds CComLink::FrameGap() const {
    // Frames on the bus stand at least 3.5 character times apart; the settings' silent
    // interval may ask for more.
    const auto characters = std::chrono::microseconds(
        baudRate_ > 0 ? (35'000'000LL + baudRate_ - 1) / baudRate_ : 0);
    return std::max<std::chrono::microseconds>(characters,
                                               std::chrono::milliseconds(silentInterval_));
}

void CComLink::WaitForQuietLine(std::chrono::microseconds quiet) {
    SerialPort& port = channel_.port();
    // A line that never goes quiet is given up on after a bounded time; the reply checks
    // then keep its noise out.
    const auto giveUp = Clock::now() + 20 * quiet + std::chrono::milliseconds(100);
    for (;;) {
        const auto now = Clock::now();
        if (port.bytesWaiting() > 0) {
            port.discardInput();
            lastActivity_ = now;
        }
        const auto quietUntil = lastActivity_ + quiet;
        if (now >= quietUntil || now >= giveUp) {
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(quietUntil - now);
        if (left >= std::chrono::milliseconds(1)) {
            if (port.waitForInput(static_cast<int>(left.count() / 1000))) {
                continue;
            }
        } else {
            std::this_thread::sleep_for(left);
        }
    }
    port.discardInput();
}

int CComLink::SendAndReceive(std::size_t frameLength, int expectedLength) {
    SerialPort& port = channel_.port();
    if (!port.isOpen()) {
        return -1;
    }
    std::uint8_t* request = RequestBuffer();
    expectedStation_ = request[0];
    expectedFunction_ = request[1];
    // A late or repeated reply to an earlier request must never be taken for this one.
    const auto quiet =
        afterError_ ? std::chrono::microseconds(std::chrono::milliseconds(
                          PollInterval(expectedLength)))
                    : FrameGap();
    WaitForQuietLine(quiet);
    port.write(request, frameLength + 2);
    lastActivity_ = Clock::now();
    SleepMs(silentInterval_);
    SleepMs(responseDelay_);
    const int received = ReceiveReply(expectedLength, ResponseBuffer(), false);
    afterError_ = received != 0;
    return received;
}

ExchangeOutcome CComLink::Exchange(std::size_t frameLength, int expectedLength,
                                   const ReplyCheck& check) {
    auto lock = Lock();
    std::uint8_t* request = RequestBuffer();
    const std::uint16_t crc = Crc16(request, frameLength);
    request[frameLength] = static_cast<std::uint8_t>(crc & 0xFF);
    request[frameLength + 1] = static_cast<std::uint8_t>(crc >> 8);
    if (!channel_.port().isOpen()) {
        return ExchangeOutcome::PortClosed;
    }
    ExchangeOutcome outcome = ExchangeOutcome::Timeout;
    for (int attempt = 0; attempt <= retries_; ++attempt) {
        if (attempt > 0) {
            ++repeated_;
        }
        std::fill(channel_.response().begin(), channel_.response().end(), 0);
        if (SendAndReceive(frameLength, expectedLength) != 0) {
            outcome = channel_.port().isOpen() ? ExchangeOutcome::Timeout
                                               : ExchangeOutcome::PortClosed;
            if (outcome == ExchangeOutcome::PortClosed) {
                return outcome;
            }
            continue;
        }
        switch (check ? check(ResponseBuffer()) : ReplyVerdict::Accepted) {
            case ReplyVerdict::Accepted:
                return ExchangeOutcome::Accepted;
            case ReplyVerdict::Exception:
                return ExchangeOutcome::Exception;
            case ReplyVerdict::Mismatch:
                outcome = ExchangeOutcome::Mismatch;
                afterError_ = true;
                break;
        }
    }
    return outcome;
}

int CComLink::Transact(std::size_t frameLength, int expectedLength, bool showTimeout) {
    auto lock = Lock();
    std::uint8_t* request = RequestBuffer();
    const std::uint16_t crc = Crc16(request, frameLength);
    request[frameLength] = static_cast<std::uint8_t>(crc & 0xFF);
    request[frameLength + 1] = static_cast<std::uint8_t>(crc >> 8);
    if (SendAndReceive(frameLength, expectedLength) == 0) {
        return 0;
    }
    if (showTimeout && channel_.port().isOpen()) {
        ui_.showMessage(MessageText(kMsgComTimeoutCountermeasureContents), std::string(),
                        MessageIcon::Error, MessageButtons::Ok);
    }
    return -1;
}

}  // namespace velmora
