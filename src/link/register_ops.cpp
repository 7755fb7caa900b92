#include "link/register_ops.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/local_time.h"

namespace velmora {

namespace {

constexpr std::uint8_t kFnRead = 0x03;
constexpr std::uint8_t kFnWrite = 0x10;
constexpr std::uint8_t kFnDiagnostics = 0x08;
constexpr std::size_t kWriteReplyLength = 5;
constexpr int kMaxReadCount = 125;
// The counts travel in one byte each, and 123 registers is the most one request may write.
constexpr int kMaxWriteCount = 123;
constexpr std::size_t kMaxTextLength = 200;

void PutWord(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

// Sends a read request and checks the reply's byte count; the data starts at reply byte 2.
LinkStatus RequestRead(RtuMaster& link, std::uint8_t id, std::uint16_t address, std::uint16_t count,
                       Pdu& reply) {
    std::uint8_t request[5] = {kFnRead};
    PutWord(request + 1, address);
    PutWord(request + 3, count);
    return link.transact(
        id, request, 2 + 2u * count, reply, [count](std::span<const std::uint8_t> pdu) {
            // CRC-valid but with another byte count: not the answer to this
            // request.
            return pdu[1] == 2 * count ? ReplyVerdict::Accepted : ReplyVerdict::Mismatch;
        });
}

LinkStatus RequestWrite(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                        const std::uint8_t* data, int byteCount) {
    std::array<std::uint8_t, 6 + 2 * kMaxWriteCount> request{};
    request[0] = kFnWrite;
    PutWord(request.data() + 1, address);
    PutWord(request.data() + 3, static_cast<std::uint16_t>(byteCount >> 1));
    request[5] = static_cast<std::uint8_t>(byteCount);
    std::memcpy(request.data() + 6, data, static_cast<std::size_t>(byteCount));
    Pdu reply;
    return link.transact(
        id, std::span<const std::uint8_t>(request.data(), 6 + static_cast<std::size_t>(byteCount)),
        kWriteReplyLength, reply, [&request](std::span<const std::uint8_t> pdu) {
            // A reply that echoes another address or count answers some other write: the
            // registers asked for may not hold the data.
            return std::equal(pdu.begin() + 1, pdu.begin() + 5, request.begin() + 1)
                       ? ReplyVerdict::Accepted
                       : ReplyVerdict::Mismatch;
        });
}

// Reads the leading hex digits of a two-character pair; no leading digit gives 0.
int HexPairValue(const std::string& pair) {
    int value = 0;
    for (char c : pair) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        value = value * 16 + digit;
    }
    return value;
}

LinkStatus Failed(LinkError error) {
    return LinkStatus::Failed(error);
}

}  // namespace

LinkStatus ReadReg000C(RtuMaster& link, std::uint8_t id, std::string& text) {
    Pdu reply;
    const LinkStatus status = RequestRead(link, id, kRegMode, 1, reply);
    if (status.ok()) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%02x%02x", reply.bytes[2], reply.bytes[3]);
        text += digits;
    }
    return status;
}

LinkStatus ReadRegisters(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                         std::uint16_t count, std::uint8_t* destination) {
    if (destination == nullptr || count == 0 || count > kMaxReadCount) {
        return Failed(LinkError::BadArgument);
    }
    Pdu reply;
    const LinkStatus status = RequestRead(link, id, address, count, reply);
    if (status.ok()) {
        std::memcpy(destination, reply.bytes.data() + 2, 2u * count);
    }
    return status;
}

LinkStatus ReadText16(RtuMaster& link, std::uint8_t id, std::uint16_t address, std::string& text) {
    Pdu reply;
    const LinkStatus status = RequestRead(link, id, address, 8, reply);
    if (status.ok()) {
        text += BytesToText(reply.bytes.data() + 2, 16);
    }
    return status;
}

LinkStatus ReadVersion(RtuMaster& link, std::uint8_t id, std::string& text) {
    Pdu reply;
    const LinkStatus status = RequestRead(link, id, kRegVersion, 1, reply);
    if (status.ok()) {
        const unsigned value = reply.bytes[2] * 256u + reply.bytes[3];
        // Integer formatting: the same digits as two decimals of value / 100, in every locale.
        char version[16];
        std::snprintf(version, sizeof version, "%u.%02u", value / 100, value % 100);
        text = version;
    }
    return status;
}

LinkStatus WriteRegisterHex(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                            const std::string& hexText) {
    if (hexText.size() != 4) {
        return Failed(LinkError::BadArgument);
    }
    const std::uint8_t data[2] = {static_cast<std::uint8_t>(HexPairValue(hexText.substr(0, 2))),
                                  static_cast<std::uint8_t>(HexPairValue(hexText.substr(2, 2)))};
    return RequestWrite(link, id, address, data, 2);
}

LinkStatus WriteRegisters(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                          const std::uint8_t* data, int byteCount) {
    if (data == nullptr || byteCount <= 0 || byteCount > 2 * kMaxWriteCount || byteCount % 2 != 0) {
        return Failed(LinkError::BadArgument);
    }
    return RequestWrite(link, id, address, data, byteCount);
}

LinkStatus WriteRegistersText(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                              int byteCount, const std::string& text) {
    const std::string bytes = TextToBytes(text);
    if (bytes.empty() || bytes.size() > kMaxTextLength || byteCount <= 0 ||
        byteCount > 2 * kMaxWriteCount || byteCount % 2 != 0) {
        return Failed(LinkError::BadArgument);
    }
    std::uint8_t data[2 * kMaxWriteCount] = {};
    std::memcpy(data, bytes.data(), std::min<std::size_t>(bytes.size(), byteCount));
    return RequestWrite(link, id, address, data, byteCount);
}

LinkStatus EchoTest(RtuMaster& link, std::uint8_t id) {
    const std::uint8_t request[5] = {kFnDiagnostics, 0x00, 0x00, 0x12, 0x34};
    Pdu reply;
    return link.transact(
        id, request, sizeof request, reply,
        [&request](std::span<const std::uint8_t> pdu) {
            return std::equal(pdu.begin(), pdu.end(), request) ? ReplyVerdict::Accepted
                                                               : ReplyVerdict::Mismatch;
        },
        Retry::Never);
}

LinkStatus SetReg000CLow(RtuMaster& link, std::uint8_t id, int value) {
    if (value < 0 || value > 0xFF) {
        return Failed(LinkError::BadArgument);  // the text would not be four digits
    }
    auto guard = link.lock();
    std::string current;
    if (const LinkStatus status = ReadReg000C(link, id, current); !status.ok()) {
        return status;
    }
    char text[8];
    std::snprintf(text, sizeof text, "%.2s%02x", current.c_str(), value);
    return WriteRegisterHex(link, id, kRegMode, text);
}

LinkStatus GetReg000CLow(RtuMaster& link, std::uint8_t id, int& value) {
    std::string current;
    if (const LinkStatus status = ReadReg000C(link, id, current); !status.ok()) {
        return status;
    }
    const int low = HexPairValue(current.substr(2, 2));
    if (low == 1 || low == 2 || low == 3 || low == 100 || low == 200) {
        value = low;
        return {};
    }
    value = 1;
    return Failed(LinkError::Mismatch);
}

LinkStatus WriteDateCode(RtuMaster& link, std::uint8_t id) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    LocalTime(now, local);
    return WriteDateCode(link, id, local.tm_year + 1900, local.tm_mon + 1);
}

LinkStatus WriteDateCode(RtuMaster& link, std::uint8_t id, int year, int month) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d", year % 100, month);
    return WriteRegisterHex(link, id, kRegDateCode, text);
}

LinkStatus WriteReg00EE(RtuMaster& link, std::uint8_t id, const std::uint8_t bytes[2]) {
    unsigned value = bytes[0] * 256u + bytes[1];
    if (value + 1000 <= 9999) {
        value += 1000;
    }
    const std::uint8_t data[2] = {static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value & 0xFF)};
    return WriteRegisters(link, id, kRegCheckValue, data, 2);
}

}  // namespace velmora
