#pragma once

#include <string>

#include "transmit/transfer_context.h"

namespace velmora {

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
