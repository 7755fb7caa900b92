#include <time.h>

#include "platform/local_time.h"

namespace velmora {

bool LocalTime(std::time_t when, std::tm& local) {
    return ::localtime_s(&local, &when) == 0;
}

}  // namespace velmora
