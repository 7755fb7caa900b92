#pragma once

#include "app/qt/qt_ui.h"
#include "app/qt/velmora_dialog.h"
#include "data/file_selection.h"
#include "data/qt/work_dialog_support.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// The work dialog for writing a backup file back: a view over FileSelectionModel.
class CFileSelectDlg final : public WorkDialog {
    Q_OBJECT
  public:
    explicit CFileSelectDlg(QWidget* parent = nullptr);

    FileSelectionModel& model() { return model_; }

    // Replaces the file-open dialog (tests); an empty chooser brings the dialog back.
    static void setFileChooser(FileChooser chooser);

    // The write-contents text the list shows now (handed to the transmit dialog).
    QString writeContentsText() const;

    // The button handlers, callable as the buttons call them.
    void BrowseBackupFile();
    void StartFromFile();

  private:
    void BuildLayout();
    void LoadTexts();
    void SyncFromModel();

    FileSelectionModel model_;
    QtUi ui_;

    QGroupBox* fileGroup_;
    QLineEdit* path_;
    QPushButton* browse_;
    QGroupBox* comGroup_;
    QPushButton* comSetting_;
    QGroupBox* writeGroup_;
    QComboBox* writeContents_;
    QLabel* cautionTitle_;
    QLabel* cautionContents_;
    QPushButton* return_;
    QPushButton* start_;
};

}  // namespace velmora
