#include "app/qt/qualification_dlg.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/language_targets.h"

namespace velmora {

CQualificationDlg::CQualificationDlg(Ui& ui, QWidget* parent)
    : VelmoraDialog(parent),
      contents_(new QPlainTextEdit(this)),
      agree_(new QPushButton(QStringLiteral("同意する"), this)),
      refuse_(new QPushButton(QStringLiteral("同意しない"), this)) {
    setObjectName(QStringLiteral("CQualificationDlg"));
    setWindowTitle(QStringLiteral("ご使用にあたって"));
    contents_->setObjectName(QStringLiteral("contents"));
    contents_->setReadOnly(true);
    contents_->setMinimumSize(460, 240);
    agree_->setObjectName(QStringLiteral("agree"));
    refuse_->setObjectName(QStringLiteral("refuse"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(refuse_);
    buttons->addWidget(agree_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(contents_);
    layout->addLayout(buttons);

    // Refusing is the default: nothing happens unless the user agrees on purpose.
    refuse_->setDefault(true);
    refuse_->setFocus();
    connect(agree_, &QPushButton::clicked, this, &QDialog::accept);
    connect(refuse_, &QPushButton::clicked, this, &QDialog::reject);

    LanguageList()
        .text("DLG_QUALIFICATION_TITLE", this)
        .text("DLG_QUALIFICATION_CONTENTS", contents_)
        .text("DLG_QUALIFICATION_BUTTON_AGREE", agree_)
        .text("DLG_QUALIFICATION_BUTTON_NOTAGREE", refuse_)
        .load(ui);
}

}  // namespace velmora
