#include "platform/codepage.h"
#include "platform/utf8_sequence.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

// Locale objects instead of setlocale(): the global locale is shared by every thread.
class LocaleHandle {
  public:
    explicit LocaleHandle(const char* name)
        : locale_(::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) {}
    ~LocaleHandle() {
        if (locale_ != static_cast<locale_t>(nullptr))
            ::freelocale(locale_);
    }
    LocaleHandle(const LocaleHandle&) = delete;
    LocaleHandle& operator=(const LocaleHandle&) = delete;
    bool valid() const { return locale_ != static_cast<locale_t>(nullptr); }
    std::string codeset() const { return ::nl_langinfo_l(CODESET, locale_); }

  private:
    locale_t locale_;
};

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

class Converter {
  public:
    Converter(const std::string& fromCode, const std::string& toCode)
        : cd_(::iconv_open(toCode.c_str(), fromCode.c_str())) {}
    ~Converter() {
        if (valid())
            ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != kNoConverter; }

    // Converts one piece, appending to out; pass an empty piece with flush to end the shift state.
    bool convert(std::string_view in, std::string& out, bool flush) {
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char buffer[256];
        for (;;) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = flush ? ::iconv(cd_, nullptr, nullptr, &outPtr, &outLeft)
                                             : ::iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (result != static_cast<std::size_t>(-1))
                return true;
            if (errno != E2BIG)
                return false;
        }
    }
    void reset() { ::iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

}  // namespace

std::string LocaleCodeset() {
    const LocaleHandle user("");
    if (user.valid())
        return user.codeset();
    const LocaleHandle plain("C");
    return plain.valid() ? plain.codeset() : std::string("ANSI_X3.4-1968");
}

std::string LocaleCodesetOf(const std::string& localeName) {
    if (!localeName.empty()) {
        const LocaleHandle named(localeName.c_str());
        if (named.valid())
            return named.codeset();
    }
    return LocaleCodeset();
}

bool ConvertText(const std::string& fromCode, const std::string& toCode, const std::string& in,
                 std::string& out) {
    Converter converter(fromCode, toCode);
    if (!converter.valid())
        return false;
    std::string result;
    if (!converter.convert(in, result, false) || !converter.convert({}, result, true)) {
        return false;
    }
    out = std::move(result);
    return true;
}

std::string ShortenToBytesInCodeset(const std::string& utf8, const std::string& codeset,
                                    std::size_t maxBytes) {
    Converter converter("UTF-8", codeset);
    struct Character {
        std::size_t utf8Begin;
        std::size_t localBegin;
    };
    std::vector<Character> characters;
    std::size_t localSize = 0;
    std::string scratch;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t length = Utf8SequenceLength(utf8, pos);
        characters.push_back({pos, localSize});
        if (!converter.valid()) {
            localSize += length;
        } else {
            scratch.clear();
            if (converter.convert(std::string_view(utf8).substr(pos, length), scratch, false)) {
                localSize += scratch.size();
            } else {
                localSize += 1;  // written as the one-byte substitute character
                converter.reset();
            }
        }
        pos += length;
    }
    if (converter.valid()) {
        scratch.clear();
        converter.convert({}, scratch, true);
        localSize += scratch.size();
    }
    if (localSize <= maxBytes)
        return utf8;
    std::size_t keep = 0;
    for (const Character& character : characters) {
        if (character.localBegin >= maxBytes)
            break;
        keep = character.utf8Begin + Utf8SequenceLength(utf8, character.utf8Begin);
    }
    return utf8.substr(0, keep);
}

}  // namespace velmora
