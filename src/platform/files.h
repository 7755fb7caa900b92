#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace velmora {

// Whole-file access under an advisory lock, for files the program shares with other copies of
// itself. Locks never wait: an open fails while another holder's lock conflicts.

// Opens path for plain reading, without a lock. Invalid on failure, errno ENOENT when the file
// is missing.
UniqueFd OpenForReading(const std::string& path);

// Opens path for reading under a shared lock. Invalid on failure.
UniqueFd OpenLockedForReading(const std::string& path);

// Opens path for writing under an exclusive lock, creating it (0666 less the umask) when
// missing and emptying it once the lock is held, so a file in use is never touched. Invalid on
// failure.
UniqueFd OpenLockedForWriting(const std::string& path);

// The file's whole content, from its start to its end. False on a read error.
bool ReadWholeFile(int fd, std::vector<std::uint8_t>& bytes);

// Makes bytes the file's whole content: written from the start and cut after them.
bool ReplaceWholeFile(int fd, const std::vector<std::uint8_t>& bytes);

}  // namespace velmora
