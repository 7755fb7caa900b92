#include "model/field_reader.h"

#include <cstdint>
#include <utility>

namespace velmora {
namespace {

// A field taken from a local code page (Windows-1252, Shift-JIS) can grow on its way to
// UTF-8; the bound holds for the text handed on, cut where a character starts.
std::string Bounded(std::string text) {
    if (text.size() <= kMaxFieldBytes) {
        return text;
    }
    std::size_t end = kMaxFieldBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    return text;
}

constexpr char kCr = '\r';
constexpr char kLf = '\n';

bool ReadByte(CFileCtrl& file, char& byte) {
    return file.Read(&byte, 1) == 1;
}

// Moves back from the position to the start of its line: just after a CR LF pair, or the start
// of the content. A LF without CR before it belongs to the line like any other byte.
void MoveToLineStart(CFileCtrl& file) {
    for (;;) {
        const std::int64_t position = file.GetPosition();
        if (position == 0) {
            return;
        }
        if (position >= 2) {
            char pair[2] = {};
            file.Seek(position - 2, SeekFrom::Begin);
            const bool read = file.Read(pair, 2) == 2;
            file.Seek(position, SeekFrom::Begin);
            if (read && pair[0] == kCr && pair[1] == kLf) {
                return;
            }
        }
        file.Seek(position - 1, SeekFrom::Begin);
    }
}

}  // namespace

int SkipLines(CFileCtrl& file, int n) {
    int passed = 0;
    bool afterCr = false;
    while (passed < n) {
        char byte = 0;
        if (!ReadByte(file, byte)) {
            return -1;
        }
        if (byte == kLf && afterCr) {
            ++passed;
        }
        afterCr = byte == kCr;
    }
    return 0;
}

int GetField(std::string& out, CFileCtrl& file, int index) {
    out.clear();
    MoveToLineStart(file);
    std::string collected;
    int field = 0;
    for (;;) {
        char byte = 0;
        if (!ReadByte(file, byte)) {
            return -1;
        }
        if (byte == kCr) {
            char next = 0;
            if (!ReadByte(file, next)) {
                return -2;
            }
            // Back onto the CR of the pair, so the reader stays on this line.
            file.Seek(-2, SeekFrom::Current);
            break;
        }
        if (byte == kLf) {
            // Back onto the LF only: two bytes back would land on the line before when the LF
            // opens its line, and a caller that reads a field and skips a line would read the
            // same line again for ever.
            file.Seek(-1, SeekFrom::Current);
            break;
        }
        if (byte == ',') {
            if (field == index) {
                break;
            }
            ++field;
            continue;
        }
        if (field == index && collected.size() < kMaxFieldBytes) {
            collected.push_back(byte);
        }
    }
    out = Bounded(LocalToUtf8(collected));
    return 0;
}

int GetNextField(std::string& out, CFileCtrl& file) {
    out.clear();
    std::string collected;
    for (;;) {
        char byte = 0;
        if (!ReadByte(file, byte)) {
            return -1;
        }
        if (byte == ',') {
            out = std::move(collected);
            return 0;
        }
        if (byte == kCr || byte == kLf) {
            if (byte == kCr) {
                char next = 0;
                ReadByte(file, next);
            }
            out = std::move(collected);
            return out.empty() ? -2 : 1;
        }
        if (collected.size() < kMaxFieldBytes) {
            collected.push_back(byte);
        }
    }
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

}  // namespace velmora
