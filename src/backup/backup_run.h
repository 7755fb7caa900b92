#pragma once

#include <string>

#include "model/register_image.h"
#include "transmit/transfer_context.h"

namespace velmora {

// The controller as a backup reads it: its software version, both register areas and the unit
// name.
struct ControllerContents {
    std::string version;
    RegisterImage image;
};

enum class ControllerRead { Done, Failed, Cancelled };

// Reads the version and the whole controller as a backup does: both areas twice, the second
// time backwards, and the two readings must agree. Status texts, progress (0 to 100) and cancel
// polling go through context.ui. After a failure on the line its message has been shown and
// context.linkFailure says why; readings that disagree fail with Mismatch there and no message.
ControllerRead ReadWholeController(TransferContext& context, ControllerContents& contents);

// Stores contents as a backup file at path, atomically: false when it cannot be written, and then
// an older file of that name stays as it was. Nothing is shown.
bool SaveBackupFile(const std::string& path, const ControllerContents& contents,
                    const std::string& timestamp);

// Reads the controller's parameter area and all 64 steps and saves them as a backup file at
// path. Status texts, progress (0 to 50 over the parameters, 51 to 100 over the steps),
// cancel polling and messages go through context.ui. 0 after the completion message; -1 after
// a failure message, or silently when cancelled.
//
// The file is written beside the target under a temporary name and renamed over it only when
// everything was read and stored; a failed or cancelled backup leaves no new file and keeps
// any older file of that name as it was.
int RunBackup(TransferContext& context, const std::string& path);

}  // namespace velmora
