#include <random>

#include "platform/program_folder.h"
#include "platform/program_folder_os.h"
#include "platform/win32_util.h"

namespace velmora {

// Access rights on Windows live in ACLs the attributes do not show (Program Files is not
// read-only, yet closed to users): only a real attempt tells.
bool CanWriteIntoFolder(const std::string& folder) {
    std::string probe = folder;
    if (!probe.empty() && probe.back() != '/' && probe.back() != '\\') {
        probe.push_back('/');
    }
    probe += ".velmora-write-probe";
    const win32::UniqueHandle file(
        ::CreateFileW(win32::WidePath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.valid() || ::GetLastError() == ERROR_FILE_EXISTS;
}

bool CanWriteFile(const std::string& path) {
    const std::wstring wide = win32::WidePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    const win32::UniqueHandle file(::CreateFileW(
        wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() || ::GetLastError() == ERROR_SHARING_VIOLATION;
}

std::string MakeScratchFolder(const std::string& prefix) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = prefix;
        for (int i = 0; i < 6; ++i) {
            path.push_back(kLetters[pick(random)]);
        }
        if (::CreateDirectoryW(win32::WidePath(path).c_str(), nullptr)) {
            return path;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

// %LOCALAPPDATA%\Velmora\: per user and per machine, as a USB adapter's COM number is.
std::string UserProgramFolder(const EnvLookup& env) {
    const std::optional<std::string> localAppData = env("LOCALAPPDATA");
    if (!localAppData || localAppData->empty()) {
        return {};
    }
    std::string base = *localAppData;
    for (char& c : base) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (base.back() != '/') {
        base.push_back('/');
    }
    return base + "Velmora/";
}

}  // namespace velmora
