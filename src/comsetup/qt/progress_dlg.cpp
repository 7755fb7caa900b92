#include "comsetup/qt/progress_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/language_targets.h"
#include "sysfiles/language.h"

namespace velmora {

CProgressDlg::CProgressDlg(int mode, Work work, QWidget* owner)
    : VelmoraDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      mode_(mode),
      work_(std::move(work)),
      ui_(this),
      bar_(new QProgressBar(this)),
      percent_(new QLabel(QStringLiteral("0%"), this)),
      status_(new QLabel(this)),
      cancel_(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("CProgressDlg"));
    setWindowTitle(QApplication::applicationDisplayName());
    setModal(true);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(360);
    percent_->setObjectName(QStringLiteral("percent"));
    percent_->setMinimumWidth(percent_->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    cancel_->setObjectName(QStringLiteral("cancel"));

    auto* barRow = new QHBoxLayout;
    barRow->addWidget(bar_, 1);
    barRow->addWidget(percent_);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(barRow);
    layout->addWidget(status_);
    layout->addLayout(buttonRow);

    connect(&ui_, &QtUi::progressChanged, this, [this](int percent) {
        bar_->setValue(percent);
        percent_->setText(QStringLiteral("%1%").arg(percent));
    });
    connect(&ui_, &QtUi::statusTextChanged, status_, &QLabel::setText);
    connect(cancel_, &QPushButton::clicked, this, &CProgressDlg::onCancel);

    QtUi loader(this);
    // The job names the window, so a search is not mistaken for a backup.
    LanguageList()
        .text(mode == kBackup ? "DLG_BACKUP_TITLE" : "DLG_COMSETTING_BUTTON_COMCHECK", this)
        .text("DLG_PROGRESS_BUTTON_CANCEL", cancel_)
        .load(loader);
    if (mode == kCompare) {
        setWindowTitle(DisplayText(MessageText(kMsgCompareTitle)));
    }
}

CProgressDlg::~CProgressDlg() {
    // The dialog normally closes only after its worker ended; make sure of it.
    ui_.requestCancel();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void CProgressDlg::showEvent(QShowEvent* event) {
    VelmoraDialog::showEvent(event);
    if (started_) {
        return;
    }
    started_ = true;
    adjustSize();
    CenterOnWorkArea(this);
    worker_ = std::thread([this] {
        const int result = work_ ? work_(ui_) : -1;
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                result_ = result;
                onWorkFinished();
            },
            Qt::QueuedConnection);
    });
}

void CProgressDlg::onCancel() {
    cancel_->setEnabled(false);
    ui_.requestCancel();
}

void CProgressDlg::onWorkFinished() {
    if (worker_.joinable()) {
        worker_.join();
    }
    finished_ = true;
    done(QDialog::Accepted);
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    // Only the worker closes this dialog.
    if (!finished_) {
        event->ignore();
        return;
    }
    VelmoraDialog::closeEvent(event);
}

}  // namespace velmora
