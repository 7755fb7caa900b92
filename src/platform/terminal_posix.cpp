#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace velmora {

int TerminalColumns(int fallback) {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
        return fallback;
    }
    return size.ws_col;
}

}  // namespace velmora
