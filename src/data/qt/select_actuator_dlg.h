#pragma once

#include <functional>

#include "app/qt/qt_ui.h"
#include "app/qt/velmora_dialog.h"
#include "data/actuator_selection.h"
#include "data/qt/work_dialog_support.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

// The work dialog for writing by actuator: a view over ActuatorSelectionModel. Every change
// goes to the model first; the controls are then refilled from the model's state.
class CSelectActuatorDlg final : public WorkDialog {
    Q_OBJECT
  public:
    explicit CSelectActuatorDlg(QWidget* parent = nullptr);

    ActuatorSelectionModel& model() { return model_; }
    const ActuatorSelectionModel& model() const { return model_; }

    // The data update's way in: write contents 0, the table read again, the first model.
    void ReloadTable();
    // The write-contents text the list shows now (handed to the transmit dialog).
    QString writeContentsText() const;

    // The button handlers, callable as the buttons call them.
    void SearchNarrowDown();
    void SearchPartNo();
    void StartWriting();

  private:
    void BuildLayout();
    void LoadTexts();
    void Connect();
    // Runs one model operation and shows the state it left.
    void Apply(const std::function<void()>& operation);
    void SyncFromModel();

    ActuatorSelectionModel model_;
    QtUi ui_;

    QGroupBox* selectGroup_;
    QRadioButton* narrowDownRadio_;
    QLabel* modelLabel_;
    QComboBox* modelCombo_;
    QLabel* controllerLabel_;
    QComboBox* controller_;
    QLabel* motorLabel_;
    QComboBox* motor_;
    QLabel* leadLabel_;
    QComboBox* lead_;
    QLabel* strokeLabel_;
    QComboBox* stroke_;
    QComboBox* narrowDownResult_;
    QPushButton* narrowDownSearch_;
    QRadioButton* partNoRadio_;
    QLineEdit* pattern_;
    QComboBox* partNoResult_;
    QPushButton* partNoSearch_;
    QGroupBox* conditionsGroup_;
    QLabel* svLabel_;
    QComboBox* sv_;
    QLabel* ioLabel_;
    QComboBox* io_;
    QPushButton* comSetting_;
    QGroupBox* writeGroup_;
    QComboBox* writeContents_;
    QLabel* cautionTitle_;
    QLabel* cautionContents_;
    QPushButton* return_;
    QPushButton* start_;
};

}  // namespace velmora
