#include "compare/qt/choose_actuator_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/language_targets.h"
#include "data/qt/work_dialog_support.h"
#include "sysfiles/language.h"

namespace velmora {

CChooseActuatorDlg::CChooseActuatorDlg(QWidget* parent)
    : VelmoraDialog(parent),
      ui_(this),
      patternLabel_(new QLabel(this)),
      pattern_(new QLineEdit(this)),
      search_(new QPushButton(this)),
      partNo_(new QComboBox(this)),
      svLabel_(new QLabel(this)),
      sv_(new QComboBox(this)),
      ioLabel_(new QLabel(this)),
      io_(new QComboBox(this)),
      ok_(new QPushButton(this)),
      cancel_(new QPushButton(this)) {
    setObjectName(QStringLiteral("CChooseActuatorDlg"));
    pattern_->setObjectName(QStringLiteral("pattern"));
    search_->setObjectName(QStringLiteral("partNoSearch"));
    partNo_->setObjectName(QStringLiteral("partNoResult"));
    sv_->setObjectName(QStringLiteral("svNo"));
    io_->setObjectName(QStringLiteral("ioSpec"));
    ok_->setObjectName(QStringLiteral("ok"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    for (QComboBox* list : {partNo_, sv_, io_}) {
        list->setMinimumContentsLength(18);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    }
    patternLabel_->setBuddy(pattern_);
    svLabel_->setBuddy(sv_);
    ioLabel_->setBuddy(io_);

    auto* grid = new QGridLayout;
    grid->addWidget(patternLabel_, 0, 0, 1, 3);
    grid->addWidget(pattern_, 1, 1);
    grid->addWidget(search_, 1, 2);
    grid->addWidget(partNo_, 2, 1);
    grid->addWidget(svLabel_, 3, 0);
    grid->addWidget(sv_, 3, 1);
    grid->addWidget(ioLabel_, 4, 0);
    grid->addWidget(io_, 4, 1);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);

    LanguageList()
        .text("DLG_ACTUATOR_GROUP_SELECTACTUATOR", this)
        .text("DLG_ACTUATOR_RADIOBUTTON_NO", patternLabel_)
        .text("DLG_ACTUATOR_BUTTON_SEARCHSTART2", search_)
        .text("DLG_ACTUATOR_TEXT_SV", svLabel_)
        .text("DLG_ACTUATOR_TEXT_IO", ioLabel_)
        .text("DLG_COMSETTING_BUTTON_OK", ok_)
        .text("DLG_PROGRESS_BUTTON_CANCEL", cancel_)
        .load(ui_);

    model_.LoadTable(ui_, TableRoot());
    model_.SetPartNoMode();
    SyncFromModel();

    connect(search_, &QPushButton::clicked, this, [this] {
        model_.setPattern(ToStd(pattern_->text()));
        model_.SearchPartNo();
        SyncFromModel();
    });
    connect(partNo_, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { Apply(&ActuatorSelectionModel::selectPartNoResult, index); });
    connect(sv_, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { Apply(&ActuatorSelectionModel::selectSv, index); });
    connect(io_, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { Apply(&ActuatorSelectionModel::selectIo, index); });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<stADP_FORMAT> CChooseActuatorDlg::chosen() const {
    if (model_.listSelected().empty()) {
        return std::nullopt;
    }
    return model_.listSelected().front();
}

void CChooseActuatorDlg::Apply(void (ActuatorSelectionModel::*operation)(int), int index) {
    (model_.*operation)(index);
    SyncFromModel();
}

void CChooseActuatorDlg::SyncFromModel() {
    ShowChoices(partNo_, model_.partNoResults());
    ShowChoices(sv_, model_.svNumbers());
    ShowChoices(io_, model_.ioSpecs());
    ok_->setEnabled(model_.startEnabled());
}

}  // namespace velmora
