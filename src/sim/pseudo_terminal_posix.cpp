#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace velmora::sim {

std::optional<PseudoTerminal> OpenPseudoTerminal(std::optional<speed_t> speed) {
    PseudoTerminal terminal;
    terminal.master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!terminal.master || ::grantpt(terminal.master.get()) != 0 ||
        ::unlockpt(terminal.master.get()) != 0) {
        return std::nullopt;
    }
    char name[PATH_MAX] = {};
    if (::ptsname_r(terminal.master.get(), name, sizeof name) != 0) {
        return std::nullopt;
    }
    terminal.heldSlave.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!terminal.heldSlave) {
        return std::nullopt;
    }
    termios settings{};
    if (::tcgetattr(terminal.heldSlave.get(), &settings) == 0) {
        ::cfmakeraw(&settings);
        if (speed) {
            ::cfsetispeed(&settings, *speed);
            ::cfsetospeed(&settings, *speed);
        }
        ::tcsetattr(terminal.heldSlave.get(), TCSANOW, &settings);
    }
    terminal.slavePath = name;
    return terminal;
}

bool PointLinkAt(const std::string& link, const std::string& target) {
    struct stat info {};
    if (::lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        return false;
    }
    const std::string temporary = link + ".tmp" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        return false;
    }
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace velmora::sim
