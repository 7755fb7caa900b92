#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace velmora {
namespace {

UniqueFd OpenLocked(const std::string& path, int flags, int lock) {
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC, 0666));
    if (!fd || ::flock(fd.get(), lock | LOCK_NB) != 0) {
        return {};
    }
    return fd;
}

}  // namespace

UniqueFd OpenForReading(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

UniqueFd OpenLockedForReading(const std::string& path) {
    return OpenLocked(path, O_RDONLY, LOCK_SH);
}

UniqueFd OpenLockedForWriting(const std::string& path) {
    UniqueFd fd = OpenLocked(path, O_WRONLY | O_CREAT, LOCK_EX);
    if (fd && ::ftruncate(fd.get(), 0) != 0) {
        return {};
    }
    return fd;
}

bool ReadWholeFile(int fd, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::uint8_t chunk[64 * 1024];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        offset += got;
    }
}

bool ReplaceWholeFile(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
}

}  // namespace velmora
