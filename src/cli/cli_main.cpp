// velmora-cli: the controller link from a shell, for service scripts, the production line and
// the test bench.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/production_line.h"
#include "link/traffic_trace.h"
#include "platform/bit_rates.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "sysfiles/settings_file.h"

namespace velmora::cli {
namespace {

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: velmora-cli [options] COMMAND [ARGS]\n"
        "\n"
        "commands:\n"
        "  ports                  list the serial ports present\n"
        "  search                 find the controller: every station ID at every bit rate\n"
        "  check                  check the controller at --id and --baud\n"
        "  echo                   check that the controller answers (diagnostics echo)\n"
        "  version                read the controller's software version\n"
        "  read ADDR COUNT        read COUNT holding registers from ADDR\n"
        "  write ADDR VALUE...    write holding registers from ADDR on\n"
        "  pack PLAIN SCRAMBLED   store a plain data file in the scrambled form\n"
        "  unpack SCRAMBLED PLAIN turn a stored data file back into plain text ('-': stdout)\n"
        "  actuators [--json]     list the actuator table of the program folder, one record a\n"
        "                         line (13 tab-separated fields) or as a JSON array\n"
        "  write-actuator --part-no P --sv S --io IO [--contents both|params|steps]\n"
        "                         write an actuator's data set into the controller and verify\n"
        "                         (the controller is backed up into Backups/ first; the\n"
        "                         restore command that undoes the write is printed)\n"
        "  backup FILE            save the controller's parameters and steps into FILE\n"
        "  restore FILE [--contents both|params|steps]\n"
        "                         write a backup file back into the controller and verify\n"
        "  --no-auto-backup       (write-actuator, restore) write without a backup first\n"
        "  compare A [B] [--json] the controller against A, or A against B, register by\n"
        "                         register; A and B each a backup file or an actuator\n"
        "                         (--part-no P --sv S --io IO); exit 0 equal, 1 differ\n"
        "  language [CODE]        list the languages (the one in use marked *), or switch the\n"
        "                         program's texts to CODE (ja, en, ...)\n"
        "  check-data [DIR]       check a data folder before it is shipped (default: the\n"
        "                         program's System/Data); exit 1 on any problem\n"
        "  history [--json] [--limit N] [--since YYYY-MM-DD]\n"
        "                         list the jobs of the service history (history.db), newest\n"
        "                         first, as a table or as a JSON array\n"
        "\n"
        "options (defaults from System/CommunicationSetting.ini):\n"
        "  --port PORT            serial port (device path, or COMn from older settings);\n"
        "                         write-actuator and restore take several, one job on each at\n"
        "                         once\n"
        "  --repeat               (write-actuator, restore) after each job wait for the\n"
        "                         controller to go and the next one to answer, and do the job\n"
        "                         again; Ctrl-C ends the waiting\n"
        "  --id N                 station ID, 1 to 247 (search tries 1 to 32)\n"
        "  --baud B               bit rate: 9600, 19200, 38400, 57600, 115200, 230400\n"
        "  --trace FILE           record every frame on the line in FILE (appended; at 8 MiB it\n"
        "                         moves to FILE.1 and a new FILE starts)\n"
        "  --root DIR             program folder holding System/ (default: the program's folder\n"
        "                         when its System/ may be written, else the per-user copy in\n"
        "                         $XDG_DATA_HOME/velmora, ~/.local/share/velmora by default)\n"
        "  --yes                  accept warnings without asking\n"
        "  --help                 show this text\n"
        "  --version              show the program's version\n"
        "\n"
        "numbers may be decimal or hexadecimal with 0x.\n"
        "\n"
        "exit status:\n"
        "  0    success\n"
        "  1    the job failed: verification found differences, or the input is not valid\n"
        "  2    bad usage\n"
        "  3    refused by the rule file, or a warning declined\n"
        "  4    communication failed: the port cannot be opened, the controller does not\n"
        "       answer, or the line garbles its replies\n"
        "  130  cancelled (Ctrl-C, SIGTERM or SIGHUP; a write always runs to its end)\n",
        to);
}

// Options that only some commands take, and which commands take them: an option given to a
// command that does not take it is refused rather than silently ignored.
const std::set<std::string> kCommandValueOptions = {"--part-no",  "--sv",         "--io",
                                                    "--contents", "--controller", "--stroke",
                                                    "--data-set", "--limit",      "--since"};
const std::set<std::string> kCommandFlags = {"--json", "--no-auto-backup", "--repeat"};
const std::map<std::string, std::set<std::string>> kCommandOptionsTaken = {
    {"actuators", {"json"}},
    {"write-actuator",
     {"part-no", "sv", "io", "contents", "controller", "stroke", "data-set", "no-auto-backup",
      "repeat"}},
    {"restore", {"contents", "no-auto-backup", "repeat"}},
    {"compare", {"part-no", "sv", "io", "controller", "stroke", "data-set", "json"}},
    {"history", {"json", "limit", "since"}},
};

// The commands that run on several ports at once.
const std::set<std::string> kLineCommands = {"write-actuator", "restore"};

// The first command option (as given, with its dashes) the command does not take; empty when
// it takes them all.
std::string OptionNotTaken(const std::string& command, const std::vector<std::string>& given) {
    const auto found = kCommandOptionsTaken.find(command);
    for (const std::string& option : given) {
        if (found == kCommandOptionsTaken.end() || found->second.count(option.substr(2)) == 0)
            return option;
    }
    return {};
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ParseInt(const std::string& text, long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 0);
    return errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace

int Main(int argc, char** argv) {
    Options options;
    std::string tracePath;
    std::vector<std::string> positional;
    std::vector<std::string> commandOptionsGiven;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velmora-cli: %s needs a value\n", arg.c_str());
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::string text;
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return kExitSuccess;
        } else if (arg == "--version") {
            std::printf("velmora-cli %s\n", VELMORA_PROJECT_VERSION);
            return kExitSuccess;
        } else if (arg == "--yes" || arg == "-y") {
            options.assumeYes = true;
        } else if (arg == "--port" || arg == "--root" || arg == "--trace") {
            if (!value(text))
                return kExitUsage;
            if (text.empty()) {
                std::fprintf(stderr, "velmora-cli: %s wants a value, not an empty one\n",
                             arg.c_str());
                return kExitUsage;
            }
            if (arg == "--port")
                options.ports.push_back(text);
            else
                (arg == "--root" ? options.root : tracePath) = text;
        } else if (arg == "--id" || arg == "--baud") {
            if (!value(text))
                return kExitUsage;
            if (!ParseInt(text, number)) {
                std::fprintf(stderr, "velmora-cli: %s wants a number, not '%s'\n", arg.c_str(),
                             text.c_str());
                return kExitUsage;
            }
            (arg == "--id" ? options.stationId : options.baudRate) = static_cast<int>(number);
        } else if (kCommandValueOptions.count(arg) != 0) {
            if (!value(text))
                return kExitUsage;
            options.commandOptions[arg.substr(2)] = text;
            commandOptionsGiven.push_back(arg);
        } else if (kCommandFlags.count(arg) != 0) {
            options.commandOptions[arg.substr(2)] = std::string();
            commandOptionsGiven.push_back(arg);
        } else if (arg.size() > 2 && arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "velmora-cli: unknown option %s\n", arg.c_str());
            return kExitUsage;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    // Other commands talk to one port: the last --port given, as it always was.
    if (options.ports.size() > 1 && kLineCommands.count(positional.front()) == 0)
        options.ports = {options.ports.back()};
    if (!options.ports.empty())
        options.port = options.ports.front();
    if (std::set<std::string>(options.ports.begin(), options.ports.end()).size() !=
        options.ports.size()) {
        std::fprintf(stderr, "velmora-cli: a --port is given twice\n");
        return kExitUsage;
    }
    if (options.stationId && (*options.stationId < 1 || *options.stationId > 247)) {
        std::fprintf(stderr, "velmora-cli: --id must be a station ID from 1 to 247\n");
        return kExitUsage;
    }
    if (options.baudRate && (*options.baudRate < 0 ||
                             !IsSupportedBitRate(static_cast<std::uint32_t>(*options.baudRate)))) {
        std::fprintf(stderr, "velmora-cli: --baud %d is not a bit rate the line can run at\n",
                     *options.baudRate);
        return kExitUsage;
    }
    for (std::size_t i = 1; i < positional.size(); ++i) {
        if (positional[i].empty()) {
            std::fprintf(stderr, "velmora-cli: %s: argument %zu is empty\n",
                         positional.front().c_str(), i);
            return kExitUsage;
        }
    }
    // A folder without System/ is no program folder: every command would find nothing there.
    if (!options.root.empty() && !IsFolder(options.root + "/System")) {
        std::fprintf(stderr, "velmora-cli: --root %s holds no System/ folder\n",
                     options.root.c_str());
        return kExitUsage;
    }

    UseProgramFolder(options.root);
    AppState& app = App();

    ConsoleUi ui(options.assumeYes);
    const std::string command = positional.front();
    const std::vector<std::string> args(positional.begin() + 1, positional.end());
    const CommandTable& commands = Commands();
    const auto found = commands.find(command);
    if (found == commands.end()) {
        std::fprintf(stderr, "velmora-cli: unknown command '%s'\n", command.c_str());
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (const std::string option = OptionNotTaken(command, commandOptionsGiven); !option.empty()) {
        std::fprintf(stderr, "velmora-cli: %s does not take %s\n", command.c_str(), option.c_str());
        return kExitUsage;
    }
    // An unattended run asks no one: a question would hold up every port.
    if (RunsOnLine(options))
        ui.setAsking(Asking::Never);
    LoadMessageTable(ui);
    ReadCommSettings(ModulePath(kCommSettingsFile), app.commSettings);
    Session session;
    std::shared_ptr<TrafficTrace> trace;
    if (!tracePath.empty()) {
        // Checked before the command sends anything: a run meant to be recorded is not made
        // without its record.
        trace = std::make_shared<TrafficTrace>(tracePath);
        if (const TraceStatus opened = trace->open(); !opened.ok()) {
            std::fprintf(stderr, "velmora-cli: --trace %s cannot be written: %s\n",
                         tracePath.c_str(), std::strerror(opened.osError));
            return kExitUsage;
        }
        // Said as it happens, once: the run goes on without its record from here.
        trace->setFailureHandler([tracePath](const TraceStatus& failure) {
            // A file that cannot move aside at its cap grows on; any other failure ends it.
            const char* what = failure.error == TraceError::RotateFailed
                                   ? "cannot be moved aside at its size cap and grows on"
                                   : "stopped";
            std::fprintf(stderr, "\nvelmora-cli: the trace %s %s, the run goes on: %s\n",
                         tracePath.c_str(), what, std::strerror(failure.osError));
        });
        session.master.setTrace(trace);
    }
    const int status = found->second(options, args, ui, session);
    ui.finishProgress();
    // Said again at the end: live status lines may have drawn over the line said mid-run.
    if (trace) {
        if (const TraceStatus written = trace->failure(); !written.ok()) {
            std::fprintf(stderr, "velmora-cli: the trace %s is incomplete: %s\n", tracePath.c_str(),
                         std::strerror(written.osError));
        }
    }
    return status;
}

}  // namespace velmora::cli

int main(int argc, char** argv) {
    velmora::cli::IgnoreBrokenPipes();
    return velmora::cli::Main(argc, argv);
}
