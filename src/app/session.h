#pragma once

#include "link/rtu_master.h"

namespace velmora {

// What one run of a front end works with, made in its main and handed down: the master of the
// port it talks to. A second session (a second adapter) gets a master of its own.
struct Session {
    RtuMaster master;
};

}  // namespace velmora
