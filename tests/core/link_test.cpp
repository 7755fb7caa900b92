#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "link/register_ops.h"
#include "support/frame_util.h"
#include "support/link_fixture.h"

namespace velmora {
namespace {

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
        ASSERT_EQ(link.ConfigurePort(c.baud, c.factor, c.delay), 0);
        EXPECT_EQ(link.silentInterval(), c.silent) << c.baud << " x" << c.factor;
        EXPECT_EQ(link.responseDelay(), c.delay);
        EXPECT_EQ(link.PollInterval(c.expectedLength), c.poll) << c.baud;
    }
    EXPECT_EQ(link.ConfigurePort(300, 1, 5), -1);
    EXPECT_EQ(link.ConfigurePort(1000, 1, 5), -1);
}

// Every operation puts exactly these bytes on the line and yields this result.
TEST_F(LinkFixture, OperationsSendExactFramesAndReturnTheirResults) {
    struct Case {
        const char* name;
        std::function<void(sim::VirtualController&)> arrange;
        std::function<std::string(CComLink&)> run;
        std::vector<const char*> requests;
        std::string expected;
    };
    const std::uint8_t ee8999[2] = {0x23, 0x27};
    const std::uint8_t ee9000[2] = {0x23, 0x28};
    const Case cases[] = {
        {"ReadReg000C",
         [](auto& c) { c.setRegister(0x000C, 0x01C8); },
         [](CComLink& l) {
             std::string text = "x";
             const int result = ReadReg000C(l, 1, text);
             return std::to_string(result) + ":" + text;
         },
         {"01 03 00 0C 00 01 44 09"},
         "0:x01c8"},
        {"GetReg000CLow 200",
         [](auto& c) { c.setRegister(0x000C, 0x01C8); },
         [](CComLink& l) {
             int value = -7;
             const int result = GetReg000CLow(l, 1, value);
             return std::to_string(result) + ":" + std::to_string(value);
         },
         {"01 03 00 0C 00 01 44 09"},
         "0:200"},
        {"GetReg000CLow odd",
         [](auto& c) { c.setRegister(0x000C, 0x0105); },
         [](CComLink& l) {
             int value = -7;
             const int result = GetReg000CLow(l, 1, value);
             return std::to_string(result) + ":" + std::to_string(value);
         },
         {"01 03 00 0C 00 01 44 09"},
         "-1:1"},
        {"ReadVersion 110",
         [](auto& c) { c.setVersion(110); },
         [](CComLink& l) {
             std::string text = "old";
             const int result = ReadVersion(l, 1, text);
             return std::to_string(result) + ":" + text;
         },
         {"01 03 90 0C 00 01 *"},
         "0:1.10"},
        {"ReadVersion 5",
         [](auto& c) { c.setVersion(5); },
         [](CComLink& l) {
             std::string text;
             const int result = ReadVersion(l, 1, text);
             return std::to_string(result) + ":" + text;
         },
         {"01 03 90 0C 00 01 *"},
         "0:0.05"},
        {"SetReg000CLow",
         [](auto& c) { c.setRegister(0x000C, 0x0A01); },
         [](CComLink& l) { return std::to_string(SetReg000CLow(l, 1, 100)); },
         {"01 03 00 0C 00 01 44 09", "01 10 00 0C 00 01 02 0A 64 *"},
         "0"},
        {"SetReg000CLow too big",
         [](auto& c) { c.setRegister(0x000C, 0x0A01); },
         [](CComLink& l) { return std::to_string(SetReg000CLow(l, 1, 0x100)); },
         {"01 03 00 0C 00 01 44 09"},
         "-1"},
        {"WriteReg00EE 8999",
         [](auto&) {},
         [&](CComLink& l) { return std::to_string(WriteReg00EE(l, 1, ee8999)); },
         {"01 10 00 EE 00 01 02 27 0F *"},
         "0"},
        {"WriteReg00EE 9000",
         [](auto&) {},
         [&](CComLink& l) { return std::to_string(WriteReg00EE(l, 1, ee9000)); },
         {"01 10 00 EE 00 01 02 23 28 *"},
         "0"},
        {"WriteDateCode",
         [](auto&) {},
         [](CComLink& l) { return std::to_string(WriteDateCode(l, 1, 2026, 12)); },
         {"01 10 00 EF 00 01 02 26 12 *"},
         "0"},
        {"WriteRegisterHex stops at a non-digit",
         [](auto&) {},
         [](CComLink& l) { return std::to_string(WriteRegisterHex(l, 1, 0x0010, "1z3g")); },
         {"01 10 00 10 00 01 02 01 03 *"},
         "0"},
        {"WriteRegisterHex wrong length",
         [](auto&) {},
         [](CComLink& l) { return std::to_string(WriteRegisterHex(l, 1, 0x0010, "12345")); },
         {},
         "-1"},
        {"WriteRegistersText empty",
         [](auto&) {},
         [](CComLink& l) { return std::to_string(WriteRegistersText(l, 1, 14, 16, "")); },
         {},
         "-1"},
        {"WriteRegistersText 201",
         [](auto&) {},
         [](CComLink& l) {
             return std::to_string(WriteRegistersText(l, 1, 14, 16, std::string(201, 'A')));
         },
         {},
         "-1"},
        {"WriteRegistersText pads",
         [](auto&) {},
         [](CComLink& l) { return std::to_string(WriteRegistersText(l, 1, 14, 6, "AB")); },
         {"01 10 00 0E 00 03 06 41 42 00 00 00 00 *"},
         "0"},
        {"ReadText16",
         [](auto& c) {
             c.setRange(14, {0x564D, 0x412D, 0x3130, 0x3000, 0, 0, 0, 0});
         },
         [](CComLink& l) {
             std::string text = ">";
             const int result = ReadText16(l, 1, 14, text);
             return std::to_string(result) + ":" + text;
         },
         {"01 03 00 0E 00 08 *"},
         "0:>VMA-100"},
        {"EchoTest",
         [](auto&) {},
         [](CComLink& l) { return std::to_string(EchoTest(l, 1)); },
         {"01 08 00 00 12 34 ED 7C"},
         "0"},
        {"EchoTest other station",
         [](auto&) {},
         [](CComLink& l) { return std::to_string(EchoTest(l, 2)); },
         {},
         "-1"},
    };
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
    const std::uint8_t data[4] = {0x12, 0x34, 0xAB, 0xCD};
    ASSERT_EQ(WriteRegisters(link, 1, 0x0400, data, 4), 0);
    EXPECT_EQ(controller().getRange(0x0400, 2), (std::vector<std::uint16_t>{0x1234, 0xABCD}));
    controller().setRegister(0x000C, 0x0A01);
    ASSERT_EQ(SetReg000CLow(link, 1, 100), 0);
    EXPECT_EQ(controller().getRegister(0x000C), 0x0A64);
    EXPECT_EQ(SetReg000CLow(link, 1, 0x100), -1);
    EXPECT_EQ(controller().getRegister(0x000C), 0x0A64);  // the refused write left it alone
    std::uint8_t back[4] = {};
    ASSERT_EQ(ReadRegisters(link, 1, 0x0400, 2, back), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(back, back + 4), std::vector<std::uint8_t>(data, data + 4));
    EXPECT_TRUE(ui.messages().empty());
}

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
    for (const Case& c : cases) {
        for (const bool write : {false, true}) {
            SCOPED_TRACE(std::to_string(c.code) + (write ? " write" : " read"));
            ui.clear();
            controller().exceptionAt(0x0010, c.code);
            std::uint8_t data[2] = {0, 1};
            const int result = write ? WriteRegisters(link, 1, 0x0010, data, 2)
                                     : ReadRegisters(link, 1, 0x0010, 1, data);
            EXPECT_EQ(result, -1);
            const auto messages = ui.messages();
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].text,
                      ComposeAlarmText(c.alarm, kMsgComAbnormalResponseCountermeasureContents));
            EXPECT_EQ(messages[0].icon, MessageIcon::Error);
            EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
        }
    }
    // Outside the controller's areas the controller itself answers exception 2.
    ui.clear();
    std::uint8_t data[2];
    EXPECT_EQ(ReadRegisters(link, 1, 0x0200, 1, data), -1);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
              ComposeAlarmText(kMsgComAbnormalResponseAddressContents,
                               kMsgComAbnormalResponseCountermeasureContents));
}

TEST_F(LinkFixture, NoReplyTimesOutAfterTenPollIntervals) {
    ASSERT_EQ(link.ConfigurePort(kBaud, 1, 5), 0);
    controller().stopAfterRequests(0);
    const auto started = std::chrono::steady_clock::now();
    std::string version;
    EXPECT_EQ(ReadVersion(link, 1, version), -1);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, std::chrono::milliseconds(10 * link.PollInterval(7)));
    auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, MessageText(kMsgComTimeoutCountermeasureContents));
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);

    // The echo is the search's probe: it times out without a word.
    ui.clear();
    EXPECT_EQ(EchoTest(link, 1), -1);
    EXPECT_TRUE(ui.messages().empty());
}

// The controller's end of the line goes away (an adapter unplugged): every request ends as a
// time-out with its message instead of holding the caller.
TEST_F(LinkFixture, LineThatHangsUpTimesOut) {
    ASSERT_EQ(link.ConfigurePort(kBaud, 1, 5), 0);
    sim.stop();
    for (int round = 0; round < 2; ++round) {
        ui.clear();
        std::string version;
        EXPECT_EQ(ReadVersion(link, 1, version), -1) << round;
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u) << round;
        EXPECT_EQ(messages[0].text, MessageText(kMsgComTimeoutCountermeasureContents));
    }
}

TEST_F(LinkFixture, ReplyTricklingInWithGapsIsReceived) {
    ASSERT_EQ(link.ConfigurePort(kBaud, 1, 5), 0);  // poll interval 12 ms for 7 bytes
    controller().setVersion(123);
    controller().trickleNextReply(8);
    std::string version;
    EXPECT_EQ(ReadVersion(link, 1, version), 0);
    EXPECT_EQ(version, "1.23");
    EXPECT_TRUE(ui.messages().empty());
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.clear();
        controller().setRegister(0x0010, 0xBEEF);
        c.fault(controller());
        std::uint8_t data[2] = {0x55, 0x55};
        EXPECT_EQ(ReadRegisters(link, 1, 0x0010, 1, data), -1);
        EXPECT_EQ(data[0], 0x55);
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].text, MessageText(kMsgComTimeoutCountermeasureContents));
        // The line is usable again at once.
        EXPECT_EQ(ReadRegisters(link, 1, 0x0010, 1, data), 0);
        EXPECT_EQ(data[0] * 256 + data[1], 0xBEEF);
    }
}

TEST_F(LinkFixture, LateReplyToAnEarlierRequestIsDiscarded) {
    controller().setRegister(0x0010, 0x1111);
    controller().setRegister(0x0011, 0x2222);
    controller().setExtraDelayMs(250);
    std::uint8_t data[2];
    EXPECT_EQ(ReadRegisters(link, 1, 0x0010, 1, data), -1);
    controller().setExtraDelayMs(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the late reply is waiting
    ASSERT_EQ(ReadRegisters(link, 1, 0x0011, 1, data), 0);
    EXPECT_EQ(data[0] * 256 + data[1], 0x2222);
}

TEST_F(LinkFixture, ClosedPortSendsNothing) {
    link.ClosePort();
    std::string text;
    std::uint8_t data[2] = {0, 0};
    EXPECT_EQ(ReadVersion(link, 1, text), -1);
    EXPECT_EQ(WriteRegisters(link, 1, 0x0010, data, 2), -1);
    EXPECT_EQ(EchoTest(link, 1), -1);
    EXPECT_EQ(link.ConfigurePort(kBaud, 1, 5), -1);
    EXPECT_EQ(link.portName(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(controller().requestCount(), 0u);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(LinkFixture, OpenFailureEmptiesThePortName) {
    EXPECT_EQ(link.OpenPort("/dev/velmora-no-such-port"), -1);
    EXPECT_EQ(link.portName(), "");
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_EQ(link.OpenPort(sim.slavePath()), 0);
    EXPECT_EQ(link.portName(), sim.slavePath());
}

TEST_F(LinkFixture, AnswersOnlyAtTheControllersBitRate) {
    sim.setBitRate(9600);
    EXPECT_EQ(EchoTest(link, 1), -1);
    ASSERT_EQ(link.ConfigurePort(9600, 1, 0), 0);
    EXPECT_EQ(EchoTest(link, 1), 0);
}

// Two threads sharing the line never interleave their frames.
TEST_F(LinkFixture, ConcurrentCallersAreSerialised) {
    controller().setRegister(0x0010, 0x1234);
    controller().setVersion(110);
    int failures = 0;
    std::thread other([&] {
        for (int i = 0; i < 40; ++i) {
            std::string version;
            if (ReadVersion(link, 1, version) != 0 || version != "1.10") {
                ++failures;
            }
        }
    });
    int ownFailures = 0;
    for (int i = 0; i < 40; ++i) {
        std::uint8_t data[2];
        if (ReadRegisters(link, 1, 0x0010, 1, data) != 0 || data[0] != 0x12 || data[1] != 0x34) {
            ++ownFailures;
        }
    }
    other.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ownFailures, 0);
    EXPECT_EQ(controller().requestCount(), 80u);
}

}  // namespace
}  // namespace velmora
