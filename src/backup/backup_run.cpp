#include "backup/backup_run.h"

#include <array>
#include <vector>

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
int ReadUnitName(TransferContext& context, RegisterImage& image) {
    std::array<std::uint8_t, kUnitNameBytes> name{};
    if (ReadRegisters(context.link, context.stationId, kUnitNameReg, kUnitNameBytes / 2,
                      name.data()) != 0) {
        return -1;
    }
    image.setUnitName(std::string(name.begin(), name.end()));
    return 0;
}

// Reads the whole controller into image. 0, -1 failed (message shown), -2 cancelled.
//
// Both areas are read twice and the two readings must agree. A reply that came twice or late
// can be taken for the answer to the next request that asks for as many registers, which
// shifts every later block by one. The second reading runs backwards, so such a fault shifts
// its values the other way and the readings differ wherever a value was shifted. No two
// neighbouring requests of either reading that ask for as many registers stand between the
// unit name and a parameter block. The first reading fills the bar to 50, the second to 100.
int ReadController(TransferContext& context, RegisterImage& image, ProgressShown& progress) {
    Ui& ui = context.ui;
    auto share = [&progress](int from, int span) {
        return [&progress, from, span](int done, int total) {
            progress.Show(from + done * span / total);
        };
    };
    auto cancelled = [&ui] { return ui.cancelRequested(); };
    auto failed = [&ui](int read) {
        if (read == -1) {
            ShowBackupError(ui);
        }
        return read;
    };
    ui.setStatusText(MessageText(kMsgProgressBackupInitialize));
    progress.Show(0);
    if (ReadUnitName(context, image) != 0 || ReadParameterArea(context, image, share(0, 25)) != 0) {
        return failed(-1);
    }
    if (ui.cancelRequested()) {
        return -2;
    }
    ui.setStatusText(MessageText(kMsgProgressBackupParameter));
    ui.setStatusText(MessageText(kMsgProgressBackupInitialize));
    if (const int read = ReadStepArea(context, image, share(26, 24), cancelled); read != 0) {
        return failed(read);
    }

    ui.setStatusText(MessageText(kMsgProgressBackupStep));
    progress.Show(51);
    RegisterImage again;
    if (ReadParameterArea(context, again, share(51, 24), ReadOrder::Backward) != 0 ||
        ReadUnitName(context, again) != 0) {
        return failed(-1);
    }
    if (const int read =
            ReadStepArea(context, again, share(76, 24), cancelled, ReadOrder::Backward);
        read != 0) {
        return failed(read);
    }
    bool sameName = true;
    for (std::uint16_t reg = kUnitNameReg; reg < kUnitNameReg + kUnitNameBytes / 2; ++reg) {
        sameName = sameName && image.get(reg) == again.get(reg);
    }
    if (!sameName || !CompareParameterArea(image, again).empty() ||
        !CompareSteps(image, kStepCount, again).empty()) {
        return failed(-1);
    }
    return 0;
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
