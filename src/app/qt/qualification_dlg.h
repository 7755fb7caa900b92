#pragma once

#include "app/qt/velmora_dialog.h"

class QPlainTextEdit;
class QPushButton;

namespace velmora {

class Ui;

// The disclaimer, the first window of every run: the program goes on only if the user agrees.
// Result: Accepted (1) for agree, Rejected (2 in the program's terms) for refuse or close.
class CQualificationDlg final : public VelmoraDialog {
    Q_OBJECT
public:
    explicit CQualificationDlg(Ui& ui, QWidget* parent = nullptr);

    QPushButton* agreeButton() const { return agree_; }
    QPushButton* refuseButton() const { return refuse_; }

private:
    QPlainTextEdit* contents_;
    QPushButton* agree_;
    QPushButton* refuse_;
};

}  // namespace velmora
