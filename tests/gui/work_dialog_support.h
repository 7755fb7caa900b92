#pragma once

// The program with the sample data set on a virtual controller, and what the work dialog
// tests compare the controller's registers with.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/qt/velmora_app.h"
#include "app/qt/velmora_dlg.h"
#include "app/session.h"
#include "gui/gui_support.h"
#include "sim/pty_controller.h"
#include "support/transmit_support.h"
#include "sysfiles/settings_file.h"

namespace velmora::test {

inline QString ManualSettings(const std::string& port, int baud, int id) {
    return QStringLiteral(
               "COM_NUM=0\r\nCOM_PORT=%1\r\nCOM_SELECT=MANUAL\r\nCOM_BITRATE=%2\r\n"
               "COM_CONNECTION_ID=%3\r\nCOM_SILENT_INTERVAL=0\r\nCOM_DELAY=0\r\n")
        .arg(QString::fromStdString(port))
        .arg(baud)
        .arg(id);
}

// The scrambled sample data set beside the test programs (the velmora_sample_data target).
inline bool SampleDataBuilt() {
    return QFile::exists(QCoreApplication::applicationDirPath() +
                         QStringLiteral("/System/Data/VMA-Series/AdapterFile.vms"));
}

// Sets one key of the program folder's rule file, keeping the rest of the shipped rules.
inline bool SetRule(const QString& programFolder, const QString& key, int value) {
    QFile file(programFolder + QStringLiteral("/System/FunctionalRestriction.ini"));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    file.close();
    bool found = false;
    for (QString& line : lines) {
        if (line.startsWith(key + QLatin1Char('='))) {
            line = key + QLatin1Char('=') + QString::number(value);
            found = true;
        }
    }
    if (!found || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    file.write(lines.join(QLatin1Char('\n')).toUtf8());
    return true;
}

// A pass of the program built as the start-up builds it (main window and the four work
// dialogs), on a virtual controller identified at station 1, with the sample data set in the
// program folder. prepare runs on the program folder before the work dialogs read it.
struct SampleProgram {
    explicit SampleProgram(const std::function<void(const QString&)>& prepare = {})
        : folder((controller.start(), ManualSettings(controller.slavePath(), 38400, 1))) {
        if (prepare) {
            prepare(folder.path());
        }
        LoadMessageTable(program.ui());
        ReadCommSettings(ModulePath(kCommSettingsFile), App().commSettings);
        App().commSettings.activeStationId = 1;
        program.CreateMainDialog();
        program.CreateWorkDialogs();
        program.mainDialog()->show();
    }
    ~SampleProgram() {
        program.DestroyWorkDialogs();
        program.DestroyMainDialog();
    }
    SampleProgram(const SampleProgram&) = delete;
    SampleProgram& operator=(const SampleProgram&) = delete;

    sim::VirtualController& device() { return controller.controller(); }
    // A function page button, as the user presses it.
    void press(const char* button) {
        Child<QPushButton>(program.mainDialog()->functionPage(), button)->click();
    }

    sim::PtyController controller;
    ProgramFolder folder;
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};
};

// Like Script, but a step runs only once its window also meets a condition, so several steps
// can wait for the same window in different states without waiting inside a step.
class StateScript {
  public:
    using Condition = std::function<bool(QWidget*)>;

    StateScript() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(20);
    }
    StateScript& when(const QString& objectName, Condition condition,
                      std::function<void(QWidget*)> step) {
        steps_.push_back({objectName, std::move(condition), std::move(step)});
        return *this;
    }
    bool done() const { return steps_.empty(); }
    std::size_t remaining() const { return steps_.size(); }

  private:
    struct Step {
        QString objectName;
        Condition condition;
        std::function<void(QWidget*)> run;
    };

    void Poll() {
        if (steps_.empty() || running_) {
            return;
        }
        QWidget* window = FindWindow(steps_.front().objectName);
        if (window == nullptr || !steps_.front().condition(window)) {
            return;
        }
        auto run = std::move(steps_.front().run);
        steps_.pop_front();
        running_ = true;
        run(window);
        running_ = false;
    }

    QTimer timer_;
    std::deque<Step> steps_;
    bool running_ = false;
};

inline QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

// Chooses an entry of a list by its text, as a user's click does; false when it is not there.
inline bool Choose(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        return false;
    }
    combo->setCurrentIndex(index);
    return true;
}

inline QString Shown(MessageId id) {
    return QString::fromStdString(MessageText(id));
}

// Registers first..last of the controller, in order.
inline std::vector<std::uint16_t> Registers(sim::VirtualController& device, std::uint16_t first,
                                            std::uint16_t last) {
    return device.getRange(first, static_cast<std::size_t>(last - first + 1));
}

// The first register of first..last whose value differs from expected (which holds a value
// for every register of the range), as text for a failure message; empty when all agree.
inline QString FirstDifference(const RegisterValues& expected, sim::VirtualController& device,
                               std::uint16_t first, std::uint16_t last) {
    const std::vector<std::uint16_t> actual = Registers(device, first, last);
    if (actual.size() != static_cast<std::size_t>(last - first + 1)) {
        return QStringLiteral("range not readable");
    }
    for (std::uint16_t reg = first; reg <= last; ++reg) {
        const auto it = expected.find(reg);
        if (it == expected.end()) {
            return QString::asprintf("no expectation for 0x%04x", reg);
        }
        const std::uint16_t value = actual[reg - first];
        if (value != it->second) {
            return QString::asprintf("0x%04x holds 0x%04x, expected 0x%04x", reg, value,
                                     it->second);
        }
    }
    return {};
}

// The range as an image, to overlay expectations on.
inline RegisterValues Snapshot(sim::VirtualController& device, std::uint16_t first,
                               std::uint16_t last) {
    RegisterValues image;
    const std::vector<std::uint16_t> values = Registers(device, first, last);
    for (std::size_t i = 0; i < values.size(); ++i) {
        image[static_cast<std::uint16_t>(first + i)] = values[i];
    }
    return image;
}

inline bool AnyWriteRequest(sim::VirtualController& device) {
    for (const auto& frame : device.requestLog()) {
        if (frame.size() > 1 && frame[1] == 0x10) {
            return true;
        }
    }
    return false;
}

}  // namespace velmora::test
