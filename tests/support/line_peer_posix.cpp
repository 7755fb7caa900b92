#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "platform/termios_rates.h"
#include "sim/pseudo_terminal.h"
#include "support/line_peer.h"

namespace velmora::test {
namespace {

std::uint32_t BigEndian(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

std::string DescribeLine(const termios& line) {
    std::uint32_t rate = 0;
    for (const TermiosRate& entry : kTermiosRates) {
        if (entry.speed == ::cfgetospeed(&line)) {
            rate = entry.bitsPerSecond;
        }
    }
    std::string frame = (line.c_cflag & CSIZE) == CS8 ? "8" : "7";
    frame += (line.c_cflag & PARENB) ? ((line.c_cflag & PARODD) ? "O" : "E") : "N";
    frame += (line.c_cflag & CSTOPB) ? "2" : "1";
    // Everything that would change, add or swallow a byte on its way.
    const bool raw = (line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF)) == 0 &&
                     (line.c_oflag & OPOST) == 0 && (line.c_lflag & (ICANON | ECHO | ISIG)) == 0;
    const bool flow = (line.c_cflag & CRTSCTS) != 0;
    return std::to_string(rate) + " " + frame + (raw ? " raw" : " cooked") +
           (flow ? " flow\n" : " noflow\n");
}

}  // namespace

LinePeer::LinePeer(std::string link) : link_(std::move(link)) {
    if (makeDevice()) {
        thread_ = std::thread([this] { serve(); });
    }
}

LinePeer::~LinePeer() {
    stop();
}

std::string LinePeer::device() const {
    std::lock_guard lock(mutex_);
    return device_;
}

void LinePeer::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LinePeer::stop() {
    stopping_ = true;
    wait();
}

bool LinePeer::makeDevice() {
    std::optional<sim::PseudoTerminal> terminal = sim::OpenPseudoTerminal();
    if (!terminal || (!link_.empty() && !sim::PointLinkAt(link_, terminal->slavePath))) {
        return false;
    }
    std::lock_guard lock(mutex_);
    master_ = std::move(terminal->master);
    heldSlave_ = std::move(terminal->heldSlave);
    device_ = terminal->slavePath;
    return true;
}

void LinePeer::serve() {
    std::string input;
    while (!stopping_) {
        pollfd entry{master_.get(), POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t got = ::read(master_.get(), chunk, sizeof chunk);
        if (got <= 0) {
            continue;
        }
        input.append(chunk, static_cast<std::size_t>(got));
        if (!handle(input)) {
            {
                std::lock_guard lock(mutex_);
                master_.reset();
                heldSlave_.reset();
                device_.clear();
            }
            if (link_.empty() || !makeDevice()) {
                return;
            }
            input.clear();
        }
    }
}

bool LinePeer::handle(std::string& input) {
    while (!input.empty()) {
        const auto command = static_cast<PeerCommand>(input[0]);
        std::size_t used = 1;
        switch (command) {
            case PeerCommand::Ping:
                reply("OK", 2);
                break;
            case PeerCommand::Status: {
                termios line{};
                ::tcgetattr(master_.get(), &line);
                const std::string text = DescribeLine(line);
                reply(text.data(), text.size());
                break;
            }
            case PeerCommand::Echo:
                if (input.size() < 3 || input.size() < 3 + BigEndian(input, 1, 2)) {
                    return true;  // the rest is still on its way
                }
                used = 3 + BigEndian(input, 1, 2);
                reply(input.data() + 3, used - 3);
                break;
            case PeerCommand::SendLater: {
                if (input.size() < 5) {
                    return true;
                }
                used = 5;
                std::string bytes(BigEndian(input, 1, 2), '\0');
                for (std::size_t i = 0; i < bytes.size(); ++i) {
                    bytes[i] = static_cast<char>(PeerPattern(i));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(BigEndian(input, 3, 2)));
                reply(bytes.data(), bytes.size());
                break;
            }
            case PeerCommand::Count: {
                if (input.size() < 5 || input.size() < 5 + BigEndian(input, 1, 4)) {
                    return true;
                }
                const std::uint32_t count = BigEndian(input, 1, 4);
                used = 5 + count;
                const std::uint32_t hash =
                    PeerHash(reinterpret_cast<const std::uint8_t*>(input.data() + 5), count);
                const std::uint8_t answer[8] = {
                    static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
                    static_cast<std::uint8_t>(count >> 8),  static_cast<std::uint8_t>(count),
                    static_cast<std::uint8_t>(hash >> 24),  static_cast<std::uint8_t>(hash >> 16),
                    static_cast<std::uint8_t>(hash >> 8),   static_cast<std::uint8_t>(hash)};
                reply(answer, sizeof answer);
                break;
            }
            case PeerCommand::Cook: {
                termios line{};
                ::tcgetattr(master_.get(), &line);
                line.c_iflag |= ICRNL | IXON | IXOFF;
                line.c_oflag |= OPOST | ONLCR;
                line.c_lflag |= ICANON | ECHO | ISIG;
                line.c_cflag = (line.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
                ::cfsetospeed(&line, B1200);
                ::cfsetispeed(&line, B1200);
                ::tcsetattr(master_.get(), TCSANOW, &line);
                // The line echoes this back, in lower case so that it is dropped as noise;
                // the echo comes before anything the port sends after reading the answer.
                reply("ok\n", 3);
                break;
            }
            case PeerCommand::Vanish:
                return false;
            default:
                break;  // noise before the port was set up: dropped
        }
        input.erase(0, used);
    }
    return true;
}

void LinePeer::reply(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(master_.get(), bytes, size);
        if (put < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                pollfd entry{master_.get(), POLLOUT, 0};
                ::poll(&entry, 1, 50);
                continue;
            }
            return;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
}

}  // namespace velmora::test
