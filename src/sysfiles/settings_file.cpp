#include "sysfiles/settings_file.h"

#include <algorithm>

#include <charconv>
#include <string>

#include "platform/profile.h"

namespace velmora {
namespace {

constexpr std::size_t kSettingBufferSize = 260;

// A value ends at the first TAB, '/' or space; what follows is a comment. A device path is
// full of '/', so the port name ends only at a TAB or space.
enum class ValueEnd { TabSlashSpace, TabSpace };

std::size_t FindValueEnd(const std::string& text, ValueEnd rule) {
    return text.find_first_of(rule == ValueEnd::TabSlashSpace ? "\t/ " : "\t ");
}

int ReadValue(const std::string& path, const std::string& section, const std::string& key,
              std::string& value, ValueEnd rule) {
    const std::string raw = ReadProfileString(path, section, key, kSettingBufferSize);
    if (raw.empty())
        return -1;
    value = raw.substr(0, FindValueEnd(raw, rule));
    return 0;
}

int WriteValue(const std::string& path, const std::string& section, const std::string& key,
               const std::string& newText, ValueEnd rule) {
    const std::string old = ReadProfileString(path, section, key, kSettingBufferSize);
    if (old.empty())
        return -1;  // keys are never created
    std::string text = newText;
    const std::size_t tail = FindValueEnd(old, rule);
    if (tail != std::string::npos)
        text += old.substr(tail);
    return WriteProfileString(path, section, key, text) ? 0 : -1;
}

// "%d": optional sign and leading digits; false when there is no number or it does not fit.
bool ScanDecimal(const std::string& text, int& number) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    int parsed = 0;
    const auto [stop, error] = std::from_chars(begin, end, parsed);
    if (error != std::errc())
        return false;
    (void)stop;
    number = parsed;
    return true;
}

void ReadInteger(const std::string& path, const char* key, int& field) {
    std::string text;
    if (ReadSettingValue(path, kCommSettingsSection, key, text) != 0)
        return;
    ScanDecimal(text, field);
}

}  // namespace

int ReadSettingValue(const std::string& path, const std::string& section, const std::string& key,
                     std::string& value) {
    return ReadValue(path, section, key, value, ValueEnd::TabSlashSpace);
}

int WriteSettingValue(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& newText) {
    return WriteValue(path, section, key, newText, ValueEnd::TabSlashSpace);
}

void ReadCommSettings(const std::string& path, CommSettings& settings) {
    ReadInteger(path, "COM_NUM", settings.portNumber);
    ReadValue(path, kCommSettingsSection, "COM_PORT", settings.portName, ValueEnd::TabSpace);
    std::string select;
    ReadSettingValue(path, kCommSettingsSection, "COM_SELECT", select);
    settings.autoSelect = select == "MANUAL" ? 0 : 1;
    ReadInteger(path, "COM_BITRATE", settings.bitRate);
    ReadInteger(path, "COM_CONNECTION_ID", settings.connectionId);
    ReadInteger(path, "COM_SILENT_INTERVAL", settings.silentInterval);
    ReadInteger(path, "COM_DELAY", settings.delay);
    ReadInteger(path, "RETRIES", settings.retries);
    // A handful of repeats rides out a noisy line; many more would only hide a dead one.
    settings.retries = std::clamp(settings.retries, 0, kMaxRetries);
}

void WriteCommSettings(const std::string& path, const CommSettings& settings) {
    WriteValue(path, kCommSettingsSection, "COM_PORT", settings.portName, ValueEnd::TabSpace);
    WriteSettingValue(path, kCommSettingsSection, "COM_SELECT",
                      settings.autoSelect == 1 ? "AUTO" : "MANUAL");
    WriteSettingValue(path, kCommSettingsSection, "COM_BITRATE", std::to_string(settings.bitRate));
    WriteSettingValue(path, kCommSettingsSection, "COM_CONNECTION_ID",
                      std::to_string(settings.connectionId));
    WriteSettingValue(path, kCommSettingsSection, "COM_SILENT_INTERVAL",
                      std::to_string(settings.silentInterval));
    WriteSettingValue(path, kCommSettingsSection, "COM_DELAY", std::to_string(settings.delay));
}

bool IsPseudoTerminalPath(const std::string& path) {
    return path.rfind("/dev/pts/", 0) == 0;
}

void SaveCommSettings(const std::string& path, const CommSettings& settings) {
    if (!IsPseudoTerminalPath(settings.portName)) {
        WriteCommSettings(path, settings);
        return;
    }
    // A pseudo-terminal is gone after this run; the station and rate found on it belong to it.
    CommSettings stored = settings;
    ReadValue(path, kCommSettingsSection, "COM_PORT", stored.portName, ValueEnd::TabSpace);
    ReadInteger(path, "COM_BITRATE", stored.bitRate);
    ReadInteger(path, "COM_CONNECTION_ID", stored.connectionId);
    WriteCommSettings(path, stored);
}

bool ReadAutoBackupSetting(const std::string& path) {
    return ReadProfileString(path, "WORK", "AUTO_BACKUP", kSettingBufferSize) != "0";
}

bool WriteAutoBackupSetting(const std::string& path, bool on) {
    return WriteProfileString(path, "WORK", "AUTO_BACKUP", on ? "1" : "0");
}

}  // namespace velmora
