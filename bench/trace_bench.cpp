// What the traffic trace costs: time per transaction against the paced virtual controller with
// the trace off and on (rounds alternate, so a busy machine weighs on both alike), and the
// trace's own time per transaction measured directly (formatting and writing the lines a
// transaction makes, without the line). Prints figures; it does not pass or fail.
//
// usage: velmora_trace_bench [transactions per round, default 200] [rounds, default 5]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/register_ops.h"
#include "link/rtu_master.h"
#include "link/traffic_trace.h"
#include "sim/pty_controller.h"

namespace {

using Clock = std::chrono::steady_clock;
using velmora::RtuMaster;

constexpr std::uint32_t kBaud = 115200;
constexpr int kSilentFactor = 1;
constexpr int kDelayMs = 5;
constexpr int kTurnaroundMs = 2;

double Micros(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One transaction of each common kind, in turn: a read of a step block and a parameter write.
velmora::LinkStatus Transaction(RtuMaster& link, int index) {
    if (index % 2 == 0) {
        std::uint8_t data[32];
        return velmora::ReadRegisters(link, 1, 0x0400, 16, data);
    }
    const std::uint8_t values[8] = {0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04};
    return velmora::WriteRegisters(link, 1, 0x0000, values, 8);
}

// Microseconds per transaction over count transactions; negative when one failed.
double TimeTransactions(RtuMaster& link, int count) {
    const auto started = Clock::now();
    for (int i = 0; i < count; ++i) {
        if (!Transaction(link, i).ok()) {
            return -1;
        }
    }
    return Micros(Clock::now() - started) / count;
}

// The trace's own work for one transaction: the request line and the reply line, as the
// master makes them, into a real file.
double TimeTraceLines(velmora::TrafficTrace& trace, int count) {
    const std::uint8_t request[] = {0x01, 0x03, 0x04, 0x00, 0x00, 0x10, 0x45, 0x36};
    std::uint8_t reply[37] = {0x01, 0x03, 0x20};
    const auto started = Clock::now();
    for (int i = 0; i < count; ++i) {
        trace.frame("/dev/ttyUSB0", velmora::TraceDirection::Request, request);
        trace.frame("/dev/ttyUSB0", velmora::TraceDirection::Reply, reply);
    }
    return Micros(Clock::now() - started) / count;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (count <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: velmora_trace_bench [transactions per round] [rounds]\n");
        return 2;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error) / "velmora_trace_bench";
    fs::create_directories(folder, error);
    const std::string tracePath = (folder / "traffic.txt").string();

    velmora::sim::PtyOptions options;
    options.bitRate = kBaud;
    options.pacing = true;
    options.turnaroundMs = kTurnaroundMs;
    velmora::sim::PtyController sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "cannot start the virtual controller\n");
        return 1;
    }
    RtuMaster link;
    if (!link.open(sim.slavePath()).ok() || !link.configure(kBaud, kSilentFactor, kDelayMs).ok()) {
        std::fprintf(stderr, "cannot open %s\n", sim.slavePath().c_str());
        return 1;
    }
    auto trace = std::make_shared<velmora::TrafficTrace>(tracePath);
    if (const velmora::TraceStatus opened = trace->open(); !opened.ok()) {
        std::fprintf(stderr, "cannot write %s\n", tracePath.c_str());
        return 1;
    }

    std::printf(
        "trace benchmark: %d transactions per round (read 0x0400 x16, write 0x0000 x4 in turn), "
        "%d rounds,\npaced virtual controller at %u bit/s, turnaround %d ms, silent factor %d, "
        "response delay %d ms\n\n",
        count, rounds, kBaud, kTurnaroundMs, kSilentFactor, kDelayMs);
    std::printf("%-7s %14s %14s %14s\n", "round", "off us/trans", "on us/trans", "on - off us");
    std::vector<double> off;
    std::vector<double> on;
    for (int round = 1; round <= rounds; ++round) {
        link.setTrace(nullptr);
        const double withoutTrace = TimeTransactions(link, count);
        link.setTrace(trace);
        const double withTrace = TimeTransactions(link, count);
        if (withoutTrace < 0 || withTrace < 0) {
            std::fprintf(stderr, "round %d: a transaction failed\n", round);
            return 1;
        }
        off.push_back(withoutTrace);
        on.push_back(withTrace);
        std::printf("%-7d %14.1f %14.1f %14.1f\n", round, withoutTrace, withTrace,
                    withTrace - withoutTrace);
    }
    link.setTrace(nullptr);
    const double medianOff = Median(off);
    const double medianOn = Median(on);
    std::printf("%-7s %14.1f %14.1f %14.1f\n", "median", medianOff, medianOn, medianOn - medianOff);

    constexpr int kDirectLines = 20000;
    const double direct = TimeTraceLines(*trace, kDirectLines);
    std::printf(
        "\ntrace's own cost per transaction (request and reply line, %d pairs written "
        "directly): %.2f us\n",
        kDirectLines, direct);
    std::printf("trace file: %s (%s)\n", tracePath.c_str(),
                trace->failure().ok() ? "written without failure" : "a write failed");
    link.close();
    sim.stop();
    fs::remove(tracePath, error);
    fs::remove(tracePath + ".1", error);
    return 0;
}
