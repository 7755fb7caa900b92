#pragma once

#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace velmora {

// A file written under a temporary name in its target's folder and put in the target's place
// in one step, so that a reader finds the old file or the complete new one, never a torn one.
// The target keeps its permission bits (a new one gets 0666 less the umask); a symbolic link
// stays and the file it points to is replaced. Anything not committed is removed when the
// object goes.
class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() { Discard(); }

    // Makes the empty temporary file beside target. False when target cannot be replaced: its
    // folder is missing or not writable, or it exists and is not a writable regular file.
    bool Create(const std::string& target);

    // The temporary file while it is pending: written through fd() or Write, or opened again
    // by path (it is replaced whole, so a second handle may write it as well).
    int fd() const { return fd_.get(); }
    const std::string& tempPath() const { return tempPath_; }

    // Appends bytes at the file's position. False on a write error.
    bool Write(std::string_view bytes);

    // Makes the content durable and renames it over the target. False when anything fails;
    // the target is then as it was.
    bool Commit();

    // Drops the temporary file, leaving the target as it was.
    void Discard();

  private:
    UniqueFd fd_;
    std::string tempPath_;
    std::string target_;
    std::string folder_;
    unsigned mode_ = 0;
};

// The whole of bytes as path's new content, through an AtomicFile.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace velmora
