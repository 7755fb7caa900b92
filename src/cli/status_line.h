#pragma once

#include <cstddef>
#include <string>

namespace velmora::cli {

// One port's live status line in at most width bytes: "NAME [####......] 40% phase". A long
// name is shortened to "..." and its end before the phase is cut.
std::string StatusLine(const std::string& name, int percent, const std::string& phase,
                       std::size_t width);

}  // namespace velmora::cli
