#include "platform/terminal.h"
#include "platform/win32_util.h"

namespace velmora {

int TerminalColumns(int fallback) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return fallback;
    }
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : fallback;
}

}  // namespace velmora
