#include "app/qt/sv_error_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/language_targets.h"

namespace velmora {

namespace {

QLabel* WrappingLabel(const QString& text, QWidget* parent, bool bold = false) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

}  // namespace

CSVErrorDlg::CSVErrorDlg(Ui& ui, QWidget* parent) : VelmoraDialog(parent) {
    setObjectName(QStringLiteral("CSVErrorDlg"));
    setWindowTitle(QStringLiteral("ソフトウェアバージョンエラー"));

    auto* sign = new QLabel(this);
    sign->setPixmap(WarningSignPixmap(32));
    QLabel* alarm = WrappingLabel(QStringLiteral("接続されたコントローラには書込みできません。"),
                                  this, true);
    QLabel* counterTitle = WrappingLabel(QStringLiteral("【対策】"), this, true);
    QLabel* counter = WrappingLabel(QStringLiteral("コントローラのバージョンを確認してください。"), this);
    QLabel* confirm1 = WrappingLabel(QStringLiteral("確認方法１"), this, true);
    QLabel* confirm1Text = WrappingLabel(QString(), this);
    auto* nameplate = new QLabel(this);
    nameplate->setPixmap(NameplatePixmap(220, 80));
    QLabel* confirm2 = WrappingLabel(QStringLiteral("確認方法２"), this, true);
    QLabel* confirm2Text = WrappingLabel(QString(), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* header = new QGridLayout;
    header->addWidget(sign, 0, 0, Qt::AlignTop);
    header->addWidget(alarm, 0, 1);
    header->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(counterTitle);
    layout->addWidget(counter);
    layout->addSpacing(8);
    layout->addWidget(confirm1);
    layout->addWidget(confirm1Text);
    layout->addWidget(nameplate, 0, Qt::AlignHCenter);
    layout->addWidget(confirm2);
    layout->addWidget(confirm2Text);
    layout->addWidget(buttons);
    setMinimumWidth(420);

    LanguageList()
        .text("DLG_SVERR_TITLE", this)
        .text("DLG_SVERR_ALARM_CONTENTS", alarm)
        .text("MSG_ALARM_COUNTERMEASURE_TITLE", counterTitle)
        .text("DLG_SVERR_COUNTERMEASURE_CONTENTS", counter)
        .text("DLG_SVERR_CONFIRM_1", confirm1)
        .text("DLG_SVERR_CONFIRM_1_CONTENTS", confirm1Text)
        .text("DLG_SVERR_CONFIRM_2", confirm2)
        .text("DLG_SVERR_CONFIRM_2_CONTENTS", confirm2Text)
        .load(ui);
}

}  // namespace velmora
