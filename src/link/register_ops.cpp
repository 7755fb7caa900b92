#include "link/register_ops.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "sysfiles/language.h"

namespace velmora {

namespace {

constexpr std::uint8_t kFnRead = 0x03;
constexpr std::uint8_t kFnWrite = 0x10;
constexpr std::uint8_t kFnDiagnostics = 0x08;
constexpr int kWriteReplyLength = 8;
constexpr int kMaxReadCount = 125;
constexpr std::size_t kMaxTextLength = 200;

void PutWord(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

void ShowExceptionMessage(CComLink& link, std::uint8_t code) {
    int alarm = kMsgComAbnormalResponseInjusticeContents;
    if (code == 2) {
        alarm = kMsgComAbnormalResponseAddressContents;
    } else if (code == 3) {
        alarm = kMsgComAbnormalResponseAccessContents;
    }
    link.ui().showMessage(ComposeAlarmText(alarm, kMsgComAbnormalResponseCountermeasureContents),
                          std::string(), MessageIcon::Error, MessageButtons::Ok);
}

// 0 for an accepted reply; otherwise the message for what went wrong, and -1.
int ReportOutcome(CComLink& link, ExchangeOutcome outcome) {
    switch (outcome) {
        case ExchangeOutcome::Accepted:
            return 0;
        case ExchangeOutcome::Timeout:
            link.ui().showMessage(MessageText(kMsgComTimeoutCountermeasureContents), std::string(),
                                  MessageIcon::Error, MessageButtons::Ok);
            return -1;
        case ExchangeOutcome::Exception:
            ShowExceptionMessage(link, link.ResponseBuffer()[2]);
            return -1;
        case ExchangeOutcome::Mismatch:
            ShowExceptionMessage(link, 0);
            return -1;
        case ExchangeOutcome::PortClosed:
            return -1;
    }
    return -1;
}

// Sends a read request and checks the reply; the data starts at response offset 3.
int RequestRead(CComLink& link, std::uint8_t id, std::uint16_t address, std::uint16_t count) {
    link.ClearBuffers();
    std::uint8_t* request = link.RequestBuffer();
    request[0] = id;
    request[1] = kFnRead;
    PutWord(request + 2, address);
    PutWord(request + 4, count);
    const ExchangeOutcome outcome =
        link.Exchange(6, 2 * count + 5, [count](const std::uint8_t* reply) {
            if (reply[1] == (kFnRead | 0x80)) {
                return ReplyVerdict::Exception;
            }
            // CRC-valid but with another byte count: not the answer to this request.
            return reply[2] == 2 * count ? ReplyVerdict::Accepted : ReplyVerdict::Mismatch;
        });
    return ReportOutcome(link, outcome);
}

int RequestWrite(CComLink& link, std::uint8_t id, std::uint16_t address, const std::uint8_t* data,
                 int byteCount) {
    link.ClearBuffers();
    std::uint8_t* request = link.RequestBuffer();
    request[0] = id;
    request[1] = kFnWrite;
    PutWord(request + 2, address);
    request[4] = 0;
    request[5] = static_cast<std::uint8_t>(byteCount >> 1);
    request[6] = static_cast<std::uint8_t>(byteCount);
    std::memcpy(request + 7, data, static_cast<std::size_t>(byteCount));
    const ExchangeOutcome outcome = link.Exchange(
        7 + static_cast<std::size_t>(byteCount), kWriteReplyLength,
        [request](const std::uint8_t* reply) {
            if (reply[1] == (kFnWrite | 0x80)) {
                return ReplyVerdict::Exception;
            }
            // A reply that echoes another address or count answers some other write: the
            // registers asked for may not hold the data.
            return std::memcmp(reply + 2, request + 2, 4) == 0 ? ReplyVerdict::Accepted
                                                               : ReplyVerdict::Mismatch;
        });
    return ReportOutcome(link, outcome);
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

}  // namespace

int ReadReg000C(CComLink& link, std::uint8_t id, std::string& text) {
    auto lock = link.Lock();
    if (RequestRead(link, id, kRegMode, 1) != 0) {
        return -1;
    }
    const std::uint8_t* reply = link.ResponseBuffer();
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02x%02x", reply[3], reply[4]);
    text += digits;
    return 0;
}

int ReadRegisters(CComLink& link, std::uint8_t id, std::uint16_t address, std::uint16_t count,
                  std::uint8_t* destination) {
    if (destination == nullptr || count == 0 || count > kMaxReadCount) {
        return -1;
    }
    auto lock = link.Lock();
    if (RequestRead(link, id, address, count) != 0) {
        return -1;
    }
    std::memcpy(destination, link.ResponseBuffer() + 3, 2u * count);
    return 0;
}

int ReadText16(CComLink& link, std::uint8_t id, std::uint16_t address, std::string& text) {
    auto lock = link.Lock();
    if (RequestRead(link, id, address, 8) != 0) {
        return -1;
    }
    text += BytesToText(link.ResponseBuffer() + 3, 16);
    return 0;
}

int ReadVersion(CComLink& link, std::uint8_t id, std::string& text) {
    auto lock = link.Lock();
    if (RequestRead(link, id, kRegVersion, 1) != 0) {
        return -1;
    }
    const std::uint8_t* reply = link.ResponseBuffer();
    const unsigned value = reply[3] * 256u + reply[4];
    // Integer formatting: the same digits as two decimals of value / 100, in every locale.
    char version[16];
    std::snprintf(version, sizeof version, "%u.%02u", value / 100, value % 100);
    text = version;
    return 0;
}

int WriteRegisterHex(CComLink& link, std::uint8_t id, std::uint16_t address,
                     const std::string& hexText) {
    if (hexText.size() != 4) {
        return -1;
    }
    const std::uint8_t data[2] = {static_cast<std::uint8_t>(HexPairValue(hexText.substr(0, 2))),
                                  static_cast<std::uint8_t>(HexPairValue(hexText.substr(2, 2)))};
    auto lock = link.Lock();
    return RequestWrite(link, id, address, data, 2);
}

int WriteRegisters(CComLink& link, std::uint8_t id, std::uint16_t address, const std::uint8_t* data,
                   int byteCount) {
    // The counts travel in one byte each, and 123 registers is the most one request may write.
    if (data == nullptr || byteCount <= 0 || byteCount > 246) {
        return -1;
    }
    auto lock = link.Lock();
    return RequestWrite(link, id, address, data, byteCount);
}

int WriteRegistersText(CComLink& link, std::uint8_t id, std::uint16_t address, int byteCount,
                       const std::string& text) {
    const std::string bytes = TextToBytes(text);
    if (bytes.empty() || bytes.size() > kMaxTextLength || byteCount <= 0 || byteCount > 246) {
        return -1;
    }
    std::uint8_t data[246] = {};
    std::memcpy(data, bytes.data(), std::min<std::size_t>(bytes.size(), byteCount));
    auto lock = link.Lock();
    return RequestWrite(link, id, address, data, byteCount);
}

int EchoTest(CComLink& link, std::uint8_t id) {
    auto lock = link.Lock();
    link.ClearBuffers();
    std::uint8_t* request = link.RequestBuffer();
    request[0] = id;
    request[1] = kFnDiagnostics;
    request[2] = 0x00;
    request[3] = 0x00;
    request[4] = 0x12;
    request[5] = 0x34;
    if (link.Transact(6, 8, false) != 0) {
        return -1;
    }
    return std::memcmp(link.ResponseBuffer(), request, 8) == 0 ? 0 : -1;
}

int SetReg000CLow(CComLink& link, std::uint8_t id, int value) {
    auto lock = link.Lock();
    std::string current;
    if (ReadReg000C(link, id, current) != 0) {
        return -1;
    }
    if (value < 0 || value > 0xFF) {
        return -1;  // the text would not be four digits
    }
    char text[8];
    std::snprintf(text, sizeof text, "%.2s%02x", current.c_str(), value);
    return WriteRegisterHex(link, id, kRegMode, text);
}

int GetReg000CLow(CComLink& link, std::uint8_t id, int& value) {
    auto lock = link.Lock();
    std::string current;
    if (ReadReg000C(link, id, current) != 0) {
        return -1;
    }
    const int low = HexPairValue(current.substr(2, 2));
    if (low == 1 || low == 2 || low == 3 || low == 100 || low == 200) {
        value = low;
        return 0;
    }
    value = 1;
    return -1;
}

int WriteDateCode(CComLink& link, std::uint8_t id) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return WriteDateCode(link, id, local.tm_year + 1900, local.tm_mon + 1);
}

int WriteDateCode(CComLink& link, std::uint8_t id, int year, int month) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d", year % 100, month);
    return WriteRegisterHex(link, id, kRegDateCode, text);
}

int WriteReg00EE(CComLink& link, std::uint8_t id, const std::uint8_t bytes[2]) {
    unsigned value = bytes[0] * 256u + bytes[1];
    if (value + 1000 <= 9999) {
        value += 1000;
    }
    const std::uint8_t data[2] = {static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value & 0xFF)};
    return WriteRegisters(link, id, kRegCheckValue, data, 2);
}

}  // namespace velmora
