#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim/virtual_controller.h"
#include "support/frame_util.h"

namespace velmora::sim {
namespace {

using test::CrcIsValid;
using test::Frame;
using test::HexBytes;
using test::ToHex;

using Bytes = std::vector<std::uint8_t>;

std::optional<Bytes> Reply(VirtualController& controller, const Bytes& request) {
    return controller.handleFrame(request);
}

// A controller in a known state: station 1, version 1.10, mode register 1.
void Prepare(VirtualController& controller) {
    controller.setStationId(1);
    controller.setVersion(110);
    controller.setRegister(0x000C, 0x0001);
    controller.setRegister(0x07FF, 0x0001);
}

TEST(ModbusCrc, MatchesTheStandardCheckValueAndKnownFrames) {
    const std::string check = "123456789";
    EXPECT_EQ(ModbusCrc(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x4B37);
    struct Case {
        const char* frame;
        std::uint16_t crc;
    };
    for (const Case& c : {Case{"01 03 00 0C 00 01", 0x0944}, Case{"01 08 00 00 12 34", 0x7CED}}) {
        const Bytes bytes = HexBytes(c.frame);
        EXPECT_EQ(ModbusCrc(bytes.data(), bytes.size()), c.crc) << c.frame;
        EXPECT_EQ(test::ModbusCrc16(bytes), c.crc) << c.frame;
    }
}

struct FrameCase {
    const char* name;
    const char* request;
    const char* reply;  // empty: the controller stays silent
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.request;
}

class VirtualControllerFrames : public testing::TestWithParam<FrameCase> {};

TEST_P(VirtualControllerFrames, AnswersExactly) {
    const FrameCase& c = GetParam();
    VirtualController controller;
    Prepare(controller);
    const std::optional<Bytes> reply = Reply(controller, HexBytes(c.request));
    if (std::string(c.reply).empty()) {
        EXPECT_FALSE(reply.has_value()) << ToHex(*reply);
    } else {
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(ToHex(*reply), ToHex(HexBytes(c.reply)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VirtualControllerFrames,
    testing::Values(
        FrameCase{"ReadModeRegister", "01 03 00 0C 00 01 44 09", "01 03 02 00 01 79 84"},
        FrameCase{"ReadVersion", "01 03 90 0C 00 01 69 09", "01 03 02 00 6E 39 A8"},
        FrameCase{"ReadLastStepRegister", "01 03 07 FF 00 01 B5 4E", "01 03 02 00 01 79 84"},
        FrameCase{"EchoReturnsTheRequest", "01 08 00 00 12 34 ED 7C", "01 08 00 00 12 34 ED 7C"},
        FrameCase{"WriteTwoRegisters", "01 10 00 10 00 02 04 12 34 AB CD 08 B0",
                  "01 10 00 10 00 02 40 0D"},
        FrameCase{"ReadAcrossParameterEnd", "01 03 01 7F 00 02 F4 2F", "01 83 02 C0 F1"},
        FrameCase{"ReadInTheGap", "01 03 01 80 00 01 84 1E", "01 83 02 C0 F1"},
        FrameCase{"ReadBelowSteps", "01 03 03 FF 00 01 B4 7E", "01 83 02 C0 F1"},
        FrameCase{"ReadPastSteps", "01 03 08 00 00 01 86 6A", "01 83 02 C0 F1"},
        FrameCase{"ReadBesideVersion", "01 03 90 0B 00 01 D8 C8", "01 83 02 C0 F1"},
        FrameCase{"ReadTwoFromVersion", "01 03 90 0C 00 02 29 08", "01 83 02 C0 F1"},
        FrameCase{"ReadCountZero", "01 03 00 00 00 00 45 CA", "01 83 03 01 31"},
        FrameCase{"ReadCount126", "01 03 04 00 00 7E C4 DA", "01 83 03 01 31"},
        FrameCase{"WriteVersionRegister", "01 10 90 0C 00 01 02 00 01 F7 55", "01 90 02 CD C1"},
        FrameCase{"WriteAcrossParameterEnd", "01 10 01 7F 00 02 04 00 01 00 02 69 5A",
                  "01 90 02 CD C1"},
        FrameCase{"WriteByteCountMismatch", "01 10 00 10 00 02 03 12 34 AB 73 3D",
                  "01 90 03 0C 01"},
        FrameCase{"WriteCountZero", "01 10 00 10 00 00 00 0D 90", "01 90 03 0C 01"},
        FrameCase{"EchoOtherSubFunction", "01 08 00 01 12 34 BC BC", "01 88 01 87 C0"},
        FrameCase{"UnknownFunction", "01 04 00 00 00 01 31 CA", "01 84 01 82 C0"},
        FrameCase{"BadCrcIgnored", "01 03 00 0C 00 01 44 08", ""},
        FrameCase{"OtherStationIgnored", "02 03 00 0C 00 01 44 3A", ""},
        FrameCase{"FragmentIgnored", "01 03 44", ""}),
    [](const testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST(VirtualController, ReadsAndWritesUpToTheModbusLimits) {
    struct Case {
        std::uint16_t address;
        std::size_t count;
        bool write;
        std::uint8_t exception;  // 0: normal reply
    };
    const Case cases[] = {
        {0x0000, 125, false, 0}, {0x0400, 125, false, 0}, {0x0783, 125, false, 0},
        {0x0784, 125, false, 2}, {0x0000, 123, true, 0},  {0x0000, 124, true, 3},
        {0x0110, 123, true, 2},  {0x0700, 123, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.address << " x" << std::dec << c.count
                                        << (c.write ? " write" : " read"));
        VirtualController controller;
        Bytes request{0x01,
                      static_cast<std::uint8_t>(c.write ? 0x10 : 0x03),
                      static_cast<std::uint8_t>(c.address >> 8),
                      static_cast<std::uint8_t>(c.address & 0xFF),
                      0x00,
                      static_cast<std::uint8_t>(c.count)};
        std::vector<std::uint16_t> values;
        if (c.write) {
            request.push_back(static_cast<std::uint8_t>(2 * c.count));
            for (std::size_t i = 0; i < c.count; ++i) {
                values.push_back(static_cast<std::uint16_t>(0x1000 + 3 * i));
                request.push_back(static_cast<std::uint8_t>(values.back() >> 8));
                request.push_back(static_cast<std::uint8_t>(values.back() & 0xFF));
            }
        }
        const std::optional<Bytes> reply = controller.handleFrame(test::WithCrc(request));
        ASSERT_TRUE(reply.has_value());
        ASSERT_TRUE(CrcIsValid(*reply));
        if (c.exception != 0) {
            const Bytes expected{0x01, static_cast<std::uint8_t>(request[1] | 0x80), c.exception};
            EXPECT_EQ(ToHex(*reply), ToHex(test::WithCrc(expected)));
            continue;
        }
        if (c.write) {
            EXPECT_EQ(ToHex(*reply),
                      ToHex(test::WithCrc(Bytes(request.begin(), request.begin() + 6))));
            EXPECT_EQ(controller.getRange(c.address, c.count), values);
        } else {
            ASSERT_EQ(reply->size(), 5 + 2 * c.count);
            EXPECT_EQ((*reply)[2], 2 * c.count);
            const std::vector<std::uint16_t> image = controller.getRange(c.address, c.count);
            for (std::size_t i = 0; i < c.count; ++i) {
                EXPECT_EQ(((*reply)[3 + 2 * i] << 8) | (*reply)[4 + 2 * i], image[i]) << i;
            }
        }
    }
}

TEST(VirtualController, RefusedWriteLeavesTheImageAlone) {
    VirtualController controller;
    controller.setRegister(0x017F, 0x1111);
    const auto reply = controller.handleFrame(HexBytes("01 10 01 7F 00 02 04 00 01 00 02 69 5A"));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ((*reply)[1], 0x90);
    EXPECT_EQ(controller.getRegister(0x017F), 0x1111);
}

TEST(VirtualController, WriteStoresHighByteFirstAndReadsBack) {
    VirtualController controller;
    ASSERT_TRUE(controller.handleFrame(HexBytes("01 10 00 10 00 02 04 12 34 AB CD 08 B0")));
    EXPECT_EQ(controller.getRange(0x0010, 2), (std::vector<std::uint16_t>{0x1234, 0xABCD}));
    const auto reply = controller.handleFrame(Frame("01 03 00 10 00 02"));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), ToHex(Frame("01 03 04 12 34 AB CD")));
}

TEST(VirtualController, AnswersOnlyItsConfiguredStation) {
    VirtualController controller;
    Prepare(controller);
    controller.setStationId(5);
    EXPECT_FALSE(controller.handleFrame(HexBytes("01 03 00 0C 00 01 44 09")).has_value());
    const auto reply = controller.handleFrame(HexBytes("05 03 00 0C 00 01 45 8D"));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), "05 03 02 00 01 88 44");
}

TEST(VirtualController, RegisterAccessorsRespectTheAreas) {
    VirtualController controller;
    struct Case {
        std::uint16_t address;
        bool valid;
    };
    for (const Case& c : {Case{0x0000, true}, Case{0x017F, true}, Case{0x0180, false},
                          Case{0x03FF, false}, Case{0x0400, true}, Case{0x07FF, true},
                          Case{0x0800, false}, Case{0x900C, true}, Case{0x900D, false}}) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(controller.setRegister(c.address, 0x4242), c.valid);
        EXPECT_EQ(controller.getRegister(c.address).has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(controller.getRegister(c.address), 0x4242);
        }
    }
    EXPECT_EQ(controller.version(), 0x4242);  // 0x900C is the version
    EXPECT_TRUE(controller.getRange(0x017E, 3).empty());
    EXPECT_FALSE(controller.setRange(0x07FF, {1, 2}));
}

TEST(VirtualController, LogsAcceptedRequestsInOrder) {
    VirtualController controller;
    const Bytes read = HexBytes("01 03 00 0C 00 01 44 09");
    const Bytes badCrc = HexBytes("01 03 00 0C 00 01 44 08");
    const Bytes other = HexBytes("02 03 00 0C 00 01 44 3A");
    const Bytes refused = HexBytes("01 03 01 80 00 01 84 1E");
    const Bytes echo = HexBytes("01 08 00 00 12 34 ED 7C");
    for (const Bytes& frame : {read, badCrc, other, refused, echo}) {
        controller.handleFrame(frame);
    }
    EXPECT_EQ(controller.requestLog(), (std::vector<Bytes>{read, refused, echo}));
    EXPECT_EQ(controller.requestCount(), 3u);
    controller.clearRequestLog();
    EXPECT_TRUE(controller.requestLog().empty());
    controller.handleFrame(echo);
    EXPECT_EQ(controller.requestLog(), (std::vector<Bytes>{echo}));
}

TEST(VirtualController, StaysConsistentUnderConcurrentUpdates) {
    VirtualController controller;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (std::uint16_t value = 0; !done; ++value) {
            controller.setRange(0x0020, {value, value});
        }
    });
    const Bytes request = Frame("01 03 00 20 00 02");
    for (int i = 0; i < 2000; ++i) {
        const auto reply = controller.handleFrame(request);
        ASSERT_TRUE(reply.has_value());
        ASSERT_EQ(reply->size(), 9u);
        ASSERT_EQ((*reply)[3], (*reply)[5]);
        ASSERT_EQ((*reply)[4], (*reply)[6]);
    }
    done = true;
    writer.join();
}

// Faults, each seen through handleFrame.

const Bytes kWrite = HexBytes("01 10 00 10 00 02 04 12 34 AB CD 08 B0");
const Bytes kWriteReply = HexBytes("01 10 00 10 00 02 40 0D");
const Bytes kRead = HexBytes("01 03 00 0C 00 01 44 09");
const Bytes kReadReply = HexBytes("01 03 02 00 01 79 84");

TEST(VirtualControllerFaults, DroppedRepliesStillAct) {
    VirtualController controller;
    Prepare(controller);
    controller.dropNextReplies(2);
    EXPECT_FALSE(controller.handleFrame(kWrite).has_value());
    EXPECT_EQ(controller.getRange(0x0010, 2), (std::vector<std::uint16_t>{0x1234, 0xABCD}));
    EXPECT_FALSE(controller.handleFrame(kRead).has_value());
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
    EXPECT_EQ(controller.requestCount(), 3u);
}

TEST(VirtualControllerFaults, CorruptCrcKeepsThePayload) {
    VirtualController controller;
    Prepare(controller);
    controller.corruptNextReplyCrc(1);
    const auto bad = controller.handleFrame(kRead);
    ASSERT_TRUE(bad.has_value());
    EXPECT_FALSE(CrcIsValid(*bad));
    EXPECT_EQ(Bytes(bad->begin(), bad->end() - 2), Bytes(kReadReply.begin(), kReadReply.end() - 2));
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
}

TEST(VirtualControllerFaults, WrongStationReplyIsOtherwiseValid) {
    VirtualController controller;
    Prepare(controller);
    controller.wrongStationReply(1);
    const auto reply = controller.handleFrame(kRead);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), ToHex(Frame("02 03 02 00 01")));
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
}

TEST(VirtualControllerFaults, ExceptionAtAnyRequestTouchingTheAddress) {
    VirtualController controller;
    Prepare(controller);
    controller.setRange(0x0010, {0x5555, 0x6666, 0x0102});
    controller.exceptionAt(0x0011, 4, 2);
    EXPECT_EQ(ToHex(*controller.handleFrame(Frame("01 03 00 12 00 01"))),
              ToHex(Frame("01 03 02 01 02")));  // not touching: answered
    EXPECT_EQ(ToHex(*controller.handleFrame(Frame("01 03 00 10 00 03"))), ToHex(Frame("01 83 04")));
    EXPECT_EQ(ToHex(*controller.handleFrame(kWrite)), ToHex(Frame("01 90 04")));
    EXPECT_EQ(controller.getRange(0x0010, 2), (std::vector<std::uint16_t>{0x5555, 0x6666}));
    EXPECT_EQ(controller.handleFrame(kWrite), kWriteReply);  // both uses spent

    controller.exceptionAt(0x000C, 6, -1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ToHex(*controller.handleFrame(kRead)), ToHex(Frame("01 83 06")));
    }
    controller.clearFaults();
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
}

TEST(VirtualControllerFaults, ChangeAfterWriteShowsUpInTheVerifyRead) {
    VirtualController controller;
    controller.changeRegisterAfterWrite(0x0011, 0xDEAD);
    EXPECT_EQ(controller.handleFrame(kWrite), kWriteReply);
    EXPECT_EQ(ToHex(*controller.handleFrame(Frame("01 03 00 10 00 02"))),
              ToHex(Frame("01 03 04 12 34 DE AD")));
    EXPECT_EQ(controller.handleFrame(kWrite), kWriteReply);
    EXPECT_EQ(controller.getRange(0x0010, 2), (std::vector<std::uint16_t>{0x1234, 0xABCD}));
}

TEST(VirtualControllerFaults, StopsAnsweringAfterTheGivenRequests) {
    VirtualController controller;
    Prepare(controller);
    controller.setRange(0x0010, {0x5555, 0x6666});
    controller.stopAfterRequests(2);
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
    EXPECT_FALSE(controller.handleFrame(kRead).has_value());
    EXPECT_FALSE(controller.handleFrame(kWrite).has_value());
    EXPECT_EQ(controller.getRange(0x0010, 2), (std::vector<std::uint16_t>{0x5555, 0x6666}));
    EXPECT_EQ(controller.requestCount(), 4u);
    controller.stopAfterRequests(-1);
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
}

TEST(VirtualControllerFaults, TrickleAndDelayAreHandedToTheLine) {
    VirtualController controller;
    controller.trickleNextReply(7);
    controller.setExtraDelayMs(30);
    const auto first = controller.process(kRead);
    const auto second = controller.process(kRead);
    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(first->trickleGapMs, 7);
    EXPECT_EQ(second->trickleGapMs, 0);
    EXPECT_EQ(first->extraDelayMs, 30);
    EXPECT_EQ(second->extraDelayMs, 30);
    controller.clearFaults();
    EXPECT_EQ(controller.process(kRead)->extraDelayMs, 0);
}

// Every fault kind on every third request. Request i writes i to 0x0010, so the image shows
// which requests were acted on.

struct FaultKindCase {
    const char* name;
    Fault fault;
    const char* reply;  // to requests 3 and 6; empty: none
    bool acts;          // the struck write still reaches the image
    bool twice;
    int delayMs;
};

constexpr int kLateMs = 250;
constexpr const char* kNormalWriteReply = "01 10 00 10 00 01 00 0C";

class VirtualControllerFaultKinds : public testing::TestWithParam<FaultKindCase> {};

TEST_P(VirtualControllerFaultKinds, StrikeEveryThirdRequestOnly) {
    const FaultKindCase& c = GetParam();
    VirtualController controller;
    controller.setRegister(0x0010, 0);
    controller.setLateReplyMs(kLateMs);
    controller.injectEvery(c.fault, 3);
    for (std::uint8_t i = 1; i <= 6; ++i) {
        SCOPED_TRACE(testing::Message() << "request " << int{i});
        const bool struck = i % 3 == 0;
        const std::optional<ReplyPlan> plan =
            controller.process(test::WithCrc({0x01, 0x10, 0x00, 0x10, 0x00, 0x01, 0x02, 0x00, i}));
        const Bytes expected = HexBytes(struck ? c.reply : kNormalWriteReply);
        ASSERT_EQ(plan.has_value(), !expected.empty());
        if (plan) {
            EXPECT_EQ(ToHex(plan->bytes), ToHex(expected));
            EXPECT_EQ(plan->sendTwice, struck && c.twice);
            EXPECT_EQ(plan->extraDelayMs, struck ? c.delayMs : 0);
        }
        EXPECT_EQ(controller.getRegister(0x0010), struck && !c.acts ? i - 1 : i);
    }
    EXPECT_EQ(controller.requestCount(), 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VirtualControllerFaultKinds,
    testing::Values(
        FaultKindCase{"DropRequest", Fault::DropRequest, "", false, false, 0},
        FaultKindCase{"LoseReply", Fault::LoseReply, "", true, false, 0},
        FaultKindCase{"BadCrc", Fault::BadCrc, "01 10 00 10 00 01 5A A9", true, false, 0},
        FaultKindCase{"FlipBit", Fault::FlipBit, "01 10 00 10 00 00 00 0C", true, false, 0},
        FaultKindCase{"WrongStation", Fault::WrongStation, "02 10 00 10 00 01 00 3F", true, false,
                      0},
        FaultKindCase{"WrongFunction", Fault::WrongFunction, "01 11 00 10 00 01 3D CC", true, false,
                      0},
        FaultKindCase{"ShortReply", Fault::ShortReply, "01 10 00 10", true, false, 0},
        FaultKindCase{"DoubleReply", Fault::DoubleReply, kNormalWriteReply, true, true, 0},
        FaultKindCase{"LateReply", Fault::LateReply, kNormalWriteReply, true, false, kLateMs},
        FaultKindCase{"WrongEcho", Fault::WrongEcho, "01 10 00 11 00 01 51 CC", true, false, 0},
        FaultKindCase{"Exception", Fault::Exception, "01 90 04 4D C3", false, false, 0}),
    [](const testing::TestParamInfo<FaultKindCase>& info) { return std::string(info.param.name); });

TEST(VirtualControllerFaults, NextAndEveryCombineUntilCleared) {
    VirtualController controller;
    Prepare(controller);
    controller.injectNext(Fault::WrongFunction, 1);
    controller.injectEvery(Fault::WrongFunction, 2);
    controller.injectEvery(Fault::WrongEcho, 1);  // a read echoes no address: untouched
    const Bytes struck = Frame("01 02 02 00 01");
    for (const Bytes& expected : {struck, struck, kReadReply, struck}) {
        EXPECT_EQ(ToHex(*controller.handleFrame(kRead)), ToHex(expected));
    }
    controller.injectEvery(Fault::WrongFunction, 0);
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
    controller.injectEvery(Fault::LoseReply, 1);
    controller.clearFaults();
    EXPECT_EQ(controller.handleFrame(kRead), kReadReply);
}

// Register image files.

class VirtualControllerImage : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-image-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& text) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    std::string dir_;
};

TEST_F(VirtualControllerImage, DumpThenLoadRestoresEverything) {
    VirtualController source;
    source.setStationId(7);
    source.setVersion(123);
    for (std::uint32_t address = 0; address <= 0x07FF; ++address) {
        source.setRegister(static_cast<std::uint16_t>(address),
                           static_cast<std::uint16_t>(address * 7 + 1));
    }
    const std::string path = dir_ + "/image.txt";
    ASSERT_TRUE(source.dumpImage(path));

    VirtualController copy;
    ASSERT_TRUE(copy.loadImage(path));
    EXPECT_EQ(copy.stationId(), 7);
    EXPECT_EQ(copy.version(), 123);
    EXPECT_EQ(copy.getRange(0x0000, 0x180), source.getRange(0x0000, 0x180));
    EXPECT_EQ(copy.getRange(0x0400, 0x400), source.getRange(0x0400, 0x400));

    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("0x000C = 0x0055\n"), std::string::npos);
}

TEST_F(VirtualControllerImage, ReadsCommentsDecimalAndVersionRegister) {
    VirtualController controller;
    const std::string path = write("in.txt",
                                   "# hand-made\n"
                                   "\n"
                                   "0x000C = 0x00C8   # writing mode\n"
                                   "  0x0400=1234\n"
                                   "0x900C = 0x0005\n"
                                   "station = 12\n");
    ASSERT_TRUE(controller.loadImage(path));
    EXPECT_EQ(controller.getRegister(0x000C), 0x00C8);
    EXPECT_EQ(controller.getRegister(0x0400), 1234);
    EXPECT_EQ(controller.version(), 5);
    EXPECT_EQ(controller.stationId(), 12);
}

TEST_F(VirtualControllerImage, RefusesBadFilesWithoutChangingAnything) {
    const char* bad[] = {
        "0x0010 = 0x0001\n0x0180 = 0x0001\n",   // in the gap
        "0x0010 = 0x0001\n0x0011 = 0x10000\n",  // too large
        "0x0010 = 0x0001\n0x0011 0x0002\n",     // no '='
        "0x0010 = 0x0001\n0x0011 = 12ab\n",     // not a number
        "0x0010 = 0x0001\nstation = 0\n",       // no such station
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        VirtualController controller;
        controller.setRegister(0x0010, 0x7777);
        EXPECT_FALSE(controller.loadImage(write("bad.txt", text)));
        EXPECT_EQ(controller.getRegister(0x0010), 0x7777);
        EXPECT_EQ(controller.stationId(), VirtualController::kDefaultStation);
    }
    VirtualController controller;
    EXPECT_FALSE(controller.loadImage(dir_ + "/missing.txt"));
    EXPECT_FALSE(controller.dumpImage(dir_ + "/no/such/folder/image.txt"));
}

}  // namespace
}  // namespace velmora::sim
