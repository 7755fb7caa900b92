#include "platform/profile.h"

#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/unique_fd.h"

namespace velmora {
namespace {

// One physical line: content [begin, end) without CR/LF; next is where the following line starts.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    bool terminated = false;  // ends in LF (not the unterminated last line)
};

enum class LineKind { Ignored, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Ignored;
    std::string_view name;
    bool hasValue = false;       // the line holds '='
    std::size_t valueBegin = 0;  // absolute offsets of the trimmed value
    std::size_t valueEnd = 0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::size_t ContentStart(const std::string& text) {
    return std::string_view(text).substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
}

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = ContentStart(text);
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const std::size_t lf = text.find('\n', pos);
        line.terminated = lf != std::string::npos;
        line.next = line.terminated ? lf + 1 : text.size();
        line.end = line.terminated ? lf : text.size();
        if (line.end > line.begin && text[line.end - 1] == '\r')
            --line.end;
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

ParsedLine ParseLine(const std::string& text, const Line& line) {
    ParsedLine parsed;
    const std::string_view whole(text.data() + line.begin, line.end - line.begin);
    const std::string_view content = Trim(whole);
    if (content.empty() || content.front() == ';')
        return parsed;
    if (content.front() == '[') {
        const std::size_t close = content.find(']');
        if (close == std::string_view::npos)
            return parsed;  // broken header: skipped
        parsed.kind = LineKind::Section;
        parsed.name = Trim(content.substr(1, close - 1));
        return parsed;
    }
    const std::size_t equals = whole.find('=');
    if (equals == std::string_view::npos) {
        parsed.kind = LineKind::Key;
        parsed.name = content;
        return parsed;
    }
    parsed.name = Trim(whole.substr(0, equals));
    if (parsed.name.empty())
        return parsed;
    parsed.kind = LineKind::Key;
    parsed.hasValue = true;
    std::size_t begin = line.begin + equals + 1;
    std::size_t end = line.end;
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    parsed.valueBegin = begin;
    parsed.valueEnd = end;
    return parsed;
}

// Where a key lives in the file: the first matching section, and the first matching key in it.
struct Location {
    bool sectionFound = false;
    std::size_t anchorLine = 0;  // the section's last key line, or its header when it has none
    bool keyFound = false;
    std::size_t keyLine = 0;
    ParsedLine key;
};

Location Locate(const std::string& text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location where;
    section = Trim(section);
    key = Trim(key);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(text, lines[i]);
        if (parsed.kind == LineKind::Section) {
            if (where.sectionFound)
                break;  // end of the first matching section
            if (EqualsNoCase(parsed.name, section)) {
                where.sectionFound = true;
                where.anchorLine = i;
            }
            continue;
        }
        if (!where.sectionFound || parsed.kind != LineKind::Key)
            continue;
        where.anchorLine = i;
        if (!where.keyFound && EqualsNoCase(parsed.name, key)) {
            where.keyFound = true;
            where.keyLine = i;
            where.key = parsed;
        }
    }
    return where;
}

// Cuts the text after maxChars code points without splitting a UTF-8 sequence.
std::string CutToCodePoints(std::string_view text, std::size_t maxChars) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter) {
            if (count == maxChars)
                return std::string(text.substr(0, i));
            ++count;
        }
    }
    return std::string(text);
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWholeFile(const std::string& path, std::string& text) {
    UniqueFd fd = OpenForReading(path);
    if (fd.get() < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    text.clear();
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n == 0)
            return ReadResult::Ok;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Failed;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string LineEndingOf(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (line.terminated)
            return line.end + 1 == line.next ? "\n" : "\r\n";
    }
    return "\n";
}

std::string EditText(const std::string& text, const std::string& section, const std::string& key,
                     const std::string& value) {
    const std::vector<Line> lines = SplitLines(text);
    const Location where = Locate(text, lines, section, key);
    const std::string eol = LineEndingOf(lines);
    std::string result = text;
    if (where.keyFound) {
        const Line& line = lines[where.keyLine];
        if (where.key.hasValue) {
            result.replace(where.key.valueBegin, where.key.valueEnd - where.key.valueBegin, value);
        } else {
            std::size_t end = line.end;
            while (end > line.begin && IsBlank(text[end - 1])) --end;
            result.replace(end, line.end - end, "=" + value);
        }
        return result;
    }
    const std::string keyLine = std::string(Trim(key)) + "=" + value;
    if (where.sectionFound) {
        const Line& anchor = lines[where.anchorLine];
        if (anchor.terminated) {
            result.insert(anchor.next, keyLine + eol);
        } else {
            result.insert(anchor.next, eol + keyLine);
        }
        return result;
    }
    if (!result.empty() && result.back() != '\n')
        result += eol;
    // Appended piece by piece: "[" + std::string(...) trips GCC 12's -Wrestrict at -O2.
    result += '[';
    result += Trim(section);
    result += "]" + eol + keyLine + eol;
    return result;
}

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, std::size_t bufferSize) {
    if (bufferSize == 0)
        return {};
    std::string text;
    if (ReadWholeFile(path, text) != ReadResult::Ok)
        return {};
    const std::vector<Line> lines = SplitLines(text);
    const Location where = Locate(text, lines, section, key);
    if (!where.keyFound || !where.key.hasValue)
        return {};
    std::string_view value(text.data() + where.key.valueBegin,
                           where.key.valueEnd - where.key.valueBegin);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return CutToCodePoints(value, bufferSize - 1);
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
    // A line break would split the entry and corrupt the file.
    if (Trim(section).empty() || Trim(key).empty() || HoldsLineBreak(section) ||
        HoldsLineBreak(key) || HoldsLineBreak(value) || section.find(']') != std::string::npos ||
        key.find('=') != std::string::npos) {
        return false;
    }
    // Made before reading: a target that is no regular file (a FIFO would stall the read) or
    // cannot be replaced is refused untouched.
    AtomicFile file;
    if (!file.Create(path))
        return false;
    std::string text;
    const ReadResult read = ReadWholeFile(path, text);
    if (read == ReadResult::Failed)
        return false;
    if (read == ReadResult::Missing)
        text.clear();
    return file.Write(EditText(text, section, key, value)) && file.Commit();
}

}  // namespace velmora
