#include <fcntl.h>
#include <io.h>

#include <filesystem>
#include <random>

#include "platform/atomic_file.h"
#include "platform/win32_util.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Keeps the temporary name short enough for any file system however long the target's is.
constexpr std::size_t kMaxTempStem = 200;

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

std::string RandomSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        suffix.push_back(kLetters[pick(random)]);
    }
    return suffix;
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
    const DWORD attributes = ::GetFileAttributesW(win32::WidePath(path.string()).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return false;
    }
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    const std::string stem = "/." + path.filename().string().substr(0, kMaxTempStem) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = folder + stem + RandomSuffix();
        // Shared for writing and deleting: the pending file may be opened again by its path.
        win32::UniqueHandle file(
            ::CreateFileW(win32::WidePath(temp).c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            if (::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return false;
        }
        const int fd =
            ::_open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_BINARY | _O_NOINHERIT);
        if (fd < 0) {
            ::DeleteFileW(win32::WidePath(temp).c_str());
            return false;
        }
        file.release();
        fd_ = UniqueFd(fd);
        tempPath_ = std::move(temp);
        target_ = path.string();
        folder_ = folder;
        return true;
    }
    return false;
}

bool AtomicFile::Write(std::string_view bytes) {
    if (!fd_) {
        return false;
    }
    const HANDLE file = HandleOf(fd_.get());
    while (!bytes.empty()) {
        DWORD put = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!::WriteFile(file, bytes.data(), size, &put, nullptr) || put == 0) {
            return false;
        }
        bytes.remove_prefix(put);
    }
    return true;
}

bool AtomicFile::Commit() {
    if (!fd_) {
        return false;
    }
    if (!::FlushFileBuffers(HandleOf(fd_.get()))) {
        return false;
    }
    if (::_close(fd_.release()) != 0) {
        return false;
    }
    const std::wstring temp = win32::WidePath(tempPath_);
    const std::wstring target = win32::WidePath(target_);
    // ReplaceFileW keeps the target's attributes and access rights, as the POSIX build keeps
    // its permission bits; a new target (or a file system without it) takes a plain move.
    const bool replaced = ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0 ||
                          ::MoveFileExW(temp.c_str(), target.c_str(),
                                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) {
        return false;
    }
    tempPath_.clear();
    return true;
}

void AtomicFile::Discard() {
    fd_.reset();
    if (!tempPath_.empty()) {
        ::DeleteFileW(win32::WidePath(tempPath_).c_str());
        tempPath_.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFile file;
    return file.Create(path) && file.Write(bytes) && file.Commit();
}

}  // namespace velmora
