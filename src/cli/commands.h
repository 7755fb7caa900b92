#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/session.h"
#include "cli/cli_ui.h"
#include "link/rtu_master.h"

namespace velmora::cli {

// Exit statuses; scripts tell a bad data set (1) from a bad cable (4) by them.
inline constexpr int kExitSuccess = 0;
// The job failed: verification found differences, or the input is not valid.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// The rule file refuses the operation for this controller, or a warning was declined.
inline constexpr int kExitRefused = 3;
// The port cannot be opened, the controller does not answer, or the line garbles the replies.
inline constexpr int kExitCommFailed = 4;
inline constexpr int kExitCancelled = 130;

struct Options {
    std::string root;
    // The first --port; every one given, in order, in ports (write-actuator and restore take
    // several).
    std::string port;
    std::vector<std::string> ports;
    std::optional<int> stationId;
    std::optional<int> baudRate;
    bool assumeYes = false;
    // Options of single commands by name without the dashes: "--sv 1.10" as {"sv", "1.10"};
    // a flag such as "--json" maps to an empty value.
    std::map<std::string, std::string> commandOptions;
};

using Command = std::function<int(const Options&, const std::vector<std::string>& args,
                                  ConsoleUi& ui, Session& session)>;
using CommandTable = std::map<std::string, Command>;

const CommandTable& Commands();

// Each group of commands adds itself to the table.
void AddLinkCommands(CommandTable& table);
void AddDataCommands(CommandTable& table);
void AddCommCommands(CommandTable& table);
void AddJobCommands(CommandTable& table);
void AddDataCheckCommands(CommandTable& table);
void AddCompareCommands(CommandTable& table);
void AddHistoryCommands(CommandTable& table);

// Opens and configures the line from the options, falling back on the settings file, and sets
// the station ID to address. Returns kExitSuccess, or the exit status after telling the user
// what failed.
int Connect(const Options& options, RtuMaster& link, CliUi& ui, std::uint8_t& station);

// Shows why a request cycle failed and gives the exit status for it.
int CommunicationFailed(Ui& ui, const LinkStatus& status);

// The operating system's reason (errno) a port open failed, with what to do about it.
std::string PortOpenFailureText(int osError);

// The exit status of a job that failed: kExitCommFailed when it failed on the line (no answer,
// an abnormal response, readings that disagree), else kExitFailure.
int FailureStatus(const LinkStatus& linkFailure);

// The rule checks before a job: the communication verdict (and the work it offers), then the
// operation's own. 0 to go on, else the exit status after telling the user why not. The
// controller's version, when it gave one, goes to controllerVersion.
int CheckAllowed(RtuMaster& link, std::uint8_t station, int operation, int selectionNumber,
                 CliUi& ui, std::string* controllerVersion = nullptr);
// Prints the rule file's verdict for every operation on the controller found, without boxes.
void PrintVerdicts(RtuMaster& link, std::uint8_t station, ConsoleUi& ui);

// Why the path cannot be read as a file ("does not exist", "is a FIFO ..."), found with stat
// alone; empty for a regular file.
std::string InputFileProblem(const std::string& path);
// Why the path cannot be written as a file; empty when it is a regular file or can be made.
std::string OutputFileProblem(const std::string& path);
// Tells the user the command is refused for the file's problem; returns kExitFailure.
int RefuseFile(const char* command, const std::string& path, const std::string& problem);
// After a backup file was refused: whether it is no backup at all or a damaged one, in a line.
void PrintBackupFileProblem(const std::string& path);

}  // namespace velmora::cli
