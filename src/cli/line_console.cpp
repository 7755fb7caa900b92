#include "cli/line_console.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "cli/status_line.h"
#include "platform/terminal.h"

namespace velmora::cli {
namespace {

// A status line as wide as the terminal would wrap, and the redraw would miss its start.
constexpr int kAssumedColumns = 80;

int Clamped(int percent) {
    return percent < 0 ? 0 : (percent > 100 ? 100 : percent);
}

}  // namespace

LineConsole::LineConsole(std::vector<std::string> ports) : live_(isatty(STDERR_FILENO) != 0) {
    for (std::string& name : ports) {
        PortLine line;
        line.name = std::move(name);
        ports_.push_back(std::move(line));
    }
}

void LineConsole::print(std::size_t port, OutputStream stream, const std::string& text) {
    std::lock_guard lock(mutex_);
    eraseBoard();
    std::FILE* to = stream == OutputStream::Out ? stdout : stderr;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::fprintf(to, "%s: %s\n", ports_[port].name.c_str(),
                     text.substr(start, end - start).c_str());
        start = end + 1;
    }
    std::fflush(to);
    drawBoard();
}

void LineConsole::setPhase(std::size_t port, const std::string& phase) {
    std::lock_guard lock(mutex_);
    const std::string shown = ForTerminal(phase);
    if (shown == ports_[port].phase)
        return;
    ports_[port].phase = shown;
    statusChanged(port);
}

void LineConsole::setPercent(std::size_t port, int percent) {
    std::lock_guard lock(mutex_);
    if (Clamped(percent) == ports_[port].percent)
        return;
    ports_[port].percent = Clamped(percent);
    statusChanged(port);
}

void LineConsole::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    boardLines_ = 0;
}

void LineConsole::statusChanged(std::size_t port) {
    PortLine& line = ports_[port];
    if (live_) {
        eraseBoard();
        drawBoard();
        return;
    }
    // A log gets a line per phase and per tenth of the way, not one per percent.
    if (line.phase == line.printedPhase && line.printedPercent >= 0 &&
        std::abs(line.percent - line.printedPercent) < 10)
        return;
    line.printedPhase = line.phase;
    line.printedPercent = line.percent;
    std::fprintf(stderr, "%s: %3d%% %s\n", line.name.c_str(), line.percent, line.phase.c_str());
    std::fflush(stderr);
}

void LineConsole::eraseBoard() {
    if (boardLines_ == 0)
        return;
    // Up to the first status line, then clear from there to the end of the screen.
    std::fprintf(stderr, "\033[%dA\r\033[J", boardLines_);
    boardLines_ = 0;
}

void LineConsole::drawBoard() {
    if (!live_ || closed_)
        return;
    const auto width = static_cast<std::size_t>(TerminalColumns(kAssumedColumns) - 1);
    for (const PortLine& line : ports_) {
        std::fprintf(stderr, "\033[K%s\n",
                     StatusLine(line.name, line.percent, line.phase, width).c_str());
    }
    std::fflush(stderr);
    boardLines_ = static_cast<int>(ports_.size());
}

MessageAnswer PortUi::showMessage(const std::string& text, const std::string& title,
                                  MessageIcon icon, MessageButtons buttons) {
    std::string lines = ConsoleMessageText(text, title, icon);
    MessageAnswer answer = MessageAnswer::Ok;
    if (buttons != MessageButtons::Ok) {
        const bool yesNo = buttons == MessageButtons::YesNo;
        const char* acceptName = yesNo ? "Yes" : "OK";
        const char* declineName = yesNo ? "No" : "Cancel";
        if (assumeYes_) {
            lines += std::string("(answered ") + acceptName + " with --yes)\n";
            answer = yesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
        } else {
            lines += std::string("(answered ") + declineName +
                     ": a run on several ports or with --repeat asks no one; --yes answers " +
                     acceptName + ")\n";
            answer = yesNo ? MessageAnswer::No : MessageAnswer::Cancel;
        }
    }
    console_.print(port_, OutputStream::Err, lines);
    return answer;
}

void PortUi::showNotice(const std::string& text) {
    console_.print(port_, OutputStream::Err, "velmora-cli: warning: " + ForTerminal(text) + "\n");
}

void PortUi::print(OutputStream stream, const std::string& text) {
    // The job's own reason for failing is its last "velmora-cli: ..." line on stderr.
    static constexpr std::string_view kProgram = "velmora-cli: ";
    if (stream == OutputStream::Err && text.rfind(kProgram, 0) == 0) {
        lastProblem_ = text.substr(kProgram.size());
        while (!lastProblem_.empty() && lastProblem_.back() == '\n') lastProblem_.pop_back();
    }
    console_.print(port_, stream, text);
}

}  // namespace velmora::cli
