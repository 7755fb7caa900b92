#pragma once

#include <atomic>
#include <string>

#include "app/ui.h"

namespace velmora::cli {

// Messages go to stderr; questions are asked on the terminal (declined when no one can answer,
// or accepted without asking with --yes); progress redraws one line on a terminal.
class ConsoleUi final : public Ui {
  public:
    explicit ConsoleUi(bool assumeYes = false) : assumeYes_(assumeYes) {}

    MessageAnswer showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override;
    void setStatusText(const std::string& text) override;
    // One line on stderr, whatever the progress line shows.
    void showNotice(const std::string& text) override;
    void setProgress(int percent) override;
    bool cancelRequested() override { return cancelled_.load(); }

    void requestCancel() { cancelled_ = true; }
    // Ends a progress line so that the next output starts on a fresh line.
    void finishProgress();

  private:
    void drawProgress();

    bool assumeYes_;
    std::atomic<bool> cancelled_{false};
    std::string status_;
    int percent_ = -1;
    bool progressShown_ = false;
    // What the last plain line showed, when stderr is no terminal.
    std::string printedStatus_;
    int printedPercent_ = -1;
};

}  // namespace velmora::cli
