#pragma once

#include <ctime>

namespace velmora {

// when as the local calendar time, safe to call from any thread. False when it cannot be
// converted.
bool LocalTime(std::time_t when, std::tm& local);

}  // namespace velmora
