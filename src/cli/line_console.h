#pragma once

// The console of the production line: every port's lines go through one printer under one
// lock, each prefixed with its port, and each port has a status line (phase and percent).

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_ui.h"

namespace velmora::cli {

class LineConsole {
  public:
    // The status lines are redrawn in place when stderr is a terminal; otherwise a line is
    // printed when a port's phase changes or its percent moves by a tenth.
    explicit LineConsole(std::vector<std::string> ports);
    LineConsole(const LineConsole&) = delete;
    LineConsole& operator=(const LineConsole&) = delete;

    const std::string& portName(std::size_t port) const { return ports_[port].name; }
    // Lines of text (the last one may lack its line feed), each as "PORT: line".
    void print(std::size_t port, OutputStream stream, const std::string& text);
    void setPhase(std::size_t port, const std::string& phase);
    void setPercent(std::size_t port, int percent);
    // Leaves the status lines as they stand; later output goes below them.
    void close();

  private:
    struct PortLine {
        std::string name;
        std::string phase;
        int percent = 0;
        std::string printedPhase;
        int printedPercent = -1;
    };

    void statusChanged(std::size_t port);
    void eraseBoard();
    void drawBoard();

    std::mutex mutex_;
    const bool live_;
    bool closed_ = false;
    int boardLines_ = 0;
    std::vector<PortLine> ports_;
};

// The Ui of one port's job: its boxes and lines go to the line's console with the port's name
// before them. Nothing is asked: a question is answered yes only with --yes. A write is never
// cancelled (the line's stop request ends the waiting, not a job).
class PortUi final : public CliUi {
  public:
    PortUi(LineConsole& console, std::size_t port, bool assumeYes)
        : console_(console), port_(port), assumeYes_(assumeYes) {}

    MessageAnswer showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override;
    void setStatusText(const std::string& text) override { console_.setPhase(port_, text); }
    void showNotice(const std::string& text) override;
    void setProgress(int percent) override { console_.setPercent(port_, percent); }
    bool cancelRequested() override { return false; }
    void finishProgress() override {}

    // The last reason a job of this port gave for failing ("the write failed (NG)"), or empty.
    const std::string& lastProblem() const { return lastProblem_; }
    void clearProblem() { lastProblem_.clear(); }

  protected:
    void print(OutputStream stream, const std::string& text) override;

  private:
    LineConsole& console_;
    std::size_t port_;
    bool assumeYes_;
    std::string lastProblem_;
};

}  // namespace velmora::cli
