#pragma once

#include <cstdint>
#include <string>

#include "app/ui.h"
#include "link/rtu_master.h"

namespace velmora {

inline constexpr const char* kRestrictionFile = "/System/FunctionalRestriction.ini";
inline constexpr const char* kRestrictionSection = "FUNCTIONAL_RESTRICTION_DATA";
inline constexpr const char* kRestrictionReadFailedText =
    "FunctionalRestriction.ini Reading Failed";

// The operations the rule file decides on; the value selects the key prefix.
enum RestrictionOperation {
    RestrictComm = 0,
    RestrictActuator = 1,
    RestrictFile = 2,
    RestrictBackup = 3,
};

// Verdicts of the rule file. Any other value (-1 included) means the rules could not decide.
enum RestrictionVerdict : int {
    kVerdictAllowed = 0,
    kVerdictWarning = 1,
    kVerdictRefused = 2,
};

// What the rule file says for the verdict: the box texts and the work buttons to show.
struct RestrictionResult {
    std::string title;
    std::string message;
    int actuatorWriteEnabled = 0;
    int fileWriteEnabled = 0;
    int backupEnabled = 0;
    // False when the controller did not give its software version (no answer, or an exception
    // reply): the verdict then judges a version the controller never gave, and a caller that
    // must tell a silent controller from a refused one looks here.
    bool versionRead = false;
    // How the controller's two registers were read; a failure has been shown.
    LinkStatus link;
    // What the verdict was drawn from, for a front end that names it: the controller's version
    // as it gave it, and the operation's range of versions (times 100; -1 when the rule file
    // sets none).
    std::string controllerVersion;
    int svnoMin = -1;
    int svnoMax = -1;
};

// Reads the controller's software version and register 0x00EE, then the rule file, and returns
// the verdict for the operation (0 allowed, 1 warning, 2 refused; -1 for a missing rule file,
// which has shown its warning box, an unknown operation, or a verdict key without a value).
// selectionNumber is the SV number the chosen data is meant for (writing operations only).
int CheckFunctionalRestriction(RtuMaster& link, std::uint8_t stationId, int operation,
                               int selectionNumber, RestrictionResult& result, Ui& ui);

// The selection number from an SV number text such as "1.10" (110); -1 when it holds no
// number, which no controller version equals.
int SelectionNumberFromSvText(const std::string& svText);

// A version number times 100 as the controller shows it: 110 is "1.10".
std::string SvNumberText(int svNumber);

// How a verdict ended once the user has seen it.
enum class RestrictionOutcome {
    Allowed,
    WarningAccepted,
    WarningDeclined,
    Refused,
    Undecided,  // the rules gave no verdict; nothing was shown
};

// The buttons of an operation's warning: before a write to the controller Cancel is the
// default answer, so a reflex Enter writes nothing.
MessageButtons WarningButtons(int operation);

// Shows the verdict's box (warning: OK/Cancel as warningButtons give; refusal: OK; otherwise
// none) and says how it ended.
RestrictionOutcome PresentRestrictionVerdict(
    int verdict, const RestrictionResult& result, Ui& ui,
    MessageButtons warningButtons = MessageButtons::OkCancel);

// The check as the writing and backup operations run it: 0 to go on (allowed, or a warning the
// user accepted), -1 to stop. outcome, when given, receives how the check ended.
int RunRestrictionCheck(RtuMaster& link, std::uint8_t stationId, int operation, int selectionNumber,
                        Ui& ui, RestrictionOutcome* outcome = nullptr);

}  // namespace velmora
