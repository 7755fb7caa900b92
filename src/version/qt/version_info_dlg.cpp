#include "version/qt/version_info_dlg.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>
#include <string>
#include <utility>

#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/qt_ui.h"
#include "app/qt/velmora_app.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "data/qt/select_actuator_dlg.h"

namespace velmora {

namespace {

CVersionInfoDlg::FolderChooser& Chooser() {
    static CVersionInfoDlg::FolderChooser chooser = [](QWidget* parent,
                                                       const QString& instruction) {
        return QFileDialog::getExistingDirectory(parent, instruction, QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    return chooser;
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

// Passes an update's messages on; the actuator table is reloaded just before the completion
// message (the update's only information box), so that box is shown over the new table.
class ReloadBeforeCompletionUi final : public Ui {
  public:
    ReloadBeforeCompletionUi(Ui& ui, std::function<void()> reload)
        : ui_(ui), reload_(std::move(reload)) {}

    MessageAnswer showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override {
        if (icon == MessageIcon::Information && reload_) {
            const std::function<void()> reload = std::move(reload_);
            reload_ = nullptr;
            reload();
        }
        return ui_.showMessage(text, title, icon, buttons);
    }
    void setStatusText(const std::string& text) override { ui_.setStatusText(text); }
    void setProgress(int percent) override { ui_.setProgress(percent); }
    bool cancelRequested() override { return ui_.cancelRequested(); }

  private:
    Ui& ui_;
    std::function<void()> reload_;
};

}  // namespace

void CVersionInfoDlg::setFolderChooser(FolderChooser chooser) {
    Chooser() = std::move(chooser);
}

CVersionInfoDlg::CVersionInfoDlg(QtUi& ui, QWidget* parent)
    : QWidget(parent),
      ui_(ui),
      softGroup_(new QGroupBox(QStringLiteral("ソフトウェアバージョン"), this)),
      softVersion_(ReadOnlyEdit(this, "softwareVersion")),
      referenceGroup_(new QGroupBox(QStringLiteral("参照データバージョン"), this)),
      referenceVersion_(ReadOnlyEdit(this, "referenceVersion")),
      controllerGroup_(new QGroupBox(QStringLiteral("コントローラバージョン"), this)),
      controllerVersion_(ReadOnlyEdit(this, "controllerVersion")),
      readVersion_(new QPushButton(QStringLiteral("読込み"), this)),
      updateGroup_(new QGroupBox(QStringLiteral("データファイル更新"), this)),
      update_(new QPushButton(QStringLiteral("更新"), this)) {
    setObjectName(QStringLiteral("CVersionInfoDlg"));
    readVersion_->setObjectName(QStringLiteral("readControllerVersion"));
    update_->setObjectName(QStringLiteral("updateData"));

    (new QVBoxLayout(softGroup_))->addWidget(softVersion_);
    (new QVBoxLayout(referenceGroup_))->addWidget(referenceVersion_);
    auto* controllerRow = new QHBoxLayout(controllerGroup_);
    controllerRow->addWidget(controllerVersion_, 1);
    controllerRow->addWidget(readVersion_);
    auto* updateRow = new QHBoxLayout(updateGroup_);
    updateRow->addStretch();
    updateRow->addWidget(update_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(softGroup_);
    layout->addWidget(referenceGroup_);
    layout->addWidget(controllerGroup_);
    layout->addWidget(updateGroup_);
    layout->addStretch();

    connect(readVersion_, &QPushButton::clicked, this, &CVersionInfoDlg::ReadControllerVersion);
    connect(update_, &QPushButton::clicked, this, &CVersionInfoDlg::OnUpdate);

    LanguageList()
        .text("DLG_TOP_TAB3_GROUP_SOFTVER", softGroup_)
        .text("DLG_TOP_TAB3_GROUP_REFERENCEVER", referenceGroup_)
        .text("DLG_TOP_TAB3_GROUP_CONTROLLERVER", controllerGroup_)
        .text("DLG_TOP_TAB3_BUTTON_CONTROLLERVER", readVersion_)
        .text("DLG_TOP_TAB3_GROUP_DATAFILE_UPDATE", updateGroup_)
        .text("DLG_TOP_TAB3_BUTTON_UPDATE", update_)
        .load(ui_);
    softVersion_->setText(QString::fromStdString(model_.softwareVersionText()));
    referenceVersion_->setText(DisplayText(model_.referenceVersionText()));
    controllerVersion_->setText(QString::fromStdString(model_.controllerVersionText()));
}

void CVersionInfoDlg::setReferenceVersionText(const QString& text) {
    model_.setReferenceVersionText(text.toStdString());
    referenceVersion_->setText(text);
}

QString CVersionInfoDlg::referenceVersionText() const {
    return referenceVersion_->text();
}

QString CVersionInfoDlg::controllerVersionText() const {
    return controllerVersion_->text();
}

void CVersionInfoDlg::ReadControllerVersion() {
    CVelmoraApp* app = CVelmoraApp::instance();
    CComSettingDlg* page = app != nullptr ? app->mainSettingsPage() : nullptr;
    if (page == nullptr) {
        return;
    }
    model_.ReadControllerVersion(page->link(), ui_);
    controllerVersion_->setText(QString::fromStdString(model_.controllerVersionText()));
    CConnectionStrip::RefreshAll();
}

void CVersionInfoDlg::OnUpdate() {
    const QString folder = Chooser()(this, DisplayText(MessageText(kMsgFileOverwriteInfomation)));
    if (folder.isEmpty()) {
        return;
    }
    RunUpdateFrom(folder);
}

void CVersionInfoDlg::RunUpdateFrom(const QString& folder) {
    bool reloaded = false;
    const auto reload = [&reloaded] {
        reloaded = true;
        CVelmoraApp* app = CVelmoraApp::instance();
        if (app != nullptr && app->selectActuatorDlg() != nullptr) {
            app->selectActuatorDlg()->ReloadTable();
        }
    };
    ReloadBeforeCompletionUi ui(ui_, reload);
    bool reloadNeeded = false;
    RunDataUpdate(folder.toUtf8().toStdString(), ui, reloadNeeded);
    if (reloadNeeded && !reloaded) {
        reload();
    }
}

}  // namespace velmora
