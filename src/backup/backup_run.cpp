#include "backup/backup_run.h"

#include <array>
#include <vector>

#include "app/link_messages.h"
#include "link/register_ops.h"
#include "model/backup_file.h"
#include "model/file_ctrl.h"
#include "platform/atomic_file.h"
#include "sysfiles/language.h"
#include "transmit/area_transfer.h"

namespace velmora {
namespace {

// A backup on its way to disk. It lives under a temporary name beside the target, so that a
// technician who overwrites yesterday's backup and then loses the line keeps yesterday's file;
// only a finished backup replaces it. Anything not committed is removed when this goes.
class PendingBackupFile {
  public:
    // Makes the temporary file and opens it for writing. False when the target cannot be
    // written: folder missing or read-only, target read-only or not a plain file.
    bool Create(const std::string& path) {
        return file_.Create(path) &&
               text_.Open(file_.tempPath(), kFileModeWrite | kFileModeCreate | kFileShareExclusive);
    }

    void WriteText(const std::string& text) { text_.WriteText(text); }

    // Stores the text, makes it durable and puts it in the target's place. 0, or -1.
    int Commit() {
        if (text_.ScrambleAndWrite() != 0) {
            return -1;
        }
        // Unlocked before the rename: a reader must not find the finished backup locked.
        text_.Close();
        return file_.Commit() ? 0 : -1;
    }

  private:
    AtomicFile file_;  // declared first, so the text is closed before an unfinished file goes
    CFileCtrl text_;
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

// The whole unit name: the area read asks for its first half only. A backup that silently lost
// the name would restore an unnamed controller.
LinkStatus ReadUnitName(TransferContext& context, RegisterImage& image) {
    std::array<std::uint8_t, kUnitNameBytes> name{};
    const LinkStatus status = ReadRegisters(context.link, context.stationId, kUnitNameReg,
                                            kUnitNameBytes / 2, name.data());
    if (status.ok()) {
        image.setUnitName(std::string(name.begin(), name.end()));
    }
    return status;
}

bool SameUnitName(const RegisterImage& left, const RegisterImage& right) {
    for (std::uint16_t reg = kUnitNameReg; reg < kUnitNameReg + kUnitNameBytes / 2; ++reg) {
        if (left.get(reg) != right.get(reg)) {
            return false;
        }
    }
    return true;
}

// Reads the whole controller into image. After a failure on the line its message has been shown;
// readings that disagree are left to the caller to tell.
//
// Both areas are read twice and the two readings must agree. A reply that came twice or late
// can be taken for the answer to the next request that asks for as many registers, which
// shifts every later block by one. The second reading runs backwards, so such a fault shifts
// its values the other way and the readings differ wherever a value was shifted. The unit name
// is read where its neighbours ask for other counts. The first reading fills the bar to 50, the
// second to 100.
ControllerRead ReadController(TransferContext& context, RegisterImage& image,
                              ProgressShown& progress) {
    Ui& ui = context.ui;
    auto share = [&progress](int from, int span) {
        return [&progress, from, span](int done, int total) {
            progress.Show(from + done * span / total);
        };
    };
    auto cancelled = [&ui] { return ui.cancelRequested(); };
    auto failed = [&context, &ui](const LinkStatus& status) {
        context.linkFailure = status;
        ShowLinkError(ui, status);
        return ControllerRead::Failed;
    };
    ui.setStatusText(MessageText(kMsgProgressBackupInitialize));
    progress.Show(0);
    if (LinkStatus read = ReadUnitName(context, image); !read.ok()) {
        return failed(read);
    }
    if (LinkStatus read = ReadParameterArea(context, image, share(0, 25)); !read.ok()) {
        return failed(read);
    }
    if (ui.cancelRequested()) {
        return ControllerRead::Cancelled;
    }
    ui.setStatusText(MessageText(kMsgProgressBackupParameter));
    ui.setStatusText(MessageText(kMsgProgressBackupInitialize));
    if (const AreaOutcome read = ReadStepArea(context, image, share(26, 24), cancelled);
        !read.ok()) {
        return read.cancelled ? ControllerRead::Cancelled : failed(read.link);
    }

    ui.setStatusText(MessageText(kMsgProgressBackupStep));
    progress.Show(51);
    RegisterImage again;
    if (LinkStatus read = ReadParameterArea(context, again, share(51, 24), ReadOrder::Backward);
        !read.ok()) {
        return failed(read);
    }
    if (LinkStatus read = ReadUnitName(context, again); !read.ok()) {
        return failed(read);
    }
    if (const AreaOutcome read =
            ReadStepArea(context, again, share(76, 24), cancelled, ReadOrder::Backward);
        !read.ok()) {
        return read.cancelled ? ControllerRead::Cancelled : failed(read.link);
    }
    if (!SameUnitName(image, again) || !CompareParameterArea(image, again).empty() ||
        !CompareSteps(image, kStepCount, again).empty()) {
        // Readings that disagree come from a line that delivered replies twice or late.
        context.linkFailure = LinkStatus::Failed(LinkError::Mismatch);
        return ControllerRead::Failed;
    }
    return ControllerRead::Done;
}

}  // namespace

ControllerRead ReadWholeController(TransferContext& context, ControllerContents& contents) {
    if (const LinkStatus read = ReadVersion(context.link, context.stationId, contents.version);
        !read.ok()) {
        context.linkFailure = read;
        ShowLinkError(context.ui, read);
        return ControllerRead::Failed;
    }
    ProgressShown progress(context.ui);
    const ControllerRead read = ReadController(context, contents.image, progress);
    return read == ControllerRead::Done && context.ui.cancelRequested() ? ControllerRead::Cancelled
                                                                        : read;
}

bool SaveBackupFile(const std::string& path, const ControllerContents& contents,
                    const std::string& timestamp) {
    PendingBackupFile file;
    if (!file.Create(path)) {
        return false;
    }
    file.WriteText(FormatBackupText(contents.image, contents.version, timestamp));
    return file.Commit() == 0;
}

int RunBackup(TransferContext& context, const std::string& path) {
    Ui& ui = context.ui;
    const std::string timestamp = BackupTimestampNow();

    // Made before any reading, so that an unwritable folder is reported before the controller is
    // asked anything.
    PendingBackupFile file;
    if (!file.Create(path)) {
        ShowFileError(ui);
        return -1;
    }
    ControllerContents contents;
    switch (ReadWholeController(context, contents)) {
        case ControllerRead::Done:
            break;
        case ControllerRead::Failed:
            ShowBackupError(ui);
            return -1;
        case ControllerRead::Cancelled:
            return -1;  // the temporary file goes with `file`
    }
    file.WriteText(FormatBackupText(contents.image, contents.version, timestamp));
    if (file.Commit() != 0) {
        ShowFileError(ui);
        return -1;
    }
    ui.showMessage(MessageText(kMsgBackupCompleteContents), MessageText(kMsgBackupCompleteTitle),
                   MessageIcon::Information, MessageButtons::Ok);
    return 0;
}

}  // namespace velmora
