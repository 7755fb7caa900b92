#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

#include "app/qt/qt_ui.h"
#include "app/session.h"
#include "app/startup.h"
#include "comsetup/settings_page_model.h"

namespace velmora {

class CVelmoraDlg;
class CSelectActuatorDlg;
class CTransmittingDlg;
class CFileSelectDlg;
class CBackupDlg;
class CCompareDlg;
class CComSettingFrame;
class CComSettingDlg;

// The application object: owns the work dialogs of the current pass, the communication settings
// frame, and runs the program's start-up routine over Qt windows.
class CVelmoraApp final : public StartupWindows {
  public:
    explicit CVelmoraApp(Session& session);
    ~CVelmoraApp() override;
    CVelmoraApp(const CVelmoraApp&) = delete;
    CVelmoraApp& operator=(const CVelmoraApp&) = delete;

    // The one instance while it exists (the work dialogs reach their siblings through it).
    static CVelmoraApp* instance();

    // The whole run: disclaimer, settings frame, main window passes.
    void Run();

    // The work dialogs of this pass (valid between CreateWorkDialogs and their destruction).
    CSelectActuatorDlg* selectActuatorDlg() const { return selectActuator_.get(); }
    CTransmittingDlg* transmittingDlg() const { return transmitting_.get(); }
    CFileSelectDlg* fileSelectDlg() const { return fileSelect_.get(); }
    CBackupDlg* backupDlg() const { return backup_.get(); }
    CCompareDlg* compareDlg() const { return compare_.get(); }
    CComSettingFrame* comSettingFrame() const { return frame_.get(); }
    // The running main dialog, or null between passes.
    CVelmoraDlg* mainDialog() const;
    // The communication settings page inside the running main dialog.
    CComSettingDlg* mainSettingsPage() const;

    // The window that owns message boxes and stands for "the main window" (a work dialog takes
    // its place while its settings frame or a backup runs).
    QWidget* mainWindow() const { return mainWindow_; }
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

    // How many main dialogs this run has built (one per pass).
    int mainDialogsCreated() const { return mainDialogsCreated_; }

    // The session made in main: its master is the program's one line to the controller.
    Session& session() { return session_; }

    // The program's Ui for the GUI thread (owner: the current main window).
    QtUi& ui() { return ui_; }

    enum WorkDialog { kActuatorSelection, kFileSelection, kBackup, kCompare };
    // The function page's buttons: hide the main window and show a work dialog.
    void ShowWorkDialog(WorkDialog which);
    // A work dialog returns: hide it and show the main dialog again.
    void ReturnToMainWindow(QWidget* workDialog);
    // A work dialog's close box: close the main window (ends the program) unless a restart is
    // under way.
    void CloseFromWorkDialog();
    // The communication settings button of a work dialog: the frame runs modally with the work
    // dialog as main window; a changed controller state restarts the main window.
    int OpenSettingsFrameFromWorkDialog(QWidget* workDialog);
    // Rebuilds the main window after the controller's state changed.
    void RestartMainWindow();

    // StartupWindows
    int ShowDisclaimer() override;
    int ShowSettingsFrame() override;
    void CreateMainDialog() override;
    void CreateWorkDialogs() override;
    void RunMainDialog() override;
    void DestroyMainDialog() override;
    void DestroyWorkDialogs() override;
    void CloseMainDialog() override;

  private:
    Session& session_;
    QtUi ui_;
    std::unique_ptr<CComSettingFrame> frame_;
    std::unique_ptr<CSelectActuatorDlg> selectActuator_;
    std::unique_ptr<CTransmittingDlg> transmitting_;
    std::unique_ptr<CFileSelectDlg> fileSelect_;
    std::unique_ptr<CBackupDlg> backup_;
    std::unique_ptr<CCompareDlg> compare_;
    QPointer<CVelmoraDlg> mainDialog_;
    int mainDialogsCreated_ = 0;
    std::unique_ptr<CVelmoraDlg> mainDialogOwner_;
    QPointer<QWidget> mainWindow_;
    QPointer<QWidget> savedMainWindow_;
    // Work dialogs of a pass being rebuilt: hidden at once, destroyed once no handler of theirs
    // can still be running.
    std::vector<std::unique_ptr<QWidget>> retired_;
};

}  // namespace velmora
