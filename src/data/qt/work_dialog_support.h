#pragma once

#include "app/qt/velmora_dialog.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QWidget;

namespace velmora {

class RtuMaster;
struct ChoiceList;

// Where a work dialog takes a file name from: a file dialog unless replaced (tests). An empty
// result means the user cancelled.
using FileChooser = std::function<QString(QWidget* parent)>;

// The filter of every backup-file dialog.
QString BackupFileFilter();

// The file dialog of the backup and file selection dialogs: ".bkp" files, "BackupFile.bkp"
// proposed at first, the last choice proposed afterwards. Saving asks before overwriting;
// opening accepts only an existing file. Empty when cancelled.
QString ChooseBackupFile(QWidget* parent, const QString& current, bool forSaving);

// Shows text in the reference-version display of the main window's version page, when there
// is a main window.
void ShowReferenceVersionOnMainWindow(const std::string& text);

// Adds the default texts of the write-contents entries the language file did not supply, so
// the list always offers its three choices in their fixed order.
void CompleteWriteContentsItems(QComboBox* combo);

// The program's main link (the main window's settings page), or null without a main window.
RtuMaster* MainLink();
// The slave address of every request: the low byte of the identified station.
std::uint8_t ActiveStationAddress();

// A label for a sentence that may be long in some languages.
QLabel* NewWrappingLabel(const QString& text, QWidget* parent);
// The bold heading of a caution.
QLabel* NewCautionTitle(const QString& text, QWidget* parent);

// The folder the actuator list files are searched below: the program folder, named without
// its closing '/'.
std::string TableRoot();
// Refills a list only when its entries changed, so an unchanged list keeps its popup state.
void ShowChoices(QComboBox* combo, const ChoiceList& choices);

// Text for model strings (UTF-8) and back.
inline QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}
inline std::string ToStd(const QString& text) {
    return text.toStdString();
}

// Base of the modeless work dialogs shown in place of the main window: the way back to it, the
// communication settings button, and the close box that ends the program unless a restart is
// under way.
class WorkDialog : public VelmoraDialog {
    Q_OBJECT
  public:
    using VelmoraDialog::VelmoraDialog;

    void ReturnToMainWindow();
    void OpenCommunicationSettings();

  protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace velmora
