#include "transmit/transmit_worker.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "link/register_ops.h"
#include "sysfiles/language.h"
#include "transmit/parameter_writer.h"
#include "transmit/restore.h"
#include "transmit/step_writer.h"

namespace velmora {
namespace {

constexpr const char* kNoVersion = "0.00";
constexpr int kWritingMode = 200;
constexpr int kNormalMode = 1;
constexpr int kSettleBeforeBothMs = 1000;
constexpr int kSettleBeforeParametersMs = 1500;

enum WriteContents : int { kParametersAndSteps = 0, kParametersOnly = 1, kStepsOnly = 2 };

class Sequence {
  public:
    Sequence(TransferContext& context, const TransmitRequest& request, const TransmitHooks& hooks,
             const std::uint8_t checkValue[2])
        : context_(context), request_(request), hooks_(hooks), checkValue_(checkValue) {}

    // 0 when every step succeeded; -1 at the first that failed.
    int Run() {
        switch (request_.writeContents) {
            case kParametersAndSteps:
                return WithParameters(kSettleBeforeBothMs, 50, true);
            case kParametersOnly:
                return WithParameters(kSettleBeforeParametersMs, 100, false);
            case kStepsOnly:
                return StepsOnly();
            default:
                return 0;
        }
    }

  private:
    bool FromFile() const { return request_.fromFile == kFromBackupFile; }
    std::uint8_t Station() const { return context_.stationId; }

    int Parameters(int span) {
        return FromFile() ? WriteParametersFromBackup(context_, request_.record.strParamFile, span)
                          : WriteParametersFromData(context_, request_.record, span);
    }

    int Steps(int span, int offset) {
        return FromFile()
                   ? WriteStepsFromBackup(context_, request_.record.strParamFile, span, offset)
                   : WriteStepsFromData(context_, request_.record, span, offset);
    }

    void Wait(int ms) {
        if (hooks_.sleep) {
            hooks_.sleep(ms);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    }

    int WithParameters(int settleMs, int span, bool withSteps) {
        // A controller that missed the switch refuses the parameter blocks, which fails below.
        SetReg000CLow(context_.link, Station(), kWritingMode);
        Wait(settleMs);
        if (Parameters(span) != 0) {
            return -1;
        }
        if (withSteps && Steps(50, 50) != 0) {
            return -1;
        }
        if (WriteDateCode(context_.link, Station()) != 0) {
            return -1;
        }
        if (FromFile() && WriteReg00EE(context_.link, Station(), checkValue_) != 0) {
            return -1;
        }
        return SetReg000CLow(context_.link, Station(), kNormalMode);
    }

    int StepsOnly() {
        int saved = kNormalMode;
        if (GetReg000CLow(context_.link, Station(), saved) != 0 ||
            SetReg000CLow(context_.link, Station(), kNormalMode) != 0 || Steps(100, 0) != 0) {
            return -1;
        }
        return SetReg000CLow(context_.link, Station(), saved);
    }

    TransferContext& context_;
    const TransmitRequest& request_;
    const TransmitHooks& hooks_;
    const std::uint8_t* checkValue_;
};

void ShowOutcome(Ui& ui, int statusId, int contentsId) {
    ui.setStatusText(MessageText(statusId));
    ui.showMessage(MessageText(contentsId), MessageText(kMsgTransmitCompleteTitle),
                   MessageIcon::Information, MessageButtons::Ok);
}

}  // namespace

int TransmitWorker(TransferContext& context, const TransmitRequest& request,
                   const TransmitHooks& hooks) {
    Ui& ui = context.ui;
    std::string version;
    if (ReadVersion(context.link, context.stationId, version) != 0 || version.empty()) {
        ShowOutcome(ui, kMsgProgressStateWriteNg, kMsgTransmitNgContents);
        return -1;
    }
    if (version == kNoVersion) {
        if (hooks.showSvError) {
            hooks.showSvError();
        }
        return kTransmitSvError;
    }

    std::uint8_t checkValue[2] = {0, 0};
    int result = 0;
    if (request.fromFile == kFromBackupFile &&
        ReadRegisters(context.link, context.stationId, kRegCheckValue, 1, checkValue) != 0) {
        result = -1;
    } else {
        result = Sequence(context, request, hooks, checkValue).Run();
    }

    if (result == 0) {
        ShowOutcome(ui, kMsgProgressStateWritecomplete, kMsgTransmitCompleteContents);
    } else {
        ShowOutcome(ui, kMsgProgressStateWriteNg, kMsgTransmitNgContents);
    }
    if (hooks.showCaution) {
        hooks.showCaution();
    }
    return result == 0 ? 0 : -1;
}

}  // namespace velmora
