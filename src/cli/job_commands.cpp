// The work jobs of the function page from a shell: the actuator table, write by actuator,
// backup and restore.

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/auto_backup.h"
#include "backup/backup_run.h"
#include "cli/actuator_records.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/job_history.h"
#include "cli/production_line.h"
#include "data/file_selection.h"
#include "link/rtu_master.h"
#include "model/actuator_table.h"
#include "rules/restriction.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "transmit/transmit_contents.h"
#include "transmit/transmit_request.h"
#include "transmit/transmit_worker.h"
#include "transmit/write_source.h"

namespace velmora::cli {
namespace {

constexpr std::size_t kDifferencesShown = 20;

// ---- Texts -------------------------------------------------------------------------------

// Texts from the language file end lines with CR LF.
std::string WithoutCr(std::string text) {
    std::erase(text, '\r');
    return text;
}

// ---- Options -----------------------------------------------------------------------------

// --contents as the write-contents index: 0 both, 1 parameters only, 2 steps only; -1 when
// the value is none of the three.
int WriteContentsOption(const Options& options) {
    if (!HasCommandOption(options, "contents"))
        return 0;
    static const std::array<const char*, 3> kNames = {"both", "params", "steps"};
    const std::string value = CommandOption(options, "contents");
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (value == kNames[i])
            return static_cast<int>(i);
    }
    std::fprintf(stderr, "velmora-cli: --contents takes both, params or steps, not '%s'\n",
                 value.c_str());
    return -1;
}

// ---- The actuator table ------------------------------------------------------------------

using RecordField = std::string stADP_FORMAT::*;

// The record's fields in the order the list file gives them, then the list file itself; the
// names are the JSON keys.
const std::array<std::pair<const char*, RecordField>, 13> kRecordFields = {{
    {"partNo", &stADP_FORMAT::strPartNo},
    {"model", &stADP_FORMAT::strModel},
    {"controller", &stADP_FORMAT::strController},
    {"motorDirection", &stADP_FORMAT::strMotorDir},
    {"lead", &stADP_FORMAT::strLead},
    {"stroke", &stADP_FORMAT::strStroke},
    {"sv", &stADP_FORMAT::strSVNo},
    {"io", &stADP_FORMAT::strIOSpec},
    {"paramVersion", &stADP_FORMAT::strParamVersion},
    {"paramFile", &stADP_FORMAT::strParamFile},
    {"stepFile", &stADP_FORMAT::strStepFile},
    {"dataColumn", &stADP_FORMAT::strParamColumn},
    {"listFile", &stADP_FORMAT::strDataFile},
}};

int ActuatorsCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                     Session&) {
    if (!args.empty()) {
        std::fprintf(stderr, "velmora-cli: actuators takes no arguments\n");
        return kExitUsage;
    }
    const std::vector<stADP_FORMAT> table = LoadTable(ui);
    if (table.empty())
        std::fprintf(stderr, "velmora-cli: no actuator records under %s\n",
                     ProgramRoot().string().c_str());
    if (HasCommandOption(options, "json")) {
        std::printf("[");
        for (std::size_t i = 0; i < table.size(); ++i) {
            std::printf("%s\n  {", i == 0 ? "" : ",");
            for (std::size_t f = 0; f < kRecordFields.size(); ++f) {
                const auto& [name, member] = kRecordFields[f];
                std::printf("%s\"%s\": %s", f == 0 ? "" : ", ", name,
                            JsonString(table[i].*member).c_str());
            }
            std::printf(", \"dataSet\": %s}", JsonString(DataSetOf(table[i])).c_str());
        }
        std::printf("%s]\n", table.empty() ? "" : "\n");
        return kExitSuccess;
    }
    for (const stADP_FORMAT& record : table) {
        for (std::size_t f = 0; f < kRecordFields.size(); ++f) {
            std::printf("%s%s", f == 0 ? "" : "\t", (record.*kRecordFields[f].second).c_str());
        }
        std::printf("\n");
    }
    return kExitSuccess;
}

// ---- Writing -----------------------------------------------------------------------------

std::string WriteContentsText(int contents, Ui& ui) {
    static const std::vector<std::string> kKeys = {"LIST_WRITECONTENTS_PARAM_AND_STEP",
                                                   "LIST_WRITECONTENTS_PARAMONLY",
                                                   "LIST_WRITECONTENTS_STEPONLY"};
    if (contents < 0 || static_cast<std::size_t>(contents) >= kKeys.size())
        return {};
    return LanguageTexts({kKeys[static_cast<std::size_t>(contents)]}, ui).front();
}

// What the transmit dialog shows before a write.
void PrintContents(const TransmitContents& contents, CliUi& ui) {
    const std::vector<std::string> labels = LanguageTexts(
        {"DLG_TRANSMIT_TEXT_ACTUATOR", "DLG_TRANSMIT_TEXT_CONTROLLER", "DLG_TRANSMIT_TEXT_SV",
         "DLG_TRANSMIT_TEXT_PARAMETER", "DLG_TRANSMIT_TEXT_WRITECONTENTS"},
        ui);
    const std::array<const std::string*, 5> values = {&contents.partNo, &contents.controller,
                                                      &contents.svNo, &contents.paramVersion,
                                                      &contents.writeContents};
    for (std::size_t i = 0; i < values.size(); ++i) {
        ui.out("%-24s %s\n", (labels[i] + ":").c_str(), values[i]->c_str());
    }
}

void ShowSvError(Ui& ui) {
    const std::vector<std::string> texts = LanguageTexts(
        {"DLG_SVERR_TITLE", "DLG_SVERR_ALARM_CONTENTS", "DLG_SVERR_COUNTERMEASURE_CONTENTS",
         "DLG_SVERR_CONFIRM_1", "DLG_SVERR_CONFIRM_1_CONTENTS", "DLG_SVERR_CONFIRM_2",
         "DLG_SVERR_CONFIRM_2_CONTENTS"},
        ui);
    const std::string text = texts[1] + "\n" + MessageText(kMsgAlarmCountermeasureTitle) + "\n  " +
                             texts[2] + "\n" + texts[3] + "\n  " + texts[4] + "\n" + texts[5] +
                             "\n  " + texts[6];
    ui.showMessage(text, texts[0], MessageIcon::Error, MessageButtons::Ok);
}

void PrintCaution(const TransmitContents& contents, CliUi& ui) {
    const std::vector<std::string> texts =
        LanguageTexts({"DLG_TRANSMIT_TEXT_CAUTION_CONTENTS", "DLG_TRANSMIT_TEXT_CONTROLLER"}, ui);
    ui.out("%s\n  %s: %s\n", WithoutCr(texts[0]).c_str(), texts[1].c_str(),
           contents.controller.c_str());
}

// A job that rode out line errors says so: the line or the cable may want looking at.
void PrintRepeatedRequests(const RtuMaster& link, CliUi& ui) {
    const int repeated = link.repeatedRequests();
    if (repeated > 0)
        ui.err("%d request%s repeated after line errors\n", repeated, repeated == 1 ? "" : "s");
}

void PrintDifferences(const std::vector<VerifyDifference>& differences, CliUi& ui) {
    if (differences.empty())
        return;
    ui.err("%zu row(s) read back differently%s:\n", differences.size(),
           differences.size() > kDifferencesShown ? " (the first 20 follow)" : "");
    ui.err("  %-8s %-24s %-16s %s\n", "register", "key", "written", "read");
    const std::size_t shown = std::min(differences.size(), kDifferencesShown);
    for (std::size_t i = 0; i < shown; ++i) {
        const VerifyDifference& row = differences[i];
        char written[24];
        char read[24];
        std::snprintf(written, sizeof written, "%u (0x%04x)", unsigned{row.written},
                      unsigned{row.written});
        std::snprintf(read, sizeof read, "%u (0x%04x)", unsigned{row.read}, unsigned{row.read});
        ui.err("  0x%04x   %-24s %-16s %s\n", row.reg, row.key.empty() ? "-" : row.key.c_str(),
               written, read);
    }
}

// A word for a shell: quoted unless it is plain.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               std::string_view("-_./:=+,").find(c) != std::string_view::npos;
    });
    if (plain)
        return word;
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The command that writes the state before the write back.
std::string UndoCommand(const Options& options, const RtuMaster& link, std::uint8_t station,
                        const std::string& backupPath) {
    std::string command = "velmora-cli";
    if (!options.root.empty())
        command += " --root " + ShellWord(options.root);
    command += " --port " + ShellWord(link.portName()) + " --id " + std::to_string(station) +
               " --baud " + std::to_string(link.baudRate()) + " restore " + ShellWord(backupPath);
    return command;
}

// Reads and validates the whole input before anything reaches the controller. Nothing, with
// the exit status in status, when it is invalid or the user declined what it holds (the
// message has been shown).
std::optional<WriteSource> LoadSource(const TransmitRequest& request, ConsoleUi& ui, int& status) {
    WriteSourceLoading loading = LoadWriteSource(request);
    switch (ConfirmWriteSource(loading, ui)) {
        case SourceVerdict::Go:
            return std::move(loading.source);
        case SourceVerdict::Invalid:
            std::fprintf(stderr, "velmora-cli: the input is not valid; nothing was written\n");
            status = kExitFailure;
            break;
        case SourceVerdict::Declined:
            std::fprintf(stderr, "velmora-cli: stopped: the warning was not accepted\n");
            status = kExitRefused;
            break;
    }
    return std::nullopt;
}

}  // namespace

int RunWrite(const Options& options, RtuMaster& link, std::uint8_t station, WriteRun& run,
             CliUi& ui, JobRecorder& recorder) {
    const WriteSource& source = run.source;
    const TransmitRequest& request = source.request;
    RecordWriteSource(recorder, source);
    const int refused = CheckAllowed(link, station, run.operation,
                                     SelectionNumberFromSvText(request.record.strSVNo), ui,
                                     &recorder.record().controllerSv);
    if (refused != 0)
        return refused;
    RecordUnitNameBefore(recorder, link, station);

    const TransmitContents contents =
        MakeTransmitContents(request.record, WriteContentsText(request.writeContents, ui));
    PrintContents(contents, ui);

    std::vector<VerifyDifference> differences;
    TransferContext context{link, station, ui, &differences};
    TransmitHooks hooks;
    hooks.showSvError = [&ui] { ShowSvError(ui); };
    if (!HasCommandOption(options, "no-auto-backup"))
        hooks.autoBackupFolder = ModulePath(kAutoBackupFolder);
    // The nameplate advice only follows a write that succeeded and names a controller; after a
    // failure it would send the technician to relabel a controller holding the wrong data.
    bool cautionDue = false;
    hooks.showCaution = [&] {
        ui.finishProgress();
        cautionDue = true;
    };
    int result = -1;
    {
        std::optional<SignalScope> signals;
        if (run.console != nullptr)
            signals.emplace(*run.console, StopSignals::Refuse);
        result = TransmitWorker(context, source, hooks);
    }
    ui.finishProgress();
    PrintRepeatedRequests(link, ui);
    PrintDifferences(differences, ui);
    recorder.record().autoBackupPath = context.autoBackupPath;
    if (context.writingBegan && !context.autoBackupPath.empty()) {
        run.undoCommand = UndoCommand(options, link, station, context.autoBackupPath);
        ui.out("state before the write saved: %s\n", context.autoBackupPath.c_str());
        if (!run.onLine())
            ui.out("to undo it: %s\n", run.undoCommand.c_str());
    }
    recorder.setDifferences(differences);
    if (result == 0) {
        if (cautionDue && contents.controller != kNotInBackup)
            PrintCaution(contents, ui);
        if (!run.onLine())
            ui.out("written and verified: %s\n", contents.writeContents.c_str());
        if (!source.masked.empty())
            ui.out(
                "%zu value(s) of the data set did not fit their registers and were "
                "written as their low bits\n",
                source.masked.size());
        return kExitSuccess;
    }
    if (result == kTransmitSvError) {
        ui.err("velmora-cli: the controller reports version 0.00; nothing written\n");
        return kExitRefused;
    }
    if (result == kTransmitAutoBackupFailed) {
        const int status = FailureStatus(context.linkFailure);
        ui.err(
            "velmora-cli: the backup before writing failed%s; nothing was written (write "
            "without one with --no-auto-backup)\n",
            status == kExitCommFailed ? ": the controller did not answer as it should" : "");
        return status;
    }
    const int status = FailureStatus(context.linkFailure);
    ui.err("velmora-cli: the write failed (NG)%s\n",
           status == kExitCommFailed ? ": the controller did not answer as it should" : "");
    return status;
}

namespace {

// One port as before, or the production line for several ports or --repeat.
int WriteOnPorts(const Options& options, const WriteSource& source, int operation, JobKind kind,
                 ConsoleUi& ui, Session& session) {
    if (RunsOnLine(options))
        return RunProductionLine(options, LineJob{source, operation, kind}, ui,
                                 session.master.trace());
    RtuMaster& link = session.master;
    std::uint8_t station = 0;
    JobRecorder recorder(kind, ui, CliJobStart(options));
    if (const int failed = Connect(options, link, ui, station); failed != kExitSuccess)
        return FinishJob(recorder, failed, link);
    WriteRun run{source, operation, &ui, {}};
    return FinishJob(recorder, RunWrite(options, link, station, run, ui, recorder), link);
}

int WriteActuatorCommand(const Options& options, const std::vector<std::string>& args,
                         ConsoleUi& ui, Session& session) {
    if (!args.empty() || !NamesActuator(options)) {
        std::fprintf(stderr,
                     "velmora-cli: usage: write-actuator --part-no P --sv S --io IO "
                     "[--controller C] [--stroke S] [--data-set D] "
                     "[--contents both|params|steps]\n");
        return kExitUsage;
    }
    const int contents = WriteContentsOption(options);
    if (contents < 0)
        return kExitUsage;

    TransmitRequest request;
    request.writeContents = contents;
    request.fromFile = kFromActuatorSelection;
    if (const int chosen = ChooseActuator(options, ui, request.record); chosen != kExitSuccess)
        return chosen;
    int status = kExitFailure;
    const std::optional<WriteSource> source = LoadSource(request, ui, status);
    if (!source)
        return status;
    return WriteOnPorts(options, *source, RestrictActuator, JobKind::WriteActuator, ui, session);
}

int RestoreCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                   Session& session) {
    if (args.size() != 1) {
        std::fprintf(stderr, "velmora-cli: usage: restore FILE [--contents both|params|steps]\n");
        return kExitUsage;
    }
    const int contents = WriteContentsOption(options);
    if (contents < 0)
        return kExitUsage;

    TransmitRequest request;
    request.writeContents = contents;
    request.fromFile = kFromBackupFile;
    if (const std::string problem = InputFileProblem(args[0]); !problem.empty())
        return RefuseFile("restore", args[0], problem);
    if (DescribeBackupFile(args[0], request.record, ui) != 0) {
        PrintBackupFileProblem(args[0]);
        return kExitFailure;
    }
    int status = kExitFailure;
    const std::optional<WriteSource> source = LoadSource(request, ui, status);
    if (!source)
        return status;
    return WriteOnPorts(options, *source, RestrictFile, JobKind::Restore, ui, session);
}

// ---- Backup ------------------------------------------------------------------------------

int BackupCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                  Session& session) {
    if (args.size() != 1) {
        std::fprintf(stderr, "velmora-cli: usage: backup FILE\n");
        return kExitUsage;
    }
    // Told before the controller is read, not after.
    if (const std::string problem = OutputFileProblem(args[0]); !problem.empty())
        return RefuseFile("backup", args[0], problem);
    RtuMaster& link = session.master;
    std::uint8_t station = 0;
    JobRecorder recorder(JobKind::Backup, ui, CliJobStart(options));
    recorder.record().backupPath = args[0];
    if (const int failed = Connect(options, link, ui, station); failed != kExitSuccess)
        return FinishJob(recorder, failed, link);
    const int refused =
        CheckAllowed(link, station, RestrictBackup, -1, ui, &recorder.record().controllerSv);
    if (refused != 0)
        return FinishJob(recorder, refused, link);

    TransferContext context{link, station, ui, nullptr};
    int result = -1;
    {
        SignalScope signals(ui, StopSignals::Cancel);
        result = RunBackup(context, args[0]);
    }
    ui.finishProgress();
    PrintRepeatedRequests(link, ui);
    if (result == 0) {
        std::printf("backup saved: %s\n", args[0].c_str());
        return FinishJob(recorder, kExitSuccess, link);
    }
    if (ui.cancelRequested()) {
        std::fprintf(stderr, "velmora-cli: backup cancelled; no file was saved\n");
        return FinishJob(recorder, kExitCancelled, link);
    }
    const int status = FailureStatus(context.linkFailure);
    std::fprintf(stderr, "velmora-cli: the backup failed%s; nothing was saved\n",
                 status == kExitCommFailed ? ": the controller did not answer as it should" : "");
    return FinishJob(recorder, status, link);
}

}  // namespace

void AddJobCommands(CommandTable& table) {
    table["actuators"] = ActuatorsCommand;
    table["write-actuator"] = WriteActuatorCommand;
    table["backup"] = BackupCommand;
    table["restore"] = RestoreCommand;
}

}  // namespace velmora::cli
