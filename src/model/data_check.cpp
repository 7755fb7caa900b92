#include "model/data_check.h"
#include "model/field_reader.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <filesystem>
#include <set>
#include <tuple>
#include <utility>

#include "model/actuator_table.h"
#include "model/data_set_reader.h"
#include "platform/folder_utils.h"

namespace velmora {
namespace {

constexpr int kListColumns = 12;

const char* const kListColumnNames[kListColumns] = {
    "part number", "model",   "controller",        "motor direction", "lead",      "stroke",
    "SV number",   "IO spec", "parameter version", "parameter file",  "step file", "data column"};

// Columns are counted from 1 in messages, as a spreadsheet shows them.
std::string Column(int index) {
    return "column " + std::to_string(index + 1);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// A number and nothing else, read in the "C" locale whatever the user's locale says.
bool CleanNumber(const std::string& text) {
    double value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Checker {
  public:
    std::vector<DataProblem> problems;
    DataCheckSummary summary;

    void Add(const std::string& file, int line, const std::string& message) {
        if (seen_.insert(std::make_tuple(file, line, message)).second) {
            problems.push_back({file, line, message});
        }
    }

    void CheckListFile(const std::string& path);

  private:
    void CheckListLine(const std::string& path, int lineNumber,
                       const std::vector<std::string>& fields);
    void CheckNamedFile(const std::string& listPath, int lineNumber, const stADP_FORMAT& record,
                        bool steps);

    std::set<std::tuple<std::string, int, std::string>> seen_;
    std::set<std::string> parameterFiles_;
    std::set<std::string> stepFiles_;
    std::set<std::tuple<std::string, std::string, bool>> read_;  // path, column, steps
};

void Checker::CheckListFile(const std::string& path) {
    Diagnostics diagnostics;
    const std::optional<StoredLines> text = ReadStoredLines(path, diagnostics);
    for (const Diagnostic& d : diagnostics) {
        Add(d.file, d.line, d.reason);
    }
    if (!text) {
        return;
    }
    ++summary.listFiles;
    const auto& lines = text->lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find_first_of("\r\n") != std::string::npos) {
            Add(path, static_cast<int>(i) + 1,
                "holds a CR or LF that is not part of a CR LF line end");
        }
    }
    if (!text->lastLineEnded) {
        Add(path, static_cast<int>(lines.size()),
            "the last line has no CR LF line end: the program does not read it");
    }
    if (lines.size() < 2) {
        Add(path, 1, "holds only its heading line: it names no actuator");
        return;
    }
    const std::size_t count = text->lastLineEnded ? lines.size() : lines.size() - 1;
    for (std::size_t i = 1; i < count; ++i) {
        if (!lines[i].empty()) {
            CheckListLine(path, static_cast<int>(i) + 1, SplitFields(lines[i]));
        }
    }
}

void Checker::CheckListLine(const std::string& path, int lineNumber,
                            const std::vector<std::string>& fields) {
    if (fields.size() < kListColumns) {
        Add(path, lineNumber,
            "has " + std::to_string(fields.size()) +
                " fields; a list line has 12: part number, model, controller, motor direction, "
                "lead, stroke, SV number, IO spec, parameter version, parameter file, step file, "
                "data column");
    }
    auto field = [&](int column) -> std::string {
        return static_cast<std::size_t>(column) < fields.size() ? fields[column] : std::string();
    };
    stADP_FORMAT record;
    record.strDataFile = path;
    record.strPartNo = field(0);
    record.strParamFile = field(9);
    record.strStepFile = field(10);
    record.strParamColumn = field(11);
    for (const int column : {0, 9, 10, 11}) {
        if (field(column).empty()) {
            Add(path, lineNumber, Column(column) + " (" + kListColumnNames[column] + ") is empty");
        }
    }
    // Counted only up to just past the program's limit, so that no product overflows.
    std::size_t records = 1;
    for (int column = 1; column <= 7; ++column) {
        std::vector<std::string> pieces;
        SplitAlternatives(field(column), pieces);
        if (pieces.empty()) {
            Add(path, lineNumber,
                Column(column) + " (" + kListColumnNames[column] +
                    ") is empty: the line gives no actuator");
            records = 0;
            continue;
        }
        if (records <= kMaxRecordsPerLine) {
            records *= pieces.size();
        }
        for (const std::string& piece : pieces) {
            if (piece.empty()) {
                Add(path, lineNumber,
                    Column(column) + " (" + kListColumnNames[column] + ") " +
                        Quoted(field(column)) + " has an empty alternative between its '|'");
            } else if (column == 6 && !CleanNumber(piece)) {
                Add(path, lineNumber, "SV number " + Quoted(piece) + " is not a number");
            }
        }
    }
    if (records > kMaxRecordsPerLine) {
        Add(path, lineNumber,
            "its alternatives combine into more than " + std::to_string(kMaxRecordsPerLine) +
                " actuators: the program reads no actuator from this line");
        records = 0;
    }
    summary.actuators += static_cast<int>(
        std::min<std::size_t>(records, static_cast<std::size_t>(INT_MAX - summary.actuators)));
    CheckNamedFile(path, lineNumber, record, false);
    CheckNamedFile(path, lineNumber, record, true);
}

void Checker::CheckNamedFile(const std::string& listPath, int lineNumber,
                             const stADP_FORMAT& record, bool steps) {
    const std::string& listed = steps ? record.strStepFile : record.strParamFile;
    if (listed.empty()) {
        return;
    }
    const char* what = steps ? "step file" : "parameter file";
    const std::string path = DataFilePath(record, listed);
    if (!Exists(path)) {
        std::string message = std::string(what) + " " + Quoted(listed) + " is missing: no " +
                              FileName(path) + " beside the list file";
        const std::string plain = DataFilePath(record, "") + listed;
        if (plain != path && Exists(plain)) {
            message += " (" + listed + " is there unstored: store it with velmora-cli pack)";
        }
        Add(listPath, lineNumber, message);
        return;
    }
    (steps ? stepFiles_ : parameterFiles_).insert(path);
    summary.parameterFiles = static_cast<int>(parameterFiles_.size());
    summary.stepFiles = static_cast<int>(stepFiles_.size());
    // An empty data column is reported on the list line; a file is read once per column.
    if (record.strParamColumn.empty() ||
        !read_.insert(std::make_tuple(path, record.strParamColumn, steps)).second) {
        return;
    }
    // The program reads the set as the write does, so what it refuses is reported here.
    const DataSetReading reading =
        ReadDataSetFiles(record, steps ? std::string() : path, steps ? path : std::string());
    for (const Diagnostic& d : reading.diagnostics) {
        Add(d.file, d.line, d.reason);
    }
    // The write asks before it masks; a set to be shipped must not need asking.
    for (const MaskedValue& value : reading.masked) {
        Add(value.file, value.line, MaskedValueText(value));
    }
}

}  // namespace

std::vector<DataProblem> CheckDataFolder(const std::string& folder, DataCheckSummary* summary) {
    Checker checker;
    std::string root = folder;
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        checker.Add(root, 0, "is not a folder");
    } else {
        std::vector<std::string> listFiles;
        if (FindFileInTree(root, kAdapterFileName, listFiles) == 0) {
            checker.Add(root, 0, std::string("holds no ") + kAdapterFileName + " list file");
        }
        for (const std::string& path : listFiles) {
            checker.CheckListFile(path);
        }
    }
    if (summary != nullptr) {
        *summary = checker.summary;
    }
    return checker.problems;
}

}  // namespace velmora
