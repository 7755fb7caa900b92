#include "cli/production_line.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/session.h"
#include "cli/actuator_records.h"
#include "cli/interrupts.h"
#include "cli/job_history.h"
#include "cli/line_console.h"
#include "link/register_ops.h"
#include "platform/serial_port.h"
#include "sysfiles/app_state.h"

namespace velmora::cli {
namespace {

using namespace std::chrono_literals;

// Echo requests in a row that must fail before the controller counts as taken off: one lost
// reply is a line error, not a controller gone.
constexpr int kGoneAfterFailures = 3;
// How often a controller that stays connected, or a port without one, is asked again.
constexpr auto kPollInterval = 250ms;
// How soon a stop request ends a pause.
constexpr auto kStopCheckInterval = 20ms;

struct PortTally {
    int written = 0;
    int failed = 0;
    int worstStatus = kExitSuccess;
};

enum class Waited { Done, Stopped };

// The line's stop request: Ctrl-C or SIGTERM reaches the console.
class StopRequest {
  public:
    explicit StopRequest(ConsoleUi& console) : console_(console) {}
    bool requested() const { return console_.cancelRequested(); }
    // Waits for the interval unless a stop comes first; false when stopping.
    bool pause(std::chrono::milliseconds interval) const {
        const auto until = std::chrono::steady_clock::now() + interval;
        while (std::chrono::steady_clock::now() < until) {
            if (requested())
                return false;
            std::this_thread::sleep_for(kStopCheckInterval);
        }
        return !requested();
    }

  private:
    ConsoleUi& console_;
};

Waited WaitUntilGone(RtuMaster& link, std::uint8_t station, const StopRequest& stop) {
    int failures = 0;
    while (failures < kGoneAfterFailures) {
        if (stop.requested())
            return Waited::Stopped;
        failures = EchoTest(link, station).ok() ? 0 : failures + 1;
        // Failures are spaced as well: a port that refuses one write at once must not count as
        // a controller taken off within a millisecond.
        if (failures < kGoneAfterFailures && !stop.pause(kPollInterval))
            return Waited::Stopped;
    }
    return Waited::Done;
}

// The adapter taken off with the controller leaves a port that fails under us. The one plugged
// in again is opened anew by the same name, with the same settings, and only when it is the
// same adapter: on Linux another one may have been given the name meanwhile.
class PortReopener {
  public:
    PortReopener(const Options& options, std::size_t index, LineConsole& console)
        : options_(options), index_(index), console_(console) {}

    // Called once the port is connected: the adapter the job ran on.
    void remember() { identity_ = SerialDeviceIdentity(options_.port); }

    void reopen(RtuMaster& link) {
        const CommSettings& settings = App().commSettings;
        const int baud = options_.baudRate.value_or(settings.bitRate);
        link.close();
        const LinkStatus opened = link.open(options_.port);
        if (!opened.ok()) {
            // Missing is the usual state while the adapter is off; anything else is said.
            tell(opened.osError == ENOENT || opened.osError == ENXIO || opened.osError == ENODEV
                     ? std::string()
                     : "cannot open the port again: " + PortOpenFailureText(opened.osError));
            return;
        }
        if (const std::string now = SerialDeviceIdentity(options_.port);
            !identity_.empty() && now != identity_) {
            link.close();
            tell("another adapter (" + (now.empty() ? std::string("unknown") : now) +
                 ") has this name now; waiting for " + identity_);
            return;
        }
        if (!link.configure(static_cast<std::uint32_t>(baud), settings.silentInterval,
                            settings.delay)
                 .ok()) {
            link.close();
            tell("the port opened again does not take the bit rate " + std::to_string(baud));
            return;
        }
        tell({});
    }

  private:
    // Each problem is said once, when it begins.
    void tell(const std::string& problem) {
        if (problem != lastProblem_ && !problem.empty())
            console_.print(index_, OutputStream::Err, problem);
        lastProblem_ = problem;
    }

    const Options& options_;
    std::size_t index_;
    LineConsole& console_;
    std::string identity_;
    std::string lastProblem_;
};

Waited WaitUntilAnswers(PortReopener& reopener, RtuMaster& link, std::uint8_t station,
                        const StopRequest& stop) {
    while (!stop.requested()) {
        const LinkStatus echo = EchoTest(link, station);
        if (echo.ok())
            return Waited::Done;
        if (echo.error == LinkError::PortGone)
            reopener.reopen(link);
        if (!stop.pause(kPollInterval))
            break;
    }
    return Waited::Stopped;
}

std::string GenericProblem(int status) {
    switch (status) {
        case kExitRefused:
            return "refused";
        case kExitCommFailed:
            return "communication failed";
        default:
            return "the job failed";
    }
}

// One port of the line: its own master, its jobs one after another.
void RunPort(const Options& options, const LineJob& job, std::size_t index, LineConsole& console,
             const StopRequest& stop, const std::shared_ptr<TrafficTrace>& trace,
             PortTally& tally) {
    Options portOptions = options;
    portOptions.port = options.ports[index];
    portOptions.ports = {portOptions.port};
    PortUi ui(console, index, options.assumeYes);
    Session session;
    RtuMaster& link = session.master;
    if (trace)
        link.setTrace(trace);
    const bool repeat = HasCommandOption(options, "repeat");
    std::uint8_t station = 0;
    bool connected = false;
    PortReopener reopener(portOptions, index, console);
    for (;;) {
        ui.clearProblem();
        link.resetRepeatedRequests();
        ui.setProgress(0);
        JobRecorder recorder(job.kind, ui, CliJobStart(portOptions));
        int status = kExitSuccess;
        if (!connected) {
            ui.setStatusText("connecting");
            status = Connect(portOptions, link, ui, station);
            connected = status == kExitSuccess;
            if (connected)
                reopener.remember();
        }
        WriteRun run{job.source, job.operation, nullptr, {}};
        if (connected)
            status = RunWrite(portOptions, link, station, run, ui, recorder);
        FinishJob(recorder, status, link);
        if (status == kExitSuccess) {
            ++tally.written;
            ui.setStatusText("written and verified");
            console.print(index, OutputStream::Out, "written and verified");
        } else {
            ++tally.failed;
            tally.worstStatus = std::max(tally.worstStatus, status);
            ui.setStatusText("failed");
            const std::string problem =
                ui.lastProblem().empty() ? GenericProblem(status) : ui.lastProblem();
            console.print(index, OutputStream::Out,
                          "failed (exit " + std::to_string(status) + "): " + problem);
        }
        if (!run.undoCommand.empty())
            console.print(index, OutputStream::Out, "to undo it: " + run.undoCommand);
        // A port that cannot be opened has no controller to wait for.
        if (!repeat || !connected || stop.requested())
            return;
        ui.setStatusText("waiting for the controller to be taken off");
        if (WaitUntilGone(link, station, stop) == Waited::Stopped)
            return;
        console.print(index, OutputStream::Out, "the controller went away; waiting for the next");
        ui.setStatusText("waiting for the next controller");
        if (WaitUntilAnswers(reopener, link, station, stop) == Waited::Stopped)
            return;
    }
}

}  // namespace

bool RunsOnLine(const Options& options) {
    return options.ports.size() > 1 || HasCommandOption(options, "repeat");
}

int RunProductionLine(const Options& options, const LineJob& job, ConsoleUi& console,
                      const std::shared_ptr<TrafficTrace>& trace) {
    Options lineOptions = options;
    if (lineOptions.ports.empty())
        lineOptions.ports = {options.port.empty() ? App().commSettings.portName : options.port};
    LineConsole lineConsole(lineOptions.ports);
    const StopRequest stop(console);
    std::vector<PortTally> tallies(lineOptions.ports.size());
    {
        // One handling for the whole line: the ports' threads install none of their own.
        SignalScope signals(console, StopSignals::EndLine);
        std::vector<std::thread> ports;
        for (std::size_t i = 0; i < lineOptions.ports.size(); ++i) {
            ports.emplace_back(
                [&, i] { RunPort(lineOptions, job, i, lineConsole, stop, trace, tallies[i]); });
        }
        for (std::thread& port : ports) port.join();
    }
    lineConsole.close();
    int status = kExitSuccess;
    PortTally total;
    for (const PortTally& tally : tallies) {
        total.written += tally.written;
        total.failed += tally.failed;
        status = std::max(status, tally.worstStatus);
    }
    if (HasCommandOption(options, "repeat")) {
        for (std::size_t i = 0; i < tallies.size(); ++i) {
            std::printf("%s: %d written, %d failed\n", lineConsole.portName(i).c_str(),
                        tallies[i].written, tallies[i].failed);
        }
        std::printf("total: %d written, %d failed\n", total.written, total.failed);
        std::fflush(stdout);
    }
    return status;
}

}  // namespace velmora::cli
