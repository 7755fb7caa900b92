#include "app/qt/velmora_app.h"

#include <QEventLoop>

#include "app/qt/connection_strip.h"
#include "app/qt/qualification_dlg.h"
#include "app/qt/velmora_dlg.h"
#include "backup/qt/backup_dlg.h"
#include "compare/qt/compare_dlg.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "comsetup/qt/com_setting_frame.h"
#include "data/qt/file_select_dlg.h"
#include "data/qt/select_actuator_dlg.h"
#include "sysfiles/app_state.h"
#include "transmit/qt/transmitting_dlg.h"

namespace velmora {

namespace {

CVelmoraApp* g_instance = nullptr;

template <typename Dialog>
void Retire(std::unique_ptr<Dialog>& dialog, std::vector<std::unique_ptr<QWidget>>& retired) {
    if (dialog) {
        dialog->hide();
        retired.push_back(std::move(dialog));
    }
}

}  // namespace

CVelmoraApp::CVelmoraApp(Session& session)
    : session_(session), frame_(std::make_unique<CComSettingFrame>(ui_, session.master)) {
    g_instance = this;
}

CVelmoraApp::~CVelmoraApp() {
    DestroyWorkDialogs();
    retired_.clear();
    mainDialogOwner_.reset();
    frame_.reset();
    g_instance = nullptr;
}

CVelmoraApp* CVelmoraApp::instance() {
    return g_instance;
}

void CVelmoraApp::Run() {
    RunStartup(*this, ui_);
}

CVelmoraDlg* CVelmoraApp::mainDialog() const {
    return mainDialog_;
}

CComSettingDlg* CVelmoraApp::mainSettingsPage() const {
    return mainDialog_ != nullptr ? mainDialog_->settingsPage() : nullptr;
}

int CVelmoraApp::ShowDisclaimer() {
    CQualificationDlg disclaimer(ui_);
    disclaimer.adjustSize();
    CenterOnWorkArea(&disclaimer);
    return disclaimer.exec() == QDialog::Accepted ? kStartupResultOk : kStartupResultCancel;
}

int CVelmoraApp::ShowSettingsFrame() {
    return frame_->RunModal(nullptr);
}

void CVelmoraApp::CreateMainDialog() {
    mainDialogOwner_ = std::make_unique<CVelmoraDlg>();
    ++mainDialogsCreated_;
    mainDialog_ = mainDialogOwner_.get();
    savedMainWindow_ = mainWindow_;
    mainWindow_ = mainDialog_;
    ui_.setOwner(mainDialog_);
}

void CVelmoraApp::CreateWorkDialogs() {
    selectActuator_ = std::make_unique<CSelectActuatorDlg>();
    transmitting_ = std::make_unique<CTransmittingDlg>();
    fileSelect_ = std::make_unique<CFileSelectDlg>();
    backup_ = std::make_unique<CBackupDlg>();
    compare_ = std::make_unique<CCompareDlg>();
}

void CVelmoraApp::RunMainDialog() {
    if (mainDialog_ == nullptr) {
        return;
    }
    QEventLoop loop;
    QObject::connect(mainDialog_, &CVelmoraDlg::closed, &loop, &QEventLoop::quit);
    mainDialog_->adjustSize();
    CenterOnWorkArea(mainDialog_);
    mainDialog_->show();
    // Hiding the main window for a work dialog must not end the pass: only closing it does.
    loop.exec();
    if (mainDialog_ != nullptr) {
        mainDialog_->hide();
    }
}

void CVelmoraApp::DestroyMainDialog() {
    retired_.clear();
    ui_.setOwner(nullptr);
    mainDialog_ = nullptr;
    mainDialogOwner_.reset();
    mainWindow_ = savedMainWindow_;
}

void CVelmoraApp::DestroyWorkDialogs() {
    Retire(selectActuator_, retired_);
    Retire(transmitting_, retired_);
    Retire(fileSelect_, retired_);
    Retire(backup_, retired_);
    Retire(compare_, retired_);
}

void CVelmoraApp::CloseMainDialog() {
    mainWindow_ = savedMainWindow_;
    if (mainDialog_ != nullptr) {
        mainDialog_->close();
    }
}

void CVelmoraApp::ShowWorkDialog(WorkDialog which) {
    QWidget* dialog = nullptr;
    switch (which) {
        case kActuatorSelection:
            dialog = selectActuator_.get();
            break;
        case kFileSelection:
            dialog = fileSelect_.get();
            break;
        case kBackup:
            dialog = backup_.get();
            break;
        case kCompare:
            dialog = compare_.get();
            break;
    }
    if (dialog == nullptr) {
        return;
    }
    if (mainDialog_ != nullptr) {
        mainDialog_->hide();
    }
    dialog->adjustSize();
    CenterOnWorkArea(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void CVelmoraApp::ReturnToMainWindow(QWidget* workDialog) {
    if (workDialog != nullptr) {
        workDialog->hide();
    }
    if (mainDialog_ != nullptr) {
        mainDialog_->show();
        mainDialog_->raise();
        mainDialog_->activateWindow();
    }
}

void CVelmoraApp::CloseFromWorkDialog() {
    if (App().restartRequested == 0 && mainDialog_ != nullptr) {
        mainDialog_->close();
    }
}

int CVelmoraApp::OpenSettingsFrameFromWorkDialog(QWidget* workDialog) {
    CComSettingDlg* mainPage = mainSettingsPage();
    if (mainPage == nullptr) {
        return kFrameResultCancel;
    }
    QPointer<QWidget> previous = mainWindow_;
    mainWindow_ = workDialog;
    const int result = RunFrameFromWorkDialog(
        frame_->model(), mainPage->model(), [&] { return frame_->RunModal(workDialog); },
        [this] { RestartMainWindow(); });
    if (App().restartRequested == 0) {
        mainWindow_ = previous;
        mainPage->Refresh();
    }
    // The main link was reopened only now, after the frame had closed.
    CConnectionStrip::RefreshAll();
    return result;
}

void CVelmoraApp::RestartMainWindow() {
    RequestRestart(*this);
}

}  // namespace velmora
