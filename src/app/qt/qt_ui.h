#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>

#include "app/ui.h"

namespace velmora {

// Shows a message box and returns the answer; tests replace it with a scripted one.
// details is the longer text the user can unfold (empty for none).
using MessagePresenter = std::function<MessageAnswer(
    QWidget* owner, const std::string& text, const std::string& title, MessageIcon icon,
    MessageButtons buttons, const std::string& details)>;

// The desktop's Ui. It may be called from any thread: status and progress travel to the GUI
// thread as queued signals, and a message box is shown on the GUI thread while the calling
// worker waits for the answer. No widget is ever touched from a worker thread.
class QtUi final : public QObject, public Ui {
    Q_OBJECT
  public:
    explicit QtUi(QWidget* owner = nullptr);

    MessageAnswer showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override;
    MessageAnswer showDetailedMessage(const std::string& text, const std::string& title,
                                      MessageIcon icon, MessageButtons buttons,
                                      const std::string& details) override;
    void setStatusText(const std::string& text) override;
    void setProgress(int percent) override;
    bool cancelRequested() override { return cancelled_.load(); }

    void requestCancel() { cancelled_ = true; }
    void resetCancel() { cancelled_ = false; }
    void setOwner(QWidget* owner) { owner_ = owner; }
    QWidget* owner() const { return owner_; }

    // The presenter every QtUi uses; the default shows a QMessageBox.
    static void setPresenter(MessagePresenter presenter);
    static MessageAnswer Present(QWidget* owner, const std::string& text, const std::string& title,
                                 MessageIcon icon, MessageButtons buttons,
                                 const std::string& details = {});

  signals:
    void statusTextChanged(const QString& text);
    void progressChanged(int percent);

  private:
    QPointer<QWidget> owner_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace velmora
