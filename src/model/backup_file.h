#pragma once

// The backup file: the one writer (from a register image) and the one reader (into a register
// image) of the format, with the check value that tells a damaged file from a sound one.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "model/diagnostic.h"
#include "model/register_image.h"

namespace velmora {

inline constexpr const char* kBackupMarker = "BackupDataV001";
inline constexpr const char* kBackupProgramVersion = "1.10";
inline constexpr const char* kBackupExtension = ".bkp";

enum class BackupCheck {
    Matches,  // the file carries a check value and the text matches it
    Absent,   // an older file without a check value: it cannot be verified
};

struct Backup {
    RegisterImage image;  // the whole parameter area (unit name included) and all 64 steps
    std::string controllerVersion;
    std::string programVersion;
    std::string timestamp;
    std::string unitName;  // as the file writes it
    BackupCheck check = BackupCheck::Absent;
};

struct BackupReading {
    std::optional<Backup> backup;  // set exactly when diagnostics is empty
    // In line order. A diagnostic of line 0 means the file could not be read at all (missing,
    // not a regular file, not a file this program stored); any other, that its text is
    // damaged.
    Diagnostics diagnostics;
};

// "2014/06/09 14:05:31" from a broken-down local time, and for now.
std::string BackupTimestamp(const std::tm& local);
std::string BackupTimestampNow();

// The whole text of a backup (before the scrambled-file layer) of the image's parameter area
// and steps, its check value on the header line.
std::string FormatBackupText(const RegisterImage& image, const std::string& controllerVersion,
                             const std::string& timestamp);

// Reads and validates a backup's text; fileName names it in diagnostics.
BackupReading ParseBackupText(const std::string& text, const std::string& fileName);
// Opens a stored backup file and reads it.
BackupReading ReadBackupFile(const std::string& path);

// CRC-32 of IEEE 802.3 (reflected, polynomial 0xEDB88320), the backup's check value. crc
// continues an earlier result, so Crc32(b, Crc32(a)) is the CRC of a followed by b.
std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);

}  // namespace velmora
