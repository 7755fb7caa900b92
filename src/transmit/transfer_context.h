#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/ui.h"
#include "link/link_status.h"
#include "link/rtu_master.h"
#include "model/register_image.h"

namespace velmora {

// One register that read back differently from what was written.
using VerifyDifference = RegisterDifference;

// What a write, verify or backup routine works with: the line, the controller's station, the
// user (status text, progress, messages, cancel) and, when wanted, a list that collects the
// registers a verification found different.
struct TransferContext {
    RtuMaster& link;
    std::uint8_t stationId;
    Ui& ui;
    std::vector<VerifyDifference>* differences = nullptr;
    // Why the job failed on the line, when it did; stays ok when it failed for another reason
    // (the verification, a file, the user).
    LinkStatus linkFailure{};
    // Set once a request that may change the controller went out: a job that failed before
    // then left the controller as it was.
    bool writingBegan = false;
    // The backup of the controller made just before a write, when one was: it undoes the write.
    std::string autoBackupPath{};
};

}  // namespace velmora
