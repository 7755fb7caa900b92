#include "comsetup/qt/com_setting_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/qt_ui.h"
#include "comsetup/qt/progress_dlg.h"
#include "comsetup/search_and_check.h"
#include "sim/pty_controller.h"
#include "sysfiles/app_state.h"

#include <cstring>
#include <vector>

namespace velmora {

namespace {

std::unique_ptr<sim::PtyController>& VirtualControllerSlot() {
    static std::unique_ptr<sim::PtyController> controller;
    return controller;
}

std::string ToStd(const QString& text) {
    return text.toUtf8().toStdString();
}

CComSettingDlg::TraceFileChooser& CurrentTraceChooser() {
    static CComSettingDlg::TraceFileChooser chooser;
    return chooser;
}

// A record grows on from an earlier run, so choosing an existing file asks nothing.
QString ChooseTraceFile(QWidget* parent) {
    QFileDialog dialog(parent, QString::fromStdString(MessageText(kMsgTraceFileDialogTitle)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(QStringLiteral("traffic.txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

sim::PtyController* RunningVirtualController() {
    return VirtualControllerSlot().get();
}

void StopVirtualController() {
    VirtualControllerSlot().reset();
}

void CComSettingDlg::setTraceFileChooser(TraceFileChooser chooser) {
    CurrentTraceChooser() = std::move(chooser);
}

QString CComSettingDlg::VirtualControllerEntryText() {
    return QString::fromStdString(MessageText(kMsgPortVirtualControllerEntry));
}

CComSettingDlg::CComSettingDlg(std::unique_ptr<ComSettingPageModel> model, QtUi& ui,
                               QWidget* parent)
    : CComSettingDlg(*model, ui, parent) {
    ownedModel_ = std::move(model);
}

CComSettingDlg::CComSettingDlg(ComSettingPageModel& model, QtUi& ui, QWidget* parent)
    : QWidget(parent),
      model_(model),
      ui_(ui),
      portGroup_(new QGroupBox(QStringLiteral("COMポート選択"), this)),
      portLabel_(new QLabel(QStringLiteral("COMポート"), this)),
      port_(new QComboBox(this)),
      methodGroup_(new QGroupBox(QStringLiteral("通信方法"), this)),
      automatic_(new QRadioButton(QStringLiteral("自動検索"), this)),
      manual_(new QRadioButton(QStringLiteral("手動設定"), this)),
      warnIcon_(new QLabel(this)),
      warnText_(new QLabel(this)),
      idLabel_(new QLabel(QStringLiteral("局番"), this)),
      id_(new QComboBox(this)),
      bitRateLabel_(new QLabel(QStringLiteral("通信速度"), this)),
      bitRate_(new QComboBox(this)),
      reset_(new QPushButton(QStringLiteral("初期化"), this)),
      check_(new QPushButton(QStringLiteral("通信確認"), this)),
      trace_(new QCheckBox(QStringLiteral("通信内容をファイルに記録…"), this)),
      traceFile_(new QLabel(this)) {
    setObjectName(QStringLiteral("CComSettingDlg"));
    port_->setObjectName(QStringLiteral("port"));
    port_->setEditable(true);
    port_->setInsertPolicy(QComboBox::NoInsert);
    port_->setMinimumContentsLength(28);
    port_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    automatic_->setObjectName(QStringLiteral("automatic"));
    manual_->setObjectName(QStringLiteral("manual"));
    id_->setObjectName(QStringLiteral("stationId"));
    bitRate_->setObjectName(QStringLiteral("bitRate"));
    reset_->setObjectName(QStringLiteral("reset"));
    check_->setObjectName(QStringLiteral("check"));
    trace_->setObjectName(QStringLiteral("trace"));
    traceFile_->setObjectName(QStringLiteral("traceFile"));
    traceFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    warnText_->setWordWrap(true);
    warnIcon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(24, 24));
    portLabel_->setBuddy(port_);
    idLabel_->setBuddy(id_);
    bitRateLabel_->setBuddy(bitRate_);

    auto* portLayout = new QHBoxLayout(portGroup_);
    portLayout->addWidget(portLabel_);
    portLayout->addWidget(port_, 1);

    auto* warnRow = new QHBoxLayout;
    warnRow->addWidget(warnIcon_, 0, Qt::AlignTop);
    warnRow->addWidget(warnText_, 1);
    auto* manualGrid = new QGridLayout;
    manualGrid->addWidget(idLabel_, 0, 0);
    manualGrid->addWidget(id_, 0, 1);
    manualGrid->addWidget(bitRateLabel_, 1, 0);
    manualGrid->addWidget(bitRate_, 1, 1);
    manualGrid->addWidget(reset_, 2, 1, Qt::AlignLeft);
    manualGrid->setColumnStretch(2, 1);
    manualGrid->setContentsMargins(24, 0, 0, 0);
    auto* methodLayout = new QVBoxLayout(methodGroup_);
    methodLayout->addWidget(automatic_);
    methodLayout->addLayout(warnRow);
    methodLayout->addWidget(manual_);
    methodLayout->addLayout(manualGrid);

    auto* checkRow = new QHBoxLayout;
    checkRow->addStretch();
    checkRow->addWidget(check_);
    auto* traceRow = new QHBoxLayout;
    traceRow->addWidget(trace_);
    traceRow->addWidget(traceFile_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(portGroup_);
    layout->addWidget(methodGroup_);
    layout->addLayout(checkRow);
    layout->addLayout(traceRow);
    layout->addStretch();
    setTabOrder(port_, automatic_);
    setTabOrder(automatic_, manual_);
    setTabOrder(manual_, id_);
    setTabOrder(id_, bitRate_);
    setTabOrder(bitRate_, reset_);
    setTabOrder(reset_, check_);
    setTabOrder(check_, trace_);

    connect(port_, qOverload<int>(&QComboBox::activated), this, &CComSettingDlg::OnPortActivated);
    connect(port_->lineEdit(), &QLineEdit::editingFinished, this, &CComSettingDlg::OnPortTyped);
    connect(automatic_, &QRadioButton::clicked, this, [this] {
        model_.onAutomaticClicked();
        Refresh();
    });
    connect(manual_, &QRadioButton::clicked, this, [this] {
        model_.onManualClicked();
        Refresh();
    });
    connect(id_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        model_.selectId(index);
        model_.onIdSelected(index);
        Refresh();
    });
    connect(bitRate_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        model_.selectBitRate(index);
        model_.onBitRateSelected(index);
        Refresh();
    });
    connect(reset_, &QPushButton::clicked, this, [this] {
        model_.onReset(ui_);
        Refresh();
    });
    connect(check_, &QPushButton::clicked, this, &CComSettingDlg::StartCheck);
    connect(trace_, &QCheckBox::clicked, this, &CComSettingDlg::OnTraceClicked);
}

CComSettingDlg::~CComSettingDlg() {
    model_.onDestroyed();
}

void CComSettingDlg::LoadTexts() {
    LanguageList()
        .text("DLG_COMSETTING_GROUP_PORTSELECT", portGroup_)
        .text("DLG_COMSETTING_PORT_TITLE", portLabel_)
        .text("DLG_COMSETTING_GROUP_COMMETHOD", methodGroup_)
        .text("DLG_COMSETTING_RADIOBUTTON_AUTO", automatic_)
        .text("DLG_COMSETTING_RADIOBUTTON_MANUAL", manual_)
        .text("DLG_COMSETTING_TEXT_WARN", warnText_)
        .text("DLG_COMSETTING_MANUAL_ID", idLabel_)
        .text("DLG_COMSETTING_MANUAL_BITRATE", bitRateLabel_)
        .text("DLG_COMSETTING_MANUAL_BUTTON_INITIALIZE", reset_)
        .text("DLG_COMSETTING_BUTTON_COMCHECK", check_)
        .text("DLG_COMSETTING_CHECKBOX_TRACE", trace_)
        .load(ui_);
}

void CComSettingDlg::Refresh() {
    refreshing_ = true;
    const QSignalBlocker blockPort(port_);
    const QSignalBlocker blockId(id_);
    const QSignalBlocker blockRate(bitRate_);
    port_->clear();
    for (const PortEntry& entry : model_.portEntries()) {
        port_->addItem(QString::fromStdString(entry.display), QString::fromStdString(entry.path));
    }
    port_->addItem(VirtualControllerEntryText());
    port_->setCurrentIndex(model_.portIndex());
    if (model_.portIndex() < 0) {
        port_->setEditText(QString());
    }
    if (id_->count() != static_cast<int>(model_.idEntries().size())) {
        id_->clear();
        for (const std::string& entry : model_.idEntries()) {
            id_->addItem(QString::fromStdString(entry));
        }
    }
    id_->setCurrentIndex(model_.idIndex());
    if (bitRate_->count() != static_cast<int>(model_.bitRateEntries().size())) {
        bitRate_->clear();
        for (const std::string& entry : model_.bitRateEntries()) {
            bitRate_->addItem(QString::fromStdString(entry));
        }
    }
    bitRate_->setCurrentIndex(model_.bitRateIndex());
    automatic_->setAutoExclusive(false);
    manual_->setAutoExclusive(false);
    automatic_->setChecked(model_.automaticSelected());
    manual_->setChecked(model_.manualSelected());
    automatic_->setAutoExclusive(true);
    manual_->setAutoExclusive(true);
    const bool manualEnabled = model_.manualControlsEnabled();
    for (QWidget* widget : {static_cast<QWidget*>(idLabel_), static_cast<QWidget*>(id_),
                            static_cast<QWidget*>(bitRateLabel_), static_cast<QWidget*>(bitRate_),
                            static_cast<QWidget*>(reset_)}) {
        widget->setEnabled(manualEnabled);
    }
    check_->setEnabled(model_.checkEnabled());
    RefreshTrace();
    refreshing_ = false;
    // A change here may have forgotten the controller, a check found one: the strips follow.
    CConnectionStrip::RefreshAll();
}

void CComSettingDlg::RefreshTrace() {
    const QString tracePath = QString::fromStdString(model_.tracePath());
    trace_->setChecked(!tracePath.isEmpty());
    traceFile_->setText(tracePath);
}

void CComSettingDlg::OnPortActivated(int index) {
    if (index == port_->count() - 1 && port_->itemText(index) == VirtualControllerEntryText()) {
        StartVirtualController();
        return;
    }
    model_.selectPort(index);
    model_.onPortSelected(index);
    Refresh();
}

void CComSettingDlg::OnPortTyped() {
    if (refreshing_) {
        return;
    }
    const QString typed = port_->currentText().trimmed();
    if (typed.isEmpty() || typed == VirtualControllerEntryText() ||
        port_->findText(typed, Qt::MatchExactly) >= 0) {
        return;
    }
    // A path typed by hand (a device the system does not list).
    model_.setTypedPort(ToStd(typed));
    model_.onPortSelected(model_.portIndex());
    Refresh();
}

void CComSettingDlg::StartVirtualController() {
    auto& slot = VirtualControllerSlot();
    if (!slot) {
        sim::PtyOptions options;
        options.bitRate = 38400;
        options.pacing = true;
        auto controller = std::make_unique<sim::PtyController>(options);
        if (!controller->start()) {
            ui_.showMessage(ComposeAlarmText(kMsgComsettingComopenErrorAlarmContents,
                                             kMsgComsettingComopenErrorCountermeasureContents),
                            MessageText(kMsgComsettingComopenErrorTitle), MessageIcon::Error,
                            MessageButtons::Ok);
            Refresh();
            return;
        }
        slot = std::move(controller);
    }
    model_.setTypedPort(slot->slavePath());
    model_.onPortSelected(model_.portIndex());
    Refresh();
}

void CComSettingDlg::OnTraceClicked(bool checked) {
    if (!checked) {
        model_.stopTrace();
        Refresh();
        return;
    }
    const TraceFileChooser& chooser = CurrentTraceChooser();
    const QString chosen = chooser ? chooser(this) : ChooseTraceFile(this);
    if (!chosen.isEmpty()) {
        const std::string path = ToStd(chosen);
        // The failing line may be a worker's: the rest waits for the GUI thread.
        auto onFailure = [](std::weak_ptr<TrafficTrace> failed, TraceStatus failure) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [failed = std::move(failed), failure] { EndFailedTrace(failed, failure); },
                Qt::QueuedConnection);
        };
        if (const TraceStatus opened = model_.startTrace(path, onFailure); !opened.ok()) {
            ui_.showMessage(MessageText(kMsgTraceOpenErrorContents) + "\n\n" + path + ": " +
                                std::strerror(opened.osError),
                            MessageText(kMsgTraceFileDialogTitle), MessageIcon::Error,
                            MessageButtons::Ok);
        }
    }
    // A cancelled choice or a file that cannot be opened leaves the box unchecked.
    Refresh();
}

void CComSettingDlg::EndFailedTrace(const std::weak_ptr<TrafficTrace>& failed,
                                    const TraceStatus& failure) {
    const std::shared_ptr<TrafficTrace> trace = failed.lock();
    if (!trace) {
        return;
    }
    // The page that started the record may be gone (a closed settings frame): any page on
    // the same master takes it off.
    std::vector<CComSettingDlg*> pages;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (auto* page = qobject_cast<CComSettingDlg*>(widget)) {
            pages.push_back(page);
        }
    }
    CComSettingDlg* stopping = nullptr;
    for (CComSettingDlg* page : pages) {
        if (stopping == nullptr && page->model_.stopFailedTrace(failed)) {
            stopping = page;
        }
    }
    for (CComSettingDlg* page : pages) {
        page->RefreshTrace();
    }
    // Switched off meanwhile: the user has nothing to learn.
    if (stopping == nullptr) {
        return;
    }
    stopping->ui_.showMessage(MessageText(kMsgTraceWriteErrorContents) + "\n\n" + trace->path() +
                                  ": " + std::strerror(failure.osError),
                              MessageText(kMsgTraceFileDialogTitle), MessageIcon::Error,
                              MessageButtons::Ok);
}

void CComSettingDlg::StartCheck() {
    SearchParameters parameters;
    parameters.portName = model_.selectedPortPath();
    parameters.automatic = model_.automaticSelected();
    parameters.idText = ToStd(id_->currentText());
    parameters.bitRateText = ToStd(bitRate_->currentText());
    RtuMaster& link = model_.link();
    if (!link.open(parameters.portName).ok()) {
        ui_.showMessage(ComposeAlarmText(kMsgComsettingComopenErrorAlarmContents,
                                         kMsgComsettingComopenErrorCountermeasureContents),
                        MessageText(kMsgComsettingComopenErrorTitle), MessageIcon::Error,
                        MessageButtons::Ok);
        return;
    }
    CProgressDlg progress(
        CProgressDlg::kSearchAndCheck,
        [&link, parameters](Ui& ui) {
            const int result = SearchAndCheck(link, parameters, ui);
            ApplySearchOutcome(result);
            return result;
        },
        window());
    progress.exec();
    // The settings name the controller that answered, whatever the port list showed before.
    if (progress.result() == kSearchAccepted) {
        App().commSettings.portName = parameters.portName;
    }
    model_.ShowSearchResult(progress.result());
    model_.setCheckEnabled(true);
    Refresh();
    if (searchFinished_) {
        searchFinished_(progress.result());
    }
}

}  // namespace velmora
