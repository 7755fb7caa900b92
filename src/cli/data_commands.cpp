#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "model/file_ctrl.h"

namespace velmora::cli {
namespace {

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// pack PLAIN SCRAMBLED: stores a text file the way the program's data files are stored. Line
// ends become CR LF, so a data set may be edited with any editor.
int PackCommand(const Options&, const std::vector<std::string>& args, ConsoleUi&, Session&) {
    if (args.size() != 2) {
        std::fprintf(stderr, "velmora-cli: pack wants PLAIN SCRAMBLED\n");
        return kExitUsage;
    }
    if (const std::string problem = InputFileProblem(args[0]); !problem.empty())
        return RefuseFile("pack", args[0], problem);
    if (const std::string problem = OutputFileProblem(args[1]); !problem.empty())
        return RefuseFile("pack", args[1], problem);
    std::string text;
    if (!ReadWholeFile(args[0], text)) {
        std::fprintf(stderr, "velmora-cli: cannot read %s\n", args[0].c_str());
        return kExitFailure;
    }
    CFileCtrl file;
    if (!file.Open(args[1], kFileModeCreate | kFileModeWrite | kFileShareExclusive)) {
        std::fprintf(stderr, "velmora-cli: cannot open %s for writing\n", args[1].c_str());
        return kExitFailure;
    }
    file.WriteText(WithCrLfLineEnds(text));
    if (file.ScrambleAndWrite() != 0) {
        std::fprintf(stderr, "velmora-cli: cannot write %s\n", args[1].c_str());
        return kExitFailure;
    }
    file.Close();
    return kExitSuccess;
}

// unpack SCRAMBLED PLAIN: the stored text as UTF-8; "-" writes to standard output.
int UnpackCommand(const Options&, const std::vector<std::string>& args, ConsoleUi&, Session&) {
    if (args.size() != 2) {
        std::fprintf(stderr, "velmora-cli: unpack wants SCRAMBLED PLAIN\n");
        return kExitUsage;
    }
    if (const std::string problem = InputFileProblem(args[0]); !problem.empty())
        return RefuseFile("unpack", args[0], problem);
    if (const std::string problem = args[1] == "-" ? std::string() : OutputFileProblem(args[1]);
        !problem.empty())
        return RefuseFile("unpack", args[1], problem);
    CFileCtrl file;
    if (!file.Open(args[0], kFileModeRead | kFileShareExclusive)) {
        std::fprintf(stderr, "velmora-cli: cannot open %s as a data file\n", args[0].c_str());
        return kExitFailure;
    }
    std::string local(static_cast<std::size_t>(file.GetLength()), '\0');
    if (!local.empty() && file.Read(local.data(), local.size()) != local.size()) {
        std::fprintf(stderr, "velmora-cli: cannot read %s\n", args[0].c_str());
        return kExitFailure;
    }
    file.Close();
    const std::string text = LocalToUtf8(local);
    if (args[1] == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
    }
    std::ofstream out(args[1], std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "velmora-cli: cannot write %s\n", args[1].c_str());
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace

void AddDataCommands(CommandTable& table) {
    table["pack"] = PackCommand;
    table["unpack"] = UnpackCommand;
}

}  // namespace velmora::cli
