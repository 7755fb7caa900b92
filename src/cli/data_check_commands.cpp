// The commands that look after the program folder itself: which language file is in place, and
// whether a data folder is fit to be shipped.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "model/data_check.h"
#include "platform/atomic_file.h"
#include "platform/module_folder.h"
#include "platform/program_folder.h"
#include "sysfiles/app_state.h"

namespace velmora::cli {
namespace {

constexpr const char* kLanguageFileName = "LanguageData.ini";
// The one language file the program reads, in the program folder.
constexpr const char* kLanguageInUse = "System/LanguageData.ini";

bool ReadFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Language code -> its file. A portable copy may carry lang/ beside System/; an installation
// keeps it in its share folder (the build tree mirrors that). The first folder to name a code
// wins.
std::map<std::string, std::string> AvailableLanguages() {
    std::map<std::string, std::string> languages;
    const std::vector<std::string> folders = {
        App().moduleFolder + "lang/",
        InstalledShareFolder(ModuleFolderOfExecutable()) + "lang/",
    };
    for (const std::string& folder : folders) {
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir) {
            continue;
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string code = entry->d_name;
            const std::string file = folder + code + "/" + kLanguageFileName;
            if (code.front() != '.' && languages.count(code) == 0 && IsFile(file)) {
                languages[code] = file;
            }
        }
    }
    return languages;
}

// Replaces the file in one step, so that the program never reads half a language file (a
// plain rename would not replace an existing file on Windows).
bool ReplaceFile(const std::string& path, const std::string& bytes) {
    return WriteFileAtomically(path, bytes);
}

// language [CODE]: without a code, lists the languages and marks the one in use (the one whose
// file System/LanguageData.ini equals); with one, copies its file into place.
int LanguageCommand(const Options&, const std::vector<std::string>& args, ConsoleUi&, Session&) {
    if (args.size() > 1) {
        std::fprintf(stderr, "velmora-cli: language wants at most one language code\n");
        return kExitUsage;
    }
    const std::string target = App().moduleFolder + kLanguageInUse;
    const std::map<std::string, std::string> languages = AvailableLanguages();
    if (languages.empty()) {
        std::fprintf(stderr, "velmora-cli: no language files found (lang/<code>/%s)\n",
                     kLanguageFileName);
        return kExitFailure;
    }
    if (args.empty()) {
        std::string current;
        const bool readable = ReadFile(target, current);
        bool matched = false;
        for (const auto& [code, file] : languages) {
            std::string bytes;
            const bool inUse = readable && ReadFile(file, bytes) && bytes == current;
            matched = matched || inUse;
            std::printf("%s %-6s %s\n", inUse ? "*" : " ", code.c_str(), file.c_str());
        }
        if (!readable) {
            std::printf("%s cannot be read\n", target.c_str());
        } else if (!matched) {
            std::printf("%s matches none of them (edited by hand?)\n", target.c_str());
        }
        return kExitSuccess;
    }
    const auto found = languages.find(args[0]);
    if (found == languages.end()) {
        std::fprintf(stderr, "velmora-cli: no language '%s'; there are:", args[0].c_str());
        for (const auto& entry : languages) {
            std::fprintf(stderr, " %s", entry.first.c_str());
        }
        std::fprintf(stderr, "\n");
        return kExitUsage;
    }
    std::string bytes;
    if (!ReadFile(found->second, bytes)) {
        std::fprintf(stderr, "velmora-cli: cannot read %s\n", found->second.c_str());
        return kExitFailure;
    }
    if (!ReplaceFile(target, bytes)) {
        std::fprintf(stderr, "velmora-cli: cannot write %s\n", target.c_str());
        return kExitFailure;
    }
    std::printf("%s now holds the %s texts; they show from the next window opened\n",
                target.c_str(), found->first.c_str());
    return kExitSuccess;
}

// check-data [DIR]: every problem as FILE:LINE: TEXT, then a summary; exit 1 on any problem.
int CheckDataCommand(const Options&, const std::vector<std::string>& args, ConsoleUi&, Session&) {
    if (args.size() > 1) {
        std::fprintf(stderr, "velmora-cli: check-data wants at most one folder\n");
        return kExitUsage;
    }
    const std::string folder = args.empty() ? App().moduleFolder + "System/Data" : args[0];
    DataCheckSummary summary;
    const std::vector<DataProblem> problems = CheckDataFolder(folder, &summary);
    for (const DataProblem& problem : problems) {
        if (problem.line > 0) {
            std::printf("%s:%d: %s\n", problem.file.c_str(), problem.line, problem.message.c_str());
        } else {
            std::printf("%s: %s\n", problem.file.c_str(), problem.message.c_str());
        }
    }
    std::printf(
        "%s: %zu problem%s; %d list file%s, %d parameter file%s, %d step file%s, %d "
        "actuator%s\n",
        folder.c_str(), problems.size(), problems.size() == 1 ? "" : "s", summary.listFiles,
        summary.listFiles == 1 ? "" : "s", summary.parameterFiles,
        summary.parameterFiles == 1 ? "" : "s", summary.stepFiles,
        summary.stepFiles == 1 ? "" : "s", summary.actuators, summary.actuators == 1 ? "" : "s");
    return problems.empty() ? kExitSuccess : kExitFailure;
}

}  // namespace

void AddDataCheckCommands(CommandTable& table) {
    table["language"] = LanguageCommand;
    table["check-data"] = CheckDataCommand;
}

}  // namespace velmora::cli
