#pragma once

// The two things a comparison sets side by side: the controller (read as a backup reads it), a
// backup file, or an actuator's data set.

#include <optional>
#include <string>

#include "backup/backup_run.h"
#include "model/actuator_table.h"
#include "model/diagnostic.h"
#include "model/image_comparison.h"
#include "model/register_image.h"
#include "transmit/transfer_context.h"

namespace velmora {

struct CompareSide {
    std::string label;  // what the side is, for a heading: a path, a part number, "controller"
    RegisterImage image;
};

struct SideLoading {
    std::optional<CompareSide> side;  // set exactly when diagnostics is empty
    Diagnostics diagnostics;
};

// A backup file, read and checked whole.
SideLoading LoadBackupSide(const std::string& path);

// An actuator's data set: its parameter and step files. The registers they do not give are
// marked so, and a comparison leaves them out.
SideLoading LoadActuatorSide(const stADP_FORMAT& record);

// The controller, with the backup's requests and progress. After a failure on the line its
// message has been shown and context.linkFailure says why.
ControllerRead ReadControllerSide(TransferContext& context, CompareSide& side);

}  // namespace velmora
