#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>

#include "platform/files.h"
#include "platform/win32_util.h"

namespace velmora {
namespace {

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// Locks the whole file, however long it grows. Windows locks are binding: a shared one keeps
// other handles from writing, an exclusive one from reading, which is what the POSIX build's
// advisory locks stand for among copies of the program.
bool LockWhole(HANDLE file, bool exclusive) {
    OVERLAPPED at{};
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return ::LockFileEx(file, flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

UniqueFd OpenLocked(const std::string& path, DWORD access, DWORD disposition, bool exclusive) {
    win32::UniqueHandle file(::CreateFileW(win32::WidePath(path).c_str(), access,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !LockWhole(file.get(), exclusive)) {
        return {};
    }
    // The descriptor owns the handle from here on; the lock goes when it is closed.
    const int flags = _O_BINARY | _O_NOINHERIT | (access & GENERIC_WRITE ? 0 : _O_RDONLY);
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.get()), flags);
    if (fd < 0) {
        return {};
    }
    file.release();
    return UniqueFd(fd);
}

bool SeekTo(HANDLE file, std::size_t offset) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

UniqueFd OpenForReading(const std::string& path) {
    win32::UniqueHandle file(::CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return {};
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.get()),
                                     _O_BINARY | _O_NOINHERIT | _O_RDONLY);
    if (fd < 0) {
        return {};
    }
    file.release();
    return UniqueFd(fd);
}

UniqueFd OpenLockedForReading(const std::string& path) {
    return OpenLocked(path, GENERIC_READ, OPEN_EXISTING, false);
}

UniqueFd OpenLockedForWriting(const std::string& path) {
    UniqueFd fd = OpenLocked(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, true);
    if (fd && !(SeekTo(HandleOf(fd.get()), 0) && ::SetEndOfFile(HandleOf(fd.get())))) {
        return {};
    }
    return fd;
}

bool ReadWholeFile(int fd, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const HANDLE file = HandleOf(fd);
    if (file == INVALID_HANDLE_VALUE || !SeekTo(file, 0)) {
        return false;
    }
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

bool ReplaceWholeFile(int fd, const std::vector<std::uint8_t>& bytes) {
    const HANDLE file = HandleOf(fd);
    if (file == INVALID_HANDLE_VALUE || !SeekTo(file, 0)) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!::WriteFile(file, bytes.data() + done, size, &put, nullptr) || put == 0) {
            return false;
        }
        done += put;
    }
    return ::SetEndOfFile(file) != 0;
}

}  // namespace velmora
