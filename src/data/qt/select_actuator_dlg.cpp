#include "data/qt/select_actuator_dlg.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/velmora_app.h"
#include "data/qt/work_dialog_support.h"
#include "sysfiles/app_state.h"
#include "transmit/qt/transmitting_dlg.h"

namespace velmora {

namespace {

QComboBox* NewList(const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setMinimumContentsLength(18);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return combo;
}

}  // namespace

CSelectActuatorDlg::CSelectActuatorDlg(QWidget* parent)
    : WorkDialog(parent),
      ui_(this),
      selectGroup_(new QGroupBox(QStringLiteral("アクチュエータ選択"), this)),
      narrowDownRadio_(new QRadioButton(QStringLiteral("仕様から絞り込む"), this)),
      modelLabel_(new QLabel(QStringLiteral("機種"), this)),
      modelCombo_(NewList("model", this)),
      controllerLabel_(new QLabel(QStringLiteral("コントローラ"), this)),
      controller_(NewList("controller", this)),
      motorLabel_(new QLabel(QStringLiteral("モータ取付方向"), this)),
      motor_(NewList("motor", this)),
      leadLabel_(new QLabel(QStringLiteral("リード"), this)),
      lead_(NewList("lead", this)),
      strokeLabel_(new QLabel(QStringLiteral("ストローク"), this)),
      stroke_(NewList("stroke", this)),
      narrowDownResult_(NewList("narrowDownResult", this)),
      narrowDownSearch_(new QPushButton(QStringLiteral("検索"), this)),
      partNoRadio_(new QRadioButton(QStringLiteral("品番から検索する"), this)),
      pattern_(new QLineEdit(this)),
      partNoResult_(NewList("partNoResult", this)),
      partNoSearch_(new QPushButton(QStringLiteral("検索"), this)),
      conditionsGroup_(new QGroupBox(QStringLiteral("コントローラ条件"), this)),
      svLabel_(new QLabel(QStringLiteral("SV番号"), this)),
      sv_(NewList("sv", this)),
      ioLabel_(new QLabel(QStringLiteral("I/O仕様"), this)),
      io_(NewList("io", this)),
      comSetting_(new QPushButton(QStringLiteral("通信設定"), this)),
      writeGroup_(new QGroupBox(QStringLiteral("書込み内容"), this)),
      writeContents_(NewList("writeContents", this)),
      cautionTitle_(NewCautionTitle(QStringLiteral("注意"), this)),
      cautionContents_(NewWrappingLabel(
          QStringLiteral("書込みの前に、必ずコントローラのバックアップを取ってください。"), this)),
      return_(new QPushButton(QStringLiteral("戻る"), this)),
      start_(new QPushButton(QStringLiteral("開始"), this)) {
    setObjectName(QStringLiteral("CSelectActuatorDlg"));
    setWindowTitle(QStringLiteral("アクチュエータ選択"));
    BuildLayout();
    start_->setEnabled(false);
    LoadTexts();
    CompleteWriteContentsItems(writeContents_);
    for (int i = 0; i < kWriteContentsCount; ++i) {
        model_.setWriteContentsText(i, ToStd(writeContents_->itemText(i)));
    }
    model_.onReferenceVersion = ShowReferenceVersionOnMainWindow;
    Connect();
    Apply([this] { model_.Initialise(ui_, TableRoot()); });
}

void CSelectActuatorDlg::BuildLayout() {
    selectGroup_->setObjectName(QStringLiteral("selectGroup"));
    narrowDownRadio_->setObjectName(QStringLiteral("narrowDownMode"));
    modelLabel_->setObjectName(QStringLiteral("modelLabel"));
    controllerLabel_->setObjectName(QStringLiteral("controllerLabel"));
    motorLabel_->setObjectName(QStringLiteral("motorLabel"));
    leadLabel_->setObjectName(QStringLiteral("leadLabel"));
    strokeLabel_->setObjectName(QStringLiteral("strokeLabel"));
    narrowDownSearch_->setObjectName(QStringLiteral("narrowDownSearch"));
    partNoRadio_->setObjectName(QStringLiteral("partNoMode"));
    pattern_->setObjectName(QStringLiteral("pattern"));
    partNoSearch_->setObjectName(QStringLiteral("partNoSearch"));
    conditionsGroup_->setObjectName(QStringLiteral("conditionsGroup"));
    svLabel_->setObjectName(QStringLiteral("svLabel"));
    ioLabel_->setObjectName(QStringLiteral("ioLabel"));
    comSetting_->setObjectName(QStringLiteral("comSetting"));
    writeGroup_->setObjectName(QStringLiteral("writeContentsGroup"));
    cautionTitle_->setObjectName(QStringLiteral("cautionTitle"));
    cautionContents_->setObjectName(QStringLiteral("cautionContents"));
    return_->setObjectName(QStringLiteral("return"));
    start_->setObjectName(QStringLiteral("start"));

    modelLabel_->setBuddy(modelCombo_);
    controllerLabel_->setBuddy(controller_);
    motorLabel_->setBuddy(motor_);
    leadLabel_->setBuddy(lead_);
    strokeLabel_->setBuddy(stroke_);
    svLabel_->setBuddy(sv_);
    ioLabel_->setBuddy(io_);

    auto* modes = new QButtonGroup(this);
    modes->addButton(narrowDownRadio_);
    modes->addButton(partNoRadio_);

    // Column 0 labels, column 1 lists, column 2 search buttons; the lists of each mode sit
    // indented under their radio button.
    auto* select = new QGridLayout(selectGroup_);
    select->setColumnMinimumWidth(0, 16);
    select->addWidget(narrowDownRadio_, 0, 0, 1, 4);
    const std::pair<QLabel*, QComboBox*> stages[] = {
        {modelLabel_, modelCombo_}, {controllerLabel_, controller_}, {motorLabel_, motor_},
        {leadLabel_, lead_},        {strokeLabel_, stroke_},
    };
    int row = 1;
    for (const auto& [label, combo] : stages) {
        select->addWidget(label, row, 1);
        select->addWidget(combo, row, 2);
        ++row;
    }
    select->addWidget(narrowDownResult_, row, 2);
    select->addWidget(narrowDownSearch_, row, 3);
    ++row;
    select->addWidget(partNoRadio_, row++, 0, 1, 4);
    select->addWidget(pattern_, row, 2);
    select->addWidget(partNoSearch_, row, 3);
    ++row;
    select->addWidget(partNoResult_, row, 2);
    select->setColumnStretch(2, 1);

    auto* conditions = new QGridLayout(conditionsGroup_);
    conditions->addWidget(svLabel_, 0, 0);
    conditions->addWidget(sv_, 0, 1);
    conditions->addWidget(ioLabel_, 1, 0);
    conditions->addWidget(io_, 1, 1);
    conditions->addWidget(comSetting_, 2, 0, 1, 2, Qt::AlignRight);
    conditions->setColumnStretch(1, 1);

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
    layout->addWidget(selectGroup_);
    layout->addWidget(conditionsGroup_);
    layout->addWidget(writeGroup_);
    layout->addLayout(caution);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    QWidget* const order[] = {narrowDownRadio_,
                              modelCombo_,
                              controller_,
                              motor_,
                              lead_,
                              stroke_,
                              narrowDownResult_,
                              narrowDownSearch_,
                              partNoRadio_,
                              pattern_,
                              partNoSearch_,
                              partNoResult_,
                              sv_,
                              io_,
                              comSetting_,
                              writeContents_,
                              return_,
                              start_};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void CSelectActuatorDlg::LoadTexts() {
    LanguageList()
        .text("DLG_ACTUATOR_TITLE", this)
        .text("DLG_ACTUATOR_GROUP_SELECTACTUATOR", selectGroup_)
        .text("DLG_ACTUATOR_RADIOBUTTON_NARROWDOWN", narrowDownRadio_)
        .text("DLG_ACTUATOR_TEXT_MODEL", modelLabel_)
        .text("DLG_ACTUATOR_TEXT_CONTROLLER", controllerLabel_)
        .text("DLG_ACTUATOR_TEXT_MOTOR", motorLabel_)
        .text("DLG_ACTUATOR_TEXT_LEAD", leadLabel_)
        .text("DLG_ACTUATOR_TEXT_STROKE", strokeLabel_)
        .text("DLG_ACTUATOR_BUTTON_SEARCHSTART1", narrowDownSearch_)
        .text("DLG_ACTUATOR_RADIOBUTTON_NO", partNoRadio_)
        .text("DLG_ACTUATOR_BUTTON_SEARCHSTART2", partNoSearch_)
        .text("DLG_ACTUATOR_GROUP_CONTROLLERMETHOD", conditionsGroup_)
        .text("DLG_ACTUATOR_TEXT_SV", svLabel_)
        .text("DLG_ACTUATOR_TEXT_IO", ioLabel_)
        .text("DLG_ACTUATOR_BUTTON_COMSETTING", comSetting_)
        .text("DLG_ACTUATOR_GROUP_WRITECONTENTS", writeGroup_)
        .combo("LIST_WRITECONTENTS_PARAM_AND_STEP", writeContents_, 0)
        .combo("LIST_WRITECONTENTS_PARAMONLY", writeContents_, 1)
        .combo("LIST_WRITECONTENTS_STEPONLY", writeContents_, 2)
        .text("DLG_ACTUATOR_TEXT_CAUTION_TITLE", cautionTitle_)
        .text("DLG_ACTUATOR_TEXT_CAUTION_CONTENTS", cautionContents_)
        .text("DLG_ACTUATOR_BUTTON_RETURN", return_)
        .text("DLG_ACTUATOR_BUTTON_START", start_)
        .load(ui_);
}

void CSelectActuatorDlg::Connect() {
    const auto onSelect = [this](QComboBox* combo, void (ActuatorSelectionModel::*select)(int)) {
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this,
                [this, select](int index) { Apply([&] { (model_.*select)(index); }); });
    };
    onSelect(modelCombo_, &ActuatorSelectionModel::selectModel);
    onSelect(controller_, &ActuatorSelectionModel::selectController);
    onSelect(motor_, &ActuatorSelectionModel::selectMotor);
    onSelect(lead_, &ActuatorSelectionModel::selectLead);
    onSelect(stroke_, &ActuatorSelectionModel::selectStroke);
    onSelect(narrowDownResult_, &ActuatorSelectionModel::selectNarrowDownResult);
    onSelect(partNoResult_, &ActuatorSelectionModel::selectPartNoResult);
    onSelect(sv_, &ActuatorSelectionModel::selectSv);
    onSelect(io_, &ActuatorSelectionModel::selectIo);
    onSelect(writeContents_, &ActuatorSelectionModel::selectWriteContents);

    connect(narrowDownRadio_, &QRadioButton::clicked, this,
            [this] { Apply([this] { model_.SetNarrowDownMode(); }); });
    connect(partNoRadio_, &QRadioButton::clicked, this,
            [this] { Apply([this] { model_.SetPartNoMode(); }); });
    connect(pattern_, &QLineEdit::textChanged, this,
            [this](const QString& text) { model_.setPattern(ToStd(text)); });
    connect(narrowDownSearch_, &QPushButton::clicked, this, &CSelectActuatorDlg::SearchNarrowDown);
    connect(partNoSearch_, &QPushButton::clicked, this, &CSelectActuatorDlg::SearchPartNo);
    connect(comSetting_, &QPushButton::clicked, this,
            &CSelectActuatorDlg::OpenCommunicationSettings);
    connect(return_, &QPushButton::clicked, this, &CSelectActuatorDlg::ReturnToMainWindow);
    connect(start_, &QPushButton::clicked, this, &CSelectActuatorDlg::StartWriting);
}

void CSelectActuatorDlg::Apply(const std::function<void()>& operation) {
    operation();
    SyncFromModel();
}

void CSelectActuatorDlg::SyncFromModel() {
    ShowChoices(modelCombo_, model_.models());
    ShowChoices(controller_, model_.controllers());
    ShowChoices(motor_, model_.motors());
    ShowChoices(lead_, model_.leads());
    ShowChoices(stroke_, model_.strokes());
    ShowChoices(narrowDownResult_, model_.narrowDownResults());
    ShowChoices(partNoResult_, model_.partNoResults());
    ShowChoices(sv_, model_.svNumbers());
    ShowChoices(io_, model_.ioSpecs());
    {
        const QSignalBlocker blocker(writeContents_);
        writeContents_->setCurrentIndex(model_.writeContents().current);
    }
    if (pattern_->text() != FromStd(model_.pattern())) {
        const QSignalBlocker blocker(pattern_);
        pattern_->setText(FromStd(model_.pattern()));
    }
    const bool narrowDown = model_.mode() == ActuatorSelectionModel::Mode::NarrowDown;
    narrowDownRadio_->setChecked(narrowDown);
    partNoRadio_->setChecked(!narrowDown);
    const bool stagesEnabled = model_.narrowDownControlsEnabled();
    for (QWidget* widget : std::initializer_list<QWidget*>{
             modelLabel_, modelCombo_, controllerLabel_, controller_, motorLabel_, motor_,
             leadLabel_, lead_, strokeLabel_, stroke_, narrowDownResult_, narrowDownSearch_}) {
        widget->setEnabled(stagesEnabled);
    }
    const bool partNoEnabled = model_.partNoControlsEnabled();
    for (QWidget* widget :
         std::initializer_list<QWidget*>{pattern_, partNoResult_, partNoSearch_}) {
        widget->setEnabled(partNoEnabled);
    }
    start_->setEnabled(model_.startEnabled());
}

void CSelectActuatorDlg::ReloadTable() {
    Apply([this] {
        model_.selectWriteContents(0);
        model_.LoadTable(ui_, TableRoot());
    });
}

QString CSelectActuatorDlg::writeContentsText() const {
    return writeContents_->currentText();
}

void CSelectActuatorDlg::SearchNarrowDown() {
    Apply([this] { model_.SearchNarrowDown(); });
}

void CSelectActuatorDlg::SearchPartNo() {
    model_.setPattern(ToStd(pattern_->text()));
    Apply([this] { model_.SearchPartNo(); });
}

void CSelectActuatorDlg::StartWriting() {
    CVelmoraApp* app = CVelmoraApp::instance();
    CTransmittingDlg* transmit = app != nullptr ? app->transmittingDlg() : nullptr;
    if (transmit == nullptr) {
        return;
    }
    const std::optional<TransmitRequest> request = model_.StartWriting();
    SyncFromModel();
    if (request) {
        transmit->Open(*request, writeContentsText(), this);
    }
}

}  // namespace velmora
