#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/commands.h"
#include "link/register_ops.h"
#include "link/rtu_master.h"
#include "platform/serial_port.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"

namespace velmora::cli {
namespace {

bool ParseNumber(const std::string& text, long minimum, long maximum, long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && value >= minimum && value <= maximum;
}

int PortsCommand(const Options&, const std::vector<std::string>& args, ConsoleUi&, Session&) {
    if (!args.empty()) {
        std::fprintf(stderr, "velmora-cli: ports takes no arguments\n");
        return kExitUsage;
    }
    // A port on a line of its own, its description (where the system has one) after two spaces.
    const std::map<std::string, std::string> descriptions = SerialPortDescriptions();
    for (const std::string& port : ListSerialPorts()) {
        const auto described = descriptions.find(port);
        if (described == descriptions.end() || described->second.empty()) {
            std::printf("%s\n", port.c_str());
        } else {
            std::printf("%s  %s\n", port.c_str(), described->second.c_str());
        }
    }
    return kExitSuccess;
}

int EchoCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                Session& session) {
    if (!args.empty()) {
        std::fprintf(stderr, "velmora-cli: echo takes no arguments\n");
        return kExitUsage;
    }
    RtuMaster& link = session.master;
    std::uint8_t station = 0;
    if (const int failed = Connect(options, link, ui, station); failed != kExitSuccess) {
        return failed;
    }
    if (!EchoTest(link, station).ok()) {
        ui.showMessage(MessageText(kMsgComsettingComsearchNgContents),
                       MessageText(kMsgComsettingComsearchNgTitle), MessageIcon::Error,
                       MessageButtons::Ok);
        return kExitCommFailed;
    }
    std::printf("echo answered: port %s, station %d, %u bit/s\n", link.portName().c_str(), station,
                link.baudRate());
    return kExitSuccess;
}

int VersionCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                   Session& session) {
    if (!args.empty()) {
        std::fprintf(stderr, "velmora-cli: version takes no arguments\n");
        return kExitUsage;
    }
    RtuMaster& link = session.master;
    std::uint8_t station = 0;
    if (const int failed = Connect(options, link, ui, station); failed != kExitSuccess) {
        return failed;
    }
    std::string version;
    if (const LinkStatus read = ReadVersion(link, station, version); !read.ok()) {
        return CommunicationFailed(ui, read);
    }
    std::printf("%s\n", version.c_str());
    return kExitSuccess;
}

int ReadCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                Session& session) {
    long address = 0;
    long count = 0;
    if (args.size() != 2 || !ParseNumber(args[0], 0, 0xFFFF, address) ||
        !ParseNumber(args[1], 1, 0x10000 - address, count)) {
        std::fprintf(stderr,
                     "velmora-cli: usage: read ADDR COUNT (ADDR 0 to 0xFFFF, COUNT >= 1)\n");
        return kExitUsage;
    }
    RtuMaster& link = session.master;
    std::uint8_t station = 0;
    if (const int failed = Connect(options, link, ui, station); failed != kExitSuccess) {
        return failed;
    }
    // One request carries at most 125 registers; longer ranges go in several.
    for (long done = 0; done < count;) {
        const long chunk = std::min<long>(125, count - done);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(chunk) * 2);
        if (const LinkStatus read =
                ReadRegisters(link, station, static_cast<std::uint16_t>(address + done),
                              static_cast<std::uint16_t>(chunk), data.data());
            !read.ok()) {
            return CommunicationFailed(ui, read);
        }
        for (long i = 0; i < chunk; ++i) {
            const unsigned value = data[2 * i] * 256u + data[2 * i + 1];
            std::printf("0x%04lx 0x%04x %u\n", address + done + i, value, value);
        }
        done += chunk;
    }
    return kExitSuccess;
}

int WriteCommand(const Options& options, const std::vector<std::string>& args, ConsoleUi& ui,
                 Session& session) {
    long address = 0;
    if (args.size() < 2 || args.size() > 124 || !ParseNumber(args[0], 0, 0xFFFF, address)) {
        std::fprintf(stderr, "velmora-cli: usage: write ADDR VALUE... (1 to 123 values)\n");
        return kExitUsage;
    }
    std::vector<std::uint8_t> data;
    for (std::size_t i = 1; i < args.size(); ++i) {
        long value = 0;
        if (!ParseNumber(args[i], -32768, 0xFFFF, value)) {
            std::fprintf(stderr, "velmora-cli: '%s' is not a 16-bit value\n", args[i].c_str());
            return kExitUsage;
        }
        const auto word = static_cast<std::uint16_t>(value & 0xFFFF);
        data.push_back(static_cast<std::uint8_t>(word >> 8));
        data.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    RtuMaster& link = session.master;
    std::uint8_t station = 0;
    if (const int failed = Connect(options, link, ui, station); failed != kExitSuccess) {
        return failed;
    }
    if (const LinkStatus written =
            WriteRegisters(link, station, static_cast<std::uint16_t>(address), data.data(),
                           static_cast<int>(data.size()));
        !written.ok()) {
        return CommunicationFailed(ui, written);
    }
    std::printf("wrote %zu register(s) from 0x%04lx\n", data.size() / 2, address);
    return kExitSuccess;
}

}  // namespace

void AddLinkCommands(CommandTable& table) {
    table["ports"] = PortsCommand;
    table["echo"] = EchoCommand;
    table["version"] = VersionCommand;
    table["read"] = ReadCommand;
    table["write"] = WriteCommand;
}

}  // namespace velmora::cli
