#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "app/qt/qt_ui.h"
#include "sysfiles/language.h"

namespace velmora::test {

// Records every message box and answers as scripted (Ok/Yes once the script runs out).
class ScriptedPresenter {
  public:
    struct Shown {
        std::string text;
        std::string title;
        MessageIcon icon;
        MessageButtons buttons;
        std::string details;
    };

    ScriptedPresenter() {
        QtUi::setPresenter([this](QWidget*, const std::string& text, const std::string& title,
                                  MessageIcon icon, MessageButtons buttons,
                                  const std::string& details) {
            shown.push_back({text, title, icon, buttons, details});
            if (answers.empty()) {
                return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
            }
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~ScriptedPresenter() { QtUi::setPresenter({}); }

    bool sawTitle(const std::string& title) const {
        for (const Shown& s : shown) {
            if (s.title == title)
                return true;
        }
        return false;
    }

    std::vector<Shown> shown;
    std::deque<MessageAnswer> answers;
};

// A program folder of its own: the built System folder (language, rules, sample data) and a
// settings file with the given lines.
class ProgramFolder {
  public:
    explicit ProgramFolder(const QString& settingsBody) {
        const QString system = QCoreApplication::applicationDirPath() + QStringLiteral("/System");
        CopyFolder(system, dir_.path() + QStringLiteral("/System"));
        QFile settings(dir_.path() + QStringLiteral("/System/CommunicationSetting.ini"));
        if (settings.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            settings.write("[COMMUNICATION_SETTING]\r\n");
            settings.write(settingsBody.toUtf8());
        }
        saved_ = App();
        App() = AppState{};
        App().moduleFolder = dir_.path().toStdString() + "/";
        ResetLanguageStateForTesting();
    }
    ~ProgramFolder() {
        ResetLanguageStateForTesting();
        App() = saved_;
    }
    QString path() const { return dir_.path(); }

  private:
    static void CopyFolder(const QString& from, const QString& to) {
        QDir().mkpath(to);
        const QDir source(from);
        for (const QString& name : source.entryList(QDir::Files)) {
            QFile::copy(from + "/" + name, to + "/" + name);
        }
        for (const QString& name : source.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            CopyFolder(from + "/" + name, to + "/" + name);
        }
    }

    QTemporaryDir dir_;
    AppState saved_;
};

// The visible top-level window with this object name, or null.
inline QWidget* FindWindow(const QString& objectName) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() == objectName) {
            return widget;
        }
    }
    return nullptr;
}

// Runs step once the window appears (polled from the event loop, so it works while a modal
// dialog runs its own loop). Steps run in order; each waits for its own window.
class Script {
  public:
    Script() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(20);
    }
    Script& when(const QString& objectName, std::function<void(QWidget*)> step) {
        return whenReady(objectName, nullptr, std::move(step));
    }
    // As when, but the step waits until ready(window) holds too. Steps must not wait inside
    // themselves: a modal loop they started could not end until they return.
    Script& whenReady(const QString& objectName, std::function<bool(QWidget*)> ready,
                      std::function<void(QWidget*)> step) {
        steps_.push_back({objectName, std::move(ready), std::move(step)});
        return *this;
    }
    bool done() const { return steps_.empty(); }
    std::size_t remaining() const { return steps_.size(); }

  private:
    void Poll() {
        if (steps_.empty() || running_) {
            return;
        }
        QWidget* window = FindWindow(steps_.front().name);
        if (window == nullptr || (steps_.front().ready && !steps_.front().ready(window))) {
            return;
        }
        auto step = std::move(steps_.front().step);
        steps_.pop_front();
        running_ = true;
        step(window);
        running_ = false;
    }

    QTimer timer_;
    struct Step {
        QString name;
        std::function<bool(QWidget*)> ready;
        std::function<void(QWidget*)> step;
    };
    std::deque<Step> steps_;
    bool running_ = false;
};

template <typename T = QAbstractButton>
T* Child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// Clicks from the event loop, so a click that opens a modal dialog does not block the script.
inline void Click(QWidget* parent, const char* name) {
    auto* button = Child<QAbstractButton>(parent, name);
    QVERIFY2(button != nullptr, name);
    QVERIFY2(button->isVisible() && button->isEnabled(), name);
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

}  // namespace velmora::test
