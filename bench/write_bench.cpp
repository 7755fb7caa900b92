// Request counts and wall times of whole jobs against the paced virtual controller: a write by
// actuator of parameters and step data with its two verifications, the backup of that
// controller, and the restore of the backup. Prints figures; it does not pass or fail.
//
// Needs the scrambled sample data beside the binary (System/Data, built by the sample data
// target). usage: velmora_write_bench [runs per rate, default 1]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "backup/backup_run.h"
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

constexpr int kSilentFactor = 1;
constexpr int kDelayMs = 5;
constexpr int kTurnaroundMs = 2;

// Notes when each status text appears and how many requests the controller had seen by then.
class PhaseUi final : public velmora::Ui {
  public:
    struct Mark {
        std::string status;
        Clock::time_point at;
        std::size_t requests;
    };

    explicit PhaseUi(velmora::sim::VirtualController& controller) : controller_(controller) {}

    velmora::MessageAnswer showMessage(const std::string& text, const std::string& title,
                                       velmora::MessageIcon icon,
                                       velmora::MessageButtons) override {
        if (icon == velmora::MessageIcon::Error) {
            std::fprintf(stderr, "  message: %s: %s\n", title.c_str(), text.c_str());
        }
        return velmora::MessageAnswer::Ok;
    }
    void setStatusText(const std::string& text) override {
        marks_.push_back({text, Clock::now(), controller_.requestCount()});
    }
    void setProgress(int) override {}
    bool cancelRequested() override { return false; }

    void start() {
        marks_.clear();
        marks_.push_back({"start", Clock::now(), controller_.requestCount()});
    }
    const std::vector<Mark>& marks() const { return marks_; }

  private:
    velmora::sim::VirtualController& controller_;
    std::vector<Mark> marks_;
};

// The least time the logged requests can take: each exchange needs its request and reply on
// the wire plus the controller's turnaround, and at least the master's silent interval and
// response delay, which run while the request is still on the wire.
double BestMs(const std::vector<std::vector<std::uint8_t>>& log, std::size_t from, std::size_t to,
              std::uint32_t baud, const velmora::RtuMaster& link) {
    double total = 0;
    for (std::size_t i = from; i < to && i < log.size(); ++i) {
        const auto& frame = log[i];
        long bytes = static_cast<long>(frame.size());
        bytes += frame.size() >= 6 && frame[1] == 0x03 ? 5 + 2 * (frame[4] << 8 | frame[5]) : 8;
        const double wire = bytes * 10.0 * 1000.0 / baud + kTurnaroundMs;
        const double waits = link.silentInterval() + link.responseDelay();
        total += wire > waits ? wire : waits;
    }
    return total;
}

struct Phase {
    const char* name;
    std::size_t requests = 0;
    double ms = 0;
    double bestMs = 0;
};

void PrintPhase(std::uint32_t baud, const char* job, const Phase& phase) {
    std::printf("%-8u %-20s %-26s %8zu %10.0f %10.0f %7.2f\n", baud, job, phase.name,
                phase.requests, phase.ms, phase.bestMs,
                phase.bestMs > 0 ? phase.ms / phase.bestMs : 0.0);
}

double Millis(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Splits a run at the status texts into the phases named by the texts that start them.
std::vector<Phase> Phases(const PhaseUi& ui, const velmora::RtuMaster& link,
                          const std::vector<std::vector<std::uint8_t>>& log,
                          const std::vector<std::pair<int, const char*>>& starts,
                          std::uint32_t baud, Clock::time_point end, std::size_t endRequests) {
    std::vector<Phase> phases;
    const auto& marks = ui.marks();
    std::vector<std::size_t> at;
    std::size_t search = 0;
    for (const auto& [id, name] : starts) {
        const std::string text = id < 0 ? "start" : velmora::MessageText(id);
        while (search < marks.size() && marks[search].status != text) {
            ++search;
        }
        if (search == marks.size()) {
            break;
        }
        at.push_back(search++);
    }
    for (std::size_t i = 0; i < at.size(); ++i) {
        const auto& first = marks[at[i]];
        const Clock::time_point stop = i + 1 < at.size() ? marks[at[i + 1]].at : end;
        const std::size_t stopRequests =
            i + 1 < at.size() ? marks[at[i + 1]].requests : endRequests;
        Phase phase{starts[i].second};
        phase.requests = stopRequests - first.requests;
        phase.ms = Millis(stop - first.at);
        phase.bestMs = BestMs(log, first.requests, stopRequests, baud, link);
        phases.push_back(phase);
    }
    return phases;
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

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1;
    if (runs <= 0) {
        std::fprintf(stderr, "usage: velmora_write_bench [runs per rate]\n");
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
    char backupPattern[] = "/tmp/velmora-write-bench-XXXXXX";
    if (::mkdtemp(backupPattern) == nullptr) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const std::string backupPath = std::string(backupPattern) + "/bench.bkp";

    std::printf(
        "write benchmark: %s (SV %s, %s), %d run(s) per rate, silent factor %d, response "
        "delay %d ms, controller turnaround %d ms, paced line\n"
        "times exclude the worker's 1000 ms settling wait after switching the writing mode\n\n",
        record.strPartNo.c_str(), record.strSVNo.c_str(), record.strIOSpec.c_str(), runs,
        kSilentFactor, kDelayMs, kTurnaroundMs);
    std::printf("%-8s %-20s %-26s %8s %10s %10s %7s\n", "bit/s", "job", "phase", "requests", "ms",
                "best ms", "ratio");

    int failures = 0;
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
        auto& controller = sim.controller();
        PhaseUi ui(controller);
        velmora::RtuMaster link;
        if (!link.open(sim.slavePath()).ok() ||
            !link.configure(baud, kSilentFactor, kDelayMs).ok()) {
            std::fprintf(stderr, "cannot open %s\n", sim.slavePath().c_str());
            return 1;
        }
        velmora::TransmitHooks hooks;
        hooks.sleep = [](int) {};

        for (int run = 0; run < runs; ++run) {
            const bool show = run == runs - 1;
            // Write by actuator: parameters and steps, each verified.
            velmora::TransferContext context{link, 1, ui, nullptr};
            const velmora::WriteSourceLoading write = velmora::LoadWriteSource(
                velmora::TransmitRequest{record, 0, velmora::kFromActuatorSelection});
            if (!write.source) {
                std::fprintf(stderr, "the sample data set does not read\n");
                return 1;
            }
            controller.clearRequestLog();
            ui.start();
            const int written = velmora::TransmitWorker(context, *write.source, hooks);
            Clock::time_point end = Clock::now();
            failures += written != 0;
            if (show) {
                const auto log = controller.requestLog();
                const std::vector<std::pair<int, const char*>> starts = {
                    {-1, "mode 200"},
                    {velmora::kMsgProgressStateParameterwrite, "area read, parameter write"},
                    {velmora::kMsgProgressStateVerify, "parameter verify"},
                    {velmora::kMsgProgressStateStepwrite, "step write"},
                    {velmora::kMsgProgressStateVerify, "step verify, date, mode 1"},
                    {velmora::kMsgProgressStateWritecomplete, "-"},
                };
                auto phases = Phases(ui, link, log, starts, baud, end, log.size());
                // After the completion status only the summary box is left: nothing to show.
                for (const auto& phase : phases) {
                    if (std::string(phase.name) != "-") {
                        PrintPhase(baud, "write by actuator", phase);
                    }
                }
                Phase total{"total"};
                total.requests = log.size();
                total.ms = Millis(end - ui.marks().front().at);
                for (const auto& phase : phases) {
                    total.bestMs += phase.bestMs;
                }
                PrintPhase(baud, "write by actuator", total);
            }

            // Backup of what was written, then its restore.
            controller.clearRequestLog();
            ui.start();
            const int saved = velmora::RunBackup(context, backupPath);
            end = Clock::now();
            failures += saved != 0;
            if (show) {
                const auto log = controller.requestLog();
                auto phases = Phases(ui, link, log, {{-1, "total"}}, baud, end, log.size());
                PrintPhase(baud, "backup", phases.front());
            }

            velmora::TransmitRequest restore;
            restore.record.strParamFile = backupPath;
            restore.fromFile = velmora::kFromBackupFile;
            const velmora::WriteSourceLoading restoring = velmora::LoadWriteSource(restore);
            if (!restoring.source) {
                std::fprintf(stderr, "the backup does not read\n");
                return 1;
            }
            controller.clearRequestLog();
            ui.start();
            const int restored = velmora::TransmitWorker(context, *restoring.source, hooks);
            end = Clock::now();
            failures += restored != 0;
            if (show) {
                const auto log = controller.requestLog();
                auto phases = Phases(ui, link, log, {{-1, "total"}}, baud, end, log.size());
                PrintPhase(baud, "restore from backup", phases.front());
            }
        }
        link.close();
        sim.stop();
    }
    fs::remove_all(backupPattern);
    std::printf(
        "\nbest = the sum over the requests of max(request and reply bytes x 10 / bit rate + "
        "turnaround, silent interval + response delay)\n");
    if (failures != 0) {
        std::printf("%d job(s) failed\n", failures);
    }
    return failures == 0 ? 0 : 1;
}
