// Time per exchange of the controller link against the paced virtual controller, next to the
// floor the wire and the protocol's waits set. Prints figures; it does not pass or fail.
//
// usage: velmora_link_bench [exchanges per kind, default 200]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "link/register_ops.h"
#include "link/rtu_master.h"
#include "sim/pty_controller.h"

namespace {

using velmora::RtuMaster;

struct Kind {
    const char* name;
    int requestBytes;
    int replyBytes;
    std::function<velmora::LinkStatus(RtuMaster&)> exchange;
};

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    if (count <= 0) {
        std::fprintf(stderr, "usage: velmora_link_bench [exchanges per kind]\n");
        return 2;
    }
    constexpr int kSilentFactor = 1;
    constexpr int kDelayMs = 5;
    constexpr int kTurnaroundMs = 2;

    std::vector<std::uint8_t> payload(2 * 79);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::vector<Kind> kinds = {
        {"read 1 register", 8, 7,
         [](RtuMaster& link) {
             std::uint8_t data[2];
             return velmora::ReadRegisters(link, 1, 0x0010, 1, data);
         }},
        {"write 16 registers", 9 + 32, 8,
         [&](RtuMaster& link) {
             return velmora::WriteRegisters(link, 1, 0x0400, payload.data(), 32);
         }},
        {"write 79 registers", 9 + 158, 8,
         [&](RtuMaster& link) {
             return velmora::WriteRegisters(link, 1, 0x0000, payload.data(), 158);
         }},
        {"echo", 8, 8, [](RtuMaster& link) { return velmora::EchoTest(link, 1); }},
    };

    std::printf(
        "link benchmark: %d exchanges per kind, silent factor %d, response delay %d ms, "
        "controller turnaround %d ms\n\n",
        count, kSilentFactor, kDelayMs, kTurnaroundMs);
    std::printf("%-8s %-20s %6s %12s %10s %7s %10s %7s\n", "bit/s", "exchange", "bytes",
                "ms/exchange", "floor ms", "ratio", "best ms", "ratio");
    for (const std::uint32_t baud : {38400u, 115200u}) {
        velmora::sim::PtyOptions options;
        options.bitRate = baud;
        options.pacing = true;
        options.turnaroundMs = kTurnaroundMs;
        velmora::sim::PtyController sim(options);
        if (!sim.start()) {
            std::fprintf(stderr, "cannot start the virtual controller\n");
            return 1;
        }
        RtuMaster link;
        if (!link.open(sim.slavePath()).ok() ||
            !link.configure(baud, kSilentFactor, kDelayMs).ok()) {
            std::fprintf(stderr, "cannot open %s\n", sim.slavePath().c_str());
            return 1;
        }
        for (const Kind& kind : kinds) {
            int failures = 0;
            const auto started = std::chrono::steady_clock::now();
            for (int i = 0; i < count; ++i) {
                failures += !kind.exchange(link).ok();
            }
            const std::chrono::duration<double, std::milli> elapsed =
                std::chrono::steady_clock::now() - started;
            const int bytes = kind.requestBytes + kind.replyBytes;
            const double floor = bytes * 10.0 * 1000.0 / baud + link.silentInterval() +
                                 link.responseDelay() + kTurnaroundMs;
            // The master's waits run while the request is still on the wire, so the best a
            // line can do is the longer of the two.
            const double wire = bytes * 10.0 * 1000.0 / baud + kTurnaroundMs;
            const double waits = link.silentInterval() + link.responseDelay();
            const double best = wire > waits ? wire : waits;
            const double perExchange = elapsed.count() / count;
            std::printf("%-8u %-20s %6d %12.2f %10.2f %7.2f %10.2f %7.2f%s\n", baud, kind.name,
                        bytes, perExchange, floor, perExchange / floor, best, perExchange / best,
                        failures ? "  (failures!)" : "");
            if (failures) {
                std::printf("         %d of %d exchanges failed\n", failures, count);
            }
        }
    }
    std::printf(
        "\nfloor = bytes x 10 / bit rate + silent interval + response delay + turnaround\n"
        "best  = max(bytes x 10 / bit rate + turnaround, silent interval + response delay)"
        "\n");
    return 0;
}
