#include "backup/backup_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "model/file_ctrl.h"
#include "link/register_ops.h"
#include "model/backup_file.h"
#include "platform/unique_fd.h"
#include "sysfiles/language.h"
#include "transmit/area_transfer.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Keeps the temporary name short enough for any file system however long the target's is.
constexpr std::size_t kMaxTempStem = 200;

mode_t CurrentUmask() {
    // Reading it from the kernel avoids umask()'s set-and-restore, which races other threads.
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

// A backup on its way to disk. It lives under a temporary name beside the target, so that a
// technician who overwrites yesterday's backup and then loses the line keeps yesterday's file;
// only a finished backup replaces it. Anything not committed is removed when this goes.
class PendingBackupFile {
  public:
    PendingBackupFile() = default;
    PendingBackupFile(const PendingBackupFile&) = delete;
    PendingBackupFile& operator=(const PendingBackupFile&) = delete;
    ~PendingBackupFile() { Discard(); }

    // Makes the temporary file and opens it for writing. False when the target cannot be
    // written: folder missing or read-only, target read-only or not a plain file.
    bool Create(const std::string& path) {
        fs::path target(path);
        std::error_code error;
        // Replace what a link points to, not the link itself.
        if (fs::is_symlink(target, error)) {
            const fs::path resolved = fs::weakly_canonical(target, error);
            if (!error) {
                target = resolved;
            }
        }
        if (!target.has_filename()) {
            return false;
        }
        struct stat info {};
        if (::stat(target.c_str(), &info) == 0) {
            if (!S_ISREG(info.st_mode) || ::access(target.c_str(), W_OK) != 0) {
                return false;
            }
            mode_ = info.st_mode & 0777;
        } else {
            mode_ = 0666 & ~CurrentUmask();
        }
        folder_ = target.has_parent_path() ? target.parent_path().string() : std::string(".");
        target_ = target.string();

        std::string stem = target.filename().string().substr(0, kMaxTempStem);
        std::string pattern = folder_ + "/." + stem + ".XXXXXX";
        UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
        if (!fd) {
            return false;
        }
        tempPath_ = pattern;
        fd_ = std::move(fd);
        return file_.Open(tempPath_, kFileModeWrite | kFileModeCreate | kFileShareExclusive);
    }

    void WriteText(const std::string& text) { file_.WriteText(text); }

    // Stores the text, makes it durable and puts it in the target's place. 0, or -1.
    int Commit() {
        if (tempPath_.empty() || file_.ScrambleAndWrite() != 0) {
            return -1;
        }
        // The temporary file was made private; give it the target's permissions before it
        // becomes the target.
        ::fchmod(fd_.get(), mode_);
        if (::fsync(fd_.get()) != 0) {
            return -1;
        }
        file_.Close();
        if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
            return -1;
        }
        tempPath_.clear();
        fd_.reset();
        SyncFolder(folder_);
        return 0;
    }

    void Discard() {
        file_.Close();
        fd_.reset();
        if (!tempPath_.empty()) {
            ::unlink(tempPath_.c_str());
            tempPath_.clear();
        }
    }

  private:
    CFileCtrl file_;
    UniqueFd fd_;
    std::string tempPath_;
    std::string target_;
    std::string folder_;
    mode_t mode_ = 0644;
};

void ShowBackupError(Ui& ui) {
    ui.showMessage(
        ComposeAlarmText(kMsgBackupErrorAlarmContents, kMsgBackupErrorAlarmCountermeasureContents),
        MessageText(kMsgBackupErrorTitle), MessageIcon::Error, MessageButtons::Ok);
}

void ShowFileError(Ui& ui) {
    ui.showMessage(ComposeAlarmText(kMsgFileOpenFailedContents, kMsgFileOpenFailedCountermeasure),
                   MessageText(kMsgFileOpenFailedTitle), MessageIcon::Error, MessageButtons::Ok);
}

// Redraws the bar only when the percentage changes, which bounds the redraws of a whole
// backup to 101.
class ProgressShown {
  public:
    explicit ProgressShown(Ui& ui) : ui_(ui) {}
    void Show(int percent) {
        if (percent != last_) {
            last_ = percent;
            ui_.setProgress(percent);
        }
    }

  private:
    Ui& ui_;
    int last_ = -1;
};

// Reads the whole controller into image. 0, -1 failed (message shown), -2 cancelled. The
// parameter part fills the bar to 50, the steps from 51 to 100.
int ReadController(TransferContext& context, RegisterImage& image, ProgressShown& progress) {
    Ui& ui = context.ui;
    ui.setStatusText(MessageText(kMsgProgressBackupInitialize));
    progress.Show(0);
    if (ReadParameterArea(context, image, [&progress](int done, int total) {
            progress.Show(done * 50 / total);
        }) != 0) {
        ShowBackupError(ui);
        return -1;
    }
    if (ui.cancelRequested()) {
        return -2;
    }
    ui.setStatusText(MessageText(kMsgProgressBackupParameter));
    // The whole unit name: the area read asks for its first half only. A backup that silently
    // lost the name would restore an unnamed controller.
    std::array<std::uint8_t, kUnitNameBytes> name{};
    if (ReadRegisters(context.link, context.stationId, kUnitNameReg, kUnitNameBytes / 2,
                      name.data()) != 0) {
        ShowBackupError(ui);
        return -1;
    }
    image.setUnitName(std::string(name.begin(), name.end()));

    ui.setStatusText(MessageText(kMsgProgressBackupInitialize));
    const int read = ReadStepArea(
        context, image, [&progress](int done, int total) { progress.Show(51 + done * 49 / total); },
        [&ui] { return ui.cancelRequested(); });
    if (read == -1) {
        ShowBackupError(ui);
    }
    if (read == 0) {
        ui.setStatusText(MessageText(kMsgProgressBackupStep));
    }
    return read;
}

}  // namespace

int RunBackup(TransferContext& context, const std::string& path) {
    Ui& ui = context.ui;
    const std::string timestamp = BackupTimestampNow();

    std::string controllerVersion;
    if (ReadVersion(context.link, context.stationId, controllerVersion) != 0) {
        ShowBackupError(ui);
        return -1;
    }

    // Made before any reading, so that an unwritable folder is reported at once.
    PendingBackupFile file;
    if (!file.Create(path)) {
        ShowFileError(ui);
        return -1;
    }

    ProgressShown progress(ui);
    RegisterImage image;
    if (ReadController(context, image, progress) != 0 || ui.cancelRequested()) {
        return -1;  // the message, if any, has been shown; the temporary file goes with `file`
    }
    file.WriteText(FormatBackupText(image, controllerVersion, timestamp));

    if (file.Commit() != 0) {
        ShowFileError(ui);
        return -1;
    }
    ui.showMessage(MessageText(kMsgBackupCompleteContents), MessageText(kMsgBackupCompleteTitle),
                   MessageIcon::Information, MessageButtons::Ok);
    return 0;
}

}  // namespace velmora
