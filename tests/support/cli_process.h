#pragma once

// Runs velmora-cli (or any program of the build) as a child process with its output captured in
// files, so that tests see exactly what a shell script would: exit status, stdout and stderr.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "support/temp_folder.h"

extern char** environ;

namespace velmora::test {

inline std::filesystem::path BinaryFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

// Gives folder a copy of the built System folder, the program folder the CLI runs on.
inline std::error_code CopyBuiltSystem(const TempFolder& folder) {
    std::error_code error;
    std::filesystem::copy(BinaryFolder() / "System", folder.file("System"),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing,
                          error);
    return error;
}

struct CliResult {
    int status = -1;        // exit status; -1 when killed or not started
    bool timedOut = false;  // killed at the deadline
    std::string out;
    std::string err;
};

struct CliRun {
    std::vector<std::string> argv;  // argv[0] is the program's path
    std::string outPath;            // where stdout and stderr are kept
    std::string errPath;
    bool stdoutReaderGone = false;  // stdout into a pipe whose reader has gone
    // Asked while the program runs; once it says yes, the signal is sent (once).
    std::function<bool()> signalNow;
    int signal = SIGINT;
    std::chrono::seconds deadline{60};
};

// Standard input from /dev/null, and the signals the program is sent at their default actions
// whatever this process does with them.
// velmora-cli with the program folder and the controller's line (station 1 at 38400 bit/s)
// before args; its output goes into files of the folder.
inline CliRun CliOnLine(const TempFolder& folder, const std::string& port,
                        const std::vector<std::string>& args) {
    CliRun run;
    run.argv = {(BinaryFolder() / "velmora-cli").string(),
                "--root",
                folder.path(),
                "--port",
                port,
                "--id",
                "1",
                "--baud",
                "38400"};
    run.argv.insert(run.argv.end(), args.begin(), args.end());
    run.outPath = folder.file("cli.out");
    run.errPath = folder.file("cli.err");
    return run;
}

inline CliResult RunCli(CliRun run) {
    using Clock = std::chrono::steady_clock;
    std::vector<char*> pointers;
    for (std::string& arg : run.argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    UniqueFd pipeWriter;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (run.stdoutReaderGone) {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            UniqueFd reader(ends[0]);  // closed at once: every write to the pipe fails
            pipeWriter.reset(ends[1]);
            posix_spawn_file_actions_adddup2(&actions, pipeWriter.get(), STDOUT_FILENO);
        }
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, run.outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, run.errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaddset(&defaults, signal);
    }
    sigset_t unblocked;
    sigemptyset(&unblocked);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &unblocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, pointers[0], &actions, &attributes, pointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    pipeWriter.reset();
    CliResult result;
    if (spawned != 0) {
        return result;
    }
    const auto deadline = Clock::now() + run.deadline;
    bool signalled = false;
    int status = 0;
    // Polled: the child's end and the signal's moment are both states to look at, not waits.
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.timedOut = true;
            break;
        }
        if (!signalled && run.signalNow && run.signalNow()) {
            ::kill(pid, run.signal);
            signalled = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.status = WIFEXITED(status) && !result.timedOut ? WEXITSTATUS(status) : -1;
    result.out = run.stdoutReaderGone ? std::string() : ReadBytes(run.outPath);
    result.err = ReadBytes(run.errPath);
    return result;
}

}  // namespace velmora::test
