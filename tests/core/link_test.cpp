#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

#include "app/link_messages.h"
#include "link/register_ops.h"
#include "support/frame_util.h"
#include "support/link_fixture.h"

namespace velmora {
namespace {

using test::Describe;
using test::Frame;
using test::HexBytes;
using test::LinkFixture;
using test::ToHex;

TEST(Crc16, KnownFrames) {
    struct Case {
        const char* frame;
        const char* crcLowHigh;
    };
    const Case cases[] = {
        {"01 03 00 0C 00 01", "44 09"},
        {"01 08 00 00 12 34", "ED 7C"},
        {"11 03 00 6B 00 03", "76 87"},
        {"", "FF FF"},
    };
    for (const Case& c : cases) {
        const auto bytes = HexBytes(c.frame);
        const std::uint16_t crc = Crc16(bytes.data(), bytes.size());
        const std::vector<std::uint8_t> stored = {static_cast<std::uint8_t>(crc & 0xFF),
                                                  static_cast<std::uint8_t>(crc >> 8)};
        EXPECT_EQ(ToHex(stored), ToHex(HexBytes(c.crcLowHigh))) << c.frame;
    }
}

TEST_F(LinkFixture, SilentIntervalAndPollIntervalFollowTheBitRate) {
    struct Case {
        std::uint32_t baud;
        int factor;
        int delay;
        int silent;
        int expectedLength;
        unsigned poll;
    };
    const Case cases[] = {
        {9600, 1, 5, 3, 8, 8 * 10 / 9 + 5 + 3 + 6},    {38400, 1, 5, 0, 7, 12},
        {9600, 10, 0, 36, 7, 7 * 10 / 9 + 0 + 36 + 6}, {115200, 0, 0, 0, 8, 8 * 10 / 112 + 6},
        {9600, 0x101, 0, 3, 8, 8 * 10 / 9 + 3 + 6},  // only the low byte of the factor counts
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(link.configure(c.baud, c.factor, c.delay).ok());
        EXPECT_EQ(link.silentInterval(), c.silent) << c.baud << " x" << c.factor;
        EXPECT_EQ(link.responseDelay(), c.delay);
        EXPECT_EQ(link.pollInterval(c.expectedLength), c.poll) << c.baud;
    }
    EXPECT_FALSE(link.configure(300, 1, 5).ok());
    EXPECT_FALSE(link.configure(1000, 1, 5).ok());
}

// Every operation puts exactly these bytes on the line and yields this result.
TEST_F(LinkFixture, OperationsSendExactFramesAndReturnTheirResults) {
    struct Case {
        const char* name;
        std::function<void(sim::VirtualController&)> arrange;
        std::function<std::string(RtuMaster&)> run;
        std::vector<const char*> requests;
        std::string expected;
    };
    const std::uint8_t ee8999[2] = {0x23, 0x27};
    const std::uint8_t ee9000[2] = {0x23, 0x28};
    const Case cases[] = {
        {"ReadReg000C",
         [](auto& c) { c.setRegister(0x000C, 0x01C8); },
         [](RtuMaster& l) {
             std::string text = "x";
             const LinkStatus result = ReadReg000C(l, 1, text);
             return Describe(result) + ":" + text;
         },
         {"01 03 00 0C 00 01 44 09"},
         "ok:x01c8"},
        {"GetReg000CLow 200",
         [](auto& c) { c.setRegister(0x000C, 0x01C8); },
         [](RtuMaster& l) {
             int value = -7;
             const LinkStatus result = GetReg000CLow(l, 1, value);
             return Describe(result) + ":" + std::to_string(value);
         },
         {"01 03 00 0C 00 01 44 09"},
         "ok:200"},
        {"GetReg000CLow odd",
         [](auto& c) { c.setRegister(0x000C, 0x0105); },
         [](RtuMaster& l) {
             int value = -7;
             const LinkStatus result = GetReg000CLow(l, 1, value);
             return Describe(result) + ":" + std::to_string(value);
         },
         {"01 03 00 0C 00 01 44 09"},
         "mismatch:1"},
        {"ReadVersion 110",
         [](auto& c) { c.setVersion(110); },
         [](RtuMaster& l) {
             std::string text = "old";
             const LinkStatus result = ReadVersion(l, 1, text);
             return Describe(result) + ":" + text;
         },
         {"01 03 90 0C 00 01 *"},
         "ok:1.10"},
        {"ReadVersion 5",
         [](auto& c) { c.setVersion(5); },
         [](RtuMaster& l) {
             std::string text;
             const LinkStatus result = ReadVersion(l, 1, text);
             return Describe(result) + ":" + text;
         },
         {"01 03 90 0C 00 01 *"},
         "ok:0.05"},
        {"SetReg000CLow",
         [](auto& c) { c.setRegister(0x000C, 0x0A01); },
         [](RtuMaster& l) { return Describe(SetReg000CLow(l, 1, 100)); },
         {"01 03 00 0C 00 01 44 09", "01 10 00 0C 00 01 02 0A 64 *"},
         "ok"},
        {"SetReg000CLow too big",
         [](auto& c) { c.setRegister(0x000C, 0x0A01); },
         [](RtuMaster& l) { return Describe(SetReg000CLow(l, 1, 0x100)); },
         {},
         "bad argument"},
        {"WriteReg00EE 8999",
         [](auto&) {},
         [&](RtuMaster& l) { return Describe(WriteReg00EE(l, 1, ee8999)); },
         {"01 10 00 EE 00 01 02 27 0F *"},
         "ok"},
        {"WriteReg00EE 9000",
         [](auto&) {},
         [&](RtuMaster& l) { return Describe(WriteReg00EE(l, 1, ee9000)); },
         {"01 10 00 EE 00 01 02 23 28 *"},
         "ok"},
        {"WriteDateCode",
         [](auto&) {},
         [](RtuMaster& l) { return Describe(WriteDateCode(l, 1, 2026, 12)); },
         {"01 10 00 EF 00 01 02 26 12 *"},
         "ok"},
        {"WriteRegisterHex stops at a non-digit",
         [](auto&) {},
         [](RtuMaster& l) { return Describe(WriteRegisterHex(l, 1, 0x0010, "1z3g")); },
         {"01 10 00 10 00 01 02 01 03 *"},
         "ok"},
        {"WriteRegisterHex wrong length",
         [](auto&) {},
         [](RtuMaster& l) { return Describe(WriteRegisterHex(l, 1, 0x0010, "12345")); },
         {},
         "bad argument"},
        {"WriteRegistersText empty",
         [](auto&) {},
         [](RtuMaster& l) { return Describe(WriteRegistersText(l, 1, 14, 16, "")); },
         {},
         "bad argument"},
        {"WriteRegistersText 201",
         [](auto&) {},
         [](RtuMaster& l) {
             return Describe(WriteRegistersText(l, 1, 14, 16, std::string(201, 'A')));
         },
         {},
         "bad argument"},
        {"WriteRegistersText pads",
         [](auto&) {},
         [](RtuMaster& l) { return Describe(WriteRegistersText(l, 1, 14, 6, "AB")); },
         {"01 10 00 0E 00 03 06 41 42 00 00 00 00 *"},
         "ok"},
        {"ReadText16",
         [](auto& c) {
             c.setRange(14, {0x564D, 0x412D, 0x3130, 0x3000, 0, 0, 0, 0});
         },
         [](RtuMaster& l) {
             std::string text = ">";
             const LinkStatus result = ReadText16(l, 1, 14, text);
             return Describe(result) + ":" + text;
         },
         {"01 03 00 0E 00 08 *"},
         "ok:>VMA-100"},
        {"EchoTest",
         [](auto&) {},
         [](RtuMaster& l) { return Describe(EchoTest(l, 1)); },
         {"01 08 00 00 12 34 ED 7C"},
         "ok"},
        {"EchoTest other station",
         [](auto&) {},
         [](RtuMaster& l) { return Describe(EchoTest(l, 2)); },
         {},
         "time-out"},
    };
    givePatientTiming();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller().resetImage();
        controller().clearRequestLog();
        c.arrange(controller());
        EXPECT_EQ(c.run(link), c.expected);
        const auto log = controller().requestLog();
        ASSERT_EQ(log.size(), c.requests.size());
        for (std::size_t i = 0; i < log.size(); ++i) {
            std::string expected = c.requests[i];
            // '*' stands for the CRC, which the controller has already checked.
            if (expected.back() == '*') {
                expected.pop_back();
                EXPECT_EQ(ToHex(log[i]), ToHex(Frame(expected)));
            } else {
                EXPECT_EQ(ToHex(log[i]), ToHex(HexBytes(expected)));
            }
        }
    }
}

TEST_F(LinkFixture, WritesLandInTheRegisterImage) {
    givePatientTiming();
    const std::uint8_t data[4] = {0x12, 0x34, 0xAB, 0xCD};
    ASSERT_TRUE(WriteRegisters(link, 1, 0x0400, data, 4).ok());
    EXPECT_EQ(controller().getRange(0x0400, 2), (std::vector<std::uint16_t>{0x1234, 0xABCD}));
    controller().setRegister(0x000C, 0x0A01);
    ASSERT_TRUE(SetReg000CLow(link, 1, 100).ok());
    EXPECT_EQ(controller().getRegister(0x000C), 0x0A64);
    EXPECT_FALSE(SetReg000CLow(link, 1, 0x100).ok());
    EXPECT_EQ(controller().getRegister(0x000C), 0x0A64);  // the refused write left it alone
    std::uint8_t back[4] = {};
    ASSERT_TRUE(ReadRegisters(link, 1, 0x0400, 2, back).ok());
    EXPECT_EQ(std::vector<std::uint8_t>(back, back + 4), std::vector<std::uint8_t>(data, data + 4));
}

// The link only names the cause: the exception code travels up, and the jobs' one mapping picks
// the alarm text for it.
TEST_F(LinkFixture, ExceptionCodesPickTheirAlarmText) {
    struct Case {
        std::uint8_t code;
        int alarm;
    };
    const Case cases[] = {
        {1, kMsgComAbnormalResponseInjusticeContents},
        {2, kMsgComAbnormalResponseAddressContents},
        {3, kMsgComAbnormalResponseAccessContents},
        {4, kMsgComAbnormalResponseInjusticeContents},
    };
    givePatientTiming();
    for (const Case& c : cases) {
        for (const bool write : {false, true}) {
            SCOPED_TRACE(std::to_string(c.code) + (write ? " write" : " read"));
            controller().exceptionAt(0x0010, c.code);
            std::uint8_t data[2] = {0, 1};
            const LinkStatus result = write ? WriteRegisters(link, 1, 0x0010, data, 2)
                                            : ReadRegisters(link, 1, 0x0010, 1, data);
            EXPECT_EQ(Describe(result), "exception " + std::to_string(c.code));
            EXPECT_EQ(LinkErrorText(result),
                      ComposeAlarmText(c.alarm, kMsgComAbnormalResponseCountermeasureContents));
        }
    }
    // Outside the controller's areas the controller itself answers exception 2.
    std::uint8_t data[2];
    EXPECT_EQ(Describe(ReadRegisters(link, 1, 0x0200, 1, data)), "exception 2");
    // Time-outs, garbled lines and a lost port tell the user to check the line; a reply that
    // answers another request is an invalid response; a bad argument is the program's own.
    const std::pair<LinkError, std::string> others[] = {
        {LinkError::Timeout, MessageText(kMsgComTimeoutCountermeasureContents)},
        {LinkError::Garbled, MessageText(kMsgComTimeoutCountermeasureContents)},
        {LinkError::PortGone, MessageText(kMsgComTimeoutCountermeasureContents)},
        {LinkError::Mismatch, ComposeAlarmText(kMsgComAbnormalResponseInjusticeContents,
                                               kMsgComAbnormalResponseCountermeasureContents)},
        {LinkError::BadArgument, ""},
        {LinkError::OpenFailed, ""},
    };
    for (const auto& [error, text] : others) {
        EXPECT_EQ(LinkErrorText(LinkStatus::Failed(error)), text);
    }
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(LinkFixture, NoReplyTimesOutAfterTenPollIntervals) {
    ASSERT_TRUE(link.configure(kBaud, 1, 5).ok());
    controller().stopAfterRequests(0);
    const auto started = std::chrono::steady_clock::now();
    std::string version;
    EXPECT_EQ(Describe(ReadVersion(link, 1, version)), "time-out");
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, std::chrono::milliseconds(10 * link.pollInterval(7)));
    EXPECT_EQ(Describe(EchoTest(link, 1)), "time-out");
    EXPECT_TRUE(ui.messages().empty());
}

// The controller's end of the line goes away (an adapter unplugged): every request fails
// instead of holding the caller.
TEST_F(LinkFixture, LineThatHangsUpFails) {
    ASSERT_TRUE(link.configure(kBaud, 1, 5).ok());
    sim.stop();
    for (int round = 0; round < 2; ++round) {
        std::string version = "kept";
        EXPECT_FALSE(ReadVersion(link, 1, version).ok()) << round;
        EXPECT_EQ(version, "kept");
    }
}

TEST_F(LinkFixture, ReplyTricklingInWithGapsIsReceived) {
    givePatientTiming();
    controller().setVersion(123);
    controller().trickleNextReply(8);
    std::string version;
    EXPECT_TRUE(ReadVersion(link, 1, version).ok());
    EXPECT_EQ(version, "1.23");
}

TEST_F(LinkFixture, InvalidRepliesAreNeverTakenAsData) {
    struct Case {
        const char* name;
        std::function<void(sim::VirtualController&)> fault;
    };
    const Case cases[] = {
        {"corrupted CRC", [](auto& c) { c.corruptNextReplyCrc(1); }},
        {"wrong station", [](auto& c) { c.wrongStationReply(1); }},
    };
    // The spoilt reply must arrive within the master's wait to count as garbled.
    givePatientTiming();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller().setRegister(0x0010, 0xBEEF);
        c.fault(controller());
        std::uint8_t data[2] = {0x55, 0x55};
        EXPECT_EQ(Describe(ReadRegisters(link, 1, 0x0010, 1, data)), "garbled");
        EXPECT_EQ(data[0], 0x55);
        // The line is usable again at once.
        EXPECT_TRUE(ReadRegisters(link, 1, 0x0010, 1, data).ok());
        EXPECT_EQ(data[0] * 256 + data[1], 0xBEEF);
    }
}

TEST_F(LinkFixture, LateReplyToAnEarlierRequestIsDiscarded) {
    controller().setRegister(0x0010, 0x1111);
    controller().setRegister(0x0011, 0x2222);
    controller().setExtraDelayMs(250);
    std::uint8_t data[2];
    EXPECT_FALSE(ReadRegisters(link, 1, 0x0010, 1, data).ok());
    controller().setExtraDelayMs(0);
    // Once the late reply is on the line it waits there for the next request.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sim.repliesSent() < 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(sim.repliesSent(), 1u);
    givePatientTiming();
    ASSERT_TRUE(ReadRegisters(link, 1, 0x0011, 1, data).ok());
    EXPECT_EQ(data[0] * 256 + data[1], 0x2222);
}

TEST_F(LinkFixture, ClosedPortSendsNothing) {
    link.close();
    std::string text;
    std::uint8_t data[2] = {0, 0};
    EXPECT_FALSE(ReadVersion(link, 1, text).ok());
    EXPECT_FALSE(WriteRegisters(link, 1, 0x0010, data, 2).ok());
    EXPECT_FALSE(EchoTest(link, 1).ok());
    EXPECT_FALSE(link.configure(kBaud, 1, 5).ok());
    EXPECT_EQ(link.portName(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(controller().requestCount(), 0u);
    EXPECT_EQ(Describe(EchoTest(link, 1)), "port gone");
}

TEST_F(LinkFixture, OpenFailureNamesTheReasonAndEmptiesThePortName) {
    const LinkStatus opened = link.open("/dev/velmora-no-such-port");
    EXPECT_EQ(opened.error, LinkError::OpenFailed);
    EXPECT_EQ(opened.osError, ENOENT);
    EXPECT_EQ(link.lastOpenError(), ENOENT);
    EXPECT_EQ(link.portName(), "");
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(link.open(sim.slavePath()).ok());
    EXPECT_EQ(link.portName(), sim.slavePath());
}

TEST_F(LinkFixture, AnswersOnlyAtTheControllersBitRate) {
    sim.setBitRate(9600);
    EXPECT_FALSE(EchoTest(link, 1).ok());
    givePatientTiming(9600);
    EXPECT_TRUE(EchoTest(link, 1).ok());
}

// Two threads sharing the line never interleave their frames.
TEST_F(LinkFixture, ConcurrentCallersAreSerialised) {
    controller().setRegister(0x0010, 0x1234);
    controller().setVersion(110);
    givePatientTiming();
    int failures = 0;
    std::thread other([&] {
        for (int i = 0; i < 40; ++i) {
            std::string version;
            if (!ReadVersion(link, 1, version).ok() || version != "1.10") {
                ++failures;
            }
        }
    });
    int ownFailures = 0;
    for (int i = 0; i < 40; ++i) {
        std::uint8_t data[2];
        if (!ReadRegisters(link, 1, 0x0010, 1, data).ok() || data[0] != 0x12 || data[1] != 0x34) {
            ++ownFailures;
        }
    }
    other.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ownFailures, 0);
    EXPECT_EQ(controller().requestCount(), 80u);
}

// Two controllers on two ports, each with its own master on its own thread: neither waits for
// the other's line, and neither ever sees the other's values.
TEST_F(LinkFixture, MastersOnTwoPortsWorkAtTheSameTime) {
    sim::PtyController secondSim;
    ASSERT_TRUE(secondSim.start());
    RtuMaster second;
    ASSERT_TRUE(second.open(secondSim.slavePath()).ok());
    ASSERT_TRUE(second.configure(kBaud, 1, kPatientDelayMs).ok());
    givePatientTiming();
    controller().setRegister(0x0010, 0x1111);
    secondSim.controller().setRegister(0x0010, 0x2222);
    auto readMany = [](RtuMaster& master, std::uint16_t expected, int& wrong) {
        for (int i = 0; i < 40; ++i) {
            std::uint8_t data[2] = {};
            if (!ReadRegisters(master, 1, 0x0010, 1, data).ok() ||
                data[0] * 256 + data[1] != expected) {
                ++wrong;
            }
        }
    };
    int firstWrong = 0;
    int secondWrong = 0;
    std::thread other([&] { readMany(second, 0x2222, secondWrong); });
    readMany(link, 0x1111, firstWrong);
    other.join();
    EXPECT_EQ(firstWrong, 0);
    EXPECT_EQ(secondWrong, 0);
    EXPECT_EQ(controller().requestCount(), 40u);
    EXPECT_EQ(secondSim.controller().requestCount(), 40u);
    second.close();
    secondSim.stop();
}

}  // namespace
}  // namespace velmora
