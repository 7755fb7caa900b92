#pragma once

#include <functional>
#include <string>
#include <vector>

#include "transmit/transfer_context.h"
#include "transmit/transmit_request.h"
#include "transmit/write_source.h"

namespace velmora {

// What the worker leaves to its front end: the version-error dialog, the caution about the
// nameplate shown after a successful write, the waits after switching the controller into its
// writing mode (empty: a real sleep) and the text of the differing registers the verification
// box offers as its details (empty: the box has none).
struct TransmitHooks {
    std::function<void()> showSvError;
    std::function<void()> showCaution;
    std::function<void(int ms)> sleep;
    std::function<std::string(const std::vector<VerifyDifference>&)> verifyDetails;
    // Where the controller is backed up before anything is written (see MakeAutoBackup); empty:
    // no backup first. The file made is left in context.autoBackupPath.
    std::string autoBackupFolder;
};

// Results of TransmitWorker besides 0 (written and verified) and -1 (NG).
inline constexpr int kTransmitSvError = 2;  // the controller reports version 0.00: nothing sent
// The backup before the write failed (its message shown): nothing was written.
inline constexpr int kTransmitAutoBackupFailed = 3;

// One write as the transmit dialog runs it, of a source already read and validated (see
// LoadWriteSource): reads the controller's version, backs it up when asked to, switches it into its
// writing mode, writes the image (parameters and steps, parameters only or steps only) and verifies
// it by reading it back, stamps the date code and switches the mode back. Status texts, progress
// and messages go through context.ui. A step that fails ends the write at once and leaves the
// controller as that step left it.
int TransmitWorker(TransferContext& context, const WriteSource& source, const TransmitHooks& hooks);

}  // namespace velmora
