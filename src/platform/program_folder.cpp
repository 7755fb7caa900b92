#include "platform/program_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/folder_utils.h"
#include "platform/program_folder_os.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSystemFolder = "System";
constexpr const char* kSettingsFile = "/CommunicationSetting.ini";

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The program writes its settings file back and copies data updates into System/Data.
bool IsWritableSystem(const std::string& system) {
    if (!IsFolder(system) || !CanWriteIntoFolder(system)) {
        return false;
    }
    const std::string settings = system + kSettingsFile;
    std::error_code error;
    return !fs::exists(settings, error) || CanWriteFile(settings);
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

// A copy of a read-only source keeps its permission bits; the user must be able to write his.
void MakeOwnerWritable(const std::string& folder) {
    std::error_code error;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, error);
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_symlink(error)) {
            continue;
        }
        const fs::perms wanted = it->is_directory(error)
                                     ? fs::perms::owner_all
                                     : fs::perms::owner_read | fs::perms::owner_write;
        std::error_code ignored;
        fs::permissions(it->path(), wanted, fs::perm_options::add, ignored);
    }
}

// Copies source to userFolder/System through a temporary folder, so that a copy broken off
// half-way is never taken for a complete one. True when userFolder/System exists afterwards.
bool MakeUserCopy(const std::string& source, const std::string& userFolder) {
    const std::string target = userFolder + kSystemFolder;
    std::error_code error;
    fs::create_directories(userFolder, error);
    if (!IsFolder(userFolder)) {
        return false;
    }
    const std::string scratch = MakeScratchFolder(userFolder + ".System-");
    if (scratch.empty()) {
        return false;
    }
    // CopyTree makes one folder level at a time; a folder holding only folders (Data/) needs its
    // tree laid out first.
    for (fs::recursive_directory_iterator it(source, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) {
            fs::create_directories(fs::path(scratch) / it->path().lexically_relative(source),
                                   error);
        }
    }
    if (error || CopyTree(source, scratch) != 0) {
        DeleteTree(scratch);
        return false;
    }
    MakeOwnerWritable(scratch);
    if (std::rename(scratch.c_str(), target.c_str()) != 0) {
        // Another start may have made the copy meanwhile; that one is kept.
        DeleteTree(scratch);
    }
    return IsFolder(target);
}

}  // namespace

EnvLookup ProcessEnvironment() {
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
}

std::string InstalledShareFolder(const std::string& executableFolder) {
    const fs::path share = fs::path(WithSlash(executableFolder)) / ".." / "share" / "velmora" / "";
    return share.lexically_normal().string();
}

std::string ShippedProgramFolder(const std::string& executableFolder) {
    if (executableFolder.empty()) {
        return {};
    }
    const std::string beside = WithSlash(executableFolder);
    if (IsFolder(beside + kSystemFolder)) {
        return beside;
    }
    const std::string shared = InstalledShareFolder(beside);
    return IsFolder(shared + kSystemFolder) ? shared : std::string();
}

std::string ResolveProgramFolder(const std::string& executableFolder, const EnvLookup& env) {
    if (executableFolder.empty()) {
        return executableFolder;
    }
    const std::string beside = WithSlash(executableFolder);
    if (IsWritableSystem(beside + kSystemFolder)) {
        return beside;
    }
    const std::string sourceFolder = ShippedProgramFolder(beside);

    const std::string user = UserProgramFolder(env);
    if (!user.empty()) {
        if (IsFolder(user + kSystemFolder)) {
            return user;
        }
        if (!sourceFolder.empty() && MakeUserCopy(sourceFolder + kSystemFolder, user)) {
            return user;
        }
    }
    // Read-only, but the program can still read its texts, rules and data.
    return sourceFolder.empty() ? beside : sourceFolder;
}

}  // namespace velmora
