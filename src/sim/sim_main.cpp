// velmora-sim: a virtual actuator controller on a pseudo-terminal.

#include <pthread.h>
#include <signal.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/termios_rates.h"
#include "sim/pty_controller.h"

namespace {

using velmora::sim::Fault;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::uint32_t kMaxMs = 60000;

struct FaultOption {
    const char* name;
    Fault fault;
    const char* help;
};

// One option per fault, each taking N: strike every Nth request.
constexpr FaultOption kFaultOptions[] = {
    {"--drop-request", Fault::DropRequest, "ignore the request: no action, no reply"},
    {"--lose-reply", Fault::LoseReply, "act on the request but send no reply"},
    {"--bad-crc", Fault::BadCrc, "reply with a wrong CRC"},
    {"--flip-bit", Fault::FlipBit, "flip one data bit of the reply, keeping its CRC"},
    {"--wrong-station", Fault::WrongStation, "reply as station ID + 1"},
    {"--wrong-function", Fault::WrongFunction, "reply under another function code"},
    {"--short-reply", Fault::ShortReply, "send only the first half of the reply"},
    {"--double-reply", Fault::DoubleReply, "send the reply twice, 3.5 characters apart"},
    {"--late-reply", Fault::LateReply, "send the reply --late-ms later than usual"},
    {"--wrong-echo", Fault::WrongEcho, "echo the next address in a write's reply"},
    {"--exception", Fault::Exception, "answer exception 4 (device failure), do nothing"},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: velmora-sim [options]\n"
                 "A virtual actuator controller (Modbus RTU slave) on a pseudo-terminal. The\n"
                 "first line printed is the device path to open as the serial port.\n"
                 "\n"
                 "  --id N            station ID to answer (1-247, default 1)\n"
                 "  --baud B          the only bit rate answered (default 38400)\n"
                 "  --version X.YY    software version reported (default 1.10)\n"
                 "  --link PATH       also make PATH a symbolic link to the device\n"
                 "  --image FILE      load a register image at start\n"
                 "  --dump-on-exit FILE  write the register image when stopped\n"
                 "  --no-pacing       answer at once instead of at line speed\n"
                 "  --turnaround MS   controller turnaround before a reply (default 2)\n"
                 "  --help            show this text\n"
                 "\n"
                 "Faults, each on every Nth request to this station with a right CRC:\n");
    for (const FaultOption& option : kFaultOptions) {
        const std::string usage = std::string(option.name) + " N";
        std::fprintf(out, "  %-19s %s\n", usage.c_str(), option.help);
    }
    std::fprintf(out,
                 "  --late-ms MS        how much later a late reply comes (default %d)\n"
                 "  --die-after N       answer N requests, then never again\n"
                 "\n"
                 "Runs until interrupted (SIGINT or SIGTERM).\n",
                 velmora::sim::VirtualController::kDefaultLateReplyMs);
}

std::optional<std::uint32_t> ParseUnsigned(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "1.10" -> 110, "2" -> 200, "0.05" -> 5: at most two decimals.
std::optional<std::uint16_t> ParseVersion(std::string_view text) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    if (whole.empty() || fraction.size() > 2 ||
        (dot != std::string_view::npos && fraction.empty())) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> units = ParseUnsigned(whole);
    std::optional<std::uint32_t> hundredths = std::uint32_t{0};
    if (!fraction.empty()) {
        hundredths = ParseUnsigned(fraction);
        if (hundredths && fraction.size() == 1) {
            *hundredths *= 10;
        }
    }
    if (!units || !hundredths || *units > 655 || *units * 100 + *hundredths > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*units * 100 + *hundredths);
}

struct Options {
    std::uint8_t station = velmora::sim::VirtualController::kDefaultStation;
    std::uint16_t version = velmora::sim::VirtualController::kDefaultVersion;
    velmora::sim::PtyOptions pty;
    std::string image;
    std::string dumpOnExit;
    std::array<int, velmora::sim::kFaultKinds> faultEvery{};  // 0: the fault is off
    int lateReplyMs = velmora::sim::VirtualController::kDefaultLateReplyMs;
    int dieAfter = -1;  // negative: never
    bool help = false;
};

const FaultOption* FindFaultOption(std::string_view name) {
    for (const FaultOption& option : kFaultOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

// False on bad usage, after saying why on stderr.
bool ParseArguments(int argc, char** argv, Options& options) {
    options.pty.pacing = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velmora-sim: %s needs a value\n", argv[i]);
                return std::nullopt;
            }
            return std::string_view(argv[++i]);
        };
        const auto bad = [&](std::string_view text) {
            std::fprintf(stderr, "velmora-sim: bad value for %.*s: %.*s\n",
                         static_cast<int>(arg.size()), arg.data(), static_cast<int>(text.size()),
                         text.data());
            return false;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--no-pacing") {
            options.pty.pacing = false;
        } else if (arg == "--id") {
            const auto text = value();
            if (!text)
                return false;
            const auto id = ParseUnsigned(*text);
            if (!id || *id < 1 || *id > 247)
                return bad(*text);
            options.station = static_cast<std::uint8_t>(*id);
        } else if (arg == "--baud") {
            const auto text = value();
            if (!text)
                return false;
            const auto baud = ParseUnsigned(*text);
            if (!baud || !velmora::SpeedForBitRate(*baud))
                return bad(*text);
            options.pty.bitRate = *baud;
        } else if (arg == "--version") {
            const auto text = value();
            if (!text)
                return false;
            const auto version = ParseVersion(*text);
            if (!version)
                return bad(*text);
            options.version = *version;
        } else if (arg == "--turnaround") {
            const auto text = value();
            if (!text)
                return false;
            const auto ms = ParseUnsigned(*text);
            if (!ms || *ms > kMaxMs)
                return bad(*text);
            options.pty.turnaroundMs = static_cast<int>(*ms);
        } else if (arg == "--late-ms") {
            const auto text = value();
            if (!text)
                return false;
            const auto ms = ParseUnsigned(*text);
            if (!ms || *ms > kMaxMs)
                return bad(*text);
            options.lateReplyMs = static_cast<int>(*ms);
        } else if (const FaultOption* fault = FindFaultOption(arg); fault || arg == "--die-after") {
            const auto text = value();
            if (!text)
                return false;
            const auto n = ParseUnsigned(*text);
            if (!n || *n < 1 || *n > INT_MAX)
                return bad(*text);
            if (fault) {
                options.faultEvery[static_cast<std::size_t>(fault->fault)] = static_cast<int>(*n);
            } else {
                options.dieAfter = static_cast<int>(*n);
            }
        } else if (arg == "--link" || arg == "--image" || arg == "--dump-on-exit") {
            const auto text = value();
            if (!text)
                return false;
            if (text->empty())
                return bad(*text);
            std::string& target = arg == "--link"    ? options.pty.linkPath
                                  : arg == "--image" ? options.image
                                                     : options.dumpOnExit;
            target = std::string(*text);
        } else {
            std::fprintf(stderr, "velmora-sim: unknown option %s (see --help)\n", argv[i]);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        return kExitUsage;
    }
    if (options.help) {
        PrintUsage(stdout);
        return 0;
    }

    // The signals are taken synchronously below; blocking them first keeps the worker thread
    // from ever receiving them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    velmora::sim::PtyController pty(options.pty);
    velmora::sim::VirtualController& controller = pty.controller();
    controller.setStationId(options.station);
    controller.setVersion(options.version);
    for (std::size_t i = 0; i < options.faultEvery.size(); ++i) {
        controller.injectEvery(static_cast<Fault>(i), options.faultEvery[i]);
    }
    controller.setLateReplyMs(options.lateReplyMs);
    if (options.dieAfter >= 0) {
        controller.stopAfterRequests(options.dieAfter);
    }
    if (!options.image.empty() && !controller.loadImage(options.image)) {
        std::fprintf(stderr, "velmora-sim: cannot load the register image %s\n",
                     options.image.c_str());
        return kExitFailure;
    }
    if (!pty.start()) {
        std::fprintf(stderr, "velmora-sim: cannot create the pseudo-terminal%s%s: %s\n",
                     options.pty.linkPath.empty() ? "" : " or the link ",
                     options.pty.linkPath.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    std::printf("%s\n", pty.slavePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "velmora-sim: station %u at %u bit/s, version %u.%02u%s%s\n",
                 static_cast<unsigned>(controller.stationId()), pty.bitRate(),
                 controller.version() / 100u, controller.version() % 100u,
                 options.pty.linkPath.empty() ? "" : ", link ", options.pty.linkPath.c_str());

    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    pty.stop();

    if (!options.dumpOnExit.empty() && !controller.dumpImage(options.dumpOnExit)) {
        std::fprintf(stderr, "velmora-sim: cannot write the register image %s\n",
                     options.dumpOnExit.c_str());
        return kExitFailure;
    }
    return 0;
}
