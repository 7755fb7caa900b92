#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/serial_port.h"
#include "sim/pty_controller.h"
#include "support/frame_util.h"
#include "support/serial_line.h"

namespace velmora::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using test::CrcIsValid;
using test::Frame;
using test::HexBytes;
using test::ReadBytes;
using test::SendBytes;
using test::ToHex;

const Bytes kRead = HexBytes("01 03 00 0C 00 01 44 09");
const Bytes kReadReply = HexBytes("01 03 02 00 01 79 84");
// Long enough for any reply of the simulator; short enough for a fast suite.
constexpr int kReplyWaitMs = 1000;
constexpr int kSilenceMs = 100;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class PtyControllerTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.start());
        pty_.controller().setRegister(0x000C, 0x0001);
        port_ = MakeSystemSerialPort();
        ASSERT_TRUE(port_->open(pty_.slavePath())) << pty_.slavePath();
        ASSERT_TRUE(port_->configure(38400));
    }

    // Sends a request and collects up to expected reply bytes.
    Bytes exchange(const Bytes& request, std::size_t expected, int timeoutMs = kReplyWaitMs) {
        port_->discardInput();
        EXPECT_TRUE(SendBytes(*port_, request));
        return ReadBytes(*port_, expected, timeoutMs);
    }

    PtyController pty_;
    std::unique_ptr<SerialPort> port_;
};

TEST_F(PtyControllerTest, AnswersOverTheLine) {
    struct Case {
        const char* request;
        const char* reply;
    };
    const Case cases[] = {
        {"01 03 00 0C 00 01 44 09", "01 03 02 00 01 79 84"},
        {"01 08 00 00 12 34 ED 7C", "01 08 00 00 12 34 ED 7C"},
        {"01 10 00 10 00 02 04 12 34 AB CD 08 B0", "01 10 00 10 00 02 40 0D"},
        {"01 03 01 80 00 01 84 1E", "01 83 02 C0 F1"},
        {"01 04 00 00 00 01 31 CA", "01 84 01 82 C0"},  // sized by the silence after it
    };
    for (const Case& c : cases) {
        const Bytes expected = HexBytes(c.reply);
        EXPECT_EQ(ToHex(exchange(HexBytes(c.request), expected.size())), c.reply) << c.request;
    }
    EXPECT_EQ(pty_.controller().getRange(0x0010, 2), (std::vector<std::uint16_t>{0x1234, 0xABCD}));
    // The log holds exactly what went over the line.
    EXPECT_EQ(pty_.controller().requestLog().front(), kRead);
    EXPECT_EQ(pty_.controller().requestCount(), std::size(cases));
}

TEST_F(PtyControllerTest, StaysSilentAtAnotherBitRate) {
    for (const std::uint32_t rate : {9600u, 19200u, 115200u}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(port_->configure(rate));
        EXPECT_TRUE(exchange(kRead, kReadReply.size(), kSilenceMs).empty());
    }
    EXPECT_EQ(pty_.controller().requestCount(), 0u);
    EXPECT_GE(pty_.garbledChunks(), 3u);
    ASSERT_TRUE(port_->configure(38400));
    EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
}

TEST_F(PtyControllerTest, AnswersAtEachSupportedRateWhenSetToIt) {
    for (const std::uint32_t rate : {9600u, 19200u, 38400u, 57600u, 115200u, 230400u}) {
        SCOPED_TRACE(rate);
        pty_.setBitRate(rate);
        ASSERT_TRUE(port_->configure(rate));
        EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
    }
}

TEST_F(PtyControllerTest, IgnoresOtherStationsAndBadCrc) {
    for (const char* request : {"02 03 00 0C 00 01 44 3A", "01 03 00 0C 00 01 44 08"}) {
        EXPECT_TRUE(exchange(HexBytes(request), 7, kSilenceMs).empty()) << request;
    }
    EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
}

TEST_F(PtyControllerTest, ReassemblesARequestSentInPieces) {
    port_->discardInput();
    ASSERT_TRUE(SendBytes(*port_, Bytes(kRead.begin(), kRead.begin() + 3)));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(SendBytes(*port_, Bytes(kRead.begin() + 3, kRead.end())));
    EXPECT_EQ(ReadBytes(*port_, kReadReply.size(), kReplyWaitMs), kReadReply);
}

TEST_F(PtyControllerTest, AnswersBackToBackRequestsInOrder) {
    const Bytes echo = HexBytes("01 08 00 00 12 34 ED 7C");
    Bytes both = kRead;
    both.insert(both.end(), echo.begin(), echo.end());
    Bytes expected = kReadReply;
    expected.insert(expected.end(), echo.begin(), echo.end());
    EXPECT_EQ(ToHex(exchange(both, expected.size())), ToHex(expected));
}

TEST_F(PtyControllerTest, ResynchronisesAfterNoise) {
    struct Case {
        const char* name;
        Bytes noise;
        int pauseMs;
    };
    const Case cases[] = {
        {"garbage before the request", HexBytes("FF 00 12"), 0},
        {"a write header promising more", HexBytes("01 10 00 10 00 7B F6 00"), 0},
        {"a fragment, then silence", HexBytes("01 03 00"), 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pty_.controller().clearRequestLog();
        port_->discardInput();
        ASSERT_TRUE(SendBytes(*port_, c.noise));
        std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
        ASSERT_TRUE(SendBytes(*port_, kRead));
        EXPECT_EQ(ToHex(ReadBytes(*port_, kReadReply.size(), kReplyWaitMs)), ToHex(kReadReply));
        EXPECT_TRUE(ReadBytes(*port_, 1, kSilenceMs).empty());
        EXPECT_EQ(pty_.controller().requestLog(), std::vector<Bytes>{kRead});
    }
}

TEST_F(PtyControllerTest, ClientCanCloseAndReopen) {
    for (int round = 0; round < 3; ++round) {
        port_->close();
        ASSERT_TRUE(port_->open(pty_.slavePath())) << round;
        ASSERT_TRUE(port_->configure(38400));
        EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply) << round;
    }
}

TEST_F(PtyControllerTest, SlaveIsExclusiveWhileOpen) {
    auto second = MakeSystemSerialPort();
    EXPECT_FALSE(second->open(pty_.slavePath()));
    port_->close();
    EXPECT_TRUE(second->open(pty_.slavePath()));
}

TEST_F(PtyControllerTest, DroppedReplyStillWrites) {
    pty_.controller().dropNextReplies(1);
    const Bytes write = HexBytes("01 10 00 10 00 02 04 12 34 AB CD 08 B0");
    EXPECT_TRUE(exchange(write, 8, kSilenceMs).empty());
    EXPECT_EQ(pty_.controller().getRange(0x0010, 2), (std::vector<std::uint16_t>{0x1234, 0xABCD}));
    EXPECT_EQ(exchange(write, 8), HexBytes("01 10 00 10 00 02 40 0D"));
}

TEST_F(PtyControllerTest, CorruptCrcArrivesWhole) {
    pty_.controller().corruptNextReplyCrc(1);
    const Bytes reply = exchange(kRead, kReadReply.size());
    ASSERT_EQ(reply.size(), kReadReply.size());
    EXPECT_FALSE(CrcIsValid(reply));
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5),
              Bytes(kReadReply.begin(), kReadReply.begin() + 5));
    EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
}

TEST_F(PtyControllerTest, WrongStationReplyOnTheLine) {
    pty_.controller().wrongStationReply(1);
    EXPECT_EQ(ToHex(exchange(kRead, kReadReply.size())), ToHex(Frame("02 03 02 00 01")));
}

TEST_F(PtyControllerTest, TrickledReplyComesWithGaps) {
    constexpr int kGapMs = 15;
    pty_.controller().trickleNextReply(kGapMs);
    port_->discardInput();
    ASSERT_TRUE(SendBytes(*port_, kRead));
    Bytes reply;
    int reads = 0;
    Clock::time_point first;
    while (reply.size() < kReadReply.size()) {
        const Bytes part = ReadBytes(*port_, 1, kReplyWaitMs);
        ASSERT_EQ(part.size(), 1u) << "after " << ToHex(reply);
        if (reply.empty()) {
            first = Clock::now();
        }
        reply.insert(reply.end(), part.begin(), part.end());
        ++reads;
    }
    const long long span = MsSince(first);
    EXPECT_EQ(reply, kReadReply);
    // Six gaps of 15 ms lie between the first and the last byte; scheduling can only stretch
    // them, but a late first read can hide part of one.
    EXPECT_GE(span, 5 * kGapMs);
    EXPECT_EQ(ReadBytes(*port_, 1, 0).size(), 0u);
    // The next reply comes in one piece again.
    const auto start = Clock::now();
    EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
    EXPECT_LT(MsSince(start), 6 * kGapMs);
}

TEST_F(PtyControllerTest, StopsAfterTheGivenRequests) {
    pty_.controller().stopAfterRequests(2);
    EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
    EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
    EXPECT_TRUE(exchange(kRead, kReadReply.size(), kSilenceMs).empty());
    EXPECT_TRUE(exchange(kRead, kReadReply.size(), kSilenceMs).empty());
    EXPECT_EQ(pty_.controller().requestCount(), 4u);
}

TEST_F(PtyControllerTest, ExtraDelayHoldsTheReplyBack) {
    pty_.controller().setExtraDelayMs(150);
    const auto start = Clock::now();
    EXPECT_TRUE(exchange(kRead, kReadReply.size(), kSilenceMs).empty());
    EXPECT_EQ(ReadBytes(*port_, kReadReply.size(), kReplyWaitMs), kReadReply);
    EXPECT_GE(MsSince(start), 150);
}

TEST_F(PtyControllerTest, DoubleReplyCopyFollowsAfterTheGap) {
    pty_.setBitRate(9600);
    pty_.setTurnaroundMs(2);
    pty_.setPacing(true);
    ASSERT_TRUE(port_->configure(9600));
    pty_.controller().injectNext(Fault::DoubleReply, 1);
    Bytes both = kReadReply;
    both.insert(both.end(), kReadReply.begin(), kReadReply.end());
    const auto start = Clock::now();
    EXPECT_EQ(ToHex(exchange(kRead, both.size())), ToHex(both));
    // Turnaround and 8 + 7 bytes of 10 bits, then 3.5 characters and the copy's 7 bytes:
    // 2 ms + 150 bits + 105 bits at 9600 bit/s, 28.5 ms.
    EXPECT_GE(MsSince(start), 28);
    EXPECT_EQ(exchange(kRead, kReadReply.size()), kReadReply);
    EXPECT_TRUE(ReadBytes(*port_, 1, kSilenceMs).empty());
}

TEST_F(PtyControllerTest, LateReplyStillPrecedesTheNextOne) {
    constexpr int kLateMs = 150;
    pty_.controller().setLateReplyMs(kLateMs);
    pty_.controller().injectNext(Fault::LateReply, 1);
    const Bytes echo = HexBytes("01 08 00 00 12 34 ED 7C");
    port_->discardInput();
    const auto start = Clock::now();
    ASSERT_TRUE(SendBytes(*port_, kRead));
    // The master has given up on it and asks again before the late reply comes.
    ASSERT_TRUE(SendBytes(*port_, echo));
    EXPECT_EQ(ReadBytes(*port_, kReadReply.size(), kReplyWaitMs + kLateMs), kReadReply);
    EXPECT_GE(MsSince(start), kLateMs);
    EXPECT_EQ(ReadBytes(*port_, echo.size(), kReplyWaitMs), echo);
    EXPECT_EQ(pty_.controller().requestCount(), 2u);
}

TEST_F(PtyControllerTest, PacingTakesLineTime) {
    pty_.setBitRate(9600);
    pty_.setTurnaroundMs(2);
    pty_.setPacing(true);
    ASSERT_TRUE(port_->configure(9600));
    const Bytes request = Frame("01 03 04 00 00 14");  // 20 step registers: a 45-byte reply
    const auto start = Clock::now();
    const Bytes reply = exchange(request, 45);
    ASSERT_EQ(reply.size(), 45u);
    EXPECT_TRUE(CrcIsValid(reply));
    // 8 + 45 bytes of 10 bits at 9600 bit/s, plus the turnaround: 57 ms.
    EXPECT_GE(MsSince(start), 57);
}

class PtyControllerLink : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-link-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string dir_;
};

TEST_F(PtyControllerLink, MakesReplacesAndRemovesTheLink) {
    const std::string link = dir_ + "/controller";
    fs::create_symlink("/dev/null", link);  // a stale link from an earlier run
    PtyOptions options;
    options.linkPath = link;
    {
        PtyController pty(options);
        ASSERT_TRUE(pty.start());
        EXPECT_EQ(fs::read_symlink(link).string(), pty.slavePath());
        auto port = MakeSystemSerialPort();
        ASSERT_TRUE(port->open(link));
        ASSERT_TRUE(port->configure(38400));
        ASSERT_TRUE(SendBytes(*port, HexBytes("01 08 00 00 12 34 ED 7C")));
        EXPECT_EQ(ReadBytes(*port, 8, kReplyWaitMs), HexBytes("01 08 00 00 12 34 ED 7C"));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(PtyControllerLink, NeverReplacesARealFile) {
    const std::string path = dir_ + "/precious";
    std::ofstream(path) << "data";
    PtyOptions options;
    options.linkPath = path;
    PtyController pty(options);
    EXPECT_FALSE(pty.start());
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
}

TEST(PtyControllerLifecycle, StopClosesTheTerminalAndCanRestart) {
    PtyController pty;
    ASSERT_TRUE(pty.start());
    EXPECT_TRUE(pty.running());
    pty.stop();
    EXPECT_FALSE(pty.running());
    auto port = MakeSystemSerialPort();
    ASSERT_TRUE(pty.start());
    ASSERT_TRUE(port->open(pty.slavePath()));
    ASSERT_TRUE(port->configure(38400));
    ASSERT_TRUE(SendBytes(*port, kRead));
    EXPECT_EQ(ReadBytes(*port, 7, kReplyWaitMs).size(), 7u);
}

}  // namespace
}  // namespace velmora::sim
