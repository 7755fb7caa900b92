// The rule file's verdicts as velmora-cli obeys and prints them. A job obeys the verdict for
// communication as well as its own: the desktop program never opens its work dialogs for a
// controller the communication check refused, and --yes accepts warnings, never a refusal.

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "rules/restriction.h"
#include "sysfiles/app_state.h"

namespace velmora::cli {
namespace {

const char* OperationName(int operation) {
    switch (operation) {
        case RestrictComm:
            return "communication";
        case RestrictActuator:
            return "actuator write";
        case RestrictFile:
            return "file write";
        case RestrictBackup:
            return "backup";
        default:
            return "operation";
    }
}

const char* VerdictName(int verdict) {
    switch (verdict) {
        case kVerdictAllowed:
            return "allowed";
        case kVerdictWarning:
            return "warning";
        case kVerdictRefused:
            return "refused";
        default:
            return "no verdict (the rule file gives none)";
    }
}

// "controller version 10.00, the rule file's versions for backup 1.00 to 9.99", and for a write
// the version its data was made for.
std::string VersionsText(int operation, const RestrictionResult& result, int selectionNumber) {
    std::string text = "controller version " + result.controllerVersion + ", the rule file's " +
                       "versions for " + OperationName(operation) + " ";
    text += result.svnoMin < 0 || result.svnoMax < 0
                ? std::string("not set")
                : SvNumberText(result.svnoMin) + " to " + SvNumberText(result.svnoMax);
    if ((operation == RestrictActuator || operation == RestrictFile) && selectionNumber >= 0)
        text += ", data made for " + SvNumberText(selectionNumber);
    return text;
}

// The flag of the communication verdict that shows the operation's work button.
int ButtonShown(int operation, const RestrictionResult& comm) {
    switch (operation) {
        case RestrictActuator:
            return comm.actuatorWriteEnabled;
        case RestrictFile:
            return comm.fileWriteEnabled;
        case RestrictBackup:
            return comm.backupEnabled;
        default:
            return 1;
    }
}

// One rule check with its box: 0 to go on, else the exit status. result receives the check.
int CheckOne(RtuMaster& link, std::uint8_t station, int operation, int selectionNumber,
             RestrictionResult& result, CliUi& ui) {
    const int verdict =
        CheckFunctionalRestriction(link, station, operation, selectionNumber, result, ui);
    // A controller that does not give its version is a line failure, not a refusal: the rules'
    // verdict would judge a version it never gave, so their box is not shown.
    if (!result.versionRead || IsCommunicationFailure(result.link)) {
        ui.err(
            "velmora-cli: the controller did not answer the rule check's reads "
            "(port %s, station %u, %u bit/s); nothing was done\n",
            link.portName().c_str(), unsigned{station}, link.baudRate());
        return kExitCommFailed;
    }
    if (verdict == kVerdictWarning || verdict == kVerdictRefused)
        ui.err("velmora-cli: %s: %s: %s\n", OperationName(operation), VerdictName(verdict),
               VersionsText(operation, result, selectionNumber).c_str());
    switch (PresentRestrictionVerdict(verdict, result, ui, WarningButtons(operation))) {
        case RestrictionOutcome::Allowed:
        case RestrictionOutcome::WarningAccepted:
            return 0;
        case RestrictionOutcome::WarningDeclined:
            ui.err("velmora-cli: stopped: the warning was not accepted\n");
            return kExitRefused;
        case RestrictionOutcome::Refused:
            ui.err("velmora-cli: refused by the rule file for this controller (%s)\n",
                   OperationName(operation));
            return kExitRefused;
        case RestrictionOutcome::Undecided:
            break;
    }
    ui.err("velmora-cli: the rule file gives no verdict for %s; nothing was done\n",
           OperationName(operation));
    return kExitRefused;
}

}  // namespace

int CheckAllowed(RtuMaster& link, std::uint8_t station, int operation, int selectionNumber,
                 CliUi& ui, std::string* controllerVersion) {
    RestrictionResult comm;
    const int status = CheckOne(link, station, RestrictComm, -1, comm, ui);
    if (controllerVersion != nullptr && comm.versionRead)
        *controllerVersion = comm.controllerVersion;
    if (status != 0)
        return status;
    if (ButtonShown(operation, comm) == 0) {
        ui.err(
            "velmora-cli: the rule file's communication verdict does not offer %s for "
            "this controller; nothing was done\n",
            OperationName(operation));
        return kExitRefused;
    }
    RestrictionResult own;
    return CheckOne(link, station, operation, selectionNumber, own, ui);
}

void PrintVerdicts(RtuMaster& link, std::uint8_t station, ConsoleUi& ui) {
    // Without the rule file every check would show its box again; the search showed it once.
    std::error_code error;
    if (!std::filesystem::is_regular_file(ModulePath(kRestrictionFile), error))
        return;
    // Writes are judged for data made for the controller's own version (taken from the first
    // check); other data may draw a warning of its own.
    int selectionNumber = -1;
    int commVerdict = -1;
    for (const int operation : {RestrictComm, RestrictActuator, RestrictFile, RestrictBackup}) {
        RestrictionResult result;
        const int verdict =
            CheckFunctionalRestriction(link, station, operation, selectionNumber, result, ui);
        if (!result.versionRead || IsCommunicationFailure(result.link)) {
            std::printf("%s: the controller did not give its version\n", OperationName(operation));
            continue;
        }
        if (operation == RestrictComm) {
            selectionNumber = SelectionNumberFromSvText(result.controllerVersion);
            commVerdict = verdict;
        }
        std::printf("%s: %s (%s)\n", OperationName(operation), VerdictName(verdict),
                    VersionsText(operation, result, -1).c_str());
    }
    if (commVerdict != kVerdictAllowed && commVerdict != kVerdictWarning)
        std::printf("no job runs on this controller: the communication verdict comes first\n");
}

}  // namespace velmora::cli
