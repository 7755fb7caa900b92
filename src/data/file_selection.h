#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/ui.h"
#include "model/actuator_table.h"
#include "transmit/transmit_request.h"

namespace velmora {

// Marks a value a backup file does not carry.
inline constexpr const char* kNotInBackup = "---";

// Reads and validates the whole backup file and fills description from it: the controller's SV
// number, the actuator part number stored in the controller and, from the unit number, the
// controller model. 0; -1 after the open-failure message when the file cannot be opened, or
// after the format error message when it is damaged, each listing what was found wrong.
int DescribeBackupFile(const std::string& path, stADP_FORMAT& description, Ui& ui);

// The controller model named by bits 16 to 27 of a unit number; empty for an unknown code.
std::string ControllerModelText(std::uint32_t unitNumber);

// What the file selection dialog shows and does, without the widgets.
class FileSelectionModel {
  public:
    FileSelectionModel() = default;

    // Receives every text the main window's version page should show as the reference version.
    std::function<void(const std::string&)> onReferenceVersion;

    void Initialise() { writeContents_ = 0; }

    // The outcome of the file-open dialog: a chosen file replaces the path and allows starting;
    // a cancel changes nothing unless there is no path yet.
    void BrowseResult(bool ok, const std::string& path);
    void selectWriteContents(int index) { writeContents_ = index; }

    // The description of the chosen file for the transmit dialog, or nothing when the file
    // cannot be opened or is damaged (the message has then been shown).
    std::optional<TransmitRequest> StartFromFile(Ui& ui);

    const std::string& path() const { return path_; }
    bool startEnabled() const { return startEnabled_; }
    int writeContents() const { return writeContents_; }
    const std::string& referenceVersion() const { return referenceVersion_; }

  private:
    std::string path_;
    bool startEnabled_ = false;
    int writeContents_ = 0;
    std::string referenceVersion_;
};

}  // namespace velmora
