#include "backup/qt/backup_dlg.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdint>
#include <string>
#include <utility>

#include "app/job_recorder.h"
#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/velmora_app.h"
#include "backup/backup_run.h"
#include "comsetup/qt/progress_dlg.h"
#include "rules/restriction.h"

namespace velmora {

namespace {

FileChooser& CurrentChooser() {
    static FileChooser chooser;
    return chooser;
}

}  // namespace

void CBackupDlg::setFileChooser(FileChooser chooser) {
    CurrentChooser() = std::move(chooser);
}

CBackupDlg::CBackupDlg(QWidget* parent)
    : WorkDialog(parent),
      ui_(this),
      fileGroup_(new QGroupBox(QStringLiteral("保存ファイル選択"), this)),
      path_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("参照"), this)),
      return_(new QPushButton(QStringLiteral("戻る"), this)),
      start_(new QPushButton(QStringLiteral("開始"), this)) {
    setObjectName(QStringLiteral("CBackupDlg"));
    setWindowTitle(QStringLiteral("バックアップ"));
    BuildLayout();
    start_->setEnabled(false);
    LoadTexts();
    connect(browse_, &QPushButton::clicked, this, &CBackupDlg::BrowseBackupFile);
    connect(return_, &QPushButton::clicked, this, &CBackupDlg::ReturnToMainWindow);
    connect(start_, &QPushButton::clicked, this, &CBackupDlg::StartBackup);
}

void CBackupDlg::BuildLayout() {
    fileGroup_->setObjectName(QStringLiteral("fileGroup"));
    path_->setObjectName(QStringLiteral("path"));
    path_->setReadOnly(true);
    path_->setMinimumWidth(path_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
    browse_->setObjectName(QStringLiteral("browse"));
    return_->setObjectName(QStringLiteral("return"));
    start_->setObjectName(QStringLiteral("start"));

    auto* file = new QHBoxLayout(fileGroup_);
    file->addWidget(path_, 1);
    file->addWidget(browse_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(return_);
    buttons->addWidget(start_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CConnectionStrip(this));
    layout->addWidget(fileGroup_);
    layout->addLayout(buttons);

    setTabOrder(path_, browse_);
    setTabOrder(browse_, return_);
    setTabOrder(return_, start_);
}

void CBackupDlg::LoadTexts() {
    LanguageList()
        .text("DLG_BACKUP_TITLE", this)
        .text("DLG_BACKUP_GROUP_SELECTFILE", fileGroup_)
        .text("DLG_BACKUP_BUTTON_REFERENCE", browse_)
        .text("DLG_BACKUP_BUTTON_RETURN", return_)
        .text("DLG_BACKUP_BUTTON_START", start_)
        .load(ui_);
}

QString CBackupDlg::path() const {
    return path_->text();
}

void CBackupDlg::BrowseBackupFile() {
    const FileChooser& chooser = CurrentChooser();
    const QString chosen = chooser ? chooser(this) : ChooseBackupFile(this, path_->text(), true);
    if (!chosen.isEmpty()) {
        path_->setText(chosen);
        path_->setCursorPosition(0);
    }
    // A cancelled browse keeps a path chosen before.
    start_->setEnabled(!path_->text().isEmpty());
}

void CBackupDlg::StartBackup() {
    CVelmoraApp* app = CVelmoraApp::instance();
    RtuMaster* link = MainLink();
    const QString chosen = path_->text();
    if (app == nullptr || link == nullptr || chosen.isEmpty()) {
        return;
    }
    const std::uint8_t station = ActiveStationAddress();
    const std::string target = ToStd(chosen);
    JobRecorder recorder(JobKind::Backup, ui_, LineRecord(*link, station));
    recorder.record().backupPath = target;
    if (RunRestrictionCheck(*link, station, RestrictBackup, 0, ui_) != 0) {
        recorder.finish(JobResult::Refused);
        return;
    }

    QPointer<QWidget> previous = app->mainWindow();
    app->setMainWindow(this);
    start_->setEnabled(false);
    {
        CProgressDlg progress(
            CProgressDlg::kBackup,
            [link, station, target, &recorder](Ui& ui) {
                TransferContext context{*link, station, ui};
                const int result = RunBackup(context, target);
                FinishTransfer(recorder, result, context);
                return result;
            },
            this);
        // The backup's messages belong to this dialog, not to the progress dialog.
        progress.ui().setOwner(this);
        progress.exec();
        lastResult_ = progress.result();
    }
    app->setMainWindow(previous);
    start_->setEnabled(!path_->text().isEmpty());
}

}  // namespace velmora
