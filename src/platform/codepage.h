#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// Character encoding (nl_langinfo CODESET) of the user's default locale as the environment
// names it (LC_ALL, LC_CTYPE, LANG); "ANSI_X3.4-1968" when that locale is not installed.
// This is the encoding of the program's "local" text, the counterpart of the ANSI code page.
std::string LocaleCodeset();

// Encoding of the named POSIX locale; an empty or unknown name gives LocaleCodeset().
std::string LocaleCodesetOf(const std::string& localeName);

// Converts text between two iconv encodings. False (out untouched) when either encoding is
// unknown or the input holds a sequence that is invalid or has no form in the target encoding.
bool ConvertText(const std::string& fromCode, const std::string& toCode, const std::string& in,
                 std::string& out);

// Limits a UTF-8 text to what fits into maxBytes bytes of the named locale's multibyte form.
// A text whose form is not longer than maxBytes comes back unchanged; a longer one is rebuilt
// from the characters that begin within the first maxBytes bytes. An empty or unknown locale
// name uses the user's default locale. A character the encoding cannot represent counts as one
// byte, the substitute character it would be written as.
std::string ShortenToBytes(const std::string& utf8, const std::string& localeName,
                           std::size_t maxBytes);

// The same for an encoding given by its iconv name; an unknown encoding counts UTF-8 bytes.
std::string ShortenToBytesInCodeset(const std::string& utf8, const std::string& codeset,
                                    std::size_t maxBytes);

// Latin-1 bytes (the controller's text registers) as UTF-8 text, zero bytes left out, and
// back (the low 8 bits of each character).
std::string BytesToText(const std::uint8_t* bytes, std::size_t count);
std::string TextToBytes(const std::string& text);

}  // namespace velmora
