#include "platform/local_time.h"

#include <time.h>

namespace velmora {

bool LocalTime(std::time_t when, std::tm& local) {
    return ::localtime_r(&when, &local) != nullptr;
}

}  // namespace velmora
