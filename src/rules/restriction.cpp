#include "rules/restriction.h"

#include <array>
#include <cctype>
#include <climits>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "app/link_messages.h"
#include "link/register_ops.h"
#include "platform/codepage.h"
#include "platform/profile.h"
#include "sysfiles/app_state.h"
#include "sysfiles/settings_file.h"

namespace velmora {
namespace {

// A text holds at most 256 characters and is cut to what fits into 256 bytes of the rule
// file's locale.
constexpr std::size_t kTextBufferSize = 257;
constexpr std::size_t kTextMaxBytes = 256;
constexpr int kMessageSlots = 255;
// Without the rule file there is no title of its own to show.
constexpr const char* kReadFailedTitle = "Velmora";

constexpr int kRuleCount = 26;
constexpr int kVerdictFirst = 6;
constexpr int kOutcomeFirst = 14;  // records of four: MESSAGE, ACTUATOR, FILE, BACKUP

// Key suffixes in rule-block order; an empty suffix leaves the position unread (-1).
constexpr std::array<std::string_view, kRuleCount> kCommRuleKeys = {
    "_SVNO_MIN",
    "_SVNO_MAX",
    "_SVNO_OK_BKC_MIN",
    "_SVNO_OK_BKC_MAX",
    "_SVNO_NG_BKC_MIN",
    "_SVNO_NG_BKC_MAX",
    "_SVNO_OK_BKC_OK",
    "_SVNO_OK_BKC_NG",
    "_SVNO_NG_BKC_OK",
    "_SVNO_NG_BKC_NG",
    "",
    "",
    "",
    "",
    "_1_MESSAGE",
    "_1_ACTUATOR",
    "_1_FILE",
    "_1_BACKUP",
    "_2_MESSAGE",
    "_2_ACTUATOR",
    "_2_FILE",
    "_2_BACKUP",
    "_3_MESSAGE",
    "_3_ACTUATOR",
    "_3_FILE",
    "_3_BACKUP",
};
constexpr std::array<std::string_view, kRuleCount> kWriteRuleKeys = {
    "_SVNO_MIN",
    "_SVNO_MAX",
    "_SVNO_OK_BKC_MIN",
    "_SVNO_OK_BKC_MAX",
    "_SVNO_NG_BKC_MIN",
    "_SVNO_NG_BKC_MAX",
    "_SVNO_OK_BKC_OK_SEL_OK",
    "_SVNO_OK_BKC_OK_SEL_NG",
    "_SVNO_OK_BKC_NG_SEL_OK",
    "_SVNO_OK_BKC_NG_SEL_NG",
    "_SVNO_NG_BKC_OK_SEL_OK",
    "_SVNO_NG_BKC_OK_SEL_NG",
    "_SVNO_NG_BKC_NG_SEL_OK",
    "_SVNO_NG_BKC_NG_SEL_NG",
    "_1_MESSAGE",
    "_1_ACTUATOR",
    "_1_FILE",
    "_1_BACKUP",
    "_2_MESSAGE",
    "_2_ACTUATOR",
    "_2_FILE",
    "_2_BACKUP",
    "_3_MESSAGE",
    "_3_ACTUATOR",
    "_3_FILE",
    "_3_BACKUP",
};

enum RulePosition {
    kSvnoMin = 0,
    kSvnoMax = 1,
    kSvnoOkBkcMin = 2,
    kSvnoOkBkcMax = 3,
    kSvnoNgBkcMin = 4,
    kSvnoNgBkcMax = 5,
};

// The selection number that lets writing by actuator through whatever the rules say.
constexpr int kUnrestrictedSelection = 999;

struct TextTable {
    std::string title;
    bool titlePresent = false;
    std::array<std::string, kMessageSlots> messages;
    int count = 0;
};

using RuleBlock = std::array<int, kRuleCount>;

// "%d": leading white space, an optional sign and the digits that follow; nothing for a text
// without digits there or a number that does not fit.
std::optional<int> ScanDecimal(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    long long value = 0;
    const std::size_t firstDigit = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
        ++pos;
    }
    if (pos == firstDigit)
        return std::nullopt;
    value = negative ? -value : value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string WithoutDots(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '.')
            out.push_back(c);
    }
    return out;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

// Unlike the language file, "\n" and "\r" stand for one character each here.
std::string ReplaceRuleEscapes(std::string text) {
    ReplaceAll(text, "\\r\\n", "\r\n");
    ReplaceAll(text, "\\n", "\n");
    ReplaceAll(text, "\\r", "\r");
    ReplaceAll(text, "\\t", "\t");
    return text;
}

bool RuleFileExists(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    return std::ifstream(path).is_open();
}

// The text of a key as the box will show it, or nothing when the key yields no characters.
std::optional<std::string> ReadText(const std::string& path, const std::string& key,
                                    const std::string& localeName) {
    const std::string raw = ReadProfileString(path, kRestrictionSection, key, kTextBufferSize);
    if (raw.empty())
        return std::nullopt;
    return ReplaceRuleEscapes(ShortenToBytes(raw, localeName, kTextMaxBytes));
}

void LoadTextTable(const std::string& path, const std::string& prefix,
                   const std::string& localeName, TextTable& table) {
    if (auto title = ReadText(path, prefix + "TITLE", localeName)) {
        table.titlePresent = true;
        table.title = *title;
    }
    for (int n = 1; n <= kMessageSlots; ++n) {
        if (auto text = ReadText(path, prefix + std::to_string(n), localeName)) {
            table.messages[static_cast<std::size_t>(n - 1)] = *text;
            ++table.count;
        }
    }
}

const char* PrefixOf(int operation) {
    switch (operation) {
        case RestrictComm:
            return "COMM";
        case RestrictActuator:
            return "ACTUATOR";
        case RestrictFile:
            return "FILE";
        case RestrictBackup:
            return "BACKUP";
        default:
            return nullptr;
    }
}

void LoadRuleBlock(const std::string& path, const std::string& prefix,
                   const std::array<std::string_view, kRuleCount>& suffixes, RuleBlock& rules) {
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
        if (suffixes[i].empty())
            continue;
        std::string text;
        if (ReadSettingValue(path, kRestrictionSection, prefix + std::string(suffixes[i]), text) !=
            0)
            continue;
        if (auto number = ScanDecimal(text))
            rules[i] = *number;
    }
}

// A value the controller did not give lies outside every range.
bool InRange(const std::optional<int>& value, int minimum, int maximum) {
    return value.has_value() && minimum <= *value && *value <= maximum;
}

// The verdict message n, when the rules name one the table holds.
void TakeMessage(const TextTable& table, int n, std::string& message) {
    if (table.count == 0)
        return;
    if (n > 0 && n < 256 && n <= table.count)
        message = table.messages[static_cast<std::size_t>(n - 1)];
}

}  // namespace

int CheckFunctionalRestriction(RtuMaster& link, std::uint8_t stationId, int operation,
                               int selectionNumber, RestrictionResult& result, Ui& ui) {
    TextTable warnings;
    TextTable refusals;
    RuleBlock rules;
    rules.fill(-1);
    const std::string path = ModulePath(kRestrictionFile);

    // The controller is asked first, even when the rules turn out to be missing.
    std::optional<int> svNumber;
    std::optional<int> bkcValue;
    std::string version;
    result.link = ReadVersion(link, stationId, version);
    if (result.link.ok()) {
        result.versionRead = true;
        svNumber = ScanDecimal(WithoutDots(version));
        std::uint8_t bytes[2] = {0, 0};
        result.link = ReadRegisters(link, stationId, kRegCheckValue, 1, bytes);
        if (result.link.ok())
            bkcValue = bytes[0] * 256 + bytes[1];
    }
    ShowLinkError(ui, result.link);

    if (!RuleFileExists(path)) {
        ui.showMessage(kRestrictionReadFailedText, kReadFailedTitle, MessageIcon::Warning,
                       MessageButtons::Ok);
        return -1;
    }
    const std::string localeName =
        ReadProfileString(path, kRestrictionSection, "SET_LOCALE", kTextBufferSize);
    LoadTextTable(path, "MSG_WARNING_", localeName, warnings);
    LoadTextTable(path, "MSG_ERR_", localeName, refusals);

    const char* prefix = PrefixOf(operation);
    if (prefix == nullptr)
        return -1;
    const bool forWriting = operation == RestrictActuator || operation == RestrictFile;
    LoadRuleBlock(path, prefix, forWriting ? kWriteRuleKeys : kCommRuleKeys, rules);
    result.controllerVersion = version;
    result.svnoMin = rules[kSvnoMin];
    result.svnoMax = rules[kSvnoMax];

    const bool svnoOk = InRange(svNumber, rules[kSvnoMin], rules[kSvnoMax]);
    const bool bkcOk = svnoOk ? InRange(bkcValue, rules[kSvnoOkBkcMin], rules[kSvnoOkBkcMax])
                              : InRange(bkcValue, rules[kSvnoNgBkcMin], rules[kSvnoNgBkcMax]);
    int verdict = 0;
    if (forWriting) {
        const bool selOk = svNumber.has_value() && selectionNumber == *svNumber;
        verdict = rules[kVerdictFirst + (svnoOk ? 0 : 4) + (bkcOk ? 0 : 2) + (selOk ? 0 : 1)];
        if (operation == RestrictActuator && selectionNumber == kUnrestrictedSelection)
            verdict = kVerdictAllowed;
    } else {
        verdict = rules[kVerdictFirst + (svnoOk ? 0 : 2) + (bkcOk ? 0 : 1)];
    }

    if (verdict < kVerdictAllowed || verdict > kVerdictRefused)
        return verdict;
    const std::size_t record = kOutcomeFirst + 4 * static_cast<std::size_t>(verdict);
    if (verdict == kVerdictWarning) {
        if (warnings.titlePresent)
            result.title = warnings.title;
        TakeMessage(warnings, rules[record], result.message);
    } else if (verdict == kVerdictRefused) {
        if (refusals.titlePresent)
            result.title = refusals.title;
        TakeMessage(refusals, rules[record], result.message);
    }
    result.actuatorWriteEnabled = rules[record + 1];
    result.fileWriteEnabled = rules[record + 2];
    result.backupEnabled = rules[record + 3];
    return verdict;
}

std::string SvNumberText(int svNumber) {
    const int whole = svNumber < 0 ? -svNumber : svNumber;
    std::string text = std::to_string(whole % 100);
    text = std::to_string(whole / 100) + "." + (text.size() < 2 ? "0" : "") + text;
    return svNumber < 0 ? "-" + text : text;
}

int SelectionNumberFromSvText(const std::string& svText) {
    return ScanDecimal(WithoutDots(svText)).value_or(-1);
}

MessageButtons WarningButtons(int operation) {
    return operation == RestrictActuator || operation == RestrictFile
               ? MessageButtons::OkCancelDefaultCancel
               : MessageButtons::OkCancel;
}

RestrictionOutcome PresentRestrictionVerdict(int verdict, const RestrictionResult& result, Ui& ui,
                                             MessageButtons warningButtons) {
    switch (verdict) {
        case kVerdictAllowed:
            return RestrictionOutcome::Allowed;
        case kVerdictWarning:
            return ui.showMessage(result.message, result.title, MessageIcon::Warning,
                                  warningButtons) == MessageAnswer::Ok
                       ? RestrictionOutcome::WarningAccepted
                       : RestrictionOutcome::WarningDeclined;
        case kVerdictRefused:
            ui.showMessage(result.message, result.title, MessageIcon::Error, MessageButtons::Ok);
            return RestrictionOutcome::Refused;
        default:
            return RestrictionOutcome::Undecided;
    }
}

int RunRestrictionCheck(RtuMaster& link, std::uint8_t stationId, int operation, int selectionNumber,
                        Ui& ui, RestrictionOutcome* outcome) {
    RestrictionResult result;
    const int verdict =
        CheckFunctionalRestriction(link, stationId, operation, selectionNumber, result, ui);
    const RestrictionOutcome ended =
        PresentRestrictionVerdict(verdict, result, ui, WarningButtons(operation));
    if (outcome != nullptr)
        *outcome = ended;
    return ended == RestrictionOutcome::Allowed || ended == RestrictionOutcome::WarningAccepted
               ? 0
               : -1;
}

}  // namespace velmora
