#pragma once

#include <string>

namespace velmora {

enum class MessageIcon { Information, Warning, Error, Question };
// YesNo makes No the default answer; OkCancelDefaultCancel is OK and Cancel with Cancel as the
// default, for a question before something that cannot be undone.
enum class MessageButtons { Ok, OkCancel, YesNo, OkCancelDefaultCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// The one seam between the program's work and the person in front of it. The GUI marshals
// every call to its own thread (blocking for questions); the CLI prints and prompts; tests
// script the answers. Work code may call it from any thread.
class Ui {
  public:
    virtual ~Ui() = default;

    // Shows a message and returns the user's answer (Ok for a box with only an OK button).
    virtual MessageAnswer showMessage(const std::string& text, const std::string& title,
                                      MessageIcon icon, MessageButtons buttons) = 0;
    // As showMessage, with a longer text the user can unfold (a list of faults, of values).
    virtual MessageAnswer showDetailedMessage(const std::string& text, const std::string& title,
                                              MessageIcon icon, MessageButtons buttons,
                                              const std::string& details) {
        return showMessage(details.empty() ? text : text + "\n\n" + details, title, icon, buttons);
    }
    virtual void setStatusText(const std::string& text) = 0;
    // A warning that must not hold the work up (the service history could not be written):
    // nothing to answer. By default it shows as the status text.
    virtual void showNotice(const std::string& text) { setStatusText(text); }
    virtual void setProgress(int percent) = 0;
    // Polled by long work between steps; true once the user asked to stop.
    virtual bool cancelRequested() = 0;
};

// A Ui that shows nothing and never cancels: for work that has no one to talk to.
class SilentUi final : public Ui {
  public:
    MessageAnswer showMessage(const std::string&, const std::string&, MessageIcon,
                              MessageButtons) override {
        return MessageAnswer::Ok;
    }
    void setStatusText(const std::string&) override {}
    void setProgress(int) override {}
    bool cancelRequested() override { return false; }
};

}  // namespace velmora
