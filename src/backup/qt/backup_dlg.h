#pragma once

#include "app/qt/qt_ui.h"
#include "app/qt/velmora_dialog.h"
#include "data/qt/work_dialog_support.h"

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace velmora {

// The work dialog for backing up the controller: choose a file, then read the controller into
// it behind the modal progress dialog.
class CBackupDlg final : public WorkDialog {
    Q_OBJECT
  public:
    explicit CBackupDlg(QWidget* parent = nullptr);

    // Replaces the file-save dialog (tests); an empty chooser brings the dialog back.
    static void setFileChooser(FileChooser chooser);

    QString path() const;
    // The result of the last backup run (-1 before any).
    int lastResult() const { return lastResult_; }

    // The button handlers, callable as the buttons call them.
    void BrowseBackupFile();
    void StartBackup();

  private:
    void BuildLayout();
    void LoadTexts();

    QtUi ui_;
    QGroupBox* fileGroup_;
    QLineEdit* path_;
    QPushButton* browse_;
    QPushButton* return_;
    QPushButton* start_;
    int lastResult_ = -1;
};

}  // namespace velmora
