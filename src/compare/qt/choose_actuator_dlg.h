#pragma once

#include <optional>

#include "app/qt/qt_ui.h"
#include "app/qt/velmora_dialog.h"
#include "data/actuator_selection.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// Chooses one actuator of the data set for a comparison: the part-number search of the write
// by actuator (the same ActuatorSelectionModel), its SV number and IO specification, OK.
class CChooseActuatorDlg final : public VelmoraDialog {
    Q_OBJECT
  public:
    explicit CChooseActuatorDlg(QWidget* parent = nullptr);

    // The record chosen; nothing until the part number, SV and IO name one.
    std::optional<stADP_FORMAT> chosen() const;

  private:
    void Apply(void (ActuatorSelectionModel::*operation)(int), int index);
    void SyncFromModel();

    ActuatorSelectionModel model_;
    QtUi ui_;
    QLabel* patternLabel_;
    QLineEdit* pattern_;
    QPushButton* search_;
    QComboBox* partNo_;
    QLabel* svLabel_;
    QComboBox* sv_;
    QLabel* ioLabel_;
    QComboBox* io_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace velmora
