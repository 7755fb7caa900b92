#include "sysfiles/app_state.h"

#include "platform/module_folder.h"
#include "platform/program_folder.h"

namespace velmora {

AppState& App() {
    static AppState state;
    return state;
}

void UseProgramFolder(const std::string& root) {
    AppState& app = App();
    const std::string executableFolder = root.empty() ? ModuleFolderOfExecutable() : std::string();
    app.moduleFolder = root.empty() ? ResolveProgramFolder(executableFolder) : root;
    if (!app.moduleFolder.empty() && app.moduleFolder.back() != '/') {
        app.moduleFolder.push_back('/');
    }
    // Texts a per-user copy lacks come from the installed files.
    app.shippedFolder = root.empty() ? ShippedProgramFolder(executableFolder) : std::string();
}

std::string ModulePath(const std::string& relativeName) {
    // The folder ends in '/' and the name begins with one; the doubled separator is harmless.
    return App().moduleFolder + relativeName;
}

}  // namespace velmora
