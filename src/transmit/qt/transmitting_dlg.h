#pragma once

#include <QPointer>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/qt/qt_ui.h"
#include "app/qt/velmora_dialog.h"
#include "transmit/transfer_context.h"
#include "transmit/transmit_request.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace velmora {

// The confirmation and progress dialog of one write. The openers fill it with Open; send runs
// the restriction check and then the write on a worker thread, while the dialog stays
// responsive with its buttons disabled.
class CTransmittingDlg final : public VelmoraDialog {
    Q_OBJECT
  public:
    enum TransmitLayout { kConfirmationLayout = 0, kTransmittingLayout = 1 };

    explicit CTransmittingDlg(QWidget* parent = nullptr);
    ~CTransmittingDlg() override;

    // Takes the opener's record and write-contents text, hides the opener and shows this
    // dialog in the confirmation layout.
    void Open(const TransmitRequest& request, const QString& writeContentsText, QWidget* opener);

    // The button handlers, callable as the buttons call them.
    void StartTransmit();
    void ReturnToOpener();

    bool busy() const { return busy_ != 0; }
    int writeContents() const { return writeContents_; }
    int fromFile() const { return fromFile_; }
    const TransmitRequest& request() const { return request_; }
    TransmitLayout currentLayout() const { return layout_; }
    // The result of the last finished write (0, -1, or 2 when the version was 0.00).
    int lastResult() const { return lastResult_; }
    // The backup made before the last write; empty when none was.
    const std::string& autoBackupPath() const { return autoBackupPath_; }
    // Writes back the state before the last write: a restore of its backup, in this dialog.
    void UndoLastWrite();
    // The same write again, for the next identical controller.
    void WriteAgain();
    // Rows the last write's verification found different.
    const std::vector<VerifyDifference>& differences() const { return differences_; }
    QtUi& ui() { return ui_; }

    // Test seams; an empty function restores the real behaviour.
    // The waits after switching the controller's writing mode.
    static void setSleeper(std::function<void(int ms)> sleeper);
    // The version-error dialog (shown modally on the GUI thread).
    static void setSvErrorPresenter(std::function<void(QWidget* parent)> presenter);

    // The rows as the verification box's details list them, one line each after a heading.
    static QString DifferencesText(const std::vector<VerifyDifference>& differences);

  signals:
    // A write ended and the dialog is idle again.
    void transmitFinished(int result);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildLayout();
    void LoadTexts();
    void ShowLayout(TransmitLayout layout);
    void FitHeight();
    void ShowSvError();
    void ShowCaution();
    void OnWorkerFinished(int result, bool writingBegan, const std::string& autoBackupPath);
    void ShowRequest();
    void ShowResultLine(int result, bool writingBegan);
    // Runs fn on the GUI thread and waits for it.
    void RunOnGuiThread(const std::function<void()>& fn);

    QtUi ui_;
    QLabel* actuatorLabel_;
    QLineEdit* actuator_;
    QLabel* controllerLabel_;
    QLineEdit* controller_;
    QLabel* svLabel_;
    QLineEdit* sv_;
    QLabel* paramVersionLabel_;
    QLineEdit* paramVersion_;
    QLabel* writeContentsLabel_;
    QLineEdit* writeContentsEdit_;
    QLabel* confirm_;
    QProgressBar* progress_;
    QLabel* percent_;
    QLabel* status_;
    QLabel* result_;
    QLabel* cautionIcon_;
    QLabel* caution_;
    QCheckBox* autoBackup_;
    QLabel* backupNote_;
    QPushButton* undo_;
    QPushButton* again_;
    QPushButton* return_;
    QPushButton* send_;

    TransmitRequest request_;
    QPointer<QWidget> opener_;
    int writeContents_ = 0;
    int fromFile_ = 0;
    int busy_ = 0;
    int lastResult_ = 0;
    TransmitLayout layout_ = kConfirmationLayout;
    std::vector<VerifyDifference> differences_;
    std::string autoBackupPath_;
    QString writeContentsText_;
    std::thread worker_;
    std::atomic<bool> workerDone_{true};
};

}  // namespace velmora
