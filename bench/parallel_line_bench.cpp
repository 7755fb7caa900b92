// The production line's cost: velmora-cli writing four paced virtual controllers on four
// pseudo-terminals at 115200 bit/s at once, against the same write on one controller alone.
// Prints both wall times and their ratio (the line aims at 1.15 or less); it does not pass or
// fail.
//
// Runs the velmora-cli beside it with a copy of the System/ folder beside it (the sample data
// target builds System/Data). usage: velmora_parallel_line_bench [runs, default 3]

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/pty_controller.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBitRate = 115200;
constexpr int kPorts = 4;

// The program's exit status, or -1 when it could not be run or did not exit.
int Run(std::vector<std::string> argv, const std::string& logPath) {
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Seconds one write-actuator run on the first `ports` controllers takes; negative on failure.
double TimedWrite(const fs::path& program, const fs::path& root,
                  const std::vector<std::unique_ptr<velmora::sim::PtyController>>& sims,
                  int ports) {
    std::vector<std::string> argv = {program.string(), "--root", root.string()};
    for (int i = 0; i < ports; ++i) {
        sims[static_cast<std::size_t>(i)]->controller().resetImage();
        argv.insert(argv.end(), {"--port", sims[static_cast<std::size_t>(i)]->slavePath()});
    }
    argv.insert(argv.end(), {"--id", "1", "--baud", std::to_string(kBitRate), "--yes",
                             "write-actuator", "--part-no", "VMA10-06I", "--controller", "VC-1A",
                             "--stroke", "50", "--sv", "1.10", "--io", "NPN"});
    const std::string log = (root / "run.log").string();
    const auto start = Clock::now();
    const int status = Run(argv, log);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0) {
        std::fprintf(stderr, "velmora-cli exited with %d on %d port(s); see %s\n", status, ports,
                     log.c_str());
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path program = folder / "velmora-cli";
    // A program folder of its own: the history and the backups made before each write land
    // there, not beside the build.
    const fs::path root =
        fs::temp_directory_path() / ("velmora_line_bench_" + std::to_string(::getpid()));
    std::error_code error;
    fs::create_directories(root, error);
    fs::copy(folder / "System", root / "System", fs::copy_options::recursive, error);
    if (error || !fs::exists(root / "System/Data")) {
        std::fprintf(stderr, "no System/Data beside %s (build the sample data)\n", program.c_str());
        return 1;
    }
    std::vector<std::unique_ptr<velmora::sim::PtyController>> sims;
    for (int i = 0; i < kPorts; ++i) {
        velmora::sim::PtyOptions options;
        options.bitRate = kBitRate;
        options.pacing = true;
        sims.push_back(std::make_unique<velmora::sim::PtyController>(options));
        if (!sims.back()->start()) {
            std::fprintf(stderr, "cannot start a virtual controller\n");
            return 1;
        }
    }
    std::printf(
        "write-actuator (parameters and steps), paced controllers at %u bit/s, best of %d\n",
        kBitRate, runs);
    double alone = 1e9;
    double line = 1e9;
    for (int run = 0; run < runs; ++run) {
        const double one = TimedWrite(program, root, sims, 1);
        const double four = TimedWrite(program, root, sims, kPorts);
        if (one < 0 || four < 0)
            return 1;
        alone = std::min(alone, one);
        line = std::min(line, four);
    }
    std::printf("  one controller alone:          %7.3f s\n", alone);
    std::printf("  %d controllers in parallel:     %7.3f s\n", kPorts, line);
    std::printf("  ratio (aim: 1.15 or less):      %7.3f\n", line / alone);
    fs::remove_all(root, error);
    return 0;
}
