#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Small helpers for tests that look at Modbus RTU frames byte by byte.
namespace velmora::test {

// "01 03 00 0C" (spaces, colons and dashes ignored) to bytes; throws on anything else.
inline std::vector<std::uint8_t> HexBytes(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : hex) {
        if (c == ' ' || c == ':' || c == '-' || c == '\n' || c == '\t') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw std::invalid_argument("not a hex digit in \"" + std::string(hex) + "\"");
        }
        const int nibble = std::isdigit(static_cast<unsigned char>(c))
                               ? c - '0'
                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    if (high >= 0) {
        throw std::invalid_argument("odd number of hex digits in \"" + std::string(hex) + "\"");
    }
    return bytes;
}

// Bytes as "01 03 02 00 01", for readable failure messages.
inline std::string ToHex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// CRC-16/MODBUS: reflected polynomial 0xA001, start 0xFFFF, no final XOR.
inline std::uint16_t ModbusCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                                  : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

inline std::uint16_t ModbusCrc16(const std::vector<std::uint8_t>& bytes) {
    return ModbusCrc16(bytes.data(), bytes.size());
}

// The frame with its CRC appended, low byte first.
inline std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
    const std::uint16_t crc = ModbusCrc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// A frame from hex text without its CRC, with the CRC appended.
inline std::vector<std::uint8_t> Frame(std::string_view hexWithoutCrc) {
    return WithCrc(HexBytes(hexWithoutCrc));
}

// True when the last two bytes are the CRC of the rest.
inline bool CrcIsValid(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < 3) {
        return false;
    }
    const std::uint16_t crc = ModbusCrc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

}  // namespace velmora::test
