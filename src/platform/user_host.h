#pragma once

#include <string>

namespace velmora {

// Who runs the program and on which machine, as a service record names them; empty when the
// system does not say.
std::string CurrentUserName();
std::string CurrentHostName();

}  // namespace velmora
