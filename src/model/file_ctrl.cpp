#include "model/file_ctrl.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

#include "model/scramble.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace velmora {
namespace {

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsUtf8Name(const std::string& codeset) {
    std::string name;
    for (char c : codeset) {
        if (c != '-' && c != '_') {
            name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    return name == "UTF8";
}

std::string Convert(const std::string& from, const std::string& to, const std::string& text) {
    // Every code set a locale can name is ASCII-compatible, so plain ASCII needs no converter.
    if (IsAscii(text)) {
        return text;
    }
    std::string converted;
    if (!ConvertText(from, to, text, converted)) {
        return text;
    }
    return converted;
}

}  // namespace

std::string LocalToUtf8(const std::string& local) {
    const std::string codeset = LocaleCodeset();
    return IsUtf8Name(codeset) ? local : Convert(codeset, "UTF-8", local);
}

std::string Utf8ToLocal(const std::string& utf8) {
    const std::string codeset = LocaleCodeset();
    return IsUtf8Name(codeset) ? utf8 : Convert("UTF-8", codeset, utf8);
}

std::string WithCrLfLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(text[i]);
    }
    return out;
}

bool CFileCtrl::Open(const std::string& path, unsigned flags) {
    Close();
    mode_ = (flags & kFileModeWrite) != 0 ? kWriting : kReading;
    UniqueFd fd = mode_ == kWriting ? OpenLockedForWriting(path) : OpenLockedForReading(path);
    if (!fd) {
        return false;
    }
    fd_ = std::move(fd);
    if (mode_ == kReading && UnscrambleOnOpen() != 0) {
        Close();
        return false;
    }
    return true;
}

int CFileCtrl::UnscrambleOnOpen() {
    if (!fd_ || mode_ != kReading) {
        return -1;
    }
    // A stored file is always a whole number of 4-byte groups. Anything else is truncated or not
    // ours at all, and is refused rather than unscrambled into garbage.
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(fd_.get(), bytes) || bytes.size() % 4 != 0 || !Unscramble(bytes)) {
        return -1;
    }
    std::size_t length = bytes.size();
    while (length > 0 && bytes[length - 1] == 0) {
        --length;
    }
    content_ = std::move(bytes);
    diskLength_ = static_cast<std::int64_t>(content_.size());
    length_ = static_cast<std::int64_t>(length);
    position_ = 0;
    return 0;
}

std::size_t CFileCtrl::Read(void* buffer, std::size_t count) {
    if (!fd_ || mode_ != kReading) {
        return 0;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < count; ++i) {
        if (position_ >= length_) {
            return 0;
        }
        out[i] = content_[static_cast<std::size_t>(position_)];
        ++position_;
    }
    return count;
}

std::int64_t CFileCtrl::Seek(std::int64_t offset, SeekFrom from) {
    if (!fd_ || mode_ != kReading) {
        return 0;
    }
    // The origin is never negative, so only an offset near the top of the range can overflow;
    // it is cut to the length below anyway.
    const std::int64_t origin = from == SeekFrom::Current ? position_
                                : from == SeekFrom::End   ? diskLength_
                                                          : 0;
    const std::int64_t target = offset > std::numeric_limits<std::int64_t>::max() - origin
                                    ? std::numeric_limits<std::int64_t>::max()
                                    : origin + offset;
    position_ = std::clamp<std::int64_t>(target, 0, diskLength_);
    return position_;
}

void CFileCtrl::Close() {
    fd_.reset();
    content_.clear();
    content_.shrink_to_fit();
    length_ = 0;
    diskLength_ = 0;
    position_ = 0;
    text_.clear();
}

void CFileCtrl::WriteText(const std::string& text) {
    if (mode_ == kWriting) {
        text_ += text;
    }
}

int CFileCtrl::ScrambleAndWrite() {
    if (!fd_ || mode_ != kWriting) {
        return -1;
    }
    const std::string local = Utf8ToLocal(text_);
    std::vector<std::uint8_t> bytes(local.begin(), local.end());
    bytes.push_back(0);
    bytes.resize((bytes.size() + 3) / 4 * 4, 0);
    if (!Scramble(bytes) || !ReplaceWholeFile(fd_.get(), bytes)) {
        return -1;
    }
    return 0;
}

}  // namespace velmora
