#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora::sim {

// CRC-16/MODBUS as a slave computes it (the device keeps its own, independent of the master).
std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t length);

// What the line should carry in answer to one request.
struct ReplyPlan {
    std::vector<std::uint8_t> bytes;
    int trickleGapMs = 0;    // above 0: sent one byte at a time with this pause between bytes
    int extraDelayMs = 0;    // added before the reply on top of the usual turnaround
    bool sendTwice = false;  // a copy follows after 3.5 character times of silence
};

// What a controller or its line can get wrong with one request. Replies marked "CRC right"
// pass the CRC check and must be caught by their content.
enum class Fault {
    DropRequest,    // never heard: act on nothing, send nothing
    LoseReply,      // act on the request, send nothing
    BadCrc,         // the reply with a wrong CRC
    FlipBit,        // one data bit of the reply flipped, the CRC of the true reply kept
    WrongStation,   // the reply as station id + 1 (CRC right)
    WrongFunction,  // the reply under another function code (CRC right)
    ShortReply,     // only the first half of the reply
    DoubleReply,    // the reply twice, the copy 3.5 character times after it
    LateReply,      // the reply lateReplyMs later than usual
    WrongEcho,      // a write's reply echoes the next address (CRC right); others go out as is
    Exception,      // exception 4, device failure, and nothing done
};
inline constexpr std::size_t kFaultKinds = static_cast<std::size_t>(Fault::Exception) + 1;

// The actuator's motor controller as a Modbus RTU slave: a holding-register image answering
// functions 0x03, 0x10 and 0x08, with a request log and faults to inject on demand. Every
// public member may be called from any thread.
class VirtualController {
  public:
    static constexpr std::uint16_t kParameterFirst = 0x0000;
    static constexpr std::uint16_t kParameterLast = 0x017F;
    static constexpr std::uint16_t kStepFirst = 0x0400;
    static constexpr std::uint16_t kStepLast = 0x07FF;
    static constexpr std::uint16_t kVersionRegister = 0x900C;
    static constexpr std::uint16_t kDefaultVersion = 110;
    static constexpr std::uint8_t kDefaultStation = 1;
    static constexpr int kDefaultLateReplyMs = 300;

    VirtualController();

    // The reply frame (CRC included) to one request frame, or nothing when the controller
    // stays silent: bad CRC, another station, or an injected fault.
    std::optional<std::vector<std::uint8_t>> handleFrame(const std::vector<std::uint8_t>& request);
    // As handleFrame, with the timing the line should give the reply.
    std::optional<ReplyPlan> process(const std::vector<std::uint8_t>& request);

    // Register image. Addresses outside the two areas and the version register are refused.
    static bool IsValidRegister(std::uint16_t address);
    std::optional<std::uint16_t> getRegister(std::uint16_t address) const;
    bool setRegister(std::uint16_t address, std::uint16_t value);
    // Empty when any register of the range lies outside one area.
    std::vector<std::uint16_t> getRange(std::uint16_t address, std::size_t count) const;
    bool setRange(std::uint16_t address, const std::vector<std::uint16_t>& values);
    // Back to the factory image (station and version keep their settings).
    void resetImage();

    // Software version times 100 (110 answers as 1.10).
    void setVersion(std::uint16_t versionTimes100);
    std::uint16_t version() const;
    void setStationId(std::uint8_t station);
    std::uint8_t stationId() const;

    // Text image: "0x0000 = 0x0001" per register, plus "version = 110" and "station = 1";
    // '#' starts a comment. Loading is all or nothing: a bad line leaves the image untouched.
    bool loadImage(const std::string& path);
    bool dumpImage(const std::string& path) const;

    // Every request accepted (CRC right, addressed to this station), CRC included, in order;
    // a dropped request is logged too, as it did go over the line.
    std::vector<std::vector<std::uint8_t>> requestLog() const;
    std::size_t requestCount() const;
    void clearRequestLog();

    // Faults strike requests accepted for this station (CRC right), counted from when they
    // are set. injectNext: the next count requests (negative: until cleared, 0: none).
    // injectEvery: every nth request (0: never). Both forms may be set for one fault; when
    // several faults strike one request, all apply. clearFaults removes every fault, the extra
    // delay and a changed late-reply time.
    void injectNext(Fault fault, int count);
    void injectEvery(Fault fault, int n);
    // How much later than usual a LateReply goes out; meant to exceed the master's wait.
    void setLateReplyMs(int milliseconds);

    void dropNextReplies(int count);      // injectNext(Fault::LoseReply, count)
    void corruptNextReplyCrc(int count);  // injectNext(Fault::BadCrc, count)
    void wrongStationReply(int count);    // injectNext(Fault::WrongStation, count)
    void exceptionAt(std::uint16_t address, std::uint8_t code, int count = 1);
    void changeRegisterAfterWrite(std::uint16_t address, std::uint16_t value, int count = 1);
    void stopAfterRequests(int answered);  // answer this many more, then stay silent;
                                           // negative lifts the limit
    void trickleNextReply(int gapMs, int count = 1);
    void setExtraDelayMs(int milliseconds);
    void clearFaults();

  private:
    struct FaultSchedule {
        int next = 0;
        int every = 0;
        int seen = 0;
        // Counts one accepted request; true when the fault strikes it.
        bool strikes();
    };
    using FaultSet = std::array<bool, kFaultKinds>;

    struct AddressFault {
        std::uint16_t address;
        std::uint16_t value;  // exception code or the value to leave behind
        int remaining;
    };

    std::vector<std::uint8_t> execute(const std::vector<std::uint8_t>& request);
    void spoil(ReplyPlan& plan, const FaultSet& struck) const;
    std::vector<std::uint8_t> readHolding(const std::vector<std::uint8_t>& request);
    std::vector<std::uint8_t> writeMultiple(const std::vector<std::uint8_t>& request);
    std::vector<std::uint8_t> diagnostics(const std::vector<std::uint8_t>& request);
    std::vector<std::uint8_t> exceptionReply(std::uint8_t function, std::uint8_t code) const;
    std::optional<std::uint8_t> injectedException(std::uint16_t first, std::size_t count);
    void applyChangesAfterWrite(std::uint16_t first, std::size_t count);
    std::size_t slot(std::uint16_t address) const;
    void loadDefaults();

    mutable std::mutex mutex_;
    std::vector<std::uint16_t> registers_;  // 0x0000 to 0x07FF; the gap is never addressed
    std::uint16_t version_ = kDefaultVersion;
    std::uint8_t station_ = kDefaultStation;
    std::vector<std::vector<std::uint8_t>> log_;

    std::array<FaultSchedule, kFaultKinds> faults_{};
    int lateReplyMs_ = kDefaultLateReplyMs;
    int answersLeft_ = -1;  // negative: no limit
    int trickleReplies_ = 0;
    int trickleGapMs_ = 0;
    int extraDelayMs_ = 0;
    std::vector<AddressFault> exceptions_;
    std::vector<AddressFault> changes_;
};

}  // namespace velmora::sim
