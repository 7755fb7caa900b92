#include <memory>

#include "platform/folder_listing.h"
#include "platform/folder_utils.h"
#include "platform/win32_util.h"

namespace velmora {
namespace {

struct FindCloser {
    void operator()(HANDLE find) const { ::FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(win32::WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether two names lead to the same file (volume and file index agree).
bool SameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION infoA{};
    BY_HANDLE_FILE_INFORMATION infoB{};
    const auto open = [](const std::wstring& name) {
        return win32::UniqueHandle(
            ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    const win32::UniqueHandle fileA = open(a);
    const win32::UniqueHandle fileB = open(b);
    return fileA && fileB && ::GetFileInformationByHandle(fileA.get(), &infoA) &&
           ::GetFileInformationByHandle(fileB.get(), &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
           infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

// A read-only copy would refuse the next update over it.
bool CopyFileOver(const std::string& source, const std::string& destination) {
    const std::wstring from = win32::WidePath(source);
    const std::wstring to = win32::WidePath(destination);
    if (SameFile(from, to)) {
        return false;  // the copy would take the place of its own source
    }
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ::SetFileAttributesW(to.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    // A copy that fails leaves no half-copied file behind to look valid.
    if (::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        return true;
    }
    ::DeleteFileW(to.c_str());
    return false;
}

}  // namespace

// A junction or link to a folder counts as a file, so walks never descend through it.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = win32::WidePath(folder + "/*");
    FindHandle find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, 0));
    if (find.get() == INVALID_HANDLE_VALUE) {
        find.release();
        return false;
    }
    do {
        const std::string name = win32::Narrow(data.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                              (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        entries.push_back({name, isFolder});
    } while (::FindNextFileW(find.get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

void RemoveOneFile(const std::string& path) {
    const std::wstring wide = win32::WidePath(path);
    ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files too
    ::DeleteFileW(wide.c_str());
}

void RemoveEmptyFolder(const std::string& folder) {
    ::RemoveDirectoryW(win32::WidePath(folder).c_str());
}

void MakeFolderIfMissing(const std::string& folder) {
    if (!IsFolder(folder)) {
        ::CreateDirectoryW(win32::WidePath(folder).c_str(), nullptr);
    }
}

bool CopyOneFile(const std::string& source, const std::string& destination) {
    return CopyFileOver(source, destination);
}

}  // namespace velmora
