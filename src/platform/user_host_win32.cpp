#include "platform/user_host.h"

#include <cstdlib>

namespace velmora {

// The variables Windows sets for every logon session; enough for a record of who did a job.
std::string CurrentUserName() {
    const char* user = std::getenv("USERNAME");
    return user != nullptr ? user : "";
}

std::string CurrentHostName() {
    const char* host = std::getenv("COMPUTERNAME");
    return host != nullptr ? host : "";
}

}  // namespace velmora
