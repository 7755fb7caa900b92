#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/serial_port.h"
#include "platform/unique_fd.h"
#include "support/frame_util.h"
#include "support/serial_line.h"

extern char** environ;

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using test::Frame;
using test::ReadBytes;
using test::SendBytes;
using test::ToHex;

std::string SimBinary() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "velmora-sim").string();
}

// One run of velmora-sim with its standard output on a pipe.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            return;
        }
        UniqueFd readEnd(pipeEnds[0]);
        UniqueFd writeEnd(pipeEnds[1]);
        std::vector<std::string> argv = {SimBinary()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv) {
            pointers.push_back(arg.data());
        }
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, readEnd.get());
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (::posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) !=
            0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        out_ = std::move(readEnd);
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool started() const { return pid_ > 0; }

    // Standard output up to the first newline (without it), or what came before timeoutMs.
    std::string firstLine(int timeoutMs) {
        std::string line;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            pollfd entry{out_.get(), POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0) {
                continue;
            }
            char c = 0;
            if (::read(out_.get(), &c, 1) != 1 || c == '\n') {
                break;
            }
            line += c;
        }
        return line;
    }

    // Everything on standard output until the program closes it.
    std::string allOutput() {
        std::string text;
        char chunk[256];
        ssize_t got = 0;
        while ((got = ::read(out_.get(), chunk, sizeof chunk)) > 0) {
            text.append(chunk, static_cast<std::size_t>(got));
        }
        return text;
    }

    // Sends the signal (0: none) and returns the exit code, or -1 when the program did not end
    // normally within timeoutMs.
    int finish(int signal, int timeoutMs = 5000) {
        if (pid_ <= 0) {
            return -1;
        }
        if (signal != 0) {
            ::kill(pid_, signal);
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    UniqueFd out_;
};

class SimProgram : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-simprog-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string readFile(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Sends a request and waits for a reply of expected bytes.
    static Bytes exchange(SerialPort& port, const Bytes& request, std::size_t expected,
                          int timeoutMs = 2000) {
        port.discardInput();
        EXPECT_TRUE(SendBytes(port, request));
        return ReadBytes(port, expected, timeoutMs);
    }

    std::string dir_;
};

TEST_F(SimProgram, ServesItsImageAndDumpsItOnExit) {
    std::ofstream(dir_ + "/in.txt") << "0x0010 = 0x4321\n";
    const std::string dump = dir_ + "/out.txt";
    SimProcess sim({"--id", "3", "--baud", "19200", "--version", "1.23", "--no-pacing", "--image",
                    dir_ + "/in.txt", "--dump-on-exit", dump});
    ASSERT_TRUE(sim.started());
    const std::string path = sim.firstLine(5000);
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;

    auto port = MakeSystemSerialPort();
    ASSERT_TRUE(port->open(path));
    ASSERT_TRUE(port->configure(19200));
    EXPECT_EQ(ToHex(exchange(*port, Frame("03 03 90 0C 00 01"), 7)),
              ToHex(Frame("03 03 02 00 7B")));
    EXPECT_EQ(ToHex(exchange(*port, Frame("03 03 00 10 00 01"), 7)),
              ToHex(Frame("03 03 02 43 21")));
    EXPECT_EQ(ToHex(exchange(*port, Frame("03 10 00 11 00 01 02 00 42"), 8)),
              ToHex(Frame("03 10 00 11 00 01")));
    EXPECT_TRUE(exchange(*port, Frame("01 03 00 10 00 01"), 7, 100).empty());
    port->close();

    EXPECT_EQ(sim.finish(SIGTERM), 0);
    const std::string image = readFile(dump);
    for (const char* line : {"station = 3\n", "version = 123\n", "0x0010 = 0x4321\n",
                             "0x0011 = 0x0042\n", "0x07FF = "}) {
        EXPECT_NE(image.find(line), std::string::npos) << line;
    }
}

TEST_F(SimProgram, LinkLastsAsLongAsTheProgram) {
    const std::string link = dir_ + "/controller";
    SimProcess sim({"--link", link});
    ASSERT_TRUE(sim.started());
    const std::string path = sim.firstLine(5000);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(fs::read_symlink(link).string(), path);
    auto port = MakeSystemSerialPort();
    ASSERT_TRUE(port->open(link));
    ASSERT_TRUE(port->configure(38400));  // the default rate
    EXPECT_EQ(ToHex(exchange(*port, Frame("01 03 90 0C 00 01"), 7)),
              ToHex(Frame("01 03 02 00 6E")));  // default version 1.10
    port->close();
    EXPECT_EQ(sim.finish(SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(SimProgram, PacesTheLineUnlessToldNotTo) {
    // 125 registers at 9600 bit/s: 8 + 255 bytes of 10 bits take 274 ms on a real line.
    const Bytes request = Frame("01 03 04 00 00 7D");
    constexpr long long kLineMs = 274;
    for (const bool paced : {true, false}) {
        SCOPED_TRACE(paced ? "paced" : "not paced");
        std::vector<std::string> args = {"--baud", "9600"};
        if (!paced) {
            args.push_back("--no-pacing");
        }
        SimProcess sim(args);
        ASSERT_TRUE(sim.started());
        const std::string path = sim.firstLine(5000);
        auto port = MakeSystemSerialPort();
        ASSERT_TRUE(port->open(path));
        ASSERT_TRUE(port->configure(9600));
        const auto start = Clock::now();
        EXPECT_EQ(exchange(*port, request, 255).size(), 255u);
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (paced) {
            EXPECT_GE(elapsed, kLineMs);
        } else {
            EXPECT_LT(elapsed, kLineMs);
        }
        port->close();
        EXPECT_EQ(sim.finish(SIGTERM), 0);
    }
}

TEST_F(SimProgram, FaultOptionsReachTheController) {
    SimProcess sim({"--no-pacing", "--wrong-station", "2", "--die-after", "2"});
    ASSERT_TRUE(sim.started());
    const std::string path = sim.firstLine(5000);
    auto port = MakeSystemSerialPort();
    ASSERT_TRUE(port->open(path)) << path;
    ASSERT_TRUE(port->configure(38400));
    const Bytes request = Frame("01 03 90 0C 00 01");
    EXPECT_EQ(ToHex(exchange(*port, request, 7)), ToHex(Frame("01 03 02 00 6E")));
    EXPECT_EQ(ToHex(exchange(*port, request, 7)), ToHex(Frame("02 03 02 00 6E")));
    EXPECT_TRUE(exchange(*port, request, 7, 300).empty());
    port->close();
    EXPECT_EQ(sim.finish(SIGTERM), 0);
}

TEST_F(SimProgram, RefusesBadUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {"--id", "0"},
        {"--id", "248"},
        {"--id", "x"},
        {"--baud", "300"},
        {"--baud", "12345"},
        {"--version", "1.234"},
        {"--version", "abc"},
        {"--version", "1."},
        {"--turnaround", "-1"},
        {"--bogus"},
        {"--id"},
        {"--link", ""},
        {"--drop-request", "0"},
        {"--late-reply", "-3"},
        {"--late-ms", "60001"},
        {"--die-after", "x"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        SimProcess sim(args);
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.allOutput(), "");
        EXPECT_EQ(sim.finish(0), 2);
    }
}

TEST_F(SimProgram, HelpAndStartFailures) {
    SimProcess help({"--help"});
    ASSERT_TRUE(help.started());
    EXPECT_EQ(help.allOutput().rfind("usage: velmora-sim", 0), 0u);
    EXPECT_EQ(help.finish(0), 0);

    SimProcess missingImage({"--image", dir_ + "/missing.txt"});
    ASSERT_TRUE(missingImage.started());
    EXPECT_EQ(missingImage.allOutput(), "");
    EXPECT_EQ(missingImage.finish(0), 1);
}

}  // namespace
}  // namespace velmora
