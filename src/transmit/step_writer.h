#pragma once

#include <cstdint>
#include <string>

#include "data/actuator_table.h"
#include "transmit/parameter_writer.h"
#include "transmit/transfer_context.h"

namespace velmora {

// Takes the step values in exact register order and sends one write request per step.
// register kWriterReset resets the writer (and rebuilds the 64 step copies).
int QueueStepValue(TransferContext& context, std::uint16_t reg, const std::string& valueText,
                   int type);

// Reads all 64 steps into readValue; rebuild = 1 first remakes the step copies.
int ReadStepRegisters(TransferContext& context, int rebuild);

// Reads the steps back and compares every row; -1 on any difference or when the read failed.
int VerifyStepRegisters(TransferContext& context);

// Writes the record's step data file from the data folder and verifies it; (span, offset) is
// (50, 50) after a parameter write or (100, 0) alone.
int WriteStepsFromData(TransferContext& context, const stADP_FORMAT& record, int span,
                       int offset);

}  // namespace velmora
