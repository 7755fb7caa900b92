#include <stdlib.h>
#include <unistd.h>

#include "platform/program_folder.h"
#include "platform/program_folder_os.h"

namespace velmora {
namespace {

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

}  // namespace

bool CanWriteIntoFolder(const std::string& folder) {
    return ::access(folder.c_str(), W_OK) == 0;
}

bool CanWriteFile(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

std::string MakeScratchFolder(const std::string& prefix) {
    std::string path = prefix + "XXXXXX";
    return ::mkdtemp(path.data()) == nullptr ? std::string() : path;
}

std::string UserProgramFolder(const EnvLookup& env) {
    std::string base;
    const std::optional<std::string> dataHome = env("XDG_DATA_HOME");
    if (dataHome && !dataHome->empty() && dataHome->front() == '/') {
        base = *dataHome;
    } else {
        const std::optional<std::string> home = env("HOME");
        if (!home || home->empty()) {
            return {};
        }
        base = WithSlash(*home) + ".local/share";
    }
    return WithSlash(base) + "velmora/";
}

}  // namespace velmora
