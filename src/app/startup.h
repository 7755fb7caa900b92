#pragma once

#include "app/ui.h"

namespace velmora {

// Results of the disclaimer and of the settings frame as the start-up reads them.
inline constexpr int kStartupResultOk = 1;
inline constexpr int kStartupResultCancel = 2;

// The windows the start-up routine runs, supplied by the GUI's application object.
class StartupWindows {
  public:
    virtual ~StartupWindows() = default;

    // 1 agreed, 2 refused or closed.
    virtual int ShowDisclaimer() = 0;
    // Runs the communication settings frame modally: 1 OK, 2 Quit or closed.
    virtual int ShowSettingsFrame() = 0;
    virtual void CreateMainDialog() = 0;
    // The four work dialogs, hidden: actuator selection, transmit, file selection, backup.
    virtual void CreateWorkDialogs() = 0;
    // Returns when the main window has closed.
    virtual void RunMainDialog() = 0;
    virtual void DestroyMainDialog() = 0;

    // Used by RequestRestart; a GUI without work dialogs or a running main window has nothing
    // to do here.
    virtual void DestroyWorkDialogs() {}
    virtual void CloseMainDialog() {}
};

// The program's whole life after the module folder is known: the disclaimer, then passes of
// settings frame and main window until the main window closes without a restart request.
void RunStartup(StartupWindows& windows, Ui& ui);

// Makes the running main window close and the start-up open a fresh one (after the controller's
// state changed in a work dialog's settings frame).
void RequestRestart(StartupWindows& windows);

}  // namespace velmora
