#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "comsetup/settings_page_model.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace velmora {

class QtUi;

namespace sim {
class PtyController;
}

// The communication settings page, a thin view over ComSettingPageModel: used as the main
// window's settings tab and inside the settings frame.
class CComSettingDlg final : public QWidget {
    Q_OBJECT
  public:
    CComSettingDlg(ComSettingPageModel& model, QtUi& ui, QWidget* parent = nullptr);
    // A page that owns its model (the main window's settings tab).
    CComSettingDlg(std::unique_ptr<ComSettingPageModel> model, QtUi& ui, QWidget* parent = nullptr);
    ~CComSettingDlg() override;

    ComSettingPageModel& model() { return model_; }
    RtuMaster& link() { return model_.link(); }
    // Mirrors the model into the controls.
    void Refresh();
    // Loads the captions from the language file.
    void LoadTexts();
    // Called after a search or check with its result (the frame enables its OK buttons).
    void setSearchFinished(std::function<void(int result)> handler) {
        searchFinished_ = std::move(handler);
    }
    // Runs the communication check as the check button does.
    void StartCheck();

    QComboBox* portCombo() const { return port_; }
    QRadioButton* automaticRadio() const { return automatic_; }
    QRadioButton* manualRadio() const { return manual_; }
    QComboBox* idCombo() const { return id_; }
    QComboBox* bitRateCombo() const { return bitRate_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* checkButton() const { return check_; }

    QCheckBox* traceCheck() const { return trace_; }
    QLabel* traceFileLabel() const { return traceFile_; }
    // Where the traffic record check box takes its file from: a file dialog unless replaced
    // (tests). An empty result means the user cancelled.
    using TraceFileChooser = std::function<QString(QWidget* parent)>;
    static void setTraceFileChooser(TraceFileChooser chooser);

    // The entry at the end of the port list that starts the built-in virtual controller.
    static QString VirtualControllerEntryText();

  private:
    void OnPortActivated(int index);
    void OnPortTyped();
    void StartVirtualController();
    void OnTraceClicked(bool checked);
    void RefreshTrace();
    // On the GUI thread after a trace stopped taking lines: takes it off the master if it is
    // still on, tells the user once and shows every settings page's switch off.
    static void EndFailedTrace(const std::weak_ptr<TrafficTrace>& failed,
                               const TraceStatus& failure);

    std::unique_ptr<ComSettingPageModel> ownedModel_;
    ComSettingPageModel& model_;
    QtUi& ui_;
    QGroupBox* portGroup_;
    QLabel* portLabel_;
    QComboBox* port_;
    QGroupBox* methodGroup_;
    QRadioButton* automatic_;
    QRadioButton* manual_;
    QLabel* warnIcon_;
    QLabel* warnText_;
    QLabel* idLabel_;
    QComboBox* id_;
    QLabel* bitRateLabel_;
    QComboBox* bitRate_;
    QPushButton* reset_;
    QPushButton* check_;
    QCheckBox* trace_;
    QLabel* traceFile_;
    std::function<void(int)> searchFinished_;
    bool refreshing_ = false;
};

// The built-in virtual controller of this run (started from the port list), if any.
sim::PtyController* RunningVirtualController();
void StopVirtualController();

}  // namespace velmora
