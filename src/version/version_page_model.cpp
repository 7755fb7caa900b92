#include "version/version_page_model.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "app/link_messages.h"
#include "link/register_ops.h"
#include "platform/folder_utils.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNoControllerVersion = "---";

// Absolute, with every link resolved; empty when the path cannot be resolved.
std::string RealPath(const std::string& path) {
    std::error_code error;
    return fs::canonical(path, error).string();
}

// True when path is folder itself or lies below it.
bool IsWithin(const std::string& path, const std::string& folder) {
    if (path == folder) {
        return true;
    }
    if (folder == "/") {
        return true;
    }
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

bool MakeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directory(path, error);
    return fs::is_directory(path, error);
}

// A new empty folder named prefix + six random characters. Unlike mkdtemp it gets the mode the
// umask allows, so a data set renamed into place looks like one the copy would have made.
std::string MakeUniqueFolder(const std::string& prefix) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = prefix;
        for (int i = 0; i < 6; ++i) {
            path += kChars[pick(generator)];
        }
        std::error_code error;
        if (fs::create_directory(path, error)) {
            return path;
        }
        // A taken name is tried again; any other failure would only repeat.
        if (error && error != std::errc::file_exists) {
            break;
        }
    }
    return {};
}

bool IsListableFolder(const std::string& path) {
    std::error_code error;
    fs::directory_iterator listing(path, error);
    return !error;
}

// A link counts, whatever it points to.
bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

void ShowUpdateFailure(Ui& ui) {
    ui.showMessage(
        ComposeAlarmText(kMsgFileOverwriteNgContents, kMsgFileOverwriteNgCountermeasureContents),
        MessageText(kMsgFileOverwriteTitle), MessageIcon::Error, MessageButtons::Ok);
}

// Puts the copy of source in place of target. The copy is made beside the target first and the
// old set is swapped out only once the copy is complete, so a copy that fails half-way leaves
// the old set exactly as it was instead of an emptied target.
bool InstallDataSet(const std::string& source, const std::string& dataFolder,
                    const std::string& name, bool targetExists) {
    const std::string target = dataFolder + "/" + name;
    if (targetExists && !IsListableFolder(target)) {
        return false;
    }
    // CopyTree makes a destination folder only for its files; the temporary folder exists
    // already, so a source whose files all lie in sub-folders copies as well.
    const std::string fresh = MakeUniqueFolder(dataFolder + "/." + name + ".new-");
    if (fresh.empty()) {
        return false;
    }
    if (CopyTree(source, fresh) != 0) {
        DeleteTree(fresh);
        return false;
    }
    std::string old;
    if (targetExists) {
        // Renaming a folder onto an empty one replaces it, so the reserved name stays unique.
        old = MakeUniqueFolder(dataFolder + "/." + name + ".old-");
        std::error_code error;
        if (!old.empty()) {
            fs::rename(target, old, error);
        }
        if (old.empty() || error) {
            if (!old.empty()) {
                fs::remove(old, error);
            }
            DeleteTree(fresh);
            return false;
        }
    }
    std::error_code error;
    fs::rename(fresh, target, error);
    if (error) {
        if (targetExists) {
            fs::rename(old, target, error);
        }
        DeleteTree(fresh);
        return false;
    }
    if (targetExists) {
        DeleteTree(old);
        // A leftover old set would be loaded as a second copy of its actuators.
        if (Exists(old)) {
            return false;
        }
    }
    return true;
}

}  // namespace

VersionPageModel::VersionPageModel()
    : referenceVersionText_(MessageText(kDlgTopTab3TxtNodatafile)),
      controllerVersionText_(kNoControllerVersion) {}

std::string VersionPageModel::softwareVersionText() const {
    return std::string("Ver") + kProgramVersion;
}

void VersionPageModel::resetReferenceVersionText() {
    referenceVersionText_ = MessageText(kDlgTopTab3TxtNodatafile);
}

int VersionPageModel::ReadControllerVersion(RtuMaster& link, Ui& ui) {
    const auto station = static_cast<std::uint8_t>(App().commSettings.activeStationId & 0xFF);
    std::string version;
    if (const LinkStatus read = ReadVersion(link, station, version); !read.ok()) {
        ShowLinkError(ui, read);
        controllerVersionText_ = kNoControllerVersion;
        return -1;
    }
    controllerVersionText_ = "SV " + version;
    App().lastCheck.controllerVersion = version;
    return 0;
}

int RunDataUpdate(const std::string& chosenFolder, Ui& ui, bool& reloadNeeded) {
    reloadNeeded = false;
    std::string folder = chosenFolder;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    std::vector<std::string> found;
    if (FindFileInTree(folder, kAdapterListFileName, found) == 0 || found.empty()) {
        ui.showMessage(ComposeAlarmText(kMsgFileOverwriteWrongSelectionContents,
                                        kMsgFileOverwriteWrongSelectionCountermeasureContents),
                       MessageText(kMsgFileOverwriteTitle), MessageIcon::Error, MessageButtons::Ok);
        return -1;
    }
    const std::string dataFolder = ModulePath(kDataFolder);
    if (!MakeFolder(ModulePath("/System")) || !MakeFolder(dataFolder)) {
        ShowUpdateFailure(ui);
        return -1;
    }
    struct DataSet {
        std::string source;
        std::string name;
    };
    std::vector<DataSet> sets;
    const std::string realDataFolder = RealPath(dataFolder);
    for (const std::string& listFile : found) {
        const std::string source = listFile.substr(0, listFile.find_last_of('/'));
        const std::string name = source.substr(source.find_last_of('/') + 1);
        // Replacing a set with a copy of itself, of a folder inside it, or of a folder holding
        // the data folder would destroy or endlessly copy its own source. Checked for every set
        // before the first is touched, so a refused choice changes nothing.
        const std::string realSource = RealPath(source);
        const std::string realTarget = realDataFolder + "/" + name;
        if (name.empty() || realSource.empty() || realDataFolder.empty() ||
            IsWithin(realSource, realTarget) || IsWithin(realTarget, realSource)) {
            ShowUpdateFailure(ui);
            return -1;
        }
        sets.push_back({source, name});
    }
    bool confirmed = false;
    for (const auto& [source, name] : sets) {
        const std::string target = dataFolder + "/" + name;
        const bool targetExists = Exists(target);
        if (targetExists && !confirmed) {
            const MessageAnswer answer = ui.showMessage(
                MessageText(kMsgFileOverwriteCheckContents), MessageText(kMsgFileOverwriteTitle),
                MessageIcon::Question, MessageButtons::YesNo);
            if (answer != MessageAnswer::Yes) {
                return 1;
            }
            confirmed = true;
        }
        if (!InstallDataSet(source, dataFolder, name, targetExists)) {
            ShowUpdateFailure(ui);
            return -1;
        }
    }
    reloadNeeded = true;
    ui.showMessage(MessageText(kMsgFileOverwriteOkContents), MessageText(kMsgFileOverwriteTitle),
                   MessageIcon::Information, MessageButtons::Ok);
    return 0;
}

}  // namespace velmora
