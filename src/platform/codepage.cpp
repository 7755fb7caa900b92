#include "platform/codepage.h"

namespace velmora {

std::string ShortenToBytes(const std::string& utf8, const std::string& localeName,
                           std::size_t maxBytes) {
    return ShortenToBytesInCodeset(utf8, LocaleCodesetOf(localeName), maxBytes);
}

std::string BytesToText(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b == 0) {
            continue;
        }
        if (b < 0x80) {
            text.push_back(static_cast<char>(b));
        } else {
            text.push_back(static_cast<char>(0xC0 | (b >> 6)));
            text.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return text;
}

std::string TextToBytes(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        std::size_t length = 1;
        std::uint32_t code = lead;
        if (lead >= 0xC0 && lead < 0xE0) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead < 0xF8) {
            length = 4;
            code = lead & 0x07;
        }
        bool wellFormed = i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            wellFormed = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!wellFormed) {
            length = 1;  // a stray byte stands for itself
            code = lead;
        }
        bytes.push_back(static_cast<char>(code & 0xFF));
        i += length;
    }
    return bytes;
}

}  // namespace velmora
