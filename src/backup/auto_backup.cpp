#include "backup/auto_backup.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "app/link_messages.h"
#include "backup/backup_run.h"
#include "model/backup_file.h"
#include "platform/local_time.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

bool FileNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

void ShowAutoBackupError(Ui& ui) {
    ui.showMessage(
        ComposeAlarmText(kMsgAutoBackupFailedContents, kMsgAutoBackupFailedCountermeasure),
        MessageText(kMsgAutoBackupFailedTitle), MessageIcon::Error, MessageButtons::Ok);
}

// A name not yet taken in folder: a second write within the same second must not replace the
// backup of the first.
fs::path FreePath(const fs::path& folder, const std::string& name) {
    fs::path path = folder / name;
    const std::string stem = path.stem().string();
    std::error_code error;
    for (int n = 2; fs::exists(path, error); ++n) {
        path = folder / (stem + "-" + std::to_string(n) + kBackupExtension);
    }
    return path;
}

}  // namespace

std::string AutoBackupFileName(const std::string& unitName, const std::tm& local) {
    std::string name;
    for (const char c : unitName) {
        if (c != '\0')
            name += FileNameCharacter(c) ? c : '_';
    }
    // Leading and trailing blanks of a padded name say nothing; dots there would hide the file.
    while (!name.empty() && (name.back() == '_' || name.back() == '.')) name.pop_back();
    while (!name.empty() && (name.front() == '_' || name.front() == '.')) name.erase(name.begin());
    if (name.empty())
        name = "controller";
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name + stamp + kBackupExtension;
}

std::string MakeAutoBackup(TransferContext& context, const std::string& folder) {
    Ui& ui = context.ui;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        ShowAutoBackupError(ui);
        return {};
    }
    ui.setStatusText(MessageText(kMsgAutoBackupProgress));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    LocalTime(now, local);
    ControllerContents contents;
    if (ReadWholeController(context, contents) != ControllerRead::Done) {
        ShowAutoBackupError(ui);
        return {};
    }
    // Jobs on several ports save at once, often under the same name and second: the free name
    // is only free until it is saved.
    static std::mutex savingMutex;
    std::unique_lock saving(savingMutex);
    const fs::path path = FreePath(folder, AutoBackupFileName(contents.image.unitName(), local));
    if (!SaveBackupFile(path.string(), contents, BackupTimestamp(local))) {
        saving.unlock();
        ShowAutoBackupError(ui);
        return {};
    }
    saving.unlock();
    PruneAutoBackups(folder, kAutoBackupsKept, path.string());
    return path.string();
}

std::size_t PruneAutoBackups(const std::string& folder, std::size_t keep,
                             const std::string& keepPath) {
    struct Entry {
        fs::file_time_type written;
        fs::path path;
    };
    std::vector<Entry> backups;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::error_code typeError;
        if (entry.is_regular_file(typeError) && entry.path().extension() == kBackupExtension) {
            backups.push_back({entry.last_write_time(typeError), entry.path()});
        }
    }
    if (backups.size() <= keep)
        return 0;
    std::sort(backups.begin(), backups.end(), [](const Entry& a, const Entry& b) {
        return a.written != b.written ? a.written < b.written : a.path < b.path;
    });
    std::size_t removed = 0;
    std::size_t left = backups.size();
    std::error_code sameError;
    for (const Entry& backup : backups) {
        if (left <= keep)
            break;
        if (fs::equivalent(backup.path, keepPath, sameError))
            continue;
        if (fs::remove(backup.path, error)) {
            ++removed;
            --left;
        }
    }
    return removed;
}

}  // namespace velmora
