// What is wrong with a file named on the command line, told before anything opens it: opening
// a FIFO would wait for a writer forever, and "could not be opened" alone does not say whether
// the name, the kind of file or its contents are at fault.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "model/backup_file.h"
#include "model/file_ctrl.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

// Words for a file type that is not a regular file.
std::string KindProblem(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return "is a folder, not a file";
        case fs::file_type::fifo:
            return "is a FIFO (named pipe), not a regular file";
        case fs::file_type::character:
        case fs::file_type::block:
            return "is a device, not a regular file";
        case fs::file_type::socket:
            return "is a socket, not a regular file";
        default:
            return "is not a regular file";
    }
}

bool IsMissing(const std::error_code& error) {
    return error == std::errc::no_such_file_or_directory;
}

}  // namespace

// std::filesystem rather than stat(): the same answers on every system the CLI runs on.
std::string InputFileProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error)
        return IsMissing(error) ? "does not exist" : "cannot be reached: " + error.message();
    return status.type() == fs::file_type::regular ? std::string() : KindProblem(status.type());
}

std::string OutputFileProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!error)
        return status.type() == fs::file_type::regular ? std::string() : KindProblem(status.type());
    if (!IsMissing(error))
        return "cannot be reached: " + error.message();
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    if (!fs::is_directory(folder, error))
        return "cannot be made: its folder " + folder.string() + " does not exist";
    return {};
}

int RefuseFile(const char* command, const std::string& path, const std::string& problem) {
    std::fprintf(stderr, "velmora-cli: %s: %s %s; nothing was done\n", command, path.c_str(),
                 problem.c_str());
    return kExitFailure;
}

void PrintBackupFileProblem(const std::string& path) {
    const BackupReading reading = ReadBackupFile(path);
    if (reading.diagnostics.empty())
        return;
    // A backup begins with its marker; a file that does not is no backup, anything else is a
    // damaged one. A stored file unscrambles only whole and as this program stored it.
    CFileCtrl file;
    if (!file.Open(path, kFileModeRead)) {
        if (::access(path.c_str(), R_OK) != 0) {
            std::fprintf(stderr, "velmora-cli: %s cannot be read: %s\n", path.c_str(),
                         std::strerror(errno));
        } else {
            std::fprintf(stderr,
                         "velmora-cli: %s is cut short, or is not a file this program stored: "
                         "it does not unscramble\n",
                         path.c_str());
        }
        return;
    }
    const std::string marker = kBackupMarker;
    std::string head(marker.size(), '\0');
    if (file.GetLength() == 0) {
        std::fprintf(stderr, "velmora-cli: %s is empty, not a backup file\n", path.c_str());
        return;
    }
    if (file.Read(head.data(), head.size()) != head.size() || head != marker) {
        std::fprintf(stderr,
                     "velmora-cli: %s is not a backup file: it does not begin with %s, as "
                     "every backup this program saves does\n",
                     path.c_str(), marker.c_str());
        return;
    }
    const Diagnostic& first = reading.diagnostics.front();
    std::fprintf(stderr,
                 "velmora-cli: %s is a damaged or cut-short backup: %zu fault(s), the first at "
                 "line %d: %s\n",
                 path.c_str(), reading.diagnostics.size(), first.line, first.reason.c_str());
}

}  // namespace velmora::cli
