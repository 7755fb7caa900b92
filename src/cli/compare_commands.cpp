// compare: what a controller holds against a file, or one file against another, register by
// register, as diff(1) answers: exit 0 when equal, 1 when they differ.

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/job_recorder.h"
#include "cli/actuator_records.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/job_history.h"
#include "compare/compare_sides.h"
#include "rules/restriction.h"

namespace velmora::cli {
namespace {

// An input that cannot be compared is trouble, as diff(1) says it with 2: never "they differ".
constexpr int kExitCompareTrouble = kExitUsage;
constexpr std::size_t kDiagnosticsShown = 20;

std::optional<CompareSide> Loaded(SideLoading loading, const std::string& what) {
    if (loading.side)
        return std::move(loading.side);
    std::fprintf(stderr, "velmora-cli: compare: %s cannot be compared:\n", what.c_str());
    for (std::size_t i = 0; i < loading.diagnostics.size() && i < kDiagnosticsShown; ++i) {
        std::fprintf(stderr, "  %s\n", FormatDiagnostic(loading.diagnostics[i]).c_str());
    }
    if (loading.diagnostics.size() > kDiagnosticsShown)
        std::fprintf(stderr, "  ... and %zu more\n",
                     loading.diagnostics.size() - kDiagnosticsShown);
    return std::nullopt;
}

void PrintRows(const ImageComparison& comparison) {
    std::vector<const ComparedRegister*> rows;
    std::size_t keyWidth = 3;
    std::size_t leftWidth = 1;
    std::size_t rightWidth = 1;
    for (const ComparedRegister& row : comparison.registers) {
        if (row.state != RegisterState::Differs)
            continue;
        rows.push_back(&row);
        keyWidth = std::max(keyWidth, RegisterName(row.reg).size());
        leftWidth = std::max(leftWidth, std::to_string(row.left).size());
        rightWidth = std::max(rightWidth, std::to_string(row.right).size());
    }
    for (const ComparedRegister* row : rows) {
        std::printf("0x%04x  %-*s  %*u  %*u\n", row->reg, static_cast<int>(keyWidth),
                    RegisterName(row->reg).c_str(), static_cast<int>(leftWidth),
                    unsigned{row->left}, static_cast<int>(rightWidth), unsigned{row->right});
    }
}

void PrintJson(const ImageComparison& comparison) {
    std::printf("[");
    bool first = true;
    for (const ComparedRegister& row : comparison.registers) {
        if (row.state != RegisterState::Differs)
            continue;
        std::printf("%s\n  {\"address\": \"0x%04x\", \"key\": %s, \"left\": %u, \"right\": %u}",
                    first ? "" : ",", row.reg, JsonString(RegisterName(row.reg)).c_str(),
                    unsigned{row.left}, unsigned{row.right});
        first = false;
    }
    std::printf("%s]\n", first ? "" : "\n");
}

int CompareCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                   Session& session) {
    const bool actuator = HasCommandOption(options, "part-no") || HasCommandOption(options, "sv") ||
                          HasCommandOption(options, "io");
    const std::size_t sides = args.size() + (actuator ? 1 : 0);
    if (sides < 1 || sides > 2 || (actuator && !NamesActuator(options))) {
        std::fprintf(stderr,
                     "velmora-cli: usage: compare A [B] [--json], where A and B are each a "
                     "backup file or an actuator (--part-no P --sv S --io IO [--controller C] "
                     "[--stroke S] [--data-set D]); with one, the controller is compared "
                     "against it\n");
        return kExitUsage;
    }

    // Every file and the data set are read whole before the controller is asked anything.
    JobRecord known = CliJobStart(options);
    known.kind = JobKind::Compare;
    std::vector<CompareSide> given;
    for (const std::string& path : args) {
        if (const std::string problem = InputFileProblem(path); !problem.empty()) {
            std::fprintf(stderr, "velmora-cli: compare: %s %s\n", path.c_str(), problem.c_str());
            return kExitCompareTrouble;
        }
        std::optional<CompareSide> side = Loaded(LoadBackupSide(path), path);
        if (!side)
            return kExitCompareTrouble;
        given.push_back(std::move(*side));
    }
    if (actuator) {
        stADP_FORMAT record;
        if (const int status = ChooseActuator(options, ui, record); status != kExitSuccess)
            return status == kExitUsage ? kExitUsage : kExitCompareTrouble;
        std::optional<CompareSide> side = Loaded(LoadActuatorSide(record), "the data set");
        if (!side)
            return kExitCompareTrouble;
        known.partNo = record.strPartNo;
        known.sv = record.strSVNo;
        known.io = record.strIOSpec;
        given.push_back(std::move(*side));
    }

    // The row names the first file; its digest says which file it was.
    JobRecorder recorder(JobKind::Compare, ui, std::move(known));
    if (!args.empty())
        recorder.setBackupFile(args.front());
    auto finished = [&recorder](int status, JobResult result) {
        recorder.finish(result);
        return status;
    };
    CompareSide left;
    if (given.size() == 1) {
        RtuMaster& link = session.master;
        std::uint8_t station = 0;
        if (const int failed = Connect(options, link, ui, station); failed != kExitSuccess)
            return finished(failed, JobResult::CommunicationFailed);
        if (const int refused = CheckAllowed(link, station, RestrictBackup, -1, ui,
                                             &recorder.record().controllerSv);
            refused != 0)
            return finished(refused, refused == kExitCommFailed ? JobResult::CommunicationFailed
                                                                : JobResult::Refused);
        TransferContext context{link, station, ui, nullptr};
        ControllerRead read = ControllerRead::Failed;
        {
            SignalScope signals(ui, StopSignals::Cancel);
            read = ReadControllerSide(context, left);
        }
        ui.finishProgress();
        if (read == ControllerRead::Cancelled) {
            std::fprintf(stderr, "velmora-cli: compare cancelled\n");
            return finished(kExitCancelled, JobResult::Cancelled);
        }
        if (read == ControllerRead::Failed) {
            std::fprintf(stderr,
                         "velmora-cli: the controller could not be read%s; nothing was compared\n",
                         context.linkFailure.error == LinkError::Mismatch
                             ? ": two readings of it disagree (replies came twice or late)"
                             : "");
            const int status = FailureStatus(context.linkFailure);
            return finished(status, status == kExitCommFailed ? JobResult::CommunicationFailed
                                                              : JobResult::Failed);
        }
        recorder.record().unitNameBefore = left.image.unitName().c_str();
        recorder.record().repeatedRequests = link.repeatedRequests();
    } else {
        left = std::move(given.front());
        given.erase(given.begin());
    }
    const CompareSide& right = given.front();

    const ImageComparison comparison = CompareWholeImages(left.image, right.image);
    if (HasCommandOption(options, "json")) {
        PrintJson(comparison);
    } else {
        std::printf("left:  %s\nright: %s\n", left.label.c_str(), right.label.c_str());
        PrintRows(comparison);
    }
    const std::size_t compared = comparison.registers.size() - comparison.leftOut;
    std::fprintf(stderr, "%zu of %zu registers differ", comparison.differing, compared);
    if (comparison.leftOut > 0)
        std::fprintf(stderr, "; %zu registers one side does not give were left out",
                     comparison.leftOut);
    std::fprintf(stderr, "\n");
    for (const ComparedRegister& row : comparison.registers) {
        if (row.state == RegisterState::Differs)
            recorder.record().differences.push_back(
                {row.reg, RegisterName(row.reg), row.left, row.right});
    }
    return comparison.equal() ? finished(kExitSuccess, JobResult::Equal)
                              : finished(kExitFailure, JobResult::Differ);
}

}  // namespace

void AddCompareCommands(CommandTable& table) {
    table["compare"] = CompareCommand;
}

}  // namespace velmora::cli
