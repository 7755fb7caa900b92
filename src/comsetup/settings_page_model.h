#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ui.h"
#include "link/rtu_master.h"

namespace velmora {

// One entry of the port list: the path that goes into the settings and the text the user sees.
struct PortEntry {
    std::string path;
    std::string display;
};

// The port list from the serial devices present: a device with a /dev/serial/by-id link is
// listed once, under that link (it survives re-plugging, unlike ttyUSBn). The display text adds
// what sysTtyDir (/sys/class/tty) knows of the USB device behind it. A configured name that is
// an existing absolute path not listed yet (a pseudo-terminal, a link to one) is appended.
std::vector<PortEntry> BuildPortEntries(const std::vector<std::string>& devices,
                                        const std::string& sysTtyDir,
                                        const std::string& configuredName);

// The list display text for a path: the device behind it and its USB manufacturer, product and
// serial number where the system knows them.
std::string DescribePort(const std::string& path, const std::string& sysTtyDir);

// The communication settings page without its widgets: the lists, their selections, which
// controls are enabled, and the handlers that edit App().commSettings. The GUI mirrors this
// state into its controls and forwards the user's clicks.
class ComSettingPageModel {
  public:
    // Copied from the settings by the frame's opener; brought back by the frame's close box.
    struct SavedSettings {
        int bitRate = 0;
        std::string portName;
        int connectionId = 0;
        int autoSelect = 0;
    };

    // The page works the given master: it opens, configures and closes its port.
    explicit ComSettingPageModel(RtuMaster& master);
    ComSettingPageModel(const ComSettingPageModel&) = delete;
    ComSettingPageModel& operator=(const ComSettingPageModel&) = delete;

    RtuMaster& link() { return link_; }

    // Where the port list comes from; ListSerialPorts over /sys/class/tty unless replaced.
    void setPortSource(std::function<std::vector<std::string>()> devices,
                       std::string sysTtyDir = "/sys/class/tty");
    // Fills the port list afresh (the configured portName included); the GUI calls it whenever
    // it creates the page's window. The selection is cleared.
    void LoadPortList();
    // A path the user typed: listed (once) and selected as if picked from the list.
    void setTypedPort(const std::string& path);

    // Flag 1: fill every control from the settings and open the port if this page never did;
    // a stored port that is not listed selects no port (and opens none).
    // Flag 0: reopen and reconfigure the port portName names; the controls stay as they are.
    void InitControls(int flag);
    // The port a frame confirmed (portName after its OK or close box): listed if missing,
    // selected as the port the identified controller belongs to, and reopened.
    void AdoptConfirmedPort();
    // The main window's fill at its start: controls from the settings (the port by name), then
    // the port handler, so a portName that is not listed becomes the selected entry's path.
    void FillFromSettings();
    // Opens the port named by portName and configures it from the settings; -1, silently, when
    // it cannot be opened or configured.
    int OpenPortFromSettings();
    // The main window's start: the port portName names is opened first, and no other. When it
    // cannot be opened nothing is opened instead: the page selects no port, portName stays and
    // false comes back (the controller then counts as not identified). Otherwise the controls
    // are filled as FillFromSettings does.
    bool StartOnStoredPort();
    // A search or check ended with the given result: when it found a controller, the station
    // and bit-rate lists show where it answered.
    void ShowSearchResult(int result);
    // The settings tab was selected: leave the frame mode and refill the controls from the
    // settings, the port by its position portNumber.
    void RefreshFromSettings();

    // Control handlers.
    void onAutomaticClicked();
    void onManualClicked();
    void onPortSelected(int index);
    void onIdSelected(int index);
    void onBitRateSelected(int index);
    void onReset(Ui& ui);
    void onDestroyed();

    // The traffic record of the page's master, off at every start (it is no setting).
    // startTrace opens path and attaches it; a file that cannot be opened leaves the record as
    // it was and comes back as the failure. stopTrace detaches it. onFailure hears of the first
    // line the record could not take, as TrafficTrace's handler does (any thread, under its lock).
    using TraceFailureHandler =
        std::function<void(std::weak_ptr<TrafficTrace> failed, TraceStatus failure)>;
    TraceStatus startTrace(const std::string& path, TraceFailureHandler onFailure = {});
    void stopTrace();
    // Detaches failed if the master still records to it; true when it did.
    bool stopFailedTrace(const std::weak_ptr<TrafficTrace>& failed);
    // The file the master records to; empty when it records nothing.
    std::string tracePath() const;

    // Called whenever a handler must disable the frame's OK buttons; unset when no frame
    // window exists.
    void setFrameOkDisabler(std::function<void()> disable) { disableFrameOk_ = std::move(disable); }

    int inFrame() const { return inFrame_; }
    void setInFrame(int flag) { inFrame_ = flag; }
    const SavedSettings& saved() const { return saved_; }
    void setSaved(const SavedSettings& saved) { saved_ = saved; }

    const std::vector<PortEntry>& portEntries() const { return ports_; }
    int portIndex() const { return portIndex_; }
    // The path of the selected entry; empty when nothing is selected.
    std::string selectedPortPath() const;
    bool automaticSelected() const { return automatic_; }
    bool manualSelected() const { return manual_; }
    const std::vector<std::string>& idEntries() const { return ids_; }
    int idIndex() const { return idIndex_; }
    const std::vector<std::string>& bitRateEntries() const { return bitRates_; }
    int bitRateIndex() const { return bitRateIndex_; }
    // ID and bit-rate lists, their labels and the reset button.
    bool manualControlsEnabled() const { return manualControlsEnabled_; }
    bool checkEnabled() const { return checkEnabled_; }
    void setCheckEnabled(bool enabled) { checkEnabled_ = enabled; }

    // Programmatic selections, as the GUI's list boxes make them: no handler runs. An index
    // outside the list clears the selection.
    void selectPort(int index);
    void selectId(int index);
    void selectBitRate(int index);

  private:
    // Compares a control's state with the one its handler saw last and forgets the identified
    // controller when it changed; inside a frame opened from a work dialog nothing is compared.
    void MarkChange(std::optional<int>& remembered, int current);
    void DisableFrameOk();
    int PortIndexOf(const std::string& path) const;
    int BitRateIndexOf(int bitRate) const;
    void SelectMethodFromSettings();

    RtuMaster& link_;
    int inFrame_ = 0;
    SavedSettings saved_;

    // States last seen by the five handlers; nullopt until a handler first runs.
    std::optional<int> seenAutomatic_;
    std::optional<int> seenManual_;
    std::optional<int> seenPort_;
    std::optional<int> seenId_;
    std::optional<int> seenBitRate_;

    std::function<std::vector<std::string>()> portSource_;
    std::string sysTtyDir_ = "/sys/class/tty";
    std::vector<PortEntry> ports_;
    int portIndex_ = -1;
    bool automatic_ = false;
    bool manual_ = false;
    std::vector<std::string> ids_;
    int idIndex_ = -1;
    std::vector<std::string> bitRates_;
    int bitRateIndex_ = -1;
    bool manualControlsEnabled_ = true;
    bool checkEnabled_ = true;
    std::function<void()> disableFrameOk_;
};

// Visibility and enabled state of the frame's three buttons.
struct FrameButtons {
    bool ok1099Visible = false;
    bool ok1099Enabled = false;
    bool quit1100Visible = false;
    bool ok1101Visible = false;
    bool ok1101Enabled = false;
};

inline constexpr int kFrameResultOk = 1;
inline constexpr int kFrameResultCancel = 2;

// The modal frame around a settings page: start-up mode with OK and Quit, or the single OK of
// the frame opened from a work dialog. Both OK buttons start disabled at every opening.
class ComSettingFrameModel {
  public:
    explicit ComSettingFrameModel(RtuMaster& master);

    ComSettingPageModel& page() { return page_; }
    const FrameButtons& buttons() const { return buttons_; }
    bool isOpen() const { return open_; }

    // The frame's window was created: fill the page (port list included) and lay out the
    // buttons for the mode.
    const FrameButtons& FrameOpened(int startupComSetting, int commCheckState);
    // A search or check decided whether the frame may be left with OK.
    void SetOkEnabled(bool enabled);
    // The close box, before the frame closes with the cancel result: a frame opened from a
    // work dialog brings back the settings it was opened with and reopens the port with them.
    void FrameCloseBox();
    // The frame's window is gone (any way out): the page goes with it and closes the port.
    void FrameClosed();

  private:
    ComSettingPageModel page_;
    FrameButtons buttons_;
    bool open_ = false;
};

// The communication settings button of a work dialog. runFrameModal shows the frame (the GUI
// makes the work dialog the main window around it and calls the frame's operations) and
// returns its result; restartMainWindow is asked for when the check inside changed the
// controller's state. Returns the frame's result.
int RunFrameFromWorkDialog(ComSettingFrameModel& frame, ComSettingPageModel& mainPage,
                           const std::function<int()>& runFrameModal,
                           const std::function<void()>& restartMainWindow);

}  // namespace velmora
