#pragma once

#include <functional>
#include <thread>

#include "app/qt/qt_ui.h"
#include "app/qt/velmora_dialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmora {

// The modal progress dialog: runs one piece of work on its own thread (the controller search
// and check, or a backup) and closes itself when the work ends. Cancel asks the work to stop
// at its next test point.
class CProgressDlg final : public VelmoraDialog {
    Q_OBJECT
public:
    enum Mode { kSearchAndCheck = 0, kBackup = 1, kCompare = 2 };
    using Work = std::function<int(Ui& ui)>;

    CProgressDlg(int mode, Work work, QWidget* owner);
    ~CProgressDlg() override;

    int mode() const { return mode_; }
    // The work's result once the dialog has closed.
    int result() const { return result_; }
    QPushButton* cancelButton() const { return cancel_; }
    QtUi& ui() { return ui_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void onCancel();
    void onWorkFinished();

    int mode_;
    Work work_;
    QtUi ui_;
    QProgressBar* bar_;
    QLabel* percent_;
    QLabel* status_;
    QPushButton* cancel_;
    std::thread worker_;
    bool started_ = false;
    bool finished_ = false;
    int result_ = -1;
};

}  // namespace velmora
