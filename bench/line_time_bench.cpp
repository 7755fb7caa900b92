// Line time of one write by actuator (parameters and steps, each verified) against the paced
// virtual controller: this program's master next to libmodbus, which replays the very same
// requests against the same controller. Prints figures; it does not pass or fail.
//
// Line time is the wall time from the first request to the last reply. The worker's settling
// waits after switching the writing mode are skipped, and the write's whole input is read and
// checked before the clock starts, so nothing but the line is measured.
//
// Needs the scrambled sample data beside the binary (System/Data, built by the sample data
// target).
// usage: velmora_line_time_bench [rounds at 115200 bit/s, default 5]
//                                [rounds at 9600 bit/s, default 2; 0 for none]
// A round takes about 2.5 s at 115200 bit/s and 20 s at 9600 bit/s.

#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/rtu_master.h"
#include "model/actuator_table.h"
#include "sim/pty_controller.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "transmit/transmit_worker.h"
#include "transmit/write_source.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Frame = std::vector<std::uint8_t>;
using Sim = velmora::sim::VirtualController;

constexpr int kSilentFactor = 1;
constexpr int kDelayMs = 5;
constexpr int kTurnaroundMs = 2;
constexpr int kReplyTimeoutMs = 1000;

double Millis(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::uint16_t Word(const Frame& frame, std::size_t at) {
    return static_cast<std::uint16_t>(frame[at] << 8 | frame[at + 1]);
}

// Bytes of the reply a request gets from the controller when it succeeds.
std::size_t ReplyBytes(const Frame& request) {
    switch (request[1]) {
        case 0x03:
            return 5u + 2u * Word(request, 4);
        case 0x10:
            return 8;
        default:
            return request.size();  // 0x08 echoes the request
    }
}

struct Floor {
    double ms = 0;      // wire + turnaround + response delay
    double wireMs = 0;  // wire + turnaround: the controller's pacing alone
    double bestMs = 0;  // the longer of wire + turnaround and our master's waits
};

// On a pseudo-terminal a request arrives at once and the controller paces the whole exchange
// from then on, so the master's silent interval and response delay run alongside the wire
// time rather than after it.
Floor LineFloor(const std::vector<Frame>& log, std::uint32_t baud, int masterWaitsMs) {
    Floor floor;
    for (const Frame& request : log) {
        const auto bytes = static_cast<double>(request.size() + ReplyBytes(request));
        const double wire = bytes * 10.0 * 1000.0 / baud + kTurnaroundMs;
        floor.ms += wire + kDelayMs;
        floor.wireMs += wire;
        floor.bestMs += std::max(wire, static_cast<double>(masterWaitsMs));
    }
    return floor;
}

void PrintRequestMix(const std::vector<Frame>& log) {
    std::size_t reads = 0, readRegs = 0, writes = 0, writeRegs = 0, others = 0;
    for (const Frame& request : log) {
        if (request[1] == 0x03) {
            ++reads;
            readRegs += Word(request, 4);
        } else if (request[1] == 0x10) {
            ++writes;
            writeRegs += Word(request, 4);
        } else {
            ++others;
        }
    }
    std::printf("requests: %zu reads (%zu registers), %zu writes (%zu registers), %zu other\n",
                reads, readRegs, writes, writeRegs, others);
}

// Both areas as the controller holds them, to check that the replay left the same image.
std::vector<std::uint16_t> Snapshot(const Sim& controller) {
    std::vector<std::uint16_t> image;
    for (std::uint16_t reg = Sim::kParameterFirst; reg <= Sim::kParameterLast; ++reg) {
        image.push_back(controller.getRegister(reg).value_or(0));
    }
    for (std::uint16_t reg = Sim::kStepFirst; reg <= Sim::kStepLast; ++reg) {
        image.push_back(controller.getRegister(reg).value_or(0));
    }
    return image;
}

bool FindSampleRecord(const std::string& root, velmora::stADP_FORMAT& record) {
    velmora::SilentUi silent;
    std::vector<velmora::stADP_FORMAT> table;
    std::vector<std::string> models;
    velmora::LoadActuatorTable(silent, root, table, models);
    for (const auto& candidate : table) {
        if (candidate.strPartNo == "VMA10-06I" && candidate.strSVNo == "1.10" &&
            candidate.strIOSpec == "NPN") {
            record = candidate;
            return true;
        }
    }
    return false;
}

// Reports error boxes, which mean the write went wrong; everything else stays quiet.
class BenchUi final : public velmora::Ui {
  public:
    velmora::MessageAnswer showMessage(const std::string& text, const std::string& title,
                                       velmora::MessageIcon icon,
                                       velmora::MessageButtons) override {
        if (icon == velmora::MessageIcon::Error) {
            std::fprintf(stderr, "  message: %s: %s\n", title.c_str(), text.c_str());
        }
        return velmora::MessageAnswer::Ok;
    }
    void setStatusText(const std::string&) override {}
    void setProgress(int) override {}
    bool cancelRequested() override { return false; }
};

struct Run {
    bool ok = false;
    double ms = 0;
    std::vector<Frame> log;
    int masterWaitsMs = 0;  // our master's silent interval and response delay
};

Run RunOurs(velmora::sim::PtyController& sim, std::uint32_t baud,
            const velmora::WriteSource& source) {
    Run run;
    auto& controller = sim.controller();
    controller.resetImage();
    controller.clearRequestLog();
    BenchUi ui;
    velmora::RtuMaster link;
    if (!link.open(sim.slavePath()).ok() || !link.configure(baud, kSilentFactor, kDelayMs).ok()) {
        std::fprintf(stderr, "cannot open %s\n", sim.slavePath().c_str());
        return run;
    }
    run.masterWaitsMs = link.silentInterval() + link.responseDelay();
    velmora::TransferContext context{link, Sim::kDefaultStation, ui, nullptr};
    velmora::TransmitHooks hooks;
    hooks.sleep = [](int) {};  // the mode-switch settling waits are not line time
    const auto started = Clock::now();
    const int written = velmora::TransmitWorker(context, source, hooks);
    run.ms = Millis(Clock::now() - started);
    link.close();
    run.ok = written == 0;
    run.log = controller.requestLog();
    return run;
}

struct ModbusFree {
    void operator()(modbus_t* context) const {
        modbus_close(context);
        modbus_free(context);
    }
};
using ModbusContext = std::unique_ptr<modbus_t, ModbusFree>;

// libmodbus has no length rule for function 0x08 replies, so the fixed-length echo is read
// from its descriptor directly.
bool EchoExchange(modbus_t* context, const Frame& request) {
    if (modbus_send_raw_request(context, request.data(), static_cast<int>(request.size() - 2)) <
        0) {
        return false;
    }
    const int fd = modbus_get_socket(context);
    Frame reply(request.size());
    std::size_t received = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    while (received < reply.size()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        const ssize_t got = ::read(fd, reply.data() + received, reply.size() - received);
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        received += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    return reply == request;
}

bool Replay(modbus_t* context, const Frame& request) {
    const std::uint16_t address = Word(request, 2);
    const std::uint16_t count = Word(request, 4);
    switch (request[1]) {
        case 0x03: {
            std::vector<std::uint16_t> values(count);
            return modbus_read_registers(context, address, count, values.data()) == count;
        }
        case 0x10: {
            std::vector<std::uint16_t> values(count);
            for (std::size_t i = 0; i < values.size(); ++i) {
                values[i] = Word(request, 7 + 2 * i);
            }
            return modbus_write_registers(context, address, count, values.data()) == count;
        }
        case 0x08:
            return EchoExchange(context, request);
        default:
            return false;
    }
}

Run RunLibmodbus(velmora::sim::PtyController& sim, std::uint32_t baud,
                 const std::vector<Frame>& requests) {
    Run run;
    auto& controller = sim.controller();
    controller.resetImage();
    controller.clearRequestLog();
    ModbusContext context(
        modbus_new_rtu(sim.slavePath().c_str(), static_cast<int>(baud), 'N', 8, 1));
    if (!context || modbus_set_slave(context.get(), Sim::kDefaultStation) != 0 ||
        modbus_set_response_timeout(context.get(), kReplyTimeoutMs / 1000, 0) != 0 ||
        modbus_connect(context.get()) != 0) {
        std::fprintf(stderr, "libmodbus cannot open %s: %s\n", sim.slavePath().c_str(),
                     modbus_strerror(errno));
        return run;
    }
    run.ok = true;
    const auto started = Clock::now();
    for (std::size_t i = 0; i < requests.size() && run.ok; ++i) {
        if (!Replay(context.get(), requests[i])) {
            std::fprintf(stderr, "  libmodbus: request %zu (function 0x%02X) failed: %s\n", i,
                         requests[i][1], modbus_strerror(errno));
            run.ok = false;
        }
    }
    run.ms = Millis(Clock::now() - started);
    context.reset();
    run.log = controller.requestLog();
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintRow(std::uint32_t baud, const std::string& round, std::size_t requests, double ours,
              double theirs, const Floor& floor) {
    const auto n = static_cast<double>(requests);
    std::printf("%-7u %-7s %8zu %10.1f %10.1f %9.3f %9.3f %7.3f %9.3f %9.3f %9.3f\n", baud,
                round.c_str(), requests, ours, theirs, ours / n, theirs / n,
                theirs > 0 ? ours / theirs : 0.0, floor.ms / n, floor.wireMs / n, floor.bestMs / n);
}

// Rounds at one bit rate, ours and libmodbus alternating. False when a run failed.
bool Measure(std::uint32_t baud, int rounds, const velmora::WriteSource& source) {
    velmora::sim::PtyOptions options;
    options.bitRate = baud;
    options.pacing = true;
    options.turnaroundMs = kTurnaroundMs;
    velmora::sim::PtyController sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "cannot start the virtual controller\n");
        return false;
    }
    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<Frame> log;
    Floor floor;
    bool ok = true;
    for (int round = 1; round <= rounds && ok; ++round) {
        const Run mine = RunOurs(sim, baud, source);
        const auto written = Snapshot(sim.controller());
        if (!mine.ok || mine.log.empty()) {
            std::fprintf(stderr, "round %d: the write failed\n", round);
            ok = false;
            break;
        }
        const Run replay = RunLibmodbus(sim, baud, mine.log);
        if (!replay.ok) {
            ok = false;
            break;
        }
        // The replay only counts if the controller saw the same requests and ended the same.
        if (replay.log != mine.log || Snapshot(sim.controller()) != written) {
            std::fprintf(stderr, "round %d: the replay differs from the write\n", round);
            ok = false;
            break;
        }
        floor = LineFloor(mine.log, baud, mine.masterWaitsMs);
        ours.push_back(mine.ms);
        theirs.push_back(replay.ms);
        PrintRow(baud, std::to_string(round), mine.log.size(), mine.ms, replay.ms, floor);
        log = mine.log;
    }
    if (!ours.empty()) {
        PrintRow(baud, "median", log.size(), Median(ours), Median(theirs), floor);
        std::printf("%-7u floor totals: floor %.1f ms, wire %.1f ms, best %.1f ms; ", baud,
                    floor.ms, floor.wireMs, floor.bestMs);
        PrintRequestMix(log);
    }
    sim.stop();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int slowRounds = argc > 2 ? std::atoi(argv[2]) : 2;
    if (rounds <= 0 || slowRounds < 0) {
        std::fprintf(stderr,
                     "usage: velmora_line_time_bench [rounds at 115200 bit/s] [rounds at 9600 "
                     "bit/s]\n");
        return 2;
    }
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    velmora::App().moduleFolder = folder.string() + "/";
    velmora::SilentUi silent;
    velmora::LoadMessageTable(silent);
    velmora::stADP_FORMAT record;
    if (!FindSampleRecord((folder / "System" / "Data").string(), record)) {
        std::fprintf(stderr, "no sample record VMA10-06I (SV 1.10, NPN) under %s/System/Data\n",
                     folder.c_str());
        return 1;
    }
    const velmora::WriteSourceLoading loading = velmora::LoadWriteSource(
        velmora::TransmitRequest{record, 0, velmora::kFromActuatorSelection});
    if (!loading.source) {
        std::fprintf(stderr, "the sample record does not load:\n");
        for (const auto& diagnostic : loading.diagnostics) {
            std::fprintf(stderr, "  %s:%d: %s\n", diagnostic.file.c_str(), diagnostic.line,
                         diagnostic.reason.c_str());
        }
        return 1;
    }

    std::printf(
        "line time benchmark: write by actuator %s (SV %s, %s), parameters and steps with both "
        "verifications\n"
        "paced virtual controller, turnaround %d ms; velmora silent factor %d, response delay "
        "%d ms; libmodbus %s replays velmora's requests\n"
        "mode-switch settling waits skipped; the input is loaded before the first request\n\n",
        record.strPartNo.c_str(), record.strSVNo.c_str(), record.strIOSpec.c_str(), kTurnaroundMs,
        kSilentFactor, kDelayMs, LIBMODBUS_VERSION_STRING);
    std::printf("%-7s %-7s %8s %10s %10s %9s %9s %7s %9s %9s %9s\n", "bit/s", "round", "requests",
                "velmora", "libmodbus", "velmora", "libmodbus", "ratio", "floor", "wire", "best");
    std::printf("%-7s %-7s %8s %10s %10s %9s %9s %7s %9s %9s %9s\n", "", "", "", "ms", "ms",
                "ms/req", "ms/req", "", "ms/req", "ms/req", "ms/req");

    bool ok = Measure(115200, rounds, *loading.source);
    if (ok && slowRounds > 0) {
        ok = Measure(9600, slowRounds, *loading.source);
    }
    std::printf(
        "\nratio = velmora / libmodbus (median row: ratio of the medians)\n"
        "floor = sum over the requests of (request + reply bytes) x 10 / bit rate + turnaround "
        "+ response delay\n"
        "wire  = the same without the response delay: the controller's pacing alone, the least "
        "any master can take (libmodbus waits no response delay)\n"
        "best  = the same with max(wire, silent interval + response delay) per request: the "
        "least velmora's master can take, as its waits overlap the\n"
        "        paced exchange on a pseudo-terminal (why it can beat \"floor\")\n");
    return ok ? 0 : 1;
}
