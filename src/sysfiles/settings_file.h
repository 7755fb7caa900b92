#pragma once

#include <string>

#include "sysfiles/comm_settings.h"

namespace velmora {

inline constexpr const char* kCommSettingsFile = "/System/CommunicationSetting.ini";
// Settings of the work dialogs, kept apart from the communication settings.
inline constexpr const char* kWorkSettingsFile = "/System/WorkSetting.ini";
inline constexpr const char* kCommSettingsSection = "COMMUNICATION_SETTING";

// Reads a value up to its first TAB, '/' or space. -1 (output untouched) when the key yields
// nothing.
int ReadSettingValue(const std::string& path, const std::string& section, const std::string& key,
                     std::string& value);

// Rewrites an existing key, keeping any comment after the old value. -1 when the key is absent.
int WriteSettingValue(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& newText);

// Fills the record from the settings file; missing or non-numeric keys keep the field's value.
void ReadCommSettings(const std::string& path, CommSettings& settings);
// Writes the record back (all keys but COM_NUM); keys not in the file are not created.
void WriteCommSettings(const std::string& path, const CommSettings& settings);

// A pseudo-terminal (/dev/pts/N, the built-in virtual controller's among them): it does not
// outlive the run that opened it.
bool IsPseudoTerminalPath(const std::string& path);
// WriteCommSettings for the end of a GUI run: with a pseudo-terminal in use, the port, station
// and bit rate the file holds stay, so the next start looks for the real controller again.
void SaveCommSettings(const std::string& path, const CommSettings& settings);

// Whether a write backs the controller up first: on unless the work settings say AUTO_BACKUP=0
// (a missing file or key keeps the safe default).
bool ReadAutoBackupSetting(const std::string& path);
// False when the file cannot be written.
bool WriteAutoBackupSetting(const std::string& path, bool on);

}  // namespace velmora
