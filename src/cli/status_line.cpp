#include "cli/status_line.h"

#include <algorithm>

namespace velmora::cli {
namespace {

constexpr int kBarWidth = 20;
// The end of a long port name (/dev/serial/by-id/...-if00-port0) tells ports apart.
constexpr std::size_t kShortestName = 16;

// Cut at a character boundary, never inside a UTF-8 sequence.
std::string Clipped(std::string line, std::size_t bytes) {
    if (line.size() <= bytes)
        return line;
    std::size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
    return line;
}

// The name's end, led by "...", in at most room bytes.
std::string NameEnd(const std::string& name, std::size_t room) {
    if (name.size() <= room || room <= 3)
        return name.size() <= room ? name : name.substr(0, room);
    std::size_t from = name.size() - (room - 3);
    while (from < name.size() && (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80) ++from;
    return "..." + name.substr(from);
}

}  // namespace

std::string StatusLine(const std::string& name, int percent, const std::string& phase,
                       std::size_t width) {
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(kBarWidth), '.');
    bar.replace(0, static_cast<std::size_t>(filled), static_cast<std::size_t>(filled), '#');
    const std::string rest = " [" + bar + "] " + std::to_string(percent) + "% " + phase;
    // The name gives way first, down to its distinctive end; then the phase is cut.
    const std::size_t room = width > rest.size() ? width - rest.size() : 0;
    return Clipped(NameEnd(name, std::max(room, kShortestName)) + rest, width);
}

}  // namespace velmora::cli
