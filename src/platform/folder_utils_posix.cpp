#include "platform/folder_listing.h"
#include "platform/folder_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace velmora {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now so that a failing close can be reported.
    int release() {
        const int result = close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies a regular file (a link is followed to its target), overwriting the destination and
// giving it the source's permission bits.
bool CopyFile(const std::string& source, const std::string& destination) {
    // O_NONBLOCK keeps a FIFO from stalling the open; it is refused just below.
    Fd in(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) {
        return false;
    }
    struct stat sourceInfo {};
    if (fstat(in.get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) {
        return false;
    }
    struct stat destinationInfo {};
    if (stat(destination.c_str(), &destinationInfo) == 0 &&
        destinationInfo.st_dev == sourceInfo.st_dev &&
        destinationInfo.st_ino == sourceInfo.st_ino) {
        return false;  // truncating the destination would empty the source
    }
    const mode_t mode = sourceInfo.st_mode & 07777;
    Fd out(open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (out.get() < 0) {
        return false;
    }
    bool ok = fchmod(out.get(), mode) == 0;
    char buffer[64 * 1024];
    while (ok) {
        const ssize_t got = read(in.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            ok = WriteAll(out.get(), buffer, static_cast<std::size_t>(got));
        }
    }
    if (out.release() != 0) {
        ok = false;
    }
    if (!ok) {
        unlink(destination.c_str());  // no half-copied file is left to look valid
    }
    return ok;
}

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) {
        return false;
    }
    while (const dirent* item = readdir(dir.get())) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        // lstat: a link to a folder is not followed.
        const bool isFolder =
            lstat((folder + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        entries.push_back({name, isFolder});
    }
    return true;
}

void RemoveOneFile(const std::string& path) {
    unlink(path.c_str());
}

void RemoveEmptyFolder(const std::string& folder) {
    rmdir(folder.c_str());
}

void MakeFolderIfMissing(const std::string& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        mkdir(folder.c_str(), 0777);
    }
}

bool CopyOneFile(const std::string& source, const std::string& destination) {
    return CopyFile(source, destination);
}

}  // namespace velmora
