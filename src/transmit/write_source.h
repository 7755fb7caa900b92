#pragma once

// What a write takes: the whole input, read and validated into a register image before the
// first request goes to the controller.

#include <cstddef>
#include <optional>
#include <vector>

#include "app/ui.h"
#include "model/backup_file.h"
#include "model/data_set_reader.h"
#include "model/diagnostic.h"
#include "model/register_image.h"
#include "transmit/transmit_request.h"

namespace velmora {

enum class WriteContents : int { ParametersAndSteps = 0, ParametersOnly = 1, StepsOnly = 2 };

struct WriteSource {
    TransmitRequest request;
    WriteContents contents = WriteContents::ParametersAndSteps;
    // The values to write. The parameter area is whole when parameters are written; steps 0
    // to stepCount - 1 are given when steps are.
    RegisterImage image;
    std::size_t stepCount = kStepCount;
    std::vector<MaskedValue> masked;           // data set values written as their low bits
    BackupCheck check = BackupCheck::Matches;  // a backup's check value
};

struct WriteSourceLoading {
    std::optional<WriteSource> source;  // set exactly when diagnostics is empty
    Diagnostics diagnostics;
};

// Reads and validates everything the request names: the data set's files or the backup file,
// only the parts its write contents need (a backup is always read whole).
WriteSourceLoading LoadWriteSource(const TransmitRequest& request);

enum class SourceVerdict {
    Go,        // the write may go on
    Invalid,   // the input is damaged or unreadable: nothing may be written
    Declined,  // the user did not accept what the input holds
};

// Tells the user what the loading found before anything is sent: an invalid input (error, the
// diagnostics as details), masked values (OK/Cancel, Cancel the default), a backup without a
// check value (a note).
SourceVerdict ConfirmWriteSource(const WriteSourceLoading& loading, Ui& ui);

}  // namespace velmora
