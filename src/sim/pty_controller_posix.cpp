#include "sim/pty_controller.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "platform/termios_rates.h"
#include "sim/pseudo_terminal.h"

namespace velmora::sim {

namespace {

using Clock = std::chrono::steady_clock;

// A partial frame followed by this much silence is given up as noise.
constexpr auto kFrameSilence = std::chrono::milliseconds(20);
// How long a reply may wait for room in the terminal's queue before the stale input there,
// which nobody is reading, is thrown away.
constexpr int kBlockedWriteMs = 100;
constexpr int kWriteAttempts = 10;

bool CrcIsValid(const std::uint8_t* frame, std::size_t length) {
    if (length < 4) {
        return false;
    }
    const std::uint16_t crc = ModbusCrc(frame, length - 2);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

// Length of the request at the front of pending by its function code; 0 while unknown.
std::size_t RequestLength(const std::vector<std::uint8_t>& pending) {
    if (pending.size() < 2) {
        return 0;
    }
    switch (pending[1]) {
        case 0x03:
        case 0x08:
            return 8;
        case 0x10:
            return pending.size() >= 7 ? 9u + pending[6] : 0u;
        default:
            return 0;  // unknown to the framer; the silence after it ends the frame
    }
}

bool SetFdFlags(int fd) {
    const int status = ::fcntl(fd, F_GETFL);
    const int descriptor = ::fcntl(fd, F_GETFD);
    return status >= 0 && descriptor >= 0 && ::fcntl(fd, F_SETFL, status | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, descriptor | FD_CLOEXEC) == 0;
}

}  // namespace

PtyController::PtyController() : PtyController(PtyOptions{}) {}

PtyController::PtyController(PtyOptions options)
    : options_(std::move(options)),
      bitRate_(options_.bitRate),
      pacing_(options_.pacing),
      turnaroundMs_(options_.turnaroundMs) {}

PtyController::~PtyController() {
    stop();
}

bool PtyController::start() {
    if (running()) {
        return true;
    }
    std::optional<PseudoTerminal> terminal = OpenPseudoTerminal(SpeedForBitRate(bitRate_));
    if (!terminal || !SetFdFlags(terminal->master.get())) {
        return false;
    }
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return false;
    }
    wakeRead_.reset(pipeEnds[0]);
    wakeWrite_.reset(pipeEnds[1]);
    SetFdFlags(wakeRead_.get());
    SetFdFlags(wakeWrite_.get());
    master_ = std::move(terminal->master);
    slave_ = std::move(terminal->heldSlave);
    slavePath_ = terminal->slavePath;
    if (!options_.linkPath.empty() && !makeLink()) {
        master_.reset();
        slave_.reset();
        return false;
    }
    stopping_ = false;
    worker_ = std::thread([this] { run(); });
    return true;
}

void PtyController::stop() {
    if (worker_.joinable()) {
        {
            std::lock_guard lock(pauseMutex_);
            stopping_ = true;
        }
        pauseWake_.notify_all();
        const std::uint8_t wake = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_.get(), &wake, 1);
        worker_.join();
    }
    removeLink();
    master_.reset();
    slave_.reset();
    wakeRead_.reset();
    wakeWrite_.reset();
}

bool PtyController::makeLink() {
    if (!PointLinkAt(options_.linkPath, slavePath_)) {
        return false;
    }
    linkMade_ = true;
    return true;
}

void PtyController::removeLink() {
    if (!linkMade_) {
        return;
    }
    linkMade_ = false;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(options_.linkPath.c_str(), target, sizeof target - 1);
    // Another controller may have taken the link over since.
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == slavePath_) {
        ::unlink(options_.linkPath.c_str());
    }
}

bool PtyController::lineRateMatches() const {
    // On a pseudo-terminal the master reports the settings the client made on the slave.
    termios settings{};
    if (::tcgetattr(master_.get(), &settings) != 0) {
        return false;
    }
    return BitRateForSpeed(::cfgetospeed(&settings)) == bitRate_;
}

void PtyController::run() {
    std::vector<std::uint8_t> pending;
    Clock::time_point lastByte = Clock::now();
    std::uint8_t chunk[512];
    while (!stopping_) {
        int timeoutMs = -1;
        if (!pending.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                lastByte + kFrameSilence - Clock::now());
            timeoutMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd fds[2] = {{master_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (stopping_ || fds[1].revents != 0) {
            break;
        }
        if (ready == 0) {
            resyncAfterSilence(pending);
            continue;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            // Hang-up or error without data: do not spin on it.
            pauseMicroseconds(10'000);
            continue;
        }
        const ssize_t got = ::read(master_.get(), chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                pauseMicroseconds(10'000);
            }
            continue;
        }
        if (!lineRateMatches()) {
            // At the wrong rate a UART sees only framing errors; nothing of it is a request.
            pending.clear();
            ++garbledChunks_;
            continue;
        }
        pending.insert(pending.end(), chunk, chunk + got);
        lastByte = Clock::now();
        extractFrames(pending);
    }
}

void PtyController::extractFrames(std::vector<std::uint8_t>& pending) {
    while (!stopping_) {
        const std::size_t length = RequestLength(pending);
        if (length == 0 || pending.size() < length) {
            return;
        }
        if (!CrcIsValid(pending.data(), length)) {
            pending.erase(pending.begin());
            continue;
        }
        const std::vector<std::uint8_t> frame(pending.begin(),
                                              pending.begin() + static_cast<long>(length));
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(length));
        respond(frame);
    }
}

void PtyController::resyncAfterSilence(std::vector<std::uint8_t>& pending) {
    while (!pending.empty() && !stopping_) {
        // A frame the framer cannot size (an unknown function) ends at the silence.
        if (CrcIsValid(pending.data(), pending.size())) {
            const std::vector<std::uint8_t> frame = std::move(pending);
            pending.clear();
            respond(frame);
            return;
        }
        pending.erase(pending.begin());
        extractFrames(pending);
    }
}

void PtyController::respond(const std::vector<std::uint8_t>& request) {
    const std::optional<ReplyPlan> plan = controller_.process(request);
    if (!plan) {
        return;
    }
    {
        std::unique_lock lock(pauseMutex_);
        if (holdWhen_ && holdWhen_(request)) {
            holdWhen_ = nullptr;
            released_ = false;
            replyHeld_ = true;
            pauseWake_.wait(lock, [this] { return released_ || stopping_.load(); });
            replyHeld_ = false;
        }
    }
    long long delayUs = plan->extraDelayMs * 1000LL;
    const std::uint32_t rate = bitRate_;
    const bool paced = pacing_ && rate > 0;
    if (paced) {
        const auto lineBits = static_cast<long long>(request.size() + plan->bytes.size()) * 10;
        delayUs += turnaroundMs_ * 1000LL + lineBits * 1'000'000LL / rate;
    }
    if (!pauseMicroseconds(delayUs) || !sendReply(*plan) || !plan->sendTwice) {
        return;
    }
    // The copy starts 3.5 characters after the first ends; paced, it also takes its line time.
    long long gapBits = 35;
    if (paced) {
        gapBits += static_cast<long long>(plan->bytes.size()) * 10;
    }
    if (pauseMicroseconds(rate > 0 ? gapBits * 1'000'000LL / rate : 0)) {
        sendReply(*plan);
    }
}

bool PtyController::sendReply(const ReplyPlan& plan) {
    if (plan.trickleGapMs <= 0) {
        if (!writeToLine(plan.bytes.data(), plan.bytes.size())) {
            return false;
        }
        ++repliesSent_;
        return true;
    }
    for (std::size_t i = 0; i < plan.bytes.size(); ++i) {
        if (i > 0 && !pauseMicroseconds(plan.trickleGapMs * 1000LL)) {
            return false;
        }
        if (!writeToLine(&plan.bytes[i], 1)) {
            return false;
        }
    }
    ++repliesSent_;
    return true;
}

void PtyController::holdReplyWhen(RequestTest holdWhen) {
    std::lock_guard lock(pauseMutex_);
    holdWhen_ = std::move(holdWhen);
}

void PtyController::releaseHeldReply() {
    {
        std::lock_guard lock(pauseMutex_);
        holdWhen_ = nullptr;
        released_ = true;
    }
    pauseWake_.notify_all();
}

bool PtyController::writeToLine(const std::uint8_t* data, std::size_t size) {
    std::size_t written = 0;
    int attempts = 0;
    while (written < size && !stopping_) {
        const ssize_t put = ::write(master_.get(), data + written, size - written);
        if (put > 0) {
            written += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        if (++attempts > kWriteAttempts) {
            return false;
        }
        pollfd entry{master_.get(), POLLOUT, 0};
        if (::poll(&entry, 1, kBlockedWriteMs) <= 0) {
            // The queue is full of replies no client read (none has the port open).
            ::tcflush(slave_.get(), TCIFLUSH);
        }
    }
    return written == size;
}

bool PtyController::pauseMicroseconds(long long microseconds) {
    std::unique_lock lock(pauseMutex_);
    if (microseconds > 0) {
        pauseWake_.wait_for(lock, std::chrono::microseconds(microseconds),
                            [this] { return stopping_.load(); });
    }
    return !stopping_;
}

}  // namespace velmora::sim
