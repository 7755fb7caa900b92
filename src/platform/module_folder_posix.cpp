#include "platform/module_folder.h"

#include <unistd.h>

#include <vector>

namespace velmora {

std::string ModuleFolderOfExecutable() {
    // readlink does not say whether the buffer was large enough, so grow until it fits.
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(n));
            const std::size_t slash = path.rfind('/');
            if (slash == std::string::npos)
                return {};
            return path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace velmora
