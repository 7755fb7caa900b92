// What is wrong with a file named on the command line, told before anything opens it: opening
// a FIFO would wait for a writer forever, and "could not be opened" alone does not say whether
// the name, the kind of file or its contents are at fault.

#include <sys/stat.h>
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

// Words for a file type that is not a regular file.
std::string KindProblem(mode_t mode) {
    if (S_ISDIR(mode))
        return "is a folder, not a file";
    if (S_ISFIFO(mode))
        return "is a FIFO (named pipe), not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

}  // namespace

std::string InputFileProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? "does not exist"
                               : std::string("cannot be reached: ") + std::strerror(errno);
    return S_ISREG(info.st_mode) ? std::string() : KindProblem(info.st_mode);
}

std::string OutputFileProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return S_ISREG(info.st_mode) ? std::string() : KindProblem(info.st_mode);
    if (errno != ENOENT)
        return std::string("cannot be reached: ") + std::strerror(errno);
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
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
