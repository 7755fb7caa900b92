#include "link/rtu_master.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace velmora {

namespace {

// A reply never legitimately exceeds a few hundred bytes; a line that keeps producing bytes
// that never form a valid reply is treated as silent rather than read forever.
constexpr std::size_t kMaxBytesPerReply = 4096;
constexpr int kMissesBeforeTimeout = 10;
constexpr std::size_t kExceptionFrameLength = 5;
// Station, then the PDU, then the CRC.
constexpr std::size_t kFrameOverhead = 3;

void SleepMs(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace

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

RtuMaster::RtuMaster(std::unique_ptr<SerialPort> port) : port_(std::move(port)) {}

LinkStatus RtuMaster::open(const std::string& name) {
    auto guard = lock();
    close();
    lastOpenError_ = 0;
    if (name.empty()) {
        lastOpenError_ = ENOENT;
    } else if (!port_->open(ResolvePortName(name))) {
        lastOpenError_ = port_->lastOpenError();
    }
    if (lastOpenError_ != 0 || !port_->isOpen()) {
        return LinkStatus{LinkError::OpenFailed, 0, lastOpenError_};
    }
    portName_ = name;
    afterError_ = false;
    return {};
}

void RtuMaster::close() {
    auto guard = lock();
    portName_.clear();
    baudRate_ = 0;
    if (port_->isOpen()) {
        port_->close();
    }
}

bool RtuMaster::isOpen() const {
    auto guard = lock();
    return port_->isOpen();
}

void RtuMaster::setTrace(std::shared_ptr<TrafficTrace> trace) {
    auto guard = lock();
    trace_ = std::move(trace);
}

std::shared_ptr<TrafficTrace> RtuMaster::trace() const {
    auto guard = lock();
    return trace_;
}

std::string RtuMaster::portName() const {
    auto guard = lock();
    return portName_;
}

LinkStatus RtuMaster::configure(std::uint32_t baudRate, int silentFactor, int delayMs) {
    auto guard = lock();
    if (!port_->isOpen()) {
        return LinkStatus::Failed(LinkError::PortGone);
    }
    // The poll interval divides by the rate shifted right by ten bits, so slow rates are refused.
    if (baudRate < 1024 || !port_->configure(baudRate)) {
        return LinkStatus::Failed(LinkError::BadRate);
    }
    baudRate_ = baudRate;
    const auto factor = static_cast<std::uint8_t>(silentFactor & 0xFF);
    // Three and a half character times of ten bits, times the factor; the evaluation order and
    // the truncation are what existing settings files were tuned against.
    const long double interval = (1.0L / baudRate_) * 1000.0L * factor * 3.5L * 10.0L;
    silentInterval_ = static_cast<int>(interval);
    responseDelay_ = delayMs;
    return {};
}

unsigned RtuMaster::pollInterval(std::size_t frameLength) const {
    unsigned divisor = baudRate_ >> 10;
    if (divisor == 0) {
        divisor = 1;  // only before the first successful configuration
    }
    return static_cast<unsigned>(frameLength) * 10u / divisor +
           static_cast<unsigned>(responseDelay_) + static_cast<unsigned>(silentInterval_) + 6u;
}

std::size_t RtuMaster::replyLength(std::size_t received, std::size_t expected) const {
    if (received >= 2 && response_[1] == (request_[1] | 0x80)) {
        return kExceptionFrameLength;
    }
    return expected;
}

bool RtuMaster::frameAnswers(std::size_t length) const {
    if (length < 4) {
        return false;
    }
    const std::uint16_t crc = Crc16(response_.data(), length - 2);
    if (response_[length - 2] != (crc & 0xFF) || response_[length - 1] != (crc >> 8)) {
        return false;
    }
    return response_[0] == request_[0] && (response_[1] & 0x7F) == request_[1];
}

LinkStatus RtuMaster::receiveReply(std::size_t expected) {
    const int poll = static_cast<int>(pollInterval(expected));
    std::size_t received = 0;
    std::size_t totalBytes = 0;
    int misses = kMissesBeforeTimeout;
    while (misses > 0 && totalBytes < kMaxBytesPerReply) {
        const int waiting = port_->bytesWaiting();
        if (waiting < 0 || !port_->isOpen()) {
            return LinkStatus::Failed(LinkError::PortGone);
        }
        if (waiting == 0) {
            // Block for at most one poll interval; a byte arriving ends the wait at once.
            if (!port_->waitForInput(poll)) {
                --misses;
            }
            continue;
        }
        // The function code decides how long the reply is, so the first two bytes come singly.
        const std::size_t wanted = received < 2 ? 1 : replyLength(received, expected) - received;
        const int got =
            port_->read(response_.data() + received,
                        std::min<std::size_t>(wanted, static_cast<std::size_t>(waiting)));
        if (got < 0) {
            return LinkStatus::Failed(LinkError::PortGone);
        }
        if (got == 0) {
            // Bytes reported but none read: counting it keeps a broken device from holding the
            // receiver for ever.
            --misses;
            port_->waitForInput(poll);
            continue;
        }
        if (trace_ && totalBytes < heard_.size()) {
            std::copy_n(response_.data() + received,
                        std::min(heard_.size() - totalBytes, static_cast<std::size_t>(got)),
                        heard_.data() + totalBytes);
        }
        received += static_cast<std::size_t>(got);
        totalBytes += static_cast<std::size_t>(got);
        heardTotal_ = totalBytes;
        lastActivity_ = Clock::now();
        misses = kMissesBeforeTimeout;
        // A complete frame that does not answer this request (noise, a corrupted CRC, another
        // station) is dropped byte by byte until a valid reply starts at the front.
        while (received >= 2 && received >= replyLength(received, expected)) {
            if (frameAnswers(replyLength(received, expected))) {
                return {};
            }
            std::memmove(response_.data(), response_.data() + 1, received - 1);
            --received;
            response_[received] = 0;
        }
    }
    return LinkStatus::Failed(totalBytes > 0 ? LinkError::Garbled : LinkError::Timeout);
}

std::chrono::microseconds RtuMaster::frameGap() const {
    // Frames on the bus stand at least 3.5 character times apart; the settings' silent
    // interval may ask for more.
    const auto characters =
        std::chrono::microseconds(baudRate_ > 0 ? (35'000'000LL + baudRate_ - 1) / baudRate_ : 0);
    return std::max<std::chrono::microseconds>(characters,
                                               std::chrono::milliseconds(silentInterval_));
}

void RtuMaster::waitForQuietLine(std::chrono::microseconds quiet) {
    // A line that never goes quiet is given up on after a bounded time; the reply checks
    // then keep its noise out.
    const auto giveUp = Clock::now() + 20 * quiet + std::chrono::milliseconds(100);
    for (;;) {
        const auto now = Clock::now();
        if (port_->bytesWaiting() > 0) {
            port_->discardInput();
            lastActivity_ = now;
        }
        const auto quietUntil = lastActivity_ + quiet;
        if (now >= quietUntil || now >= giveUp) {
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(quietUntil - now);
        if (left >= std::chrono::milliseconds(1)) {
            if (port_->waitForInput(static_cast<int>(left.count() / 1000))) {
                continue;
            }
        } else {
            std::this_thread::sleep_for(left);
        }
    }
    port_->discardInput();
}

LinkStatus RtuMaster::sendAndReceive(std::size_t requestLength, std::size_t replyLength) {
    // A late or repeated reply to an earlier request must never be taken for this one.
    const auto quiet =
        afterError_
            ? std::chrono::microseconds(std::chrono::milliseconds(pollInterval(replyLength)))
            : frameGap();
    waitForQuietLine(quiet);
    const int sent = port_->write(request_.data(), requestLength);
    if (sent != static_cast<int>(requestLength)) {
        afterError_ = true;
        if (trace_) {
            trace_->event(portName_, TraceEvent::SendFailed);
        }
        // A write the system refuses outright means the device failed (an adapter pulled out),
        // which no retry mends; one cut short by the write time-out is a stalled line.
        return LinkStatus::Failed(sent < 0 || !port_->isOpen() ? LinkError::PortGone
                                                               : LinkError::Timeout);
    }
    lastActivity_ = Clock::now();
    if (trace_) {
        // After the write, so that the trace's own time never delays the request.
        trace_->frame(portName_, TraceDirection::Request, {request_.data(), requestLength});
    }
    SleepMs(silentInterval_);
    SleepMs(responseDelay_);
    response_.fill(0);
    heardTotal_ = 0;
    const LinkStatus received = receiveReply(replyLength);
    afterError_ = !received.ok();
    if (trace_) {
        traceOutcome(received, replyLength);
    }
    return received;
}

void RtuMaster::traceOutcome(const LinkStatus& outcome, std::size_t replyFrame) {
    switch (outcome.error) {
        case LinkError::None: {
            const std::size_t length =
                (response_[1] & 0x80) != 0 ? kExceptionFrameLength : replyFrame;
            trace_->frame(portName_, TraceDirection::Reply, {response_.data(), length});
            break;
        }
        case LinkError::Garbled:
            trace_->garbled(portName_, {heard_.data(), heard_.size()}, heardTotal_);
            break;
        case LinkError::PortGone:
            trace_->event(portName_, TraceEvent::PortGone);
            break;
        default:
            trace_->event(portName_, TraceEvent::Timeout);
            break;
    }
}

LinkStatus RtuMaster::transact(std::uint8_t station, std::span<const std::uint8_t> request,
                               std::size_t replyLength, Pdu& reply, const ReplyCheck& check,
                               Retry retry) {
    if (request.empty() || request.size() > Pdu::kMaxSize || replyLength == 0 ||
        replyLength > Pdu::kMaxSize) {
        return LinkStatus::Failed(LinkError::BadArgument);
    }
    auto guard = lock();
    if (!port_->isOpen()) {
        return LinkStatus::Failed(LinkError::PortGone);
    }
    request_[0] = station;
    std::copy(request.begin(), request.end(), request_.begin() + 1);
    const std::size_t frameLength = request.size() + 1;
    const std::uint16_t crc = Crc16(request_.data(), frameLength);
    request_[frameLength] = static_cast<std::uint8_t>(crc & 0xFF);
    request_[frameLength + 1] = static_cast<std::uint8_t>(crc >> 8);
    const std::size_t replyFrame = replyLength + kFrameOverhead;

    const int attempts = retry == Retry::OnLineError ? retries_ + 1 : 1;
    LinkStatus outcome;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) {
            ++repeated_;
            if (trace_) {
                trace_->event(portName_, TraceEvent::Retry, attempt);
            }
        }
        outcome = sendAndReceive(frameLength + 2, replyFrame);
        if (outcome.error == LinkError::PortGone) {
            return outcome;
        }
        if (!outcome.ok()) {
            continue;
        }
        if (response_[1] & 0x80) {
            return LinkStatus{LinkError::Exception, response_[2], 0};
        }
        reply.size = replyLength;
        std::copy_n(response_.begin() + 1, replyLength, reply.bytes.begin());
        if (!check || check(reply.view()) == ReplyVerdict::Accepted) {
            return {};
        }
        reply.size = 0;
        outcome = LinkStatus::Failed(LinkError::Mismatch);
        afterError_ = true;
        if (trace_) {
            trace_->event(portName_, TraceEvent::Mismatch);
        }
    }
    return outcome;
}

}  // namespace velmora
