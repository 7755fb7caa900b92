#pragma once

#include <QPointer>

#include <functional>

#include "app/qt/velmora_dialog.h"
#include "comsetup/settings_page_model.h"

class QPushButton;

namespace velmora {

class CComSettingDlg;
class QtUi;

// The modal frame around a communication settings page: at start-up with OK and Quit, from a
// work dialog with a single OK. OK is enabled only by a successful search or check. One frame
// object lives for the whole run; its window (and the page in it) exists only while it runs.
class CComSettingFrame final {
  public:
    CComSettingFrame(QtUi& ui, RtuMaster& master);
    ~CComSettingFrame();

    ComSettingFrameModel& model() { return model_; }
    // Runs the frame modally: kFrameResultOk or kFrameResultCancel.
    int RunModal(QWidget* owner);
    // The window while the frame runs (tests drive it through this).
    VelmoraDialog* window() const { return window_; }
    CComSettingDlg* page() const { return page_; }
    QPushButton* okButton() const;
    QPushButton* quitButton() const { return quit_; }
    // Beside the OK of a frame opened from a work dialog: leaves it as its close box does.
    QPushButton* cancelButton() const { return cancel_; }
    // Called with the open frame window each time the frame starts running.
    void setOpenedHook(std::function<void(CComSettingFrame&)> hook) { opened_ = std::move(hook); }

  private:
    void ApplyButtons();

    QtUi& ui_;
    ComSettingFrameModel model_;
    QPointer<VelmoraDialog> window_;
    CComSettingDlg* page_ = nullptr;
    QPushButton* ok1099_ = nullptr;
    QPushButton* quit_ = nullptr;
    QPushButton* ok1101_ = nullptr;
    QPushButton* cancel_ = nullptr;
    std::function<void(CComSettingFrame&)> opened_;
};

}  // namespace velmora
