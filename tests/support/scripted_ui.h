#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/ui.h"

namespace velmora::test {

// Records every message, status text and progress value; answers questions as scripted
// (Ok, or Yes for a yes/no question, once the script runs out). Safe to call from a worker thread.
class ScriptedUi final : public Ui {
public:
    struct Message {
        std::string text;
        std::string title;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({text, title, icon, buttons});
        if (answers_.empty()) {
            return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
        }
        MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    void setStatusText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        statusTexts_.push_back(text);
    }
    void setProgress(int percent) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(percent);
    }
    bool cancelRequested() override {
        std::lock_guard lock(mutex_);
        ++cancelPolls_;
        return cancelAfterPolls_ >= 0 && cancelPolls_ > cancelAfterPolls_;
    }

    void queueAnswer(MessageAnswer answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(answer);
    }
    // cancelRequested() turns true after the given number of polls (0: at once; -1: never).
    void cancelAfter(int polls) {
        std::lock_guard lock(mutex_);
        cancelAfterPolls_ = polls;
    }
    std::vector<Message> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<std::string> statusTexts() const {
        std::lock_guard lock(mutex_);
        return statusTexts_;
    }
    std::vector<int> progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
        statusTexts_.clear();
        progress_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<std::string> statusTexts_;
    std::vector<int> progress_;
    std::deque<MessageAnswer> answers_;
    int cancelAfterPolls_ = -1;
    int cancelPolls_ = 0;
};

}  // namespace velmora::test
