#include "app/qt/velmora_dlg.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt/connection_strip.h"
#include "app/qt/history_page.h"
#include "app/qt/language_targets.h"
#include "app/qt/velmora_app.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "sysfiles/settings_file.h"
#include "version/qt/version_info_dlg.h"

namespace velmora {

namespace {

constexpr int kFunctionTab = 0;
constexpr int kSettingsTab = 1;
constexpr int kVersionTab = 2;
constexpr int kHistoryTab = 3;

}  // namespace

CFunctionMainDlg::CFunctionMainDlg(QWidget* parent)
    : QWidget(parent),
      actuator_(new QPushButton(QStringLiteral("アクチュエータ選択書込み"), this)),
      fileSelect_(new QPushButton(QStringLiteral("ファイル選択書込み"), this)),
      backup_(new QPushButton(QStringLiteral("バックアップ"), this)),
      compare_(new QPushButton(QStringLiteral("比較"), this)) {
    setObjectName(QStringLiteral("CFunctionMainDlg"));
    actuator_->setObjectName(QStringLiteral("writeByActuator"));
    fileSelect_->setObjectName(QStringLiteral("writeFromFile"));
    backup_->setObjectName(QStringLiteral("backup"));
    compare_->setObjectName(QStringLiteral("compare"));
    auto* subtitle = new QLabel(QStringLiteral("実行する機能を選択してください。"), this);
    subtitle->setWordWrap(true);
    auto* group = new QGroupBox(QStringLiteral("データ書込み"), this);
    auto* version = new QLabel(QStringLiteral("Ver %1").arg(QStringLiteral("1.10")), this);
    version->setObjectName(QStringLiteral("programVersion"));
    for (QPushButton* button : {actuator_, fileSelect_, backup_, compare_}) {
        button->setMinimumHeight(button->sizeHint().height() * 3 / 2);
        button->setAutoDefault(false);
    }

    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(actuator_);
    groupLayout->addWidget(fileSelect_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(subtitle);
    layout->addWidget(group);
    layout->addWidget(backup_);
    layout->addWidget(compare_);
    layout->addStretch();
    layout->addWidget(version, 0, Qt::AlignRight);

    connect(actuator_, &QPushButton::clicked, this, [] {
        if (CVelmoraApp* app = CVelmoraApp::instance()) {
            app->ShowWorkDialog(CVelmoraApp::kActuatorSelection);
        }
    });
    connect(fileSelect_, &QPushButton::clicked, this, [] {
        if (CVelmoraApp* app = CVelmoraApp::instance()) {
            app->ShowWorkDialog(CVelmoraApp::kFileSelection);
        }
    });
    connect(backup_, &QPushButton::clicked, this, [] {
        if (CVelmoraApp* app = CVelmoraApp::instance()) {
            app->ShowWorkDialog(CVelmoraApp::kBackup);
        }
    });
    connect(compare_, &QPushButton::clicked, this, [] {
        if (CVelmoraApp* app = CVelmoraApp::instance()) {
            app->ShowWorkDialog(CVelmoraApp::kCompare);
        }
    });

    QtUi* ui = CVelmoraApp::instance() ? &CVelmoraApp::instance()->ui() : nullptr;
    SilentUi silent;
    LanguageList()
        .text("DLG_TOP_TAB1_SUBTITLE", subtitle)
        .text("DLG_TOP_TAB1_GROUP_TITLE", group)
        .text("DLG_TOP_TAB1_BUTTON_ACTUATOR", actuator_)
        .text("DLG_TOP_TAB1_BUTTON_FILESELECT", fileSelect_)
        .text("DLG_TOP_TAB1_BUTTON_BACKUP", backup_)
        .load(ui != nullptr ? static_cast<Ui&>(*ui) : static_cast<Ui&>(silent));
    compare_->setText(DisplayText(MessageText(kMsgCompareTitle)));
    // The version text is the program's own, whatever the language file says.
    version->setText(QStringLiteral("Ver %1").arg(QStringLiteral("1.10")));
}

void CFunctionMainDlg::ApplyFunctionEnables() {
    const FunctionEnables& enables = App().functionEnables;
    actuator_->setVisible(enables.actuatorWriteEnabled != 0);
    fileSelect_->setVisible(enables.fileWriteEnabled != 0);
    backup_->setVisible(enables.backupEnabled != 0);
    // Comparing reads the controller as a backup does.
    compare_->setVisible(enables.backupEnabled != 0);
}

CVelmoraDlg::CVelmoraDlg(QWidget* parent)
    : VelmoraDialog(parent),
      tabs_(new QTabBar(this)),
      stack_(std::make_unique<QStackedWidget>(this)) {
    setObjectName(QStringLiteral("CVelmoraDlg"));
    setWindowTitle(QStringLiteral("Velmora"));
    tabs_->setObjectName(QStringLiteral("tabs"));
    tabs_->setExpanding(false);
    CVelmoraApp* app = CVelmoraApp::instance();
    QtUi& ui = app->ui();

    functionPage_ = new CFunctionMainDlg(stack_.get());
    settingsPage_ = new CComSettingDlg(std::make_unique<ComSettingPageModel>(app->session().master),
                                       ui, stack_.get());
    versionPage_ = new CVersionInfoDlg(ui, stack_.get());
    stack_->addWidget(functionPage_);
    stack_->addWidget(settingsPage_);
    historyPage_ = new CHistoryPage(ui, stack_.get());
    stack_->addWidget(versionPage_);
    stack_->addWidget(historyPage_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CConnectionStrip(this));
    layout->addWidget(tabs_);
    layout->addWidget(stack_.get(), 1);
    setMinimumSize(480, 420);

    // The page set-up below may forget the identified controller; this start keeps it.
    const int activeStationId = App().commSettings.activeStationId;
    ComSettingPageModel& page = settingsPage_->model();
    page.LoadPortList();
    const bool portOpen = page.StartOnStoredPort();
    settingsPage_->LoadTexts();
    settingsPage_->Refresh();
    LanguageList()
        .text("DLG_TOP_TITLE", this)
        .tab("DLG_TOP_TAB1_TITLE", tabs_, kFunctionTab)
        .tab("DLG_TOP_TAB2_TITLE", tabs_, kSettingsTab)
        .tab("DLG_TOP_TAB3_TITLE", tabs_, kVersionTab)
        .tab("DLG_TOP_TAB4_TITLE", tabs_, kHistoryTab)
        .load(ui);
    if (portOpen) {
        ShowPage(kFunctionTab);
        App().commSettings.activeStationId = activeStationId;
    } else {
        ShowUncheckedPort();
    }

    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (index == shownTab_) {
            return;
        }
        // The history is there to read without a controller.
        if (index != kHistoryTab && !AllowTabChange()) {
            const QSignalBlocker block(tabs_);
            tabs_->setCurrentIndex(shownTab_);
            return;
        }
        ShowPage(index);
    });
}

CVelmoraDlg::~CVelmoraDlg() {
    // The settings page goes first (it closes the port); then the settings are written back,
    // to the program folder they were read from.
    stack_.reset();
    SaveCommSettings(ModulePath(kCommSettingsFile), App().commSettings);
}

// The stored port is not there: whatever answers elsewhere was never checked, so the window
// starts on the settings page with no controller identified until a new check succeeds.
void CVelmoraDlg::ShowUncheckedPort() {
    App().commSettings.activeStationId = -1;
    {
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(kSettingsTab);
    }
    // Not ShowPage: its refresh would select another device by its list position.
    shownTab_ = kSettingsTab;
    stack_->setCurrentWidget(settingsPage_);
    const std::string text = ComposeAlarmText(kMsgComsettingComopenErrorAlarmContents,
                                              kMsgComsettingComopenErrorCountermeasureContents) +
                             "\n  " + App().commSettings.portName;
    // Once the window is up, so the message stands over it.
    QTimer::singleShot(0, this, [text] {
        CVelmoraApp::instance()->ui().showMessage(text,
                                                  MessageText(kMsgComsettingComopenErrorTitle),
                                                  MessageIcon::Error, MessageButtons::Ok);
    });
}

bool CVelmoraDlg::AllowTabChange() {
    if (App().commSettings.activeStationId >= 0) {
        return true;
    }
    CVelmoraApp::instance()->ui().showMessage(MessageText(kMsgComUnidentifiedContents),
                                              MessageText(kMsgComUnidentifiedTitle),
                                              MessageIcon::Error, MessageButtons::Ok);
    return false;
}

void CVelmoraDlg::ShowPage(int index) {
    shownTab_ = index;
    if (index == kSettingsTab) {
        settingsPage_->model().RefreshFromSettings();
        settingsPage_->Refresh();
        stack_->setCurrentWidget(settingsPage_);
    } else if (index == kVersionTab) {
        stack_->setCurrentWidget(versionPage_);
    } else if (index == kHistoryTab) {
        historyPage_->Reload();
        stack_->setCurrentWidget(historyPage_);
    } else {
        stack_->setCurrentWidget(functionPage_);
        functionPage_->ApplyFunctionEnables();
    }
}

void CVelmoraDlg::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace velmora
