#pragma once

#include <atomic>
#include <string>

#include "app/ui.h"

#if defined(__GNUC__)
// gnu_printf: MinGW's C++ library uses its own C99 printf (%zu, %lld), not the system's, and
// the format is checked against that one.
#define VELMORA_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define VELMORA_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

namespace velmora::cli {

enum class OutputStream { Out, Err };

// The Ui of a command's job, with the plain lines it prints besides the Ui's boxes: report
// lines (out) and notes on what failed (err). One job alone prints them as they are; a job on
// one port of several has them prefixed with its port.
class CliUi : public Ui {
  public:
    void out(const char* format, ...) VELMORA_PRINTF_FORMAT(2, 3);
    void err(const char* format, ...) VELMORA_PRINTF_FORMAT(2, 3);
    // Ends a progress line so that the next output starts on a fresh line.
    virtual void finishProgress() = 0;

  protected:
    // Whole lines, each ending in a line feed.
    virtual void print(OutputStream stream, const std::string& text) = 0;
};

// A message box as console lines: "[error] Title" and the text, with line feeds only.
std::string ConsoleMessageText(const std::string& text, const std::string& title, MessageIcon icon);
// Texts from the language file end lines with CR LF; a terminal wants LF.
std::string ForTerminal(const std::string& text);

// How a message box with a choice is answered.
enum class Asking {
    Terminal,  // on the terminal when there is one (or --yes)
    Never,     // declined unless --yes: an unattended run has no one to ask
};

// Messages go to stderr; questions are asked on the terminal (declined when no one can answer,
// or accepted without asking with --yes); progress redraws one line on a terminal.
class ConsoleUi final : public CliUi {
  public:
    explicit ConsoleUi(bool assumeYes = false) : assumeYes_(assumeYes) {}

    void setAsking(Asking asking) { asking_ = asking; }
    bool assumesYes() const { return assumeYes_; }

    MessageAnswer showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override;
    void setStatusText(const std::string& text) override;
    // One line on stderr, whatever the progress line shows.
    void showNotice(const std::string& text) override;
    void setProgress(int percent) override;
    bool cancelRequested() override { return cancelled_.load(); }

    void requestCancel() { cancelled_ = true; }
    void finishProgress() override;

  protected:
    void print(OutputStream stream, const std::string& text) override;

  private:
    void drawProgress();

    bool assumeYes_;
    Asking asking_ = Asking::Terminal;
    std::atomic<bool> cancelled_{false};
    std::string status_;
    int percent_ = -1;
    bool progressShown_ = false;
    // What the last plain line showed, when stderr is no terminal.
    std::string printedStatus_;
    int printedPercent_ = -1;
};

}  // namespace velmora::cli
