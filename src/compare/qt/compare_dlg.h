#pragma once

#include <QString>

#include <optional>

#include "app/qt/qt_ui.h"
#include "data/qt/work_dialog_support.h"
#include "model/actuator_table.h"
#include "model/image_comparison.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace velmora {

// The work dialog that sets the controller (or a backup file) beside a backup file or an
// actuator of the data set: a table of every parameter and step register, the differing rows
// highlighted, and how many differ.
class CCompareDlg final : public WorkDialog {
    Q_OBJECT
  public:
    explicit CCompareDlg(QWidget* parent = nullptr);

    // Replaces the file dialogs (tests); an empty chooser brings them back.
    static void setFileChooser(FileChooser chooser);

    // The button handlers, callable as the buttons call them.
    void BrowseLeftFile() { BrowseFile(leftPath_, leftFile_); }
    void BrowseRightFile() { BrowseFile(rightPath_, rightFile_); }
    // The actuator chooser, modal; an accepted choice becomes the right side.
    void ChooseRightActuator();
    void StartCompare();
    void ShowOnlyDifferences(bool only);

    const ImageComparison& comparison() const { return comparison_; }
    QTableWidget* table() const { return table_; }
    QString summary() const;

  private:
    // A backup file for one side, chosen in the file dialog; the side is then that file.
    void BrowseFile(QLineEdit* path, QRadioButton* side);
    void BuildLayout();
    void LoadTexts();
    void UpdateStart();
    void FillTable();

    QtUi ui_;
    QRadioButton* leftController_;
    QRadioButton* leftFile_;
    QLineEdit* leftPath_;
    QPushButton* leftBrowse_;
    QRadioButton* rightFile_;
    QLineEdit* rightPath_;
    QPushButton* rightBrowse_;
    QRadioButton* rightActuator_;
    QLineEdit* rightActuatorName_;
    QPushButton* rightChoose_;
    std::optional<stADP_FORMAT> rightRecord_;
    QCheckBox* onlyDifferences_;
    QTableWidget* table_;
    QLabel* summary_;
    QPushButton* return_;
    QPushButton* start_;
    ImageComparison comparison_;
};

}  // namespace velmora
