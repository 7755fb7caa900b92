#pragma once

// The far end of a line on a pseudo-terminal, for the virtual controller and the test's line
// peer. POSIX only.

#include <termios.h>

#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace velmora::sim {

// This side keeps the master; the slave is held open as well, so that the master never sees a
// hang-up while no client has the port open.
struct PseudoTerminal {
    UniqueFd master;
    UniqueFd heldSlave;
    std::string slavePath;
};

// A new pseudo-terminal, raw (nothing echoed or translated until a client sets its own terms),
// at speed when one is given; nullopt when the system gives none.
std::optional<PseudoTerminal> OpenPseudoTerminal(std::optional<speed_t> speed = std::nullopt);

// Points link at target in one step, so that a program opening the link never finds it
// missing. Only a link is ever replaced: a real file at that path belongs to someone else.
bool PointLinkAt(const std::string& link, const std::string& target);

}  // namespace velmora::sim
