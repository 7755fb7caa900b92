#include <string>

#include "platform/module_folder.h"
#include "platform/win32_util.h"

namespace velmora {

std::string ModuleFolderOfExecutable() {
    // GetModuleFileNameW cuts the name when the buffer is too small, so grow until it fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    // The rest of the program joins paths with '/', which Windows takes as well.
    std::string path = win32::Narrow(buffer);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace velmora
