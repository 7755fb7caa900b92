#include "data/file_selection.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "data/field_reader.h"
#include "data/file_ctrl.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

constexpr const char* kUnitNameRow = "D000E";
constexpr const char* kUnitNumberRow = "D008E";

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool RowNameIs(CFileCtrl& file, const char* name) {
    std::string field;
    GetField(field, file, 0);
    return UpperAscii(field) == name;
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
    CFileCtrl file;
    if (!file.Open(path, kFileModeRead | kFileShareExclusive)) {
        ui.showMessage(ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                                        kMsgTransmitFileopenErrorCountermeasureContents),
                       MessageText(kMsgTransmitFileopenErrorTitle), MessageIcon::Error,
                       MessageButtons::Ok);
        return -1;
    }

    description = stADP_FORMAT{};
    description.strPartNo = kNotInBackup;
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

    std::string svNo;
    GetField(svNo, file, 1);
    description.strSVNo = NormaliseSvNumber(svNo);

    if (SkipLines(file, 2) == 0 && RowNameIs(file, kUnitNameRow)) {
        GetField(description.strPartNo, file, 2);
    }

    while (SkipLines(file, 1) == 0) {
        if (!RowNameIs(file, kUnitNumberRow)) {
            continue;
        }
        std::string unitNumber;
        GetField(unitNumber, file, 2);
        // The backup writer prints this dword with "%u", so values reach 4294967295; a signed
        // reading would lose the codes of units whose bit 31 is set. strtoul also takes the
        // whole 32-bit range where unsigned long is only 32 bits wide.
        const auto value =
            static_cast<std::uint32_t>(std::strtoul(unitNumber.c_str(), nullptr, 10));
        const std::string model = ControllerModelText(value);
        if (!model.empty() && description.strPartNo != kNotInBackup) {
            description.strController = model + "-" + description.strPartNo;
        }
        break;
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
