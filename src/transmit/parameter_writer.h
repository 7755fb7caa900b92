#pragma once

#include <cstdint>
#include <string>

#include "data/actuator_table.h"
#include "transmit/transfer_context.h"

namespace velmora {

inline constexpr std::uint16_t kWriterReset = 0xFFFF;

// Packing of a queued value.
inline constexpr int kValueWord = 2;   // a 16-bit value or a byte pair, as the table row says
inline constexpr int kValueDword = 4;  // a 32-bit value over two registers
inline constexpr int kValueText = 16;  // the 16-character unit name

// Takes one parameter value at a time in table order and sends the parameter area in
// write-multiple requests whose boundaries the parameter table fixes. register kWriterReset
// resets the writer; flush = 1 sends what is pending. 0, or -1 when a request failed.
int QueueParameterValue(TransferContext& context, std::uint16_t reg, const std::string& valueText,
                        int type, int flush);

// Reads the whole parameter area into readValue (target 0) or writeValue (target 1).
int ReadParameterRegisters(TransferContext& context, int target);

// Reads the area back and compares every row with what was written; -1 on any difference or
// when the read failed. Differences are collected into context.differences when it is set.
int VerifyParameterRegisters(TransferContext& context);

// Writes the record's parameter file from the data folder and verifies it; span is the share
// of the progress bar (50 or 100). Shows its own message before returning -1.
int WriteParametersFromData(TransferContext& context, const stADP_FORMAT& record, int span);

}  // namespace velmora
