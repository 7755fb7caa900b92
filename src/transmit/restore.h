#pragma once

#include <string>

#include "transmit/transfer_context.h"

namespace velmora {

// Writes the "Parameter" section of a backup file into the controller and verifies the whole
// parameter area; span is the share of the progress bar (50 or 100). Rows the file lacks are
// expected to read back as 0. Shows its own message before returning -1.
int WriteParametersFromBackup(TransferContext& context, const std::string& path, int span);

// Writes the "StepData" section of a backup file into the 64 steps and verifies them;
// (span, offset) is (50, 50) after a parameter write or (100, 0) alone.
int WriteStepsFromBackup(TransferContext& context, const std::string& path, int span, int offset);

}  // namespace velmora
