#include "sysfiles/app_state.h"

namespace velmora {

AppState& App() {
    static AppState state;
    return state;
}

std::string ModulePath(const std::string& relativeName) {
    // The folder ends in '/' and the name begins with one; the doubled separator is harmless.
    return App().moduleFolder + relativeName;
}

}  // namespace velmora
