#pragma once

#include <ctime>
#include <string>

#include "sysfiles/comm_settings.h"

namespace velmora {

// Which work buttons the function page shows; set by the communication check.
struct FunctionEnables {
    int actuatorWriteEnabled = 1;
    int fileWriteEnabled = 1;
    int backupEnabled = 1;
};

// Outcome of the last communication restriction check.
enum CommCheckState : int {
    kCommAllowed = 0,
    kCommWarningAccepted = 1,
    kCommWarningDeclined = 2,
    kCommRefused = 3,
};

// The last communication check that was accepted; shown beside the controller it names.
struct CheckRecord {
    std::time_t when = 0;           // 0: none accepted yet in this run
    std::string controllerVersion;  // as the controller gave it; empty when it was not read
};

// The process-wide state several subsystems read and write. The GUI's application object and
// the CLI both work on the one instance returned by App().
struct AppState {
    CommSettings commSettings;
    // Folder of the running executable (or the --root folder), ending in '/'.
    std::string moduleFolder;
    // The folder of the System the program was shipped with, ending in '/'; empty when unknown.
    // Texts the module folder's language file lacks (a per-user copy older than the program)
    // are taken from there.
    std::string shippedFolder;
    FunctionEnables functionEnables;
    int restartRequested = 0;
    int commCheckState = kCommAllowed;
    int startupComSetting = 0;
    CheckRecord lastCheck;
};

AppState& App();

// Sets the folders the process runs on: root when one is given (it stands for itself), else
// the program folder found from the executable's place, with the shipped folder beside it.
void UseProgramFolder(const std::string& root);

// Joins the module folder and a relative system-file name such as "/System/LanguageData.ini".
std::string ModulePath(const std::string& relativeName);

}  // namespace velmora
