#include "cli/cli_ui.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "sysfiles/language.h"
#include "sysfiles/message_ids.h"

namespace velmora::cli {

std::string ForTerminal(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out.push_back(text[i] == '\r' ? '\n' : text[i]);
    }
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

namespace {

const char* IconLabel(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return "error";
        case MessageIcon::Warning:
            return "warning";
        case MessageIcon::Question:
            return "question";
        case MessageIcon::Information:
            break;
    }
    return "info";
}

std::string Formatted(const char* format, std::va_list arguments) {
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

}  // namespace

std::string ConsoleMessageText(const std::string& text, const std::string& title,
                               MessageIcon icon) {
    std::string lines = std::string("[") + IconLabel(icon) + "]";
    if (!title.empty())
        lines += " " + ForTerminal(title);
    return lines + "\n" + ForTerminal(text) + "\n";
}

void CliUi::out(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string text = Formatted(format, arguments);
    va_end(arguments);
    print(OutputStream::Out, text);
}

void CliUi::err(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string text = Formatted(format, arguments);
    va_end(arguments);
    print(OutputStream::Err, text);
}

void ConsoleUi::print(OutputStream stream, const std::string& text) {
    std::FILE* to = stream == OutputStream::Out ? stdout : stderr;
    std::fputs(text.c_str(), to);
    std::fflush(to);
}

MessageAnswer ConsoleUi::showMessage(const std::string& text, const std::string& title,
                                     MessageIcon icon, MessageButtons buttons) {
    finishProgress();
    std::cerr << ConsoleMessageText(text, title, icon);
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    // The message names the buttons of its box ("Press OK ... or Cancel"); the prompt answers
    // in the same words, so that y and N say which button they stand for.
    const bool yesNo = buttons == MessageButtons::YesNo;
    const MessageAnswer accept = yesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    const MessageAnswer decline = yesNo ? MessageAnswer::No : MessageAnswer::Cancel;
    const char* acceptName = yesNo ? "Yes" : "OK";
    const char* declineName = yesNo ? "No" : "Cancel";
    if (assumeYes_) {
        std::cerr << "(answered " << acceptName << " with --yes)\n";
        return accept;
    }
    if (asking_ == Asking::Never) {
        std::cerr << "(answered " << declineName << ": a run on several ports or with --repeat "
                  << "asks no one; --yes answers " << acceptName << ")\n";
        return decline;
    }
    if (!isatty(STDIN_FILENO)) {
        std::cerr << "(answered " << declineName << ": no terminal to ask; --yes answers "
                  << acceptName << ")\n";
        return decline;
    }
    std::cerr << "[y = " << acceptName << ", N = " << declineName << "] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        return decline;
    }
    return (answer == "y" || answer == "Y" || answer == "yes") ? accept : decline;
}

void ConsoleUi::setStatusText(const std::string& text) {
    if (text == status_) {
        return;
    }
    status_ = text;
    drawProgress();
}

void ConsoleUi::showNotice(const std::string& text) {
    finishProgress();
    std::fprintf(stderr, "velmora-cli: warning: %s\n", ForTerminal(text).c_str());
}

void ConsoleUi::setProgress(int percent) {
    if (percent == percent_) {
        return;
    }
    percent_ = percent;
    drawProgress();
}

void ConsoleUi::drawProgress() {
    const std::string status = ForTerminal(status_);
    if (isatty(STDERR_FILENO)) {
        const int shown = percent_ < 0 ? 0 : (percent_ > 100 ? 100 : percent_);
        const int filled = shown * 30 / 100;
        std::fprintf(stderr, "\r\033[K[%-30s] %3d%% %s", std::string(filled, '#').c_str(), shown,
                     status.c_str());
        std::fflush(stderr);
        progressShown_ = true;
    } else {
        // A log gets a line per status and per tenth of the way, not one per percent.
        const int percent = percent_ < 0 ? 0 : percent_;
        const bool statusChanged = status_ != printedStatus_;
        if (!statusChanged && printedPercent_ >= 0 && std::abs(percent - printedPercent_) < 10) {
            return;
        }
        printedStatus_ = status_;
        printedPercent_ = percent;
        std::fprintf(stderr, "%3d%% %s\n", percent, status.c_str());
    }
}

void ConsoleUi::finishProgress() {
    if (progressShown_) {
        std::fputc('\n', stderr);
        progressShown_ = false;
    }
}

}  // namespace velmora::cli
