#include "transmit/transmit_worker.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "app/link_messages.h"
#include "backup/auto_backup.h"
#include "link/register_ops.h"
#include "sysfiles/language.h"
#include "transmit/area_transfer.h"
#include "transmit/transmit_messages.h"

namespace velmora {
namespace {

constexpr const char* kNoVersion = "0.00";
constexpr int kWritingMode = 200;
constexpr int kNormalMode = 1;
constexpr int kSettleBeforeBothMs = 1000;
constexpr int kSettleBeforeParametersMs = 1500;

// The progress bar's share of one part of the write: writing, then reading back.
class PartProgress {
  public:
    PartProgress(Ui& ui, int offset, int span) : ui_(ui), offset_(offset), span_(span) {}

    // Writing takes the first half of the span, the read-back the second.
    RequestProgress Writing() {
        return [this](int done, int total) { Show(done, total, 0); };
    }
    RequestProgress Verifying() {
        return [this](int done, int total) { Show(done, total, 1); };
    }

  private:
    void Show(int done, int total, int half) {
        const int within = total > 0 ? (span_ * (2 * done + half * 2 * total)) / (4 * total) : 0;
        const int percent = offset_ + within;
        if (percent != shown_) {
            shown_ = percent;
            ui_.setProgress(percent);
        }
    }

    Ui& ui_;
    int offset_;
    int span_;
    int shown_ = -1;
};

void CollectDifferences(TransferContext& context, const std::vector<RegisterDifference>& found) {
    if (context.differences != nullptr) {
        context.differences->insert(context.differences->end(), found.begin(), found.end());
    }
}

class Sequence {
  public:
    Sequence(TransferContext& context, const WriteSource& source, const TransmitHooks& hooks,
             const std::uint8_t checkValue[2])
        : context_(context), source_(source), hooks_(hooks), checkValue_(checkValue) {}

    // 0 when every step succeeded; -1 at the first that failed.
    int Run() {
        switch (source_.contents) {
            case WriteContents::ParametersAndSteps:
                return WithParameters(kSettleBeforeBothMs, 50, true);
            case WriteContents::ParametersOnly:
                return WithParameters(kSettleBeforeParametersMs, 100, false);
            case WriteContents::StepsOnly:
                return StepsOnly();
        }
        return 0;
    }

  private:
    // True when the request cycle succeeded; otherwise shows why.
    bool Done(const LinkStatus& status) {
        if (!status.ok()) {
            context_.linkFailure = status;
            ShowLinkError(context_.ui, status);
        }
        return status.ok();
    }

    bool FromFile() const { return source_.request.fromFile == kFromBackupFile; }

    std::string VerifyDetails(const std::vector<RegisterDifference>& differences) const {
        return hooks_.verifyDetails ? hooks_.verifyDetails(differences) : std::string();
    }
    std::uint8_t Station() const { return context_.stationId; }

    // The parameter area as the image gives it, the writing mode kept in register 0x000C's
    // low byte whatever the source holds there.
    RegisterImage ParameterImage() const {
        RegisterImage image = source_.image;
        image.set(kModeReg,
                  static_cast<std::uint16_t>((image.get(kModeReg) & 0xFF00) | kWritingModeLowByte));
        return image;
    }

    int Parameters(int span) {
        Ui& ui = context_.ui;
        PartProgress progress(ui, 0, span);
        ui.setStatusText(MessageText(kMsgProgressStateParameterwrite));
        // A data set write reads the area first, as the controller has always been asked; the
        // image already holds every register, so the values read are not needed.
        if (!FromFile()) {
            RegisterImage current;
            if (!Done(ReadParameterArea(context_, current))) {
                return -1;
            }
        }
        const RegisterImage image = ParameterImage();
        if (!Done(WriteParameterArea(context_, image, progress.Writing()))) {
            return -1;
        }
        ui.setStatusText(MessageText(kMsgProgressStateVerify));
        RegisterImage read;
        if (!Done(ReadParameterArea(context_, read, progress.Verifying()))) {
            return -1;
        }
        const auto differences = CompareParameterArea(image, read);
        if (!differences.empty()) {
            CollectDifferences(context_, differences);
            ShowVerifyError(ui, VerifyDetails(differences));
            return -1;
        }
        return 0;
    }

    int Steps(int span, int offset) {
        Ui& ui = context_.ui;
        PartProgress progress(ui, offset, span);
        ui.setStatusText(MessageText(kMsgProgressStateStepwrite));
        if (!Done(WriteSteps(context_, source_.image, source_.stepCount, progress.Writing()))) {
            return -1;
        }
        ui.setStatusText(MessageText(kMsgProgressStateVerify));
        RegisterImage read;
        if (!Done(ReadStepArea(context_, read, progress.Verifying()).link)) {
            return -1;
        }
        const auto differences = CompareSteps(source_.image, source_.stepCount, read);
        if (!differences.empty()) {
            CollectDifferences(context_, differences);
            ShowVerifyError(ui, VerifyDetails(differences));
            return -1;
        }
        return 0;
    }

    void Wait(int ms) {
        if (hooks_.sleep) {
            hooks_.sleep(ms);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    }

    int WithParameters(int settleMs, int span, bool withSteps) {
        // Nothing is written into a controller that did not take the switch to writing mode.
        context_.writingBegan = true;
        if (!Done(SetReg000CLow(context_.link, Station(), kWritingMode))) {
            return -1;
        }
        Wait(settleMs);
        if (Parameters(span) != 0) {
            return -1;
        }
        if (withSteps && Steps(50, 50) != 0) {
            return -1;
        }
        if (!Done(WriteDateCode(context_.link, Station()))) {
            return -1;
        }
        if (FromFile() && !Done(WriteReg00EE(context_.link, Station(), checkValue_))) {
            return -1;
        }
        return Done(SetReg000CLow(context_.link, Station(), kNormalMode)) ? 0 : -1;
    }

    int StepsOnly() {
        int saved = kNormalMode;
        if (!Done(GetReg000CLow(context_.link, Station(), saved))) {
            return -1;
        }
        context_.writingBegan = true;
        if (!Done(SetReg000CLow(context_.link, Station(), kNormalMode)) || Steps(100, 0) != 0) {
            return -1;
        }
        return Done(SetReg000CLow(context_.link, Station(), saved)) ? 0 : -1;
    }

    TransferContext& context_;
    const WriteSource& source_;
    const TransmitHooks& hooks_;
    const std::uint8_t* checkValue_;
};

void ShowOutcome(Ui& ui, int statusId, int contentsId, MessageIcon icon) {
    ui.setStatusText(MessageText(statusId));
    ui.showMessage(MessageText(contentsId), MessageText(kMsgTransmitCompleteTitle), icon,
                   MessageButtons::Ok);
}

}  // namespace

int TransmitWorker(TransferContext& context, const WriteSource& source,
                   const TransmitHooks& hooks) {
    Ui& ui = context.ui;
    std::string version;
    if (const LinkStatus read = ReadVersion(context.link, context.stationId, version);
        !read.ok() || version.empty()) {
        context.linkFailure = read;
        ShowLinkError(ui, read);
        ShowOutcome(ui, kMsgProgressStateWriteNg, kMsgTransmitNgContents, MessageIcon::Error);
        return -1;
    }
    if (version == kNoVersion) {
        if (hooks.showSvError) {
            hooks.showSvError();
        }
        ui.setStatusText(MessageText(kMsgProgressStateNothingWritten));
        return kTransmitSvError;
    }

    const bool known = source.request.writeContents >= 0 && source.request.writeContents <= 2;
    if (known && !hooks.autoBackupFolder.empty()) {
        context.autoBackupPath = MakeAutoBackup(context, hooks.autoBackupFolder);
        if (context.autoBackupPath.empty()) {
            ui.setStatusText(MessageText(kMsgProgressStateNothingWritten));
            return kTransmitAutoBackupFailed;
        }
        ui.setProgress(0);
    }
    std::uint8_t checkValue[2] = {0, 0};
    int result = 0;
    if (source.request.fromFile == kFromBackupFile) {
        const LinkStatus read =
            ReadRegisters(context.link, context.stationId, kRegCheckValue, 1, checkValue);
        context.linkFailure = read;
        ShowLinkError(ui, read);
        result = read.ok() ? 0 : -1;
    }
    if (result == 0 && known) {
        result = Sequence(context, source, hooks, checkValue).Run();
    }

    if (result != 0) {
        ShowOutcome(ui, kMsgProgressStateWriteNg, kMsgTransmitNgContents, MessageIcon::Error);
        return -1;
    }
    ShowOutcome(ui, kMsgProgressStateWritecomplete, kMsgTransmitCompleteContents,
                MessageIcon::Information);
    // Relabelling is advised only for a controller that now holds the new data.
    if (hooks.showCaution) {
        hooks.showCaution();
    }
    return 0;
}

}  // namespace velmora
