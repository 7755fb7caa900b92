#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Keeps the temporary name short enough for any file system however long the target's is.
constexpr std::size_t kMaxTempStem = 200;

mode_t CurrentUmask() {
    // umask() can only be read by setting it, which would race with other threads.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        }
    }
    return 022;
}

void SyncFolder(const std::string& folder) {
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        ::fsync(dir.get());
    }
}

}  // namespace

bool AtomicFile::Create(const std::string& target) {
    Discard();
    fs::path path(target);
    std::error_code error;
    // Replace what a link points to, not the link itself.
    if (fs::is_symlink(path, error)) {
        fs::path resolved = fs::canonical(path, error);
        if (!error) {
            path = std::move(resolved);
        }
    }
    if (!path.has_filename()) {
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || ::access(path.c_str(), W_OK) != 0) {
            return false;
        }
        mode_ = info.st_mode & 0777;
    } else {
        mode_ = 0666 & ~CurrentUmask();
    }
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    std::string pattern =
        folder + "/." + path.filename().string().substr(0, kMaxTempStem) + ".XXXXXX";
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd) {
        return false;
    }
    fd_ = std::move(fd);
    tempPath_ = std::move(pattern);
    target_ = path.string();
    folder_ = folder;
    return true;
}

bool AtomicFile::Write(std::string_view bytes) {
    if (!fd_) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool AtomicFile::Commit() {
    if (!fd_) {
        return false;
    }
    // mkostemp made the file private; a file system that refuses the change only leaves it so.
    ::fchmod(fd_.get(), static_cast<mode_t>(mode_));
    if (::fsync(fd_.get()) != 0) {
        return false;
    }
    // A failing close can report a delayed write error.
    if (::close(fd_.release()) != 0) {
        return false;
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        return false;
    }
    tempPath_.clear();
    // Makes the rename itself durable; the new file is in place either way.
    SyncFolder(folder_);
    return true;
}

void AtomicFile::Discard() {
    fd_.reset();
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFile file;
    return file.Create(path) && file.Write(bytes) && file.Commit();
}

}  // namespace velmora
