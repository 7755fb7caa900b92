#include <cctype>
#include <charconv>
#include <string_view>

#include "platform/codepage.h"
#include "platform/utf8_sequence.h"
#include "platform/win32_util.h"

namespace velmora {
namespace {

// Encoding names as the POSIX build's iconv knows them, mapped to Windows code pages.
struct NamedCodePage {
    std::string_view name;  // upper case, without '-' and '_'
    UINT codePage;
};
constexpr NamedCodePage kNamedCodePages[] = {
    {"UTF8", CP_UTF8},    {"SHIFTJIS", 932},    {"SJIS", 932},       {"MSKANJI", 932},
    {"EUCJP", 20932},     {"ISO2022JP", 50220}, {"ISO88591", 28591}, {"LATIN1", 28591},
    {"ISO885915", 28605}, {"ASCII", 20127},     {"USASCII", 20127},  {"ANSIX3.41968", 20127},
    {"GBK", 936},         {"GB2312", 936},      {"BIG5", 950},       {"EUCKR", 51949},
};

std::string Canonical(const std::string& name) {
    std::string canonical;
    for (const char c : name) {
        if (c != '-' && c != '_') {
            canonical.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    return canonical;
}

// 0 for a name no code page stands for.
UINT CodePageOf(const std::string& name) {
    const std::string canonical = Canonical(name);
    for (const NamedCodePage& named : kNamedCodePages) {
        if (named.name == canonical) {
            return named.codePage;
        }
    }
    // CP932, WINDOWS-1252, IBM437: the number is the code page.
    for (const std::string_view prefix : {"CP", "WINDOWS", "IBM"}) {
        if (canonical.rfind(prefix, 0) == 0 && canonical.size() > prefix.size()) {
            UINT number = 0;
            const char* first = canonical.data() + prefix.size();
            const char* last = canonical.data() + canonical.size();
            const auto [end, error] = std::from_chars(first, last, number);
            if (error == std::errc() && end == last && ::IsValidCodePage(number)) {
                return number;
            }
        }
    }
    return 0;
}

// The thread's ANSI code page, which the narrow Windows calls use.
UINT ThreadAnsiCodePage() {
    DWORD codePage = 0;
    if (::GetLocaleInfoW(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                         reinterpret_cast<LPWSTR>(&codePage),
                         sizeof codePage / sizeof(WCHAR)) > 0 &&
        codePage != 0) {
        return codePage;
    }
    return ::GetACP();
}

std::string CodesetName(UINT codePage) {
    return codePage == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
}

// Converts strictly: an invalid sequence, or a character the target cannot hold, fails.
bool ToWide(UINT codePage, std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty()) {
        return true;
    }
    // Some code pages (ISO-2022, 5xxxx) refuse the strict flag; they convert leniently.
    DWORD flags = MB_ERR_INVALID_CHARS;
    const int size = static_cast<int>(in.size());
    int length = ::MultiByteToWideChar(codePage, flags, in.data(), size, nullptr, 0);
    if (length <= 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        length = ::MultiByteToWideChar(codePage, flags, in.data(), size, nullptr, 0);
    }
    if (length <= 0) {
        return false;
    }
    out.resize(static_cast<std::size_t>(length));
    return ::MultiByteToWideChar(codePage, flags, in.data(), size, out.data(), length) == length;
}

bool FromWide(UINT codePage, std::wstring_view in, std::string& out) {
    out.clear();
    if (in.empty()) {
        return true;
    }
    const int size = static_cast<int>(in.size());
    if (codePage == CP_UTF8) {
        const int length = ::WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, in.data(), size,
                                                 nullptr, 0, nullptr, nullptr);
        if (length <= 0) {
            return false;
        }
        out.resize(static_cast<std::size_t>(length));
        return ::WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, in.data(), size, out.data(),
                                     length, nullptr, nullptr) == length;
    }
    // No best-fit guesses: a character the code page lacks is a failure, as iconv has it.
    BOOL usedDefault = FALSE;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    BOOL* usedDefaultOut = &usedDefault;
    int length = ::WideCharToMultiByte(codePage, flags, in.data(), size, nullptr, 0, nullptr,
                                       usedDefaultOut);
    if (length <= 0 && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        flags = 0;  // code pages that take neither flag nor default-character report
        usedDefaultOut = nullptr;
        length =
            ::WideCharToMultiByte(codePage, flags, in.data(), size, nullptr, 0, nullptr, nullptr);
    }
    if (length <= 0 || usedDefault) {
        return false;
    }
    out.resize(static_cast<std::size_t>(length));
    return ::WideCharToMultiByte(codePage, flags, in.data(), size, out.data(), length, nullptr,
                                 usedDefaultOut) == length &&
           !usedDefault;
}

}  // namespace

std::string LocaleCodeset() {
    return CodesetName(ThreadAnsiCodePage());
}

// A POSIX-style name ("ja_JP.SJIS", "de_DE.UTF-8", ".932") names its encoding after the dot;
// any other name is the user's.
std::string LocaleCodesetOf(const std::string& localeName) {
    const std::size_t dot = localeName.find('.');
    if (dot != std::string::npos) {
        std::string encoding = localeName.substr(dot + 1, localeName.find('@') - dot - 1);
        UINT codePage = CodePageOf(encoding);
        if (codePage == 0) {
            codePage = CodePageOf("CP" + encoding);
        }
        if (codePage != 0) {
            return CodesetName(codePage);
        }
    }
    return LocaleCodeset();
}

bool ConvertText(const std::string& fromCode, const std::string& toCode, const std::string& in,
                 std::string& out) {
    const UINT from = CodePageOf(fromCode);
    const UINT to = CodePageOf(toCode);
    if (from == 0 || to == 0) {
        return false;
    }
    std::wstring wide;
    std::string result;
    if (!ToWide(from, in, wide) || !FromWide(to, wide, result)) {
        return false;
    }
    out = std::move(result);
    return true;
}

std::string ShortenToBytesInCodeset(const std::string& utf8, const std::string& codeset,
                                    std::size_t maxBytes) {
    const UINT codePage = CodePageOf(codeset);
    std::size_t localSize = 0;
    std::size_t keep = 0;
    std::wstring wide;
    std::string local;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t length = Utf8SequenceLength(utf8, pos);
        if (localSize < maxBytes) {
            keep = pos + length;  // this character begins within the limit
        }
        if (codePage == 0) {
            localSize += length;
        } else if (ToWide(CP_UTF8, std::string_view(utf8).substr(pos, length), wide) &&
                   FromWide(codePage, wide, local)) {
            localSize += local.size();
        } else {
            localSize += 1;  // written as the one-byte substitute character
        }
        pos += length;
    }
    return localSize <= maxBytes ? utf8 : utf8.substr(0, keep);
}

}  // namespace velmora
