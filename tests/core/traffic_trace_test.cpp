#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "link/register_ops.h"
#include "link/traffic_trace.h"
#include "support/frame_util.h"
#include "support/link_fixture.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::Frame;
using test::LinkFixture;
using test::TempFolder;

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string LowerHex(const std::vector<std::uint8_t>& bytes) {
    std::string text = test::ToHex(bytes);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The line without its time stamp and port, which are checked once here.
std::string Body(const std::string& line, const std::string& port) {
    static const std::regex kStamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} )");
    std::smatch stamp;
    if (!std::regex_search(line, stamp, kStamp) ||
        line.compare(stamp.length(), port.size() + 1, port + " ") != 0) {
        return "no stamp and port: " + line;
    }
    return line.substr(stamp.length() + port.size() + 1);
}

TEST(TrafficTrace, FramesAreDecodedForTheReader) {
    struct Case {
        TraceDirection direction;
        const char* hexWithoutCrc;
        const char* meaning;
    };
    const Case cases[] = {
        {TraceDirection::Request, "01 03 04 00 00 10", "read 0x0400 \u00d716"},
        {TraceDirection::Reply, "01 03 04 00 01 00 02", "reply 4 bytes"},
        {TraceDirection::Request, "01 10 00 00 00 02 04 00 01 00 02", "write 0x0000 \u00d72"},
        {TraceDirection::Reply, "01 10 00 00 00 02", "written 0x0000 \u00d72"},
        {TraceDirection::Reply, "01 83 02", "exception 02 illegal address"},
        {TraceDirection::Reply, "01 90 04", "exception 04 device failure"},
        {TraceDirection::Request, "01 08 00 00 12 34", "echo"},
        {TraceDirection::Request, "01 2B 0E", "function 0x2b"},
        {TraceDirection::Reply, "01", "short frame"},
    };
    for (const Case& c : cases) {
        const auto frame = Frame(c.hexWithoutCrc);
        char out[64];
        const std::size_t length = DescribeFrame(c.direction, frame, out);
        EXPECT_EQ(std::string(out, length), c.meaning) << c.hexWithoutCrc;
    }
}

// A write whose first request meets a line fault is repeated once; the trace shows the lost
// or spoilt exchange, the repeat and the exchange that succeeded, in order.
TEST_F(LinkFixture, TraceShowsAWriteRepeatedAfterALineFault) {
    struct Case {
        sim::Fault fault;
        std::string failedLine;  // after the first request
    };
    const std::string request = LowerHex(Frame("01 10 00 00 00 02 04 12 34 56 78"));
    const std::string reply = LowerHex(Frame("01 10 00 00 00 02"));
    // The reply as the controller spoils it: both CRC bytes flipped by a known pattern.
    auto badCrc = Frame("01 10 00 00 00 02");
    badCrc[badCrc.size() - 2] ^= 0x5A;
    badCrc[badCrc.size() - 1] ^= 0xA5;
    const Case cases[] = {
        {sim::Fault::LoseReply, "time-out"},
        {sim::Fault::BadCrc, "<- " + LowerHex(badCrc) + "  garbled, 8 bytes"},
    };
    givePatientTiming();
    link.setRetries(1);
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::uint8_t data[4] = {0x12, 0x34, 0x56, 0x78};
    for (const Case& c : cases) {
        const std::string path = folder.file("trace.txt");
        std::filesystem::remove(path);
        auto trace = std::make_shared<TrafficTrace>(path);
        ASSERT_TRUE(trace->open().ok());
        link.setTrace(trace);
        controller().injectNext(c.fault, 1);

        EXPECT_TRUE(WriteRegisters(link, 1, 0x0000, data, 4).ok()) << c.failedLine;
        link.setTrace(nullptr);
        EXPECT_TRUE(trace->failure().ok());

        const std::vector<std::string> expected = {
            "-> " + request + "  write 0x0000 \u00d72",
            c.failedLine,
            "retry 1",
            "-> " + request + "  write 0x0000 \u00d72",
            "<- " + reply + "  written 0x0000 \u00d72",
        };
        std::vector<std::string> bodies;
        for (const std::string& line : ReadLines(path)) {
            bodies.push_back(Body(line, sim.slavePath()));
        }
        EXPECT_EQ(bodies, expected) << c.failedLine;
    }
}

TEST(TrafficTrace, RotatesPastItsCapAndReportsAFileItCannotOpen) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = folder.file("trace.txt");
    constexpr std::uintmax_t kCap = 200;
    TrafficTrace trace(path, kCap);
    ASSERT_TRUE(trace.open().ok());
    // 37 or 38 bytes a line: the sixth passes the cap, and the twelfth passes it again.
    for (int i = 1; i <= 14; ++i) {
        ASSERT_TRUE(trace.event("p", TraceEvent::Retry, i).ok()) << i;
    }
    std::vector<std::string> older;
    for (const std::string& line : ReadLines(path + ".1")) {
        older.push_back(Body(line, "p"));
    }
    std::vector<std::string> newer;
    for (const std::string& line : ReadLines(path)) {
        newer.push_back(Body(line, "p"));
    }
    // The second rotation replaced the first FILE.1.
    EXPECT_EQ(older, (std::vector<std::string>{"retry 7", "retry 8", "retry 9", "retry 10",
                                               "retry 11", "retry 12"}));
    EXPECT_EQ(newer, (std::vector<std::string>{"retry 13", "retry 14"}));
    EXPECT_GT(std::filesystem::file_size(path + ".1"), kCap);

    TrafficTrace nowhere(folder.file("missing/trace.txt"));
    const TraceStatus opened = nowhere.open();
    EXPECT_EQ(opened.error, TraceError::OpenFailed);
    EXPECT_EQ(opened.osError, ENOENT);
    EXPECT_EQ(nowhere.event("p", TraceEvent::Timeout).error, TraceError::NotOpen);
    EXPECT_EQ(nowhere.failure().error, TraceError::OpenFailed);
}

// A file that stops taking lines after it was opened: the calls say so, and the handler hears
// of it once, however many lines fail after.
TEST(TrafficTrace, TellsItsHandlerOnceOfAFileThatStopsTakingLines) {
    struct Case {
        const char* name;
        TraceError expected;
        int osError;
    };
    const Case cases[] = {
        {"a full disk", TraceError::WriteFailed, ENOSPC},
        {"a folder removed before the rotation", TraceError::OpenFailed, ENOENT},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        ASSERT_TRUE(folder.valid());
        const bool fullDisk = c.expected == TraceError::WriteFailed;
        if (fullDisk && !std::filesystem::exists("/dev/full")) {
            continue;
        }
        const std::string gone = folder.file("gone");
        std::filesystem::create_directory(gone);
        // A cap of 50 bytes: the second line makes the trace rotate.
        TrafficTrace trace(fullDisk ? "/dev/full" : gone + "/trace.txt", 50);
        std::vector<TraceStatus> heard;
        trace.setFailureHandler([&heard](const TraceStatus& status) { heard.push_back(status); });
        ASSERT_TRUE(trace.open().ok()) << c.name;
        if (!fullDisk) {
            ASSERT_TRUE(trace.event("p", TraceEvent::Timeout).ok());
            std::error_code removal;
            std::filesystem::remove_all(gone, removal);
            if (removal) {
                continue;  // Windows keeps a folder while a file in it is open
            }
        }
        TraceStatus first = trace.event("p", TraceEvent::Retry, 1);
        EXPECT_EQ(first.error, c.expected) << c.name;
        EXPECT_EQ(first.osError, c.osError) << c.name;
        EXPECT_FALSE(trace.event("p", TraceEvent::Retry, 2).ok()) << c.name;
        ASSERT_EQ(heard.size(), 1u) << c.name;
        EXPECT_EQ(heard[0].error, c.expected) << c.name;
        EXPECT_EQ(trace.failure().error, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace velmora
