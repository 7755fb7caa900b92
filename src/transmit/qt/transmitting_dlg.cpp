#include "transmit/qt/transmitting_dlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "app/job_recorder.h"
#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/sv_error_dlg.h"
#include "app/qt/velmora_app.h"
#include "backup/auto_backup.h"
#include "data/file_selection.h"
#include "data/qt/file_select_dlg.h"
#include "data/qt/select_actuator_dlg.h"
#include "data/qt/work_dialog_support.h"
#include "rules/restriction.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "sysfiles/settings_file.h"
#include "transmit/transmit_contents.h"
#include "transmit/transmit_worker.h"
#include "transmit/write_source.h"

namespace velmora {

namespace {

std::function<void(int)>& Sleeper() {
    static std::function<void(int)> sleeper;
    return sleeper;
}

std::function<void(QWidget*)>& SvErrorPresenter() {
    static std::function<void(QWidget*)> presenter;
    return presenter;
}

QLineEdit* NewShownValue(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 36);
    return edit;
}

// The SV number as the rule check takes it: the first line of the display, as a short text.
std::string SvTextForSelection(const QString& shown) {
    std::string text = ToStd(shown);
    const std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) {
        text.erase(end);
    }
    constexpr std::size_t kLongestSvText = 19;
    if (text.size() > kLongestSvText) {
        text.erase(kLongestSvText);
    }
    return text;
}

QString ValueText(std::uint32_t value) {
    return QString::asprintf(value > 0xFFFFu ? "%08x" : "%04x", static_cast<unsigned>(value));
}

}  // namespace

void CTransmittingDlg::setSleeper(std::function<void(int ms)> sleeper) {
    Sleeper() = std::move(sleeper);
}

void CTransmittingDlg::setSvErrorPresenter(std::function<void(QWidget* parent)> presenter) {
    SvErrorPresenter() = std::move(presenter);
}

QString CTransmittingDlg::DifferencesText(const std::vector<VerifyDifference>& differences) {
    QString text = QStringLiteral("register\tkey\twritten\tread\n");
    for (const VerifyDifference& row : differences) {
        text += QStringLiteral("D%1\t%2\t%3\t%4\n")
                    .arg(QString::asprintf("%04x", static_cast<unsigned>(row.reg)),
                         row.key.empty() ? QStringLiteral("-") : FromStd(row.key),
                         ValueText(row.written), ValueText(row.read));
    }
    return text;
}

CTransmittingDlg::CTransmittingDlg(QWidget* parent)
    : VelmoraDialog(parent),
      ui_(this),
      actuatorLabel_(new QLabel(QStringLiteral("アクチュエータ品番"), this)),
      actuator_(NewShownValue("actuator", this)),
      controllerLabel_(new QLabel(QStringLiteral("コントローラ品番"), this)),
      controller_(NewShownValue("controller", this)),
      svLabel_(new QLabel(QStringLiteral("SV番号"), this)),
      sv_(NewShownValue("sv", this)),
      paramVersionLabel_(new QLabel(QStringLiteral("パラメータバージョン"), this)),
      paramVersion_(NewShownValue("paramVersion", this)),
      writeContentsLabel_(new QLabel(QStringLiteral("書込み内容"), this)),
      writeContentsEdit_(NewShownValue("writeContents", this)),
      confirm_(NewWrappingLabel(QStringLiteral("上記データをコントローラに書込みします。"), this)),
      progress_(new QProgressBar(this)),
      percent_(new QLabel(QStringLiteral("100%"), this)),
      status_(NewWrappingLabel(QStringLiteral("書込み完了"), this)),
      result_(NewWrappingLabel(QString(), this)),
      cautionIcon_(new QLabel(this)),
      caution_(NewWrappingLabel(
          QStringLiteral(
              "必ずコントローラ銘板の品番を（コントローラ品番）に変更し使用してください。"),
          this)),
      autoBackup_(new QCheckBox(this)),
      backupNote_(NewWrappingLabel(QString(), this)),
      undo_(new QPushButton(this)),
      again_(new QPushButton(this)),
      return_(new QPushButton(QStringLiteral("戻る"), this)),
      send_(new QPushButton(QStringLiteral("送信"), this)) {
    setObjectName(QStringLiteral("CTransmittingDlg"));
    setWindowTitle(QStringLiteral("送信"));
    BuildLayout();
    progress_->setRange(0, 100);
    progress_->setValue(100);
    LoadTexts();

    connect(&ui_, &QtUi::progressChanged, this, [this](int percent) {
        progress_->setValue(percent);
        percent_->setText(QString::asprintf("%d%%", percent));
    });
    connect(&ui_, &QtUi::statusTextChanged, status_, &QLabel::setText);
    connect(send_, &QPushButton::clicked, this, &CTransmittingDlg::StartTransmit);
    connect(return_, &QPushButton::clicked, this, &CTransmittingDlg::ReturnToOpener);
    connect(undo_, &QPushButton::clicked, this, &CTransmittingDlg::UndoLastWrite);
    connect(again_, &QPushButton::clicked, this, &CTransmittingDlg::WriteAgain);
    autoBackup_->setChecked(ReadAutoBackupSetting(ModulePath(kWorkSettingsFile)));
    connect(autoBackup_, &QCheckBox::toggled, this,
            [](bool on) { WriteAutoBackupSetting(ModulePath(kWorkSettingsFile), on); });

    ShowLayout(kConfirmationLayout);
    busy_ = 0;
}

CTransmittingDlg::~CTransmittingDlg() {
    // The worker may be waiting for a message box on this thread: keep serving it until the
    // write is over.
    while (worker_.joinable() && !workerDone_.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

void CTransmittingDlg::BuildLayout() {
    actuatorLabel_->setObjectName(QStringLiteral("actuatorLabel"));
    controllerLabel_->setObjectName(QStringLiteral("controllerLabel"));
    svLabel_->setObjectName(QStringLiteral("svLabel"));
    paramVersionLabel_->setObjectName(QStringLiteral("paramVersionLabel"));
    writeContentsLabel_->setObjectName(QStringLiteral("writeContentsLabel"));
    confirm_->setObjectName(QStringLiteral("confirm"));
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setTextVisible(false);
    percent_->setObjectName(QStringLiteral("percent"));
    percent_->setMinimumWidth(percent_->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    status_->setObjectName(QStringLiteral("status"));
    result_->setObjectName(QStringLiteral("result"));
    QFont resultFont = result_->font();
    resultFont.setBold(true);
    resultFont.setPointSizeF(resultFont.pointSizeF() * 1.4);
    result_->setFont(resultFont);
    cautionIcon_->setObjectName(QStringLiteral("cautionIcon"));
    cautionIcon_->setPixmap(WarningSignPixmap(32));
    caution_->setObjectName(QStringLiteral("caution"));
    autoBackup_->setObjectName(QStringLiteral("autoBackup"));
    backupNote_->setObjectName(QStringLiteral("backupNote"));
    backupNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    undo_->setObjectName(QStringLiteral("undo"));
    again_->setObjectName(QStringLiteral("again"));
    return_->setObjectName(QStringLiteral("return"));
    send_->setObjectName(QStringLiteral("send"));

    const std::pair<QLabel*, QLineEdit*> rows[] = {
        {actuatorLabel_, actuator_},
        {controllerLabel_, controller_},
        {svLabel_, sv_},
        {paramVersionLabel_, paramVersion_},
        {writeContentsLabel_, writeContentsEdit_},
    };
    auto* shown = new QGridLayout;
    int row = 0;
    for (const auto& [label, edit] : rows) {
        label->setBuddy(edit);
        shown->addWidget(label, row, 0);
        shown->addWidget(edit, row, 1);
        ++row;
    }
    shown->setColumnStretch(1, 1);

    auto* bar = new QHBoxLayout;
    bar->addWidget(progress_, 1);
    bar->addWidget(percent_);

    auto* cautionRow = new QHBoxLayout;
    cautionRow->addWidget(cautionIcon_, 0, Qt::AlignTop);
    cautionRow->addWidget(caution_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(undo_);
    buttons->addWidget(again_);
    buttons->addStretch();
    buttons->addWidget(return_);
    buttons->addWidget(send_);

    auto* layout = new QVBoxLayout(this);
    // Above the summary: the confirmation names the controller the write goes to.
    layout->addWidget(new CConnectionStrip(this));
    layout->addLayout(shown);
    layout->addWidget(confirm_);
    layout->addWidget(autoBackup_);
    layout->addLayout(bar);
    layout->addWidget(status_);
    layout->addWidget(result_);
    layout->addLayout(cautionRow);
    layout->addWidget(backupNote_);
    layout->addLayout(buttons);

    QWidget* const order[] = {actuator_,   controller_, sv_,    paramVersion_, writeContentsEdit_,
                              autoBackup_, undo_,       again_, return_,       send_};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void CTransmittingDlg::LoadTexts() {
    LanguageList()
        .text("DLG_TRANSMIT_TITLE", this)
        .text("DLG_TRANSMIT_TEXT_ACTUATOR", actuatorLabel_)
        .text("DLG_TRANSMIT_TEXT_CONTROLLER", controllerLabel_)
        .text("DLG_TRANSMIT_TEXT_SV", svLabel_)
        .text("DLG_TRANSMIT_TEXT_PARAMETER", paramVersionLabel_)
        .text("DLG_TRANSMIT_TEXT_WRITECONTENTS", writeContentsLabel_)
        .text("DLG_TRANSMIT_TEXT_CONFIRM", confirm_)
        .text("DLG_TRANSMIT_TEXT_CAUTION_CONTENTS", caution_)
        .text("DLG_TRANSMIT_BUTTON_START", send_)
        .text("DLG_TRANSMIT_BUTTON_RETURN", return_)
        .load(ui_);
    autoBackup_->setText(DisplayText(MessageText(kMsgAutoBackupSetting)));
    undo_->setText(DisplayText(MessageText(kMsgUndoWrite)));
    again_->setText(DisplayText(MessageText(kMsgWriteAgain)));
}

void CTransmittingDlg::ShowLayout(TransmitLayout layout) {
    layout_ = layout;
    const bool transmitting = layout == kTransmittingLayout;
    confirm_->setVisible(!transmitting);
    autoBackup_->setVisible(!transmitting);
    progress_->setVisible(transmitting);
    status_->setVisible(transmitting);
    percent_->setVisible(transmitting);
    // The outcome line and what follows a write belong to a finished write; OnWorkerFinished
    // shows them.
    result_->hide();
    backupNote_->hide();
    undo_->hide();
    again_->hide();
    if (!transmitting) {
        cautionIcon_->hide();
        caution_->hide();
    }
    send_->setEnabled(!transmitting);
    return_->setEnabled(!transmitting);
    if (transmitting) {
        // Keyboard focus stays in the window while both buttons are disabled, without
        // selecting the part number as if it were to be edited.
        actuator_->setFocus(Qt::OtherFocusReason);
        actuator_->deselect();
    } else {
        return_->setFocus();
    }
    FitHeight();
}

// The window follows the rows shown, as the layouts of a fixed dialog would.
void CTransmittingDlg::FitHeight() {
    if (!isVisible()) {
        return;
    }
    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                     : layout()->totalMinimumSize().height();
    resize(width(), height);
}

void CTransmittingDlg::Open(const TransmitRequest& request, const QString& writeContentsText,
                            QWidget* opener) {
    if (busy_ != 0) {
        return;
    }
    request_ = request;
    writeContentsText_ = writeContentsText;
    ShowRequest();
    opener_ = opener;
    ShowLayout(kConfirmationLayout);
    if (opener != nullptr) {
        opener->hide();
    }
    adjustSize();
    CenterOnWorkArea(this);
    show();
    raise();
    activateWindow();
    return_->setFocus();
}

void CTransmittingDlg::ShowRequest() {
    writeContents_ = request_.writeContents;
    fromFile_ = request_.fromFile;
    const TransmitContents contents =
        MakeTransmitContents(request_.record, ToStd(writeContentsText_));
    const std::pair<QLineEdit*, const std::string*> values[] = {
        {actuator_, &contents.partNo},
        {controller_, &contents.controller},
        {sv_, &contents.svNo},
        {paramVersion_, &contents.paramVersion},
        {writeContentsEdit_, &contents.writeContents},
    };
    for (const auto& [edit, value] : values) {
        edit->setText(FromStd(*value));
        edit->setCursorPosition(0);
    }
}

void CTransmittingDlg::UndoLastWrite() {
    if (busy_ != 0 || autoBackupPath_.empty()) {
        return;
    }
    TransmitRequest undo;
    undo.fromFile = kFromBackupFile;
    undo.writeContents = 0;
    if (DescribeBackupFile(autoBackupPath_, undo.record, ui_) != 0) {
        return;  // the file's problem has been shown
    }
    request_ = undo;
    writeContentsText_ = FromStd(MessageText(kMsgUndoWrite));
    ShowRequest();
    StartTransmit();
}

void CTransmittingDlg::WriteAgain() {
    StartTransmit();
}

void CTransmittingDlg::StartTransmit() {
    if (busy_ != 0) {
        return;
    }
    RtuMaster* link = MainLink();
    if (link == nullptr) {
        return;
    }
    // The whole input is read and checked before the controller is asked anything.
    WriteSourceLoading loading = LoadWriteSource(request_);
    if (ConfirmWriteSource(loading, ui_) != SourceVerdict::Go) {
        return;
    }
    const std::uint8_t station = ActiveStationAddress();
    const int operation = fromFile_ == kFromBackupFile ? RestrictFile : RestrictActuator;
    const int selection = SelectionNumberFromSvText(SvTextForSelection(sv_->text()));
    const JobKind kind = fromFile_ == kFromBackupFile ? JobKind::Restore : JobKind::WriteActuator;
    if (RunRestrictionCheck(*link, station, operation, selection, ui_) != 0) {
        JobRecorder refused(kind, ui_, LineRecord(*link, station));
        RecordWriteSource(refused, *loading.source);
        refused.finish(JobResult::Refused);
        return;
    }

    busy_ = 1;
    differences_.clear();
    link->resetRepeatedRequests();
    progress_->setValue(0);
    percent_->setText(QString::asprintf("%d%%", 0));
    // Whatever the last write left there would mislead until the worker's first status.
    status_->clear();
    ShowLayout(kTransmittingLayout);

    TransmitHooks hooks;
    hooks.showSvError = [this] { RunOnGuiThread([this] { ShowSvError(); }); };
    hooks.showCaution = [this] {
        QMetaObject::invokeMethod(
            this, [this] { ShowCaution(); }, Qt::QueuedConnection);
    };
    hooks.sleep = Sleeper();
    hooks.verifyDetails = [](const std::vector<VerifyDifference>& rows) {
        return ToStd(DifferencesText(rows));
    };
    if (autoBackup_->isChecked()) {
        hooks.autoBackupFolder = ModulePath(kAutoBackupFolder);
    }
    autoBackupPath_.clear();
    workerDone_ = false;
    worker_ = std::thread(
        [this, kind, link, station, source = std::move(*loading.source), hooks = std::move(hooks)] {
            TransferContext context{*link, station, ui_, &differences_};
            // Made on the worker: opening the history must not hold the window up.
            JobRecorder recorder(kind, ui_, LineRecord(*link, station));
            RecordWriteSource(recorder, source);
            RecordUnitNameBefore(recorder, *link, station);
            const int result = TransmitWorker(context, source, hooks);
            recorder.record().autoBackupPath = context.autoBackupPath;
            FinishTransfer(recorder, result, context);
            const bool began = context.writingBegan;
            std::string backupPath = context.autoBackupPath;
            workerDone_ = true;
            QMetaObject::invokeMethod(
                this,
                [this, result, began, backupPath = std::move(backupPath)] {
                    OnWorkerFinished(result, began, backupPath);
                },
                Qt::QueuedConnection);
        });
}

void CTransmittingDlg::RunOnGuiThread(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
}

void CTransmittingDlg::ShowSvError() {
    if (const auto& presenter = SvErrorPresenter()) {
        presenter(this);
        return;
    }
    CSVErrorDlg dialog(ui_, this);
    dialog.adjustSize();
    CenterOnWorkArea(&dialog);
    dialog.exec();
}

void CTransmittingDlg::ShowCaution() {
    cautionIcon_->show();
    caution_->show();
    FitHeight();
}

void CTransmittingDlg::OnWorkerFinished(int result, bool writingBegan,
                                        const std::string& autoBackupPath) {
    if (worker_.joinable()) {
        worker_.join();
    }
    lastResult_ = result;
    autoBackupPath_ = writingBegan ? autoBackupPath : std::string();
    // The undo is offered for any write that began, failed ones most of all.
    if (!autoBackupPath_.empty()) {
        backupNote_->setText(DisplayText(MessageText(kMsgAutoBackupSaved)) + QStringLiteral(" ") +
                             FromStd(autoBackupPath_));
        backupNote_->show();
        undo_->show();
    }
    again_->setVisible(result == 0);
    return_->setEnabled(true);
    busy_ = 0;
    // A write that rode out line errors says so under its outcome.
    if (RtuMaster* link = MainLink(); link != nullptr && link->repeatedRequests() > 0) {
        const std::string note =
            MessageText(kMsgLinkRequestsRepeated) + " " + std::to_string(link->repeatedRequests());
        status_->setText(status_->text() + QStringLiteral("\n") + DisplayText(note));
    }
    ShowResultLine(result, writingBegan);
    emit transmitFinished(result);
}

// The outcome in a line that cannot be missed: whether the controller holds the data, holds
// what it had, or may hold a mixture.
void CTransmittingDlg::ShowResultLine(int result, bool writingBegan) {
    const bool good = result == 0;
    const MessageId text = good           ? kMsgTransmitResultVerified
                           : writingBegan ? kMsgTransmitResultIncomplete
                                          : kMsgTransmitResultNotWritten;
    result_->setText(DisplayText(MessageText(text)));
    QPalette palette = result_->palette();
    palette.setColor(QPalette::WindowText,
                     good ? QColor(0x1a, 0x7f, 0x37) : QColor(0xc0, 0x1c, 0x28));
    result_->setPalette(palette);
    result_->show();
    FitHeight();
}

void CTransmittingDlg::ReturnToOpener() {
    if (busy_ != 0) {
        return;
    }
    hide();
    QWidget* opener = opener_.data();
    if (opener == nullptr) {
        if (CVelmoraApp* app = CVelmoraApp::instance()) {
            opener = fromFile_ == kFromBackupFile ? static_cast<QWidget*>(app->fileSelectDlg())
                                                  : static_cast<QWidget*>(app->selectActuatorDlg());
        }
    }
    if (opener != nullptr) {
        opener->show();
        opener->raise();
        opener->activateWindow();
    }
    ShowLayout(kConfirmationLayout);
}

void CTransmittingDlg::closeEvent(QCloseEvent* event) {
    if (busy_ != 0 || App().restartRequested != 0) {
        event->ignore();
        return;
    }
    event->accept();
    if (CVelmoraApp* app = CVelmoraApp::instance()) {
        app->CloseFromWorkDialog();
    }
}

}  // namespace velmora
