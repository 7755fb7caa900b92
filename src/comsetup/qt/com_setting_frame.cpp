#include "comsetup/qt/com_setting_frame.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/qt_ui.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "comsetup/search_and_check.h"
#include "sysfiles/app_state.h"

namespace velmora {

namespace {

// The frame's window: its close box restores what a work dialog's frame changed.
class FrameWindow final : public VelmoraDialog {
  public:
    FrameWindow(ComSettingFrameModel& model, QWidget* owner)
        : VelmoraDialog(owner), model_(model) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        model_.FrameCloseBox();
        event->accept();
        reject();
    }

  private:
    ComSettingFrameModel& model_;
};

}  // namespace

CComSettingFrame::CComSettingFrame(QtUi& ui, RtuMaster& master) : ui_(ui), model_(master) {}

CComSettingFrame::~CComSettingFrame() = default;

QPushButton* CComSettingFrame::okButton() const {
    if (ok1099_ != nullptr && ok1099_->isVisible()) {
        return ok1099_;
    }
    return ok1101_;
}

void CComSettingFrame::ApplyButtons() {
    const FrameButtons& buttons = model_.buttons();
    ok1099_->setVisible(buttons.ok1099Visible);
    ok1099_->setEnabled(buttons.ok1099Enabled);
    quit_->setVisible(buttons.quit1100Visible);
    ok1101_->setVisible(buttons.ok1101Visible);
    ok1101_->setEnabled(buttons.ok1101Enabled);
    cancel_->setVisible(buttons.ok1101Visible);
}

int CComSettingFrame::RunModal(QWidget* owner) {
    FrameWindow window(model_, owner);
    window.setObjectName(QStringLiteral("CComSettingFrame"));
    window.setWindowTitle(QStringLiteral("通信設定"));
    window_ = &window;
    CComSettingDlg page(model_.page(), ui_, &window);
    page_ = &page;
    QPushButton ok1099(QStringLiteral("OK"), &window);
    QPushButton quit(QStringLiteral("終了"), &window);
    QPushButton ok1101(QStringLiteral("OK"), &window);
    QPushButton cancel(QStringLiteral("キャンセル"), &window);
    ok1099.setObjectName(QStringLiteral("ok"));
    quit.setObjectName(QStringLiteral("quit"));
    ok1101.setObjectName(QStringLiteral("okFromWorkDialog"));
    cancel.setObjectName(QStringLiteral("cancelFromWorkDialog"));
    ok1099_ = &ok1099;
    quit_ = &quit;
    ok1101_ = &ok1101;
    cancel_ = &cancel;

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(&ok1101);
    buttons->addWidget(&cancel);
    buttons->addWidget(&ok1099);
    buttons->addWidget(&quit);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(&page);
    layout->addLayout(buttons);

    QObject::connect(&ok1099, &QPushButton::clicked, &window, &QDialog::accept);
    QObject::connect(&ok1101, &QPushButton::clicked, &window, &QDialog::accept);
    QObject::connect(&quit, &QPushButton::clicked, &window, &QDialog::reject);
    // The close box's path: the settings the frame was opened with come back.
    QObject::connect(&cancel, &QPushButton::clicked, &window, &QWidget::close);

    model_.FrameOpened(App().startupComSetting, App().commCheckState);
    page.Refresh();
    ApplyButtons();
    // Any change on the page disables OK until a new check succeeds.
    model_.page().setFrameOkDisabler([this] {
        model_.SetOkEnabled(false);
        ApplyButtons();
    });
    page.setSearchFinished([this, &window, owner](int result) {
        model_.SetOkEnabled(result == kSearchAccepted);
        ApplyButtons();
        // A check inside a frame opened from a work dialog that changed the controller's state
        // ends the frame by itself. The page's in-frame flag cannot tell: it outlives that frame
        // and is still set in the start-up frame after the restart.
        if (owner != nullptr && App().commCheckState != kCommAllowed) {
            window.accept();
        }
    });
    LanguageList()
        .text("DLG_COMSETTING_TITLE", &window)
        .text("DLG_COMSETTING_BUTTON_OK", &ok1099)
        .text("DLG_COMSETTING_BUTTON_QUIT", &quit)
        .load(ui_);
    LanguageList()
        .text("DLG_COMSETTING_BUTTON_OK", &ok1101)
        .text("DLG_PROGRESS_BUTTON_CANCEL", &cancel)
        .load(ui_);
    page.LoadTexts();
    window.adjustSize();
    CenterOnWorkArea(&window);
    if (opened_) {
        QTimer::singleShot(0, &window, [this] { opened_(*this); });
    }

    const int result = window.exec() == QDialog::Accepted ? kFrameResultOk : kFrameResultCancel;
    model_.page().setFrameOkDisabler({});
    model_.FrameClosed();
    // The frame may have changed the line or the controller the other windows name.
    CConnectionStrip::RefreshAll();
    page_ = nullptr;
    ok1099_ = quit_ = ok1101_ = cancel_ = nullptr;
    window_ = nullptr;
    return result;
}

}  // namespace velmora
