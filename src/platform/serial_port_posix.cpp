#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/serial_port.h"
#include "platform/termios_rates.h"
#include "platform/unique_fd.h"

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

// The write time-outs the link was tuned with: a constant plus a per-byte allowance.
constexpr int kWriteTimeoutConstantMs = 30000;
constexpr int kWriteTimeoutPerByteMs = 200;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Polls one descriptor for the given events, restarting after signals with the time left.
// Returns the revents seen, 0 on time-out, -1 on error.
int PollFor(int fd, short events, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    int wait = std::max(timeoutMs, 0);
    for (;;) {
        pollfd entry{fd, events, 0};
        const int result = ::poll(&entry, 1, wait);
        if (result > 0) {
            return entry.revents;
        }
        if (result == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
        wait = RemainingMs(deadline);
    }
}

class PosixSerialPort final : public SerialPort {
  public:
    ~PosixSerialPort() override { close(); }

    bool open(const std::string& name) override {
        close();
        openError_ = 0;
        UniqueFd fd(::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd || !::isatty(fd.get())) {
            openError_ = errno;
            return false;
        }
        // TIOCEXCL keeps other programs out, but privileged ones pass it; the advisory lock
        // also keeps out a second instance running as root.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            // The lock is only ever held by another user of the port.
            openError_ = errno == EWOULDBLOCK ? EBUSY : errno;
            return false;
        }
        if (::ioctl(fd.get(), TIOCEXCL) != 0) {
            openError_ = errno;
            return false;
        }
        fd_ = std::move(fd);
        return true;
    }

    int lastOpenError() const override { return openError_; }

    void close() override {
        if (fd_) {
            // The exclusive flag outlives this descriptor while anyone else holds the device
            // (a pseudo-terminal's other side does), so it is dropped explicitly.
            ::ioctl(fd_.get(), TIOCNXCL);
            fd_.reset();
        }
    }

    bool isOpen() const override { return fd_.valid(); }

    bool configure(std::uint32_t baudRate) override {
        if (!fd_ || baudRate < 1024) {
            return false;
        }
        const std::optional<speed_t> speed = SpeedForBitRate(baudRate);
        if (!speed) {
            return false;
        }
        termios settings{};
        if (::tcgetattr(fd_.get(), &settings) != 0) {
            return false;
        }
        ::cfmakeraw(&settings);
        settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
        settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
        settings.c_cflag |= CS8 | CLOCAL | CREAD;
        settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (::cfsetispeed(&settings, *speed) != 0 || ::cfsetospeed(&settings, *speed) != 0) {
            return false;
        }
        if (::tcsetattr(fd_.get(), TCSANOW, &settings) != 0) {
            return false;
        }
        // Linux raises RTS when a port opens; an RS-485 adapter that turns its driver on with
        // RTS would then never hear a reply. RTS stays low, DTR as the driver set it. A line
        // without modem control (a pseudo-terminal) refuses the request, which is harmless.
        int rts = TIOCM_RTS;
        ::ioctl(fd_.get(), TIOCMBIC, &rts);
        // tcsetattr succeeds when any part of the request was applied; a driver that cannot
        // run at this rate shows it in the settings read back.
        termios applied{};
        return ::tcgetattr(fd_.get(), &applied) == 0 && ::cfgetospeed(&applied) == *speed;
    }

    int bytesWaiting() override {
        if (!fd_) {
            return -1;
        }
        int count = 0;
        if (::ioctl(fd_.get(), FIONREAD, &count) != 0) {
            return -1;
        }
        return count;
    }

    int read(std::uint8_t* buffer, std::size_t size) override {
        if (!fd_ || buffer == nullptr) {
            return -1;
        }
        if (size == 0) {
            return 0;
        }
        for (;;) {
            const ssize_t got = ::read(fd_.get(), buffer, size);
            if (got >= 0) {
                return static_cast<int>(got);
            }
            if (errno == EINTR) {
                continue;
            }
            return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
        }
    }

    int write(const std::uint8_t* data, std::size_t size) override {
        if (!fd_ || (data == nullptr && size > 0)) {
            return -1;
        }
        const auto deadline =
            Clock::now() + std::chrono::milliseconds(kWriteTimeoutConstantMs) +
            std::chrono::milliseconds(static_cast<long long>(kWriteTimeoutPerByteMs) * size);
        std::size_t written = 0;
        while (written < size) {
            const ssize_t put = ::write(fd_.get(), data + written, size - written);
            if (put > 0) {
                written += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                return written > 0 ? static_cast<int>(written) : -1;
            }
            const int left = RemainingMs(deadline);
            if (left == 0 || PollFor(fd_.get(), POLLOUT, left) <= 0) {
                break;
            }
        }
        return static_cast<int>(written);
    }

    bool waitForInput(int timeoutMs) override {
        if (!fd_) {
            return false;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        const int events = PollFor(fd_.get(), POLLIN, timeoutMs);
        // After a hang-up (an adapter unplugged, the other end of a pseudo-terminal gone) poll
        // may report input that is not there; only bytes really waiting count.
        const bool hungUp = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (events > 0 && (events & POLLIN) != 0 && (!hungUp || bytesWaiting() > 0)) {
            return true;
        }
        if (events > 0) {
            // Hang-up or error: poll would return at once forever, so the caller's time-out
            // would pass in no time. Let the time go by as a silent line would.
            std::this_thread::sleep_for(std::chrono::milliseconds(RemainingMs(deadline)));
        }
        return false;
    }

    void discardInput() override {
        if (!fd_) {
            return;
        }
        ::tcflush(fd_.get(), TCIFLUSH);
        // Bytes the driver had not yet queued when the flush ran are read away as well.
        std::uint8_t scratch[256];
        for (int round = 0; round < 64; ++round) {
            const ssize_t got = ::read(fd_.get(), scratch, sizeof scratch);
            if (got <= 0) {
                break;
            }
        }
    }

  private:
    UniqueFd fd_;
    int openError_ = 0;
};

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Names in a folder that start with prefix and continue with digits only.
std::vector<std::string> NumberedEntries(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(handle)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const bool digits = std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
        if (digits) {
            names.push_back(name);
        }
    }
    ::closedir(handle);
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

std::vector<std::string> ByIdLinks(const std::string& dir) {
    std::vector<std::string> names;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(handle)) {
        const std::string name = entry->d_name;
        // A dangling link names a device that has gone away.
        if (name != "." && name != ".." && PathExists(dir + "/" + name)) {
            names.push_back(name);
        }
    }
    ::closedir(handle);
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

std::string DriverName(const std::string& driverLink) {
    char target[4096];
    const ssize_t length = ::readlink(driverLink.c_str(), target, sizeof target - 1);
    std::string path =
        length > 0 ? std::string(target, static_cast<std::size_t>(length)) : driverLink;
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The 8250 driver registers every legacy ttyS slot whether or not a UART answers there; only
// the port type it detected tells a real one apart. Newer kernels put a "port" device of the
// serial core between the tty and the 8250 driver.
bool HasRealUart(const std::string& devicePath, const std::string& sysDir) {
    const std::string driverLink = sysDir + "/device/driver";
    if (!PathExists(driverLink)) {
        return false;
    }
    // The serial core publishes the detected type without the device having to be opened.
    std::ifstream typeFile(sysDir + "/type");
    int type = -1;
    if (typeFile >> type) {
        return type != 0;  // PORT_UNKNOWN
    }
    const std::string driver = DriverName(driverLink);
    if (driver != "serial8250" && driver != "port") {
        return true;
    }
    UniqueFd fd(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return false;
    }
#ifdef TIOCGSERIAL
    serial_struct info{};
    return ::ioctl(fd.get(), TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
#else
    return false;
#endif
}

}  // namespace

std::unique_ptr<SerialPort> MakeSystemSerialPort() {
    return std::make_unique<PosixSerialPort>();
}

std::string ResolvePortName(const std::string& name) {
    if (name.empty() || name.front() == '/') {
        return name;
    }
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
        (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm')) {
        unsigned number = 0;
        const char* first = name.data() + 3;
        const char* last = name.data() + name.size();
        const auto [end, error] = std::from_chars(first, last, number);
        if (error == std::errc() && end == last && number >= 1) {
            return "/dev/ttyS" + std::to_string(number - 1);
        }
    }
    return "/dev/" + name;
}

std::vector<std::string> ListSerialPortsUnder(const std::string& devDir,
                                              const std::string& sysTtyDir) {
    std::vector<std::string> ports;
    const std::string byIdDir = devDir + "/serial/by-id";
    for (const std::string& name : ByIdLinks(byIdDir)) {
        ports.push_back(byIdDir + "/" + name);
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (const std::string& name : NumberedEntries(devDir, prefix)) {
            ports.push_back(devDir + "/" + name);
        }
    }
    for (const std::string& name : NumberedEntries(devDir, "ttyS")) {
        const std::string device = devDir + "/" + name;
        if (HasRealUart(device, sysTtyDir + "/" + name)) {
            ports.push_back(device);
        }
    }
    return ports;
}

std::vector<std::string> ListSerialPorts() {
    return ListSerialPortsUnder("/dev", "/sys/class/tty");
}

std::string SerialDeviceIdentityUnder(const std::string& devDir, const std::string& name) {
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(ResolvePortName(name), error);
    if (error) {
        return {};
    }
    const std::string byIdDir = devDir + "/serial/by-id";
    for (const std::string& link : ByIdLinks(byIdDir)) {
        std::error_code linkError;
        if (std::filesystem::canonical(byIdDir + "/" + link, linkError) == device && !linkError) {
            return link;
        }
    }
    return {};
}

std::string SerialDeviceIdentity(const std::string& name) {
    return SerialDeviceIdentityUnder("/dev", name);
}

std::map<std::string, std::string> SerialPortDescriptions() {
    return {};
}

}  // namespace velmora
