#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace velmora {

// Open flags, after the platform file class. The write bit selects the writing mode; any other
// combination (read only, or read and write access) selects the reading mode, which opens the
// file for reading only so that a read-only installation still loads. Files are always locked
// (shared for reading, exclusive for writing) and an open fails while another holder's lock
// conflicts; kFileShareExclusive is accepted for the callers' sake. Writing always creates or
// empties the file.
enum FileOpenFlags : unsigned {
    kFileModeRead = 0x0000,
    kFileModeWrite = 0x0001,
    kFileModeReadWrite = 0x0002,
    kFileShareExclusive = 0x0010,
    kFileModeCreate = 0x1000,
};

enum class SeekFrom { Begin, Current, End };

// A data file as the program sees it: comma-separated text, stored scrambled. Reading mode
// unscrambles the whole file into memory at Open; writing mode collects text and stores it
// scrambled at ScrambleAndWrite. The destructor closes.
class CFileCtrl {
  public:
    enum Mode : int { kReading = 0, kWriting = 1 };

    CFileCtrl() = default;
    ~CFileCtrl() { Close(); }
    CFileCtrl(const CFileCtrl&) = delete;
    CFileCtrl& operator=(const CFileCtrl&) = delete;

    // Reading mode: position 0 on the unscrambled content. Writing mode: an empty text buffer.
    // False when the file cannot be opened, is locked by someone else, or (reading) is not a
    // scrambled file.
    bool Open(const std::string& path, unsigned flags);

    // Reading mode: copies count bytes from the position on; count, or 0 as soon as the end of
    // the content is met (the bytes copied until then stay copied). Writing mode: 0.
    std::size_t Read(void* buffer, std::size_t count);

    // Reading mode: the new position, kept between 0 and the length of the file on disk (which
    // counts the NUL padding). Writing mode: 0.
    std::int64_t Seek(std::int64_t offset, SeekFrom from);
    std::int64_t GetPosition() const { return mode_ == kReading ? position_ : 0; }
    // Length of the content, trailing NULs excluded (reading mode).
    std::int64_t GetLength() const { return mode_ == kReading ? length_ : 0; }

    void Close();

    bool IsOpen() const { return fd_.valid(); }
    int GetMode() const { return mode_; }

    // Writing mode: appends UTF-8 text to the buffer. Nothing reaches the disk before
    // ScrambleAndWrite.
    void WriteText(const std::string& text);
    // Writing mode: the buffer in the locale's code set with its terminating NUL, padded with
    // NULs to a multiple of 4, scrambled, written as the whole file. 0, or -1 on failure.
    int ScrambleAndWrite();
    // Reading mode: reads and unscrambles the whole file. 0, or -1 on failure.
    int UnscrambleOnOpen();

  private:
    UniqueFd fd_;
    int mode_ = kReading;
    std::vector<std::uint8_t> content_;
    std::int64_t length_ = 0;
    std::int64_t diskLength_ = 0;
    std::int64_t position_ = 0;
    std::string text_;
};

// Conversions between the program's UTF-8 text and the locale's code set, in which data files
// are stored. Text that does not convert is kept byte for byte.
std::string LocalToUtf8(const std::string& local);
std::string Utf8ToLocal(const std::string& utf8);

// Turns every LF that has no CR before it into CR LF.
std::string WithCrLfLineEnds(const std::string& text);

}  // namespace velmora
