#include "comsetup/settings_page_model.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "comsetup/search_and_check.h"
#include "platform/serial_port.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

// Caption of message boxes that have no title text of their own.
constexpr const char* kProgramTitle = "Velmora";
constexpr int kResetBitRate = 38400;
constexpr int kResetDelayMs = 5;

// Absolute, with every link resolved; empty when the path cannot be resolved.
std::string RealPath(const std::string& path) {
    std::error_code error;
    return std::filesystem::canonical(path, error).string();
}

bool IsByIdPath(const std::string& path) {
    return path.find("/serial/by-id/") != std::string::npos;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

// USB identity of a tty device. For ttyACM the interface's parent is the USB device; for
// ttyUSB the usb-serial port sits one level lower, so its grandparent is tried as well.
std::string UsbIdentity(const std::string& device, const std::string& sysTtyDir) {
    const std::string name = device.substr(device.find_last_of('/') + 1);
    for (const char* up : {"/device/..", "/device/../.."}) {
        const std::string dir = sysTtyDir + "/" + name + up;
        const std::string manufacturer = ReadFirstLine(dir + "/manufacturer");
        const std::string product = ReadFirstLine(dir + "/product");
        const std::string serial = ReadFirstLine(dir + "/serial");
        if (manufacturer.empty() && product.empty() && serial.empty()) {
            continue;
        }
        std::string text = manufacturer;
        if (!product.empty()) {
            text += (text.empty() ? "" : " ") + product;
        }
        if (!serial.empty()) {
            text += (text.empty() ? "serial " : ", serial ") + serial;
        }
        return text;
    }
    return {};
}

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

std::string DescribePort(const std::string& path, const std::string& sysTtyDir) {
    const std::string device = RealPath(path);
    if (device.empty()) {
        return path;
    }
    // A by-id name is long and says little the identity below does not; show the device.
    std::string text = IsByIdPath(path) ? device : path;
    if (!IsByIdPath(path) && device != path) {
        text += " -> " + device;
    }
    const std::string identity = UsbIdentity(device, sysTtyDir);
    if (!identity.empty()) {
        text += " (" + identity + ")";
    }
    return text;
}

std::vector<PortEntry> BuildPortEntries(const std::vector<std::string>& devices,
                                        const std::string& sysTtyDir,
                                        const std::string& configuredName) {
    std::set<std::string> byIdDevices;
    for (const std::string& path : devices) {
        if (IsByIdPath(path)) {
            byIdDevices.insert(RealPath(path));
        }
    }
    std::vector<PortEntry> entries;
    for (const std::string& path : devices) {
        if (!IsByIdPath(path) && byIdDevices.count(RealPath(path)) != 0) {
            continue;
        }
        entries.push_back({path, DescribePort(path, sysTtyDir)});
    }
    const bool listed = std::any_of(entries.begin(), entries.end(), [&](const PortEntry& entry) {
        return entry.path == configuredName;
    });
    if (!listed && !configuredName.empty() && configuredName.front() == '/' &&
        PathExists(configuredName)) {
        entries.push_back({configuredName, DescribePort(configuredName, sysTtyDir)});
    }
    return entries;
}

ComSettingPageModel::ComSettingPageModel(RtuMaster& master)
    : link_(master), portSource_(ListSerialPorts) {
    for (int id = kSearchFirstStation; id <= kSearchLastStation; ++id) {
        ids_.push_back(std::to_string(id));
    }
    for (const std::uint32_t rate : kSearchBitRates) {
        bitRates_.push_back(std::to_string(rate));
    }
}

void ComSettingPageModel::setPortSource(std::function<std::vector<std::string>()> devices,
                                        std::string sysTtyDir) {
    portSource_ = std::move(devices);
    sysTtyDir_ = std::move(sysTtyDir);
}

void ComSettingPageModel::LoadPortList() {
    ports_ = BuildPortEntries(portSource_(), sysTtyDir_, App().commSettings.portName);
    portIndex_ = -1;
}

void ComSettingPageModel::setTypedPort(const std::string& path) {
    int index = PortIndexOf(path);
    if (index < 0) {
        ports_.push_back({path, DescribePort(path, sysTtyDir_)});
        index = static_cast<int>(ports_.size()) - 1;
    }
    onPortSelected(index);
}

std::string ComSettingPageModel::selectedPortPath() const {
    return portIndex_ >= 0 ? ports_[static_cast<std::size_t>(portIndex_)].path : std::string();
}

void ComSettingPageModel::selectPort(int index) {
    portIndex_ = index >= 0 && index < static_cast<int>(ports_.size()) ? index : -1;
}

void ComSettingPageModel::selectId(int index) {
    idIndex_ = index >= 0 && index < static_cast<int>(ids_.size()) ? index : -1;
}

void ComSettingPageModel::selectBitRate(int index) {
    bitRateIndex_ = index >= 0 && index < static_cast<int>(bitRates_.size()) ? index : -1;
}

int ComSettingPageModel::PortIndexOf(const std::string& path) const {
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        if (ports_[i].path == path) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int ComSettingPageModel::BitRateIndexOf(int bitRate) const {
    const std::string text = std::to_string(bitRate);
    for (std::size_t i = 0; i < bitRates_.size(); ++i) {
        if (bitRates_[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void ComSettingPageModel::SelectMethodFromSettings() {
    if (App().commSettings.autoSelect == 1) {
        onAutomaticClicked();
    } else {
        onManualClicked();
    }
}

void ComSettingPageModel::InitControls(int flag) {
    const CommSettings& settings = App().commSettings;
    if (flag == 0) {
        // The port the settings name, never the page's selection: the page may still show a
        // port the user left in a frame. Failures show later, as the first request's error.
        (void)link_.open(settings.portName);
        (void)link_.configure(static_cast<std::uint32_t>(settings.bitRate), settings.silentInterval,
                              settings.delay);
        link_.setRetries(settings.retries);
        return;
    }
    // A stored port that is gone selects nothing: another device in its place was never
    // checked, and the manual mode's handler would store its name.
    selectPort(PortIndexOf(settings.portName));
    SelectMethodFromSettings();
    // Above 32 the list is left without a selection.
    selectId(settings.connectionId < 1 ? 0 : settings.connectionId - 1);
    selectBitRate(std::max(BitRateIndexOf(settings.bitRate), 0));
    if (link_.portName().empty() && portIndex_ >= 0) {
        (void)link_.open(selectedPortPath());
    }
}

void ComSettingPageModel::AdoptConfirmedPort() {
    const std::string& path = App().commSettings.portName;
    int index = PortIndexOf(path);
    if (index < 0 && !path.empty()) {
        ports_.push_back({path, DescribePort(path, sysTtyDir_)});
        index = static_cast<int>(ports_.size()) - 1;
    }
    selectPort(index);
    // Picking this port again later is no change from the controller just confirmed.
    seenPort_ = portIndex_;
    InitControls(0);
}

void ComSettingPageModel::FillFromSettings() {
    const CommSettings& settings = App().commSettings;
    selectPort(std::max(PortIndexOf(settings.portName), 0));
    SelectMethodFromSettings();
    selectId(settings.connectionId < 1 ? 0 : settings.connectionId - 1);
    selectBitRate(std::max(BitRateIndexOf(settings.bitRate), 0));
    onPortSelected(portIndex_);
}

int ComSettingPageModel::OpenPortFromSettings() {
    const CommSettings& settings = App().commSettings;
    if (!link_.open(settings.portName).ok()) {
        return -1;
    }
    link_.setRetries(settings.retries);
    return link_.configure(static_cast<std::uint32_t>(settings.bitRate), settings.silentInterval,
                           settings.delay)
                   .ok()
               ? 0
               : -1;
}

bool ComSettingPageModel::StartOnStoredPort() {
    const CommSettings& settings = App().commSettings;
    if (OpenPortFromSettings() != 0) {
        link_.close();
        // A vanished port is not listed: nothing is selected, so no handler takes another
        // device's name for it.
        selectPort(PortIndexOf(settings.portName));
        SelectMethodFromSettings();
        selectId(settings.connectionId < 1 ? 0 : settings.connectionId - 1);
        selectBitRate(std::max(BitRateIndexOf(settings.bitRate), 0));
        return false;
    }
    // The open port must be the selected entry, or the fill would take the first one's name.
    if (PortIndexOf(settings.portName) < 0) {
        ports_.push_back({settings.portName, DescribePort(settings.portName, sysTtyDir_)});
    }
    FillFromSettings();
    return true;
}

void ComSettingPageModel::ShowSearchResult(int result) {
    if (result != kSearchAccepted && result != kSearchRejected) {
        return;
    }
    // The lists show where the controller answered, greyed or not; no handler runs.
    const CommSettings& settings = App().commSettings;
    selectId(settings.connectionId - 1);
    selectBitRate(BitRateIndexOf(settings.bitRate));
}

void ComSettingPageModel::RefreshFromSettings() {
    inFrame_ = 0;
    const CommSettings& settings = App().commSettings;
    // The list holds the devices present, so a stored position names a different device
    // whenever one is plugged in or out: the port in use is found by its name first, and the
    // position only serves when that name is not listed.
    const int byName = PortIndexOf(settings.portName);
    const bool inList =
        settings.portNumber >= 0 && settings.portNumber < static_cast<int>(ports_.size());
    selectPort(byName >= 0 ? byName : (inList ? settings.portNumber : 0));
    SelectMethodFromSettings();
    selectId(settings.connectionId < 1 ? 0 : settings.connectionId - 1);
    selectBitRate(std::max(BitRateIndexOf(settings.bitRate), 0));
}

void ComSettingPageModel::MarkChange(std::optional<int>& remembered, int current) {
    if (inFrame_ != 0) {
        return;
    }
    if (remembered != current) {
        App().commSettings.activeStationId = -1;
        remembered = current;
    }
}

void ComSettingPageModel::DisableFrameOk() {
    if (disableFrameOk_) {
        disableFrameOk_();
    }
}

void ComSettingPageModel::onAutomaticClicked() {
    MarkChange(seenAutomatic_, 1);
    automatic_ = true;
    manual_ = false;
    manualControlsEnabled_ = false;
    App().commSettings.autoSelect = 1;
    DisableFrameOk();
}

void ComSettingPageModel::onManualClicked() {
    MarkChange(seenManual_, 1);
    manual_ = true;
    automatic_ = false;
    manualControlsEnabled_ = true;
    App().commSettings.autoSelect = 0;
    onPortSelected(portIndex_);
    DisableFrameOk();
}

void ComSettingPageModel::onPortSelected(int index) {
    selectPort(index);
    MarkChange(seenPort_, portIndex_);
    DisableFrameOk();
    // With nothing selected there is no text to take; the configured name stays.
    if (portIndex_ >= 0) {
        App().commSettings.portName = selectedPortPath();
    }
}

void ComSettingPageModel::onIdSelected(int index) {
    selectId(index);
    MarkChange(seenId_, idIndex_);
    DisableFrameOk();
}

void ComSettingPageModel::onBitRateSelected(int index) {
    selectBitRate(index);
    MarkChange(seenBitRate_, bitRateIndex_);
    DisableFrameOk();
}

void ComSettingPageModel::onReset(Ui& ui) {
    selectBitRate(BitRateIndexOf(kResetBitRate));
    selectId(0);
    CommSettings& settings = App().commSettings;
    // Reconfigures an open port only; the message is shown either way.
    (void)link_.configure(kResetBitRate, settings.silentInterval, kResetDelayMs);
    settings.delay = kResetDelayMs;
    ui.showMessage(MessageText(kMsgComsettingCominitializeInitialized), kProgramTitle,
                   MessageIcon::Information, MessageButtons::Ok);
    settings.activeStationId = -1;
    DisableFrameOk();
}

void ComSettingPageModel::onDestroyed() {
    link_.close();
}

TraceStatus ComSettingPageModel::startTrace(const std::string& path,
                                            TraceFailureHandler onFailure) {
    auto trace = std::make_shared<TrafficTrace>(path);
    const TraceStatus opened = trace->open();
    if (opened.ok()) {
        if (onFailure) {
            // A weak pointer: the trace owns its handler and must not keep itself alive.
            trace->setFailureHandler(
                [failed = std::weak_ptr<TrafficTrace>(trace), onFailure = std::move(onFailure)](
                    const TraceStatus& failure) { onFailure(failed, failure); });
        }
        link_.setTrace(std::move(trace));
    }
    return opened;
}

void ComSettingPageModel::stopTrace() {
    link_.setTrace(nullptr);
}

bool ComSettingPageModel::stopFailedTrace(const std::weak_ptr<TrafficTrace>& failed) {
    const std::shared_ptr<TrafficTrace> trace = failed.lock();
    if (!trace || link_.trace() != trace) {
        return false;
    }
    link_.setTrace(nullptr);
    return true;
}

std::string ComSettingPageModel::tracePath() const {
    const auto trace = link_.trace();
    return trace ? trace->path() : std::string();
}

ComSettingFrameModel::ComSettingFrameModel(RtuMaster& master) : page_(master) {
    page_.setFrameOkDisabler([this] {
        if (open_) {
            buttons_.ok1099Enabled = false;
            buttons_.ok1101Enabled = false;
        }
    });
}

const FrameButtons& ComSettingFrameModel::FrameOpened(int startupComSetting, int commCheckState) {
    open_ = true;
    buttons_ = FrameButtons{};
    page_.LoadPortList();
    page_.InitControls(1);
    if (startupComSetting == 1) {
        buttons_.ok1099Visible = true;
        buttons_.quit1100Visible = true;
        buttons_.ok1101Visible = false;
        // An accepted warning stands for the port it was given on, and only while it is there.
        buttons_.ok1099Enabled = commCheckState == kCommWarningAccepted && page_.portIndex() >= 0;
    } else {
        buttons_.ok1099Visible = false;
        buttons_.quit1100Visible = false;
        buttons_.ok1101Visible = true;
    }
    return buttons_;
}

void ComSettingFrameModel::SetOkEnabled(bool enabled) {
    buttons_.ok1099Enabled = enabled;
    buttons_.ok1101Enabled = enabled;
}

void ComSettingFrameModel::FrameCloseBox() {
    if (App().restartRequested != 0 || page_.inFrame() != 1) {
        return;
    }
    const ComSettingPageModel::SavedSettings& saved = page_.saved();
    CommSettings& settings = App().commSettings;
    settings.connectionId = saved.connectionId;
    settings.bitRate = saved.bitRate;
    settings.portName = saved.portName;
    settings.autoSelect = saved.autoSelect;
    settings.activeStationId = saved.connectionId;
    if (page_.link().open(settings.portName).ok()) {
        (void)page_.link().configure(static_cast<std::uint32_t>(settings.bitRate),
                                     settings.silentInterval, settings.delay);
    }
}

void ComSettingFrameModel::FrameClosed() {
    open_ = false;
    page_.onDestroyed();
}

int RunFrameFromWorkDialog(ComSettingFrameModel& frame, ComSettingPageModel& mainPage,
                           const std::function<int()>& runFrameModal,
                           const std::function<void()>& restartMainWindow) {
    CommSettings& settings = App().commSettings;
    ComSettingPageModel& page = frame.page();
    page.setSaved(
        {settings.bitRate, settings.portName, settings.connectionId, settings.autoSelect});
    page.setInFrame(1);
    const int result = runFrameModal();
    const int activeStationId = settings.activeStationId;
    // OK leaves the checked port in the settings, the close box the one the frame opened with.
    mainPage.AdoptConfirmedPort();
    settings.activeStationId = activeStationId;
    if (App().commCheckState != kCommAllowed && restartMainWindow) {
        restartMainWindow();
    }
    return result;
}

}  // namespace velmora
