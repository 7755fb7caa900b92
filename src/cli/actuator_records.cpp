#include "cli/actuator_records.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "sysfiles/app_state.h"
#include "transmit/transmit_contents.h"

namespace velmora::cli {

std::string CommandOption(const Options& options, const std::string& name) {
    const auto found = options.commandOptions.find(name);
    return found == options.commandOptions.end() ? std::string() : found->second;
}

bool HasCommandOption(const Options& options, const std::string& name) {
    return options.commandOptions.count(name) != 0;
}

std::filesystem::path ProgramRoot() {
    std::error_code error;
    return std::filesystem::absolute(App().moduleFolder, error).lexically_normal();
}

std::string DataSetOf(const stADP_FORMAT& record) {
    const std::filesystem::path folder = std::filesystem::path(record.strDataFile).parent_path();
    const std::filesystem::path inData =
        folder.lexically_relative(ProgramRoot() / "System" / "Data");
    if (!inData.empty() && *inData.begin() != "..") {
        return inData.string();
    }
    return folder.lexically_relative(ProgramRoot()).string();
}

// The whole program folder, as the actuator selection dialog searches it: a list file the GUI
// finds is never missing here.
std::vector<stADP_FORMAT> LoadTable(Ui& ui) {
    std::vector<stADP_FORMAT> table;
    std::vector<std::string> models;
    std::string root = ProgramRoot().string();
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    LoadActuatorTable(ui, root, table, models);
    return table;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

namespace {

bool Chosen(const stADP_FORMAT& record, const RecordChoice& choice) {
    return (choice.controller.empty() || record.strController == choice.controller) &&
           (choice.stroke.empty() || record.strStroke == choice.stroke) &&
           (choice.dataSet.empty() || DataSetOf(record) == choice.dataSet);
}

}  // namespace

// The one record of the part number with this SV number and IO specification (narrowed by the
// choice), or the exit status after telling the user what there is instead. Several records
// are never settled by taking the first: they may name another controller or data set.
int FindRecord(const std::vector<stADP_FORMAT>& table, const std::string& partNo,
               const std::string& svNo, const std::string& ioSpec, const RecordChoice& choice,
               stADP_FORMAT& found) {
    std::vector<const stADP_FORMAT*> ofPart;
    std::vector<const stADP_FORMAT*> matches;
    for (const stADP_FORMAT& record : table) {
        if (record.strPartNo != partNo)
            continue;
        ofPart.push_back(&record);
        if (record.strSVNo == svNo && record.strIOSpec == ioSpec)
            matches.push_back(&record);
    }
    if (ofPart.empty()) {
        std::fprintf(stderr, "velmora-cli: no actuator with part number '%s' under %s\n",
                     partNo.c_str(), ProgramRoot().string().c_str());
        return kExitFailure;
    }
    if (matches.empty()) {
        std::fprintf(stderr,
                     "velmora-cli: part number '%s' has no record for SV %s with IO %s; it "
                     "has:\n",
                     partNo.c_str(), svNo.c_str(), ioSpec.c_str());
        std::vector<std::pair<std::string, std::string>> pairs;
        for (const stADP_FORMAT* record : ofPart) {
            std::pair<std::string, std::string> pair{record->strSVNo, record->strIOSpec};
            if (std::find(pairs.begin(), pairs.end(), pair) == pairs.end())
                pairs.push_back(std::move(pair));
        }
        for (const auto& [sv, io] : pairs) {
            std::fprintf(stderr, "  --sv %s --io %s\n", sv.c_str(), io.c_str());
        }
        return kExitFailure;
    }
    std::vector<const stADP_FORMAT*> chosen;
    for (const stADP_FORMAT* record : matches) {
        if (Chosen(*record, choice))
            chosen.push_back(record);
    }
    if (chosen.size() == 1) {
        found = *chosen.front();
        return kExitSuccess;
    }
    std::fprintf(stderr, "velmora-cli: %s part number '%s' with SV %s and IO %s; choose one of:\n",
                 chosen.empty() ? "--controller, --stroke or --data-set match no record of"
                                : "several records match",
                 partNo.c_str(), svNo.c_str(), ioSpec.c_str());
    for (const stADP_FORMAT* record : matches) {
        std::fprintf(stderr, "  --controller %s --stroke %s --data-set %s\n",
                     record->strController.c_str(), record->strStroke.c_str(),
                     DataSetOf(*record).c_str());
    }
    return kExitUsage;
}

bool NamesActuator(const Options& options) {
    return !CommandOption(options, "part-no").empty() && !CommandOption(options, "sv").empty() &&
           !CommandOption(options, "io").empty();
}

int ChooseActuator(const Options& options, Ui& ui, stADP_FORMAT& found) {
    const std::string partNo = CommandOption(options, "part-no");
    const std::string sv = CommandOption(options, "sv");
    const std::string io = CommandOption(options, "io");
    const RecordChoice choice{CommandOption(options, "controller"),
                              CommandOption(options, "stroke"), CommandOption(options, "data-set")};
    return FindRecord(LoadTable(ui), partNo, NormaliseSvNumber(sv), io, choice, found);
}

}  // namespace velmora::cli
