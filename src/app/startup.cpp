#include "app/startup.h"

#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "sysfiles/settings_file.h"

namespace velmora {

void RunStartup(StartupWindows& windows, Ui& ui) {
    // Nothing may be read before the user has agreed.
    if (windows.ShowDisclaimer() == kStartupResultCancel) {
        return;
    }
    AppState& app = App();
    app.commCheckState = kCommAllowed;
    LoadMessageTable(ui);
    for (;;) {
        ReadCommSettings(ModulePath(kCommSettingsFile), app.commSettings);
        // Only a warning the user accepted survives a restart; otherwise the controller must
        // be searched or checked again.
        if (app.commCheckState != kCommWarningAccepted) {
            app.commSettings.activeStationId = -1;
        }
        app.startupComSetting = 1;
        if (windows.ShowSettingsFrame() == kStartupResultCancel) {
            return;
        }
        app.startupComSetting = 0;
        windows.CreateMainDialog();
        windows.CreateWorkDialogs();
        windows.RunMainDialog();
        if (app.restartRequested != 1) {
            windows.DestroyMainDialog();
            return;
        }
        app.restartRequested = 0;
        windows.DestroyMainDialog();
        LoadMessageTable(ui);
    }
}

void RequestRestart(StartupWindows& windows) {
    App().restartRequested = 1;
    windows.DestroyWorkDialogs();
    windows.CloseMainDialog();
}

}  // namespace velmora
