#include "sim/virtual_controller.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>

namespace velmora::sim {

namespace {

constexpr std::uint8_t kReadHolding = 0x03;
constexpr std::uint8_t kDiagnostics = 0x08;
constexpr std::uint8_t kWriteMultiple = 0x10;

constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;
constexpr std::uint8_t kDeviceFailure = 4;

constexpr std::size_t kMaxReadCount = 125;
constexpr std::size_t kMaxWriteCount = 123;
constexpr std::size_t kImageSize = VirtualController::kStepLast + 1;

std::uint16_t Word(const std::vector<std::uint8_t>& frame, std::size_t offset) {
    return static_cast<std::uint16_t>(frame[offset] << 8 | frame[offset + 1]);
}

void AppendWord(std::vector<std::uint8_t>& frame, std::uint16_t value) {
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

// Consumes one use of a counted fault; negative counts never run out.
bool Take(int& remaining) {
    if (remaining == 0) {
        return false;
    }
    if (remaining > 0) {
        --remaining;
    }
    return true;
}

std::size_t Index(Fault fault) {
    return static_cast<std::size_t>(fault);
}

// The frame without its CRC, changed by edit, with a fresh CRC.
template <typename Edit>
void Rewrite(std::vector<std::uint8_t>& frame, Edit edit) {
    frame.resize(frame.size() - 2);
    edit(frame);
    AppendCrc(frame);
}

bool InArea(std::uint32_t first, std::uint32_t last) {
    const auto inside = [&](std::uint32_t low, std::uint32_t high) {
        return first >= low && last <= high;
    };
    return inside(VirtualController::kParameterFirst, VirtualController::kParameterLast) ||
           inside(VirtualController::kStepFirst, VirtualController::kStepLast) ||
           (first == VirtualController::kVersionRegister &&
            last == VirtualController::kVersionRegister);
}

bool RangeIsValid(std::uint16_t address, std::size_t count) {
    return count > 0 && InArea(address, address + static_cast<std::uint32_t>(count) - 1);
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// "0x1A2B" in hexadecimal, anything else in decimal; the whole text must be the number.
std::optional<std::uint32_t> ParseNumber(const std::string& text) {
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    std::uint32_t value = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value, base);
    if (error != std::errc() || end != last || first == last) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 1) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (carry) {
                crc ^= 0xA001;
            }
        }
    }
    return crc;
}

VirtualController::VirtualController() : registers_(kImageSize, 0) {
    loadDefaults();
}

void VirtualController::loadDefaults() {
    std::fill(registers_.begin(), registers_.end(), 0);
    registers_[0x0000] = 0x0100;  // controller ID 1, I/O pattern 0
    registers_[0x0001] = 0x0032;  // trapezoid acceleration, S-motion 50 %
    registers_[0x0003] = 0x7530;  // stroke(+) 300.00 mm
    registers_[0x0006] = 500;     // max speed
    registers_[0x0007] = 3000;    // max acceleration
    registers_[0x000C] = 0x0001;  // normal operating mode
    const char unitName[] = "VELMORA-SIM";
    for (std::size_t i = 0; i + 1 < sizeof unitName; i += 2) {
        registers_[0x000E + i / 2] =
            static_cast<std::uint16_t>(static_cast<std::uint8_t>(unitName[i]) << 8 |
                                       static_cast<std::uint8_t>(unitName[i + 1]));
    }
    registers_[0x0022] = 20;  // homing speed
    registers_[0x0053] = 5;   // minimum response delay
    registers_[0x00EE] = 1100;
    registers_[0x00EF] = 0x2401;  // made January 2024
    for (std::size_t step = 0; step < 64; ++step) {
        const std::size_t base = kStepFirst + 16 * step;
        registers_[base + 0] = 1;                                       // absolute move
        registers_[base + 3] = static_cast<std::uint16_t>(step * 500);  // position
        registers_[base + 4] = 100;                                     // speed
        registers_[base + 5] = 300;                                     // acceleration
        registers_[base + 6] = 300;                                     // deceleration
        registers_[base + 7] = 100;                                     // force
    }
}

std::optional<std::vector<std::uint8_t>> VirtualController::handleFrame(
    const std::vector<std::uint8_t>& request) {
    std::optional<ReplyPlan> plan = process(request);
    if (!plan) {
        return std::nullopt;
    }
    return std::move(plan->bytes);
}

std::optional<ReplyPlan> VirtualController::process(const std::vector<std::uint8_t>& request) {
    std::lock_guard lock(mutex_);
    if (request.size() < 4) {
        return std::nullopt;
    }
    const std::size_t body = request.size() - 2;
    const std::uint16_t crc = ModbusCrc(request.data(), body);
    if (request[body] != (crc & 0xFF) || request[body + 1] != (crc >> 8)) {
        return std::nullopt;
    }
    if (request[0] != station_) {
        return std::nullopt;
    }
    log_.push_back(request);
    if (answersLeft_ == 0) {
        return std::nullopt;
    }
    if (answersLeft_ > 0) {
        --answersLeft_;
    }
    // Every schedule sees every request, so the periodic ones keep their rhythm.
    FaultSet struck{};
    for (std::size_t i = 0; i < kFaultKinds; ++i) {
        struck[i] = faults_[i].strikes();
    }
    if (struck[Index(Fault::DropRequest)]) {
        return std::nullopt;
    }

    ReplyPlan plan;
    plan.bytes = struck[Index(Fault::Exception)] ? exceptionReply(request[1], kDeviceFailure)
                                                 : execute(request);
    if (struck[Index(Fault::LoseReply)]) {
        return std::nullopt;
    }
    spoil(plan, struck);
    if (Take(trickleReplies_)) {
        plan.trickleGapMs = trickleGapMs_;
    }
    plan.extraDelayMs = extraDelayMs_;
    if (struck[Index(Fault::LateReply)]) {
        plan.extraDelayMs += lateReplyMs_;
    }
    plan.sendTwice = struck[Index(Fault::DoubleReply)];
    return plan;
}

void VirtualController::spoil(ReplyPlan& plan, const FaultSet& struck) const {
    std::vector<std::uint8_t>& bytes = plan.bytes;
    const auto hit = [&](Fault fault) { return struck[Index(fault)]; };
    // Only a normal write reply echoes an address.
    if (hit(Fault::WrongEcho) && bytes[1] == kWriteMultiple && bytes.size() == 8) {
        Rewrite(bytes, [](std::vector<std::uint8_t>& frame) {
            const auto next = static_cast<std::uint16_t>(Word(frame, 2) + 1);
            frame[2] = static_cast<std::uint8_t>(next >> 8);
            frame[3] = static_cast<std::uint8_t>(next & 0xFF);
        });
    }
    if (hit(Fault::WrongFunction)) {
        Rewrite(bytes, [](std::vector<std::uint8_t>& frame) { frame[1] ^= 0x01; });
    }
    if (hit(Fault::WrongStation)) {
        Rewrite(bytes, [this](std::vector<std::uint8_t>& frame) {
            frame[0] = static_cast<std::uint8_t>(station_ + 1);
        });
    }
    // The last byte before the CRC is data in every reply, exceptions included.
    if (hit(Fault::FlipBit)) {
        bytes[bytes.size() - 3] ^= 0x01;
    }
    if (hit(Fault::BadCrc)) {
        bytes[bytes.size() - 2] ^= 0x5A;
        bytes[bytes.size() - 1] ^= 0xA5;
    }
    if (hit(Fault::ShortReply)) {
        bytes.resize(bytes.size() / 2);
    }
}

std::vector<std::uint8_t> VirtualController::execute(const std::vector<std::uint8_t>& request) {
    switch (request[1]) {
        case kReadHolding:
            return readHolding(request);
        case kWriteMultiple:
            return writeMultiple(request);
        case kDiagnostics:
            return diagnostics(request);
        default:
            return exceptionReply(request[1], kIllegalFunction);
    }
}

std::vector<std::uint8_t> VirtualController::readHolding(const std::vector<std::uint8_t>& request) {
    if (request.size() != 8) {
        return exceptionReply(kReadHolding, kIllegalValue);
    }
    const std::uint16_t address = Word(request, 2);
    const std::uint16_t count = Word(request, 4);
    if (count < 1 || count > kMaxReadCount) {
        return exceptionReply(kReadHolding, kIllegalValue);
    }
    if (!RangeIsValid(address, count)) {
        return exceptionReply(kReadHolding, kIllegalAddress);
    }
    if (const auto code = injectedException(address, count)) {
        return exceptionReply(kReadHolding, *code);
    }
    std::vector<std::uint8_t> reply{station_, kReadHolding, static_cast<std::uint8_t>(2 * count)};
    for (std::uint32_t offset = 0; offset < count; ++offset) {
        AppendWord(reply, address == kVersionRegister ? version_ : registers_[address + offset]);
    }
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> VirtualController::writeMultiple(
    const std::vector<std::uint8_t>& request) {
    if (request.size() < 9) {
        return exceptionReply(kWriteMultiple, kIllegalValue);
    }
    const std::uint16_t address = Word(request, 2);
    const std::uint16_t count = Word(request, 4);
    const std::size_t byteCount = request[6];
    if (count < 1 || count > kMaxWriteCount || byteCount != 2u * count ||
        request.size() != 9 + byteCount) {
        return exceptionReply(kWriteMultiple, kIllegalValue);
    }
    // The version register is read-only.
    if (!RangeIsValid(address, count) || address == kVersionRegister) {
        return exceptionReply(kWriteMultiple, kIllegalAddress);
    }
    if (const auto code = injectedException(address, count)) {
        return exceptionReply(kWriteMultiple, *code);
    }
    for (std::size_t offset = 0; offset < count; ++offset) {
        registers_[address + offset] = Word(request, 7 + 2 * offset);
    }
    applyChangesAfterWrite(address, count);
    std::vector<std::uint8_t> reply{station_, kWriteMultiple};
    AppendWord(reply, address);
    AppendWord(reply, count);
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> VirtualController::diagnostics(const std::vector<std::uint8_t>& request) {
    // Only "return query data" is offered; its answer is the request, byte for byte.
    if (request.size() < 6 || Word(request, 2) != 0x0000) {
        return exceptionReply(kDiagnostics, kIllegalFunction);
    }
    return request;
}

std::vector<std::uint8_t> VirtualController::exceptionReply(std::uint8_t function,
                                                            std::uint8_t code) const {
    std::vector<std::uint8_t> reply{station_, static_cast<std::uint8_t>(function | 0x80), code};
    AppendCrc(reply);
    return reply;
}

std::optional<std::uint8_t> VirtualController::injectedException(std::uint16_t first,
                                                                 std::size_t count) {
    for (auto it = exceptions_.begin(); it != exceptions_.end(); ++it) {
        if (it->address >= first && it->address < first + count) {
            const auto code = static_cast<std::uint8_t>(it->value);
            Take(it->remaining);
            if (it->remaining == 0) {
                exceptions_.erase(it);
            }
            return code;
        }
    }
    return std::nullopt;
}

void VirtualController::applyChangesAfterWrite(std::uint16_t first, std::size_t count) {
    for (AddressFault& change : changes_) {
        if (change.address >= first && change.address < first + count) {
            registers_[change.address] = change.value;
            Take(change.remaining);
        }
    }
    std::erase_if(changes_, [](const AddressFault& change) { return change.remaining == 0; });
}

bool VirtualController::IsValidRegister(std::uint16_t address) {
    return RangeIsValid(address, 1);
}

std::optional<std::uint16_t> VirtualController::getRegister(std::uint16_t address) const {
    if (!IsValidRegister(address)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    return address == kVersionRegister ? version_ : registers_[address];
}

bool VirtualController::setRegister(std::uint16_t address, std::uint16_t value) {
    if (!IsValidRegister(address)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    (address == kVersionRegister ? version_ : registers_[address]) = value;
    return true;
}

std::vector<std::uint16_t> VirtualController::getRange(std::uint16_t address,
                                                       std::size_t count) const {
    if (!RangeIsValid(address, count)) {
        return {};
    }
    std::lock_guard lock(mutex_);
    if (address == kVersionRegister) {
        return {version_};
    }
    return std::vector<std::uint16_t>(registers_.begin() + address,
                                      registers_.begin() + address + static_cast<long>(count));
}

bool VirtualController::setRange(std::uint16_t address, const std::vector<std::uint16_t>& values) {
    if (!RangeIsValid(address, values.size())) {
        return false;
    }
    std::lock_guard lock(mutex_);
    if (address == kVersionRegister) {
        version_ = values.front();
        return true;
    }
    std::copy(values.begin(), values.end(), registers_.begin() + address);
    return true;
}

void VirtualController::resetImage() {
    std::lock_guard lock(mutex_);
    loadDefaults();
}

void VirtualController::setVersion(std::uint16_t versionTimes100) {
    std::lock_guard lock(mutex_);
    version_ = versionTimes100;
}

std::uint16_t VirtualController::version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

void VirtualController::setStationId(std::uint8_t station) {
    std::lock_guard lock(mutex_);
    station_ = station;
}

std::uint8_t VirtualController::stationId() const {
    std::lock_guard lock(mutex_);
    return station_;
}

bool VirtualController::loadImage(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    std::map<std::uint16_t, std::uint16_t> values;
    std::optional<std::uint16_t> version;
    std::optional<std::uint8_t> station;
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            return false;
        }
        const std::string key = Trim(line.substr(0, equals));
        const std::optional<std::uint32_t> value = ParseNumber(Trim(line.substr(equals + 1)));
        if (!value || *value > 0xFFFF) {
            return false;
        }
        if (key == "version") {
            version = static_cast<std::uint16_t>(*value);
        } else if (key == "station") {
            if (*value < 1 || *value > 247) {
                return false;
            }
            station = static_cast<std::uint8_t>(*value);
        } else {
            const std::optional<std::uint32_t> address = ParseNumber(key);
            if (!address || *address > 0xFFFF ||
                !IsValidRegister(static_cast<std::uint16_t>(*address))) {
                return false;
            }
            if (*address == kVersionRegister) {
                version = static_cast<std::uint16_t>(*value);
            } else {
                values[static_cast<std::uint16_t>(*address)] = static_cast<std::uint16_t>(*value);
            }
        }
    }
    if (in.bad()) {
        return false;
    }
    std::lock_guard lock(mutex_);
    for (const auto& [address, value] : values) {
        registers_[address] = value;
    }
    if (version) {
        version_ = *version;
    }
    if (station) {
        station_ = *station;
    }
    return true;
}

bool VirtualController::dumpImage(const std::string& path) const {
    std::string text;
    {
        std::lock_guard lock(mutex_);
        char line[64];
        text += "# velmora-sim register image\n";
        std::snprintf(line, sizeof line, "station = %u\nversion = %u\n", station_, version_);
        text += line;
        const auto dumpArea = [&](std::uint16_t first, std::uint16_t last) {
            for (std::uint32_t address = first; address <= last; ++address) {
                std::snprintf(line, sizeof line, "0x%04X = 0x%04X\n", address, registers_[address]);
                text += line;
            }
        };
        text += "# parameter area\n";
        dumpArea(kParameterFirst, kParameterLast);
        text += "# step data area\n";
        dumpArea(kStepFirst, kStepLast);
    }
    std::ofstream out(path, std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

std::vector<std::vector<std::uint8_t>> VirtualController::requestLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::size_t VirtualController::requestCount() const {
    std::lock_guard lock(mutex_);
    return log_.size();
}

void VirtualController::clearRequestLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

bool VirtualController::FaultSchedule::strikes() {
    const bool periodic = every > 0 && ++seen % every == 0;
    return Take(next) || periodic;
}

void VirtualController::injectNext(Fault fault, int count) {
    std::lock_guard lock(mutex_);
    faults_[Index(fault)].next = count;
}

void VirtualController::injectEvery(Fault fault, int n) {
    std::lock_guard lock(mutex_);
    FaultSchedule& schedule = faults_[Index(fault)];
    schedule.every = std::max(n, 0);
    schedule.seen = 0;
}

void VirtualController::setLateReplyMs(int milliseconds) {
    std::lock_guard lock(mutex_);
    lateReplyMs_ = std::max(milliseconds, 0);
}

void VirtualController::dropNextReplies(int count) {
    injectNext(Fault::LoseReply, count);
}

void VirtualController::corruptNextReplyCrc(int count) {
    injectNext(Fault::BadCrc, count);
}

void VirtualController::wrongStationReply(int count) {
    injectNext(Fault::WrongStation, count);
}

void VirtualController::exceptionAt(std::uint16_t address, std::uint8_t code, int count) {
    std::lock_guard lock(mutex_);
    std::erase_if(exceptions_, [&](const AddressFault& fault) { return fault.address == address; });
    if (count != 0) {
        exceptions_.push_back({address, code, count});
    }
}

void VirtualController::changeRegisterAfterWrite(std::uint16_t address, std::uint16_t value,
                                                 int count) {
    std::lock_guard lock(mutex_);
    std::erase_if(changes_, [&](const AddressFault& fault) { return fault.address == address; });
    if (count != 0 && IsValidRegister(address) && address != kVersionRegister) {
        changes_.push_back({address, value, count});
    }
}

void VirtualController::stopAfterRequests(int answered) {
    std::lock_guard lock(mutex_);
    answersLeft_ = answered;
}

void VirtualController::trickleNextReply(int gapMs, int count) {
    std::lock_guard lock(mutex_);
    trickleGapMs_ = std::max(gapMs, 0);
    trickleReplies_ = count;
}

void VirtualController::setExtraDelayMs(int milliseconds) {
    std::lock_guard lock(mutex_);
    extraDelayMs_ = std::max(milliseconds, 0);
}

void VirtualController::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_ = {};
    lateReplyMs_ = kDefaultLateReplyMs;
    answersLeft_ = -1;
    trickleReplies_ = 0;
    trickleGapMs_ = 0;
    extraDelayMs_ = 0;
    exceptions_.clear();
    changes_.clear();
}

}  // namespace velmora::sim
