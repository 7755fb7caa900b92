#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/ui.h"
#include "link/com_link.h"

namespace velmora {

// One row that read back differently from what was written.
struct VerifyDifference {
    std::uint16_t reg = 0;
    std::string key;  // empty for step rows and second rows of 32-bit values
    std::uint32_t written = 0;
    std::uint32_t read = 0;
};

// What a write, verify or backup routine works with: the line, the controller's station, the
// user (status text, progress, messages, cancel) and, when wanted, a list that collects the
// rows a verification found different.
struct TransferContext {
    CComLink& link;
    std::uint8_t stationId;
    Ui& ui;
    std::vector<VerifyDifference>* differences = nullptr;
};

}  // namespace velmora
