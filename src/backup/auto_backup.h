#pragma once

// The backup made before every write, so that a technician can undo the write: the controller's
// state goes into Backups/ in the program folder under its unit name and the time.

#include <cstddef>
#include <ctime>
#include <string>

#include "transmit/transfer_context.h"

namespace velmora {

inline constexpr const char* kAutoBackupFolder = "Backups";
inline constexpr std::size_t kAutoBackupsKept = 200;

// "VMA10-06I-20261209-141503.bkp": the unit name (characters a file name cannot hold become
// '_'), or "controller" for an unnamed one, then the local date and time.
std::string AutoBackupFileName(const std::string& unitName, const std::tm& local);

// Reads the whole controller as a backup does and saves it in folder (made when missing) under
// AutoBackupFileName, then removes the oldest backups beyond kAutoBackupsKept. The new file's
// path; empty after a failure, when the auto-backup error has been shown and nothing may be
// written (context.linkFailure says whether the line failed).
std::string MakeAutoBackup(TransferContext& context, const std::string& folder);

// Removes the oldest ".bkp" files of folder (by modification time, then name) until keep are
// left; never keepPath. The number removed.
std::size_t PruneAutoBackups(const std::string& folder, std::size_t keep,
                             const std::string& keepPath);

}  // namespace velmora
