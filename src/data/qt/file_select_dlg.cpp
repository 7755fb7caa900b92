#include "data/qt/file_select_dlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstddef>
#include <iterator>
#include <optional>
#include <utility>

#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/velmora_app.h"
#include "transmit/qt/transmitting_dlg.h"

namespace velmora {

namespace {

FileChooser& CurrentChooser() {
    static FileChooser chooser;
    return chooser;
}

}  // namespace

void CFileSelectDlg::setFileChooser(FileChooser chooser) {
    CurrentChooser() = std::move(chooser);
}

CFileSelectDlg::CFileSelectDlg(QWidget* parent)
    : WorkDialog(parent),
      ui_(this),
      fileGroup_(new QGroupBox(QStringLiteral("ファイル選択"), this)),
      path_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("参照"), this)),
      comGroup_(new QGroupBox(QStringLiteral("通信設定"), this)),
      comSetting_(new QPushButton(QStringLiteral("通信設定"), this)),
      writeGroup_(new QGroupBox(QStringLiteral("書込み内容"), this)),
      writeContents_(new QComboBox(this)),
      cautionTitle_(NewCautionTitle(QStringLiteral("注意"), this)),
      cautionContents_(NewWrappingLabel(
          QStringLiteral("書込みの前に、必ずコントローラのバックアップを取ってください。"), this)),
      return_(new QPushButton(QStringLiteral("戻る"), this)),
      start_(new QPushButton(QStringLiteral("開始"), this)) {
    setObjectName(QStringLiteral("CFileSelectDlg"));
    setWindowTitle(QStringLiteral("ファイルから書込み"));
    BuildLayout();
    LoadTexts();
    CompleteWriteContentsItems(writeContents_);
    model_.onReferenceVersion = ShowReferenceVersionOnMainWindow;
    model_.Initialise();
    connect(browse_, &QPushButton::clicked, this, &CFileSelectDlg::BrowseBackupFile);
    connect(comSetting_, &QPushButton::clicked, this, &CFileSelectDlg::OpenCommunicationSettings);
    connect(writeContents_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) {
                model_.selectWriteContents(index);
                SyncFromModel();
            });
    connect(return_, &QPushButton::clicked, this, &CFileSelectDlg::ReturnToMainWindow);
    connect(start_, &QPushButton::clicked, this, &CFileSelectDlg::StartFromFile);
    SyncFromModel();
}

void CFileSelectDlg::BuildLayout() {
    fileGroup_->setObjectName(QStringLiteral("fileGroup"));
    path_->setObjectName(QStringLiteral("path"));
    path_->setReadOnly(true);
    path_->setMinimumWidth(path_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
    browse_->setObjectName(QStringLiteral("browse"));
    comGroup_->setObjectName(QStringLiteral("comGroup"));
    comSetting_->setObjectName(QStringLiteral("comSetting"));
    writeGroup_->setObjectName(QStringLiteral("writeContentsGroup"));
    writeContents_->setObjectName(QStringLiteral("writeContents"));
    cautionTitle_->setObjectName(QStringLiteral("cautionTitle"));
    cautionContents_->setObjectName(QStringLiteral("cautionContents"));
    return_->setObjectName(QStringLiteral("return"));
    start_->setObjectName(QStringLiteral("start"));

    auto* file = new QHBoxLayout(fileGroup_);
    file->addWidget(path_, 1);
    file->addWidget(browse_);

    auto* com = new QHBoxLayout(comGroup_);
    com->addStretch();
    com->addWidget(comSetting_);

    auto* write = new QVBoxLayout(writeGroup_);
    write->addWidget(writeContents_);

    auto* caution = new QVBoxLayout;
    caution->setSpacing(2);
    caution->addWidget(cautionTitle_);
    caution->addWidget(cautionContents_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(return_);
    buttons->addWidget(start_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CConnectionStrip(this));
    layout->addWidget(fileGroup_);
    layout->addWidget(comGroup_);
    layout->addWidget(writeGroup_);
    layout->addLayout(caution);
    layout->addLayout(buttons);

    QWidget* const order[] = {path_, browse_, comSetting_, writeContents_, return_, start_};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void CFileSelectDlg::LoadTexts() {
    LanguageList()
        .text("DLG_FILE_TITLE", this)
        .text("DLG_FILE_GROUP_FILESELECT", fileGroup_)
        .text("DLG_FILE_BUTTON_REFERENCE", browse_)
        .text("DLG_FILE_GROUP_COMSETTING", comGroup_)
        .text("DLG_FILE_BUTTON_COMSETTING", comSetting_)
        .text("DLG_FILE_GROUP_WRITECONTENTS", writeGroup_)
        .combo("LIST_WRITECONTENTS_PARAM_AND_STEP", writeContents_, 0)
        .combo("LIST_WRITECONTENTS_PARAMONLY", writeContents_, 1)
        .combo("LIST_WRITECONTENTS_STEPONLY", writeContents_, 2)
        .text("DLG_FILE_TEXT_CAUTION_TITLE", cautionTitle_)
        .text("DLG_FILE_TEXT_CAUTION_CONTENTS", cautionContents_)
        .text("DLG_FILE_BUTTON_RETURN", return_)
        .text("DLG_FILE_BUTTON_START", start_)
        .load(ui_);
}

void CFileSelectDlg::SyncFromModel() {
    const QString path = FromStd(model_.path());
    if (path_->text() != path) {
        path_->setText(path);
    }
    {
        const QSignalBlocker blocker(writeContents_);
        writeContents_->setCurrentIndex(model_.writeContents());
    }
    start_->setEnabled(model_.startEnabled());
}

QString CFileSelectDlg::writeContentsText() const {
    return writeContents_->currentText();
}

void CFileSelectDlg::BrowseBackupFile() {
    const FileChooser& chooser = CurrentChooser();
    const QString chosen =
        chooser ? chooser(this) : ChooseBackupFile(this, FromStd(model_.path()), false);
    model_.BrowseResult(!chosen.isEmpty(), ToStd(chosen));
    SyncFromModel();
}

void CFileSelectDlg::StartFromFile() {
    CVelmoraApp* app = CVelmoraApp::instance();
    CTransmittingDlg* transmit = app != nullptr ? app->transmittingDlg() : nullptr;
    if (transmit == nullptr) {
        return;
    }
    const std::optional<TransmitRequest> request = model_.StartFromFile(ui_);
    if (request) {
        transmit->Open(*request, writeContentsText(), this);
    }
}

}  // namespace velmora
