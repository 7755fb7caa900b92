#include "model/actuator_table.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "model/field_reader.h"
#include "platform/folder_utils.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

constexpr int kColumnCount = 12;
constexpr int kFirstAlternativeColumn = 1;
constexpr int kLastAlternativeColumn = 7;
constexpr int kSvColumn = 6;
constexpr std::size_t kAlternativeColumns = kLastAlternativeColumn - kFirstAlternativeColumn + 1;

// Record field c + 1 holds list column c.
std::string& ColumnField(stADP_FORMAT& record, int column) {
    switch (column) {
        case 0:
            return record.strPartNo;
        case 1:
            return record.strModel;
        case 2:
            return record.strController;
        case 3:
            return record.strMotorDir;
        case 4:
            return record.strLead;
        case 5:
            return record.strStroke;
        case 6:
            return record.strSVNo;
        case 7:
            return record.strIOSpec;
        case 8:
            return record.strParamVersion;
        case 9:
            return record.strParamFile;
        case 10:
            return record.strStepFile;
        default:
            return record.strParamColumn;
    }
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

void SplitAlternatives(const std::string& text, std::vector<std::string>& pieces) {
    pieces.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t bar = text.find('|', start);
        if (bar == std::string::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
}

std::string NormaliseSvNumber(const std::string& text) {
    const std::size_t point = text.find('.');
    if (point == std::string::npos) {
        return text + ".00";
    }
    const std::size_t decimals = text.size() - point - 1;
    if (decimals == 1) {
        return text + "0";
    }
    if (decimals > 2) {
        return text.substr(0, point + 3);
    }
    return text;
}

int ReadAdapterLine(CFileCtrl& file, const std::string& path, std::vector<stADP_FORMAT>& table) {
    stADP_FORMAT scratch;
    for (int column = 0; column < kColumnCount; ++column) {
        if (GetField(ColumnField(scratch, column), file, column) != 0) {
            return -1;
        }
    }
    if (SkipLines(file, 1) != 0) {
        return -1;
    }
    scratch.strDataFile = path;

    std::array<std::vector<std::string>, kAlternativeColumns> pieces;
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < kAlternativeColumns; ++i) {
        const int column = kFirstAlternativeColumn + static_cast<int>(i);
        SplitAlternatives(ColumnField(scratch, column), pieces[i]);
        if (pieces[i].empty()) {
            return 0;  // an empty column gives no combination at all
        }
        // Once past the limit the count only has to stay past it, and cannot overflow.
        if (combinations <= kMaxRecordsPerLine) {
            combinations *= pieces[i].size();
        }
    }
    if (combinations > kMaxRecordsPerLine ||
        combinations > kMaxActuatorRecords - std::min(table.size(), kMaxActuatorRecords)) {
        return 0;
    }
    for (auto& piece : pieces[kSvColumn - kFirstAlternativeColumn]) {
        piece = NormaliseSvNumber(piece);
    }

    // An odometer over the pieces, the last column turning fastest: nested order with column 1
    // outermost.
    std::array<std::size_t, kAlternativeColumns> choice{};
    for (;;) {
        stADP_FORMAT record = scratch;
        for (std::size_t i = 0; i < kAlternativeColumns; ++i) {
            ColumnField(record, kFirstAlternativeColumn + static_cast<int>(i)) =
                pieces[i][choice[i]];
        }
        table.push_back(std::move(record));
        std::size_t i = kAlternativeColumns;
        while (i > 0) {
            --i;
            if (++choice[i] < pieces[i].size()) {
                break;
            }
            choice[i] = 0;
            if (i == 0) {
                return 0;
            }
        }
    }
}

void LoadActuatorTable(Ui& ui, const std::string& root, std::vector<stADP_FORMAT>& table,
                       std::vector<std::string>& models) {
    table.clear();
    models.clear();
    std::vector<std::string> listFiles;
    if (FindFileInTree(root, kAdapterFileName, listFiles) == 0) {
        return;
    }
    for (const std::string& path : listFiles) {
        CFileCtrl file;
        if (!file.Open(path, kFileModeReadWrite | kFileShareExclusive)) {
            ui.showMessage(ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                                            kMsgTransmitFileopenErrorCountermeasureContents),
                           MessageText(kMsgTransmitFileopenErrorTitle), MessageIcon::Error,
                           MessageButtons::Ok);
            return;
        }
        const std::size_t first = table.size();
        SkipLines(file, 1);
        while (ReadAdapterLine(file, path, table) == 0) {
        }
        for (std::size_t i = first; i < table.size(); ++i) {
            const std::string& model = table[i].strModel;
            const bool known = std::any_of(models.begin(), models.end(), [&](const auto& name) {
                return ::strcasecmp(name.c_str(), model.c_str()) == 0;
            });
            if (!known) {
                models.push_back(model);
            }
        }
        file.Close();
    }
    SortTextList(models);
}

std::string DataFilePath(const stADP_FORMAT& record, const std::string& listedName) {
    std::string path = record.strDataFile + "/" + listedName;
    ReplaceAll(path, std::string(kAdapterFileName) + "/", "");
    ReplaceAll(path, ".csv", ".vmw");
    return path;
}

}  // namespace velmora
