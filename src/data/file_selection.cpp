#include "data/file_selection.h"

#include <cstdint>

#include "model/backup_file.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

// Enough lines to name the faults of a damaged backup without burying the first ones.
constexpr std::size_t kShownDiagnostics = 10;

// The message of a backup that is not read, with what was found wrong in it: one that could
// not be opened keeps the open-failure message, a damaged one gets the format error.
void ShowRefusal(Ui& ui, const Diagnostics& diagnostics) {
    const bool unopened = !diagnostics.empty() && diagnostics.front().line == 0;
    std::string text = unopened
                           ? ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                                              kMsgTransmitFileopenErrorCountermeasureContents)
                           : ComposeAlarmText(kMsgTransmitFormatErrorAlarmContents,
                                              kMsgTransmitFormatErrorAlarmCountermeasureContents);
    text += "\n";
    for (std::size_t i = 0; i < diagnostics.size() && i < kShownDiagnostics; ++i) {
        text += "\n" + FormatDiagnostic(diagnostics[i]);
    }
    if (diagnostics.size() > kShownDiagnostics) {
        text += "\n... and " + std::to_string(diagnostics.size() - kShownDiagnostics) + " more";
    }
    ui.showMessage(
        text, MessageText(unopened ? kMsgTransmitFileopenErrorTitle : kMsgTransmitFormatErrorTitle),
        MessageIcon::Error, MessageButtons::Ok);
}

}  // namespace

std::string ControllerModelText(std::uint32_t unitNumber) {
    switch ((unitNumber >> 16) & 0xFFF) {
        case 0x101:
            return "QTX16";
        case 0x104:
            return "QTX1A";
        case 0x105:
            return "QTX11";
        case 0x201:
            return "QTX26";
        default:
            return {};
    }
}

int DescribeBackupFile(const std::string& path, stADP_FORMAT& description, Ui& ui) {
    const BackupReading reading = ReadBackupFile(path);
    if (!reading.backup) {
        ShowRefusal(ui, reading.diagnostics);
        return -1;
    }
    const Backup& backup = *reading.backup;

    description = stADP_FORMAT{};
    description.strModel = kNotInBackup;
    description.strController = kNotInBackup;
    description.strMotorDir = kNotInBackup;
    description.strLead = kNotInBackup;
    description.strStroke = kNotInBackup;
    description.strIOSpec = kNotInBackup;
    description.strParamVersion = kNotInBackup;
    description.strParamColumn = kNotInBackup;
    description.strParamFile = path;
    description.strStepFile = path;
    description.strSVNo = NormaliseSvNumber(backup.controllerVersion);
    description.strPartNo = backup.unitName;

    const std::uint32_t unitNumber =
        (std::uint32_t{backup.image.get(kUnitNumberReg)} << 16) |
        backup.image.get(static_cast<std::uint16_t>(kUnitNumberReg + 1));
    const std::string model = ControllerModelText(unitNumber);
    if (!model.empty()) {
        description.strController = model + "-" + backup.unitName;
    }
    return 0;
}

void FileSelectionModel::BrowseResult(bool ok, const std::string& path) {
    if (ok) {
        path_ = path;
        startEnabled_ = true;
    } else if (path_.empty()) {
        startEnabled_ = false;
    }
}

std::optional<TransmitRequest> FileSelectionModel::StartFromFile(Ui& ui) {
    TransmitRequest request{stADP_FORMAT{}, writeContents_, kFromBackupFile};
    if (DescribeBackupFile(path_, request.record, ui) != 0) {
        return std::nullopt;
    }
    referenceVersion_ = MessageText(kDlgTopTab3TxtNodatafile);
    if (onReferenceVersion) {
        onReferenceVersion(referenceVersion_);
    }
    return request;
}

}  // namespace velmora
