#pragma once

#include <string>

#include "app/ui.h"
#include "link/rtu_master.h"

namespace velmora {

// The program's version, also written into every backup file.
inline constexpr const char* kProgramVersion = "1.10";
inline constexpr const char* kAdapterListFileName = "AdapterFile.vms";
// The program's data folder, below the module folder.
inline constexpr const char* kDataFolder = "/System/Data";

// The version page's texts without its widgets.
class VersionPageModel {
  public:
    // Fills the texts as the page shows them when it opens (the message table must be loaded).
    VersionPageModel();

    // "Ver1.10".
    std::string softwareVersionText() const;
    const std::string& referenceVersionText() const { return referenceVersionText_; }
    // The actuator selection shows the chosen actuator's parameter version here.
    void setReferenceVersionText(const std::string& text) { referenceVersionText_ = text; }
    // Back to the "no data file" text of the message table.
    void resetReferenceVersionText();
    const std::string& controllerVersionText() const { return controllerVersionText_; }

    // Reads the controller's software version from the identified station over the link:
    // "SV 2.10" on success (0), "---" on failure (-1; the link has shown its message).
    int ReadControllerVersion(RtuMaster& link, Ui& ui);

  private:
    std::string referenceVersionText_;
    std::string controllerVersionText_;
};

// Installs every data set (a folder holding an AdapterFile.vms) found in or below
// chosenFolder into the data folder under its own name, asking once per run before replacing
// existing sets. reloadNeeded becomes true only when every set was installed; the caller then
// reloads the actuator table. Returns 0 when all were installed, 1 when the user declined to
// replace a set (sets installed before it stay), -1 on failure or when nothing was found (the
// message has been shown).
int RunDataUpdate(const std::string& chosenFolder, Ui& ui, bool& reloadNeeded);

}  // namespace velmora
