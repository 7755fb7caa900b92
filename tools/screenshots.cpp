// velmora-screenshots: renders every window of the desktop program into PNG files, in the
// language of a chosen language file, so translations and layouts can be checked by eye
// without a display or a controller.
//
//   velmora-screenshots --out DIR [--language FILE] [--screen WxH] [--strict]
//
// Pictures are named <NN>-<ClassName>[-<variant>].png. Texts that do not fit their control are
// listed as "tight" in the output, each window's Tab order is printed, and controls the Tab key
// never reaches are named; --strict turns either into a failure.
//
// It works on a throw-away copy of the System folder beside this program and on the built-in
// virtual controller, so nothing of an installation is touched.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "app/qt/qt_ui.h"
#include "app/qt/qualification_dlg.h"
#include "app/qt/sv_error_dlg.h"
#include "app/qt/velmora_app.h"
#include "app/qt/velmora_dlg.h"
#include "backup/qt/backup_dlg.h"
#include "compare/qt/choose_actuator_dlg.h"
#include "compare/qt/compare_dlg.h"
#include "comsetup/qt/com_setting_frame.h"
#include "comsetup/qt/progress_dlg.h"
#include "data/qt/file_select_dlg.h"
#include "data/qt/select_actuator_dlg.h"
#include "sim/pty_controller.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "sysfiles/message_ids.h"
#include "sysfiles/settings_file.h"
#include "transmit/qt/transmitting_dlg.h"
#include "version/qt/version_info_dlg.h"

namespace velmora {
namespace {

constexpr std::uint32_t kControllerBitRate = 38400;
constexpr int kControllerStation = 1;

void Settle(int rounds = 8) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

QString Describe(const QWidget* widget) {
    QString name = widget->objectName();
    if (name.isEmpty()) {
        name = QString::fromLatin1(widget->metaObject()->className());
    }
    return name;
}

// Names the controls whose text does not fit the room the layout gave them.
int ReportTightTexts(const QWidget* window) {
    int tight = 0;
    const auto report = [&](const QWidget* widget, const QString& text, const char* what) {
        ++tight;
        std::printf("    tight %s %s (%dx%d): \"%s\"\n", what, qPrintable(Describe(widget)),
                    widget->width(), widget->height(),
                    qPrintable(QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n"))));
    };
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window)) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            if (label->text().isEmpty() || !label->pixmap().isNull()) {
                continue;
            }
            const QRect room = label->contentsRect();
            if (label->wordWrap()) {
                if (label->heightForWidth(label->width()) > label->height()) {
                    report(label, label->text(), "wrapped label");
                }
            } else if (label->fontMetrics()
                           .boundingRect(room, label->alignment(), label->text())
                           .width() > room.width()) {
                report(label, label->text(), "label");
            }
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            if (!button->text().isEmpty() && button->sizeHint().width() > button->width()) {
                report(button, button->text(), "button");
            }
        } else if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
            const int needed = group->fontMetrics().horizontalAdvance(group->title()) +
                               2 * group->fontMetrics().height();
            if (needed > group->width()) {
                report(group, group->title(), "group title");
            }
        } else if (const auto* tabs = qobject_cast<const QTabBar*>(widget)) {
            for (int i = 0; i < tabs->count(); ++i) {
                const QRect tab = tabs->tabRect(i);
                const int needed = tabs->fontMetrics().horizontalAdvance(tabs->tabText(i));
                // A tab past the bar's end is reached only through the scroll arrows.
                if (tab.width() < needed || tab.right() >= tabs->width()) {
                    report(tabs, tabs->tabText(i), "tab");
                }
            }
        }
    }
    return tight;
}

bool IsControl(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) != nullptr ||
           qobject_cast<const QComboBox*>(widget) != nullptr ||
           qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
           qobject_cast<const QTabBar*>(widget) != nullptr;
}

// The controls a technician must be able to reach with the Tab key, whatever their focus
// policy says; parts of a compound control (a combo box's line edit) go with their owner.
QList<QWidget*> KeyboardControls(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->window() != window || !widget->isVisibleTo(window) || !widget->isEnabled() ||
            !IsControl(widget) || widget->focusProxy() != nullptr) {
            continue;
        }
        bool part = false;
        for (const QWidget* w = widget->parentWidget(); w != nullptr && w != window;
             w = w->parentWidget()) {
            part = part || IsControl(w);
        }
        if (!part) {
            controls.append(widget);
        }
    }
    return controls;
}

// Radio buttons of one exclusive group: Tab stops at the checked one, the arrow keys move on.
bool SameRadioGroup(const QWidget* focused, const QWidget* control) {
    const auto* a = qobject_cast<const QRadioButton*>(focused);
    const auto* b = qobject_cast<const QRadioButton*>(control);
    if (a == nullptr || b == nullptr) {
        return false;
    }
    if (a->group() != nullptr || b->group() != nullptr) {
        return a->group() == b->group();
    }
    return a->autoExclusive() && b->autoExclusive() && a->parentWidget() == b->parentWidget();
}

// True when focus on `focused` counts as being on `control`: the same widget, one of them
// inside the other (the line edit of an editable combo box, for one), or radio buttons of one
// group.
bool SameControl(const QWidget* focused, const QWidget* control) {
    return focused == control || SameRadioGroup(focused, control) ||
           control->isAncestorOf(focused) || focused->isAncestorOf(control);
}

// Walks the window with the Tab key from its first control, prints the order, and names the
// controls the walk never reaches.
int ReportKeyboardReach(QWidget* window) {
    const QList<QWidget*> controls = KeyboardControls(window);
    if (controls.isEmpty()) {
        return 0;
    }
    QWidget* previousFocus = window->focusWidget();
    const auto first = std::find_if(controls.begin(), controls.end(), [](const QWidget* w) {
        return (w->focusPolicy() & Qt::TabFocus) != 0;
    });
    if (first != controls.end()) {
        (*first)->setFocus(Qt::TabFocusReason);
    }
    QList<const QWidget*> visited;
    QStringList order;
    for (int press = 0; press < 2 * controls.size() + 2; ++press) {
        QWidget* focused = window->focusWidget();
        if (focused == nullptr || (!visited.isEmpty() && focused == visited.front())) {
            break;
        }
        if (!visited.contains(focused)) {
            visited.append(focused);
            order.append(Describe(focused));
        }
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(focused, &tab);
    }
    std::printf("    tab order: %s\n", qPrintable(order.join(QStringLiteral(" > "))));
    int unreachable = 0;
    for (const QWidget* control : controls) {
        const bool reached = std::any_of(visited.begin(), visited.end(),
                                         [&](const QWidget* w) { return SameControl(w, control); });
        if (!reached) {
            ++unreachable;
            std::printf("    unreachable by keyboard: %s\n", qPrintable(Describe(control)));
        }
    }
    if (previousFocus != nullptr) {
        previousFocus->setFocus(Qt::OtherFocusReason);
    }
    return unreachable;
}

class Shooter {
  public:
    explicit Shooter(const QString& folder) : folder_(folder) {}

    void shoot(QWidget* window, const QString& className, const QString& variant = QString()) {
        window->show();
        Settle();
        QString name =
            QStringLiteral("%1-%2").arg(++number_, 2, 10, QLatin1Char('0')).arg(className);
        if (!variant.isEmpty()) {
            name += QLatin1Char('-') + variant;
        }
        name += QStringLiteral(".png");
        const QPixmap picture = window->grab();
        const bool saved = picture.save(QDir(folder_).filePath(name), "PNG");
        std::printf("%s %s %dx%d title \"%s\"\n", saved ? "wrote" : "FAILED", qPrintable(name),
                    picture.width(), picture.height(), qPrintable(window->windowTitle()));
        tight_ += ReportTightTexts(window);
        unreachable_ += ReportKeyboardReach(window);
        failed_ += saved ? 0 : 1;
    }
    // Keeps the numbering of a picture that could not be taken.
    void skip(const QString& className, const QString& why) {
        std::printf("skipped %02d-%s: %s\n", ++number_, qPrintable(className), qPrintable(why));
        ++failed_;
    }

    int failed() const { return failed_; }
    int tight() const { return tight_; }
    int unreachable() const { return unreachable_; }

  private:
    QString folder_;
    int number_ = 0;
    int failed_ = 0;
    int tight_ = 0;
    int unreachable_ = 0;
};

// Every message box of the run is printed instead of shown; the answer is always yes.
int g_messages = 0;
std::function<void(const std::string& title)> g_onMessage;

void InstallPrintingPresenter() {
    QtUi::setPresenter([](QWidget*, const std::string& text, const std::string& title, MessageIcon,
                          MessageButtons buttons, const std::string&) {
        ++g_messages;
        std::printf("  message \"%s\": %s\n", title.c_str(),
                    QString::fromStdString(text).simplified().toUtf8().constData());
        if (g_onMessage) {
            g_onMessage(title);
        }
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    });
}

// A family that can show Japanese, preferring the common desktop ones.
QString JapaneseFamily() {
    const QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
    for (const char* preferred : {"Noto Sans CJK JP", "IPAGothic", "VL Gothic", "TakaoGothic"}) {
        if (families.contains(QLatin1String(preferred))) {
            return QLatin1String(preferred);
        }
    }
    return families.isEmpty() ? QString() : families.front();
}

bool CopySystemFolder(const QString& from, const QString& to, const QString& language) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::copy(from.toStdString(), to.toStdString(), fs::copy_options::recursive, error);
    if (error) {
        std::fprintf(stderr, "cannot copy %s: %s\n", qPrintable(from), error.message().c_str());
        return false;
    }
    if (!language.isEmpty()) {
        fs::copy_file(language.toStdString(),
                      (to + QStringLiteral("/LanguageData.ini")).toStdString(),
                      fs::copy_options::overwrite_existing, error);
        if (error) {
            std::fprintf(stderr, "cannot copy %s: %s\n", qPrintable(language),
                         error.message().c_str());
            return false;
        }
    }
    return true;
}

void ShootProgress(Shooter& shooter, int mode, int statusId, const char* suffix, int percent,
                   const QString& variant) {
    std::atomic<bool> release{false};
    std::atomic<bool> reported{false};
    CProgressDlg dialog(
        mode,
        [&](Ui& ui) {
            ui.setStatusText(MessageText(statusId) + suffix);
            ui.setProgress(percent);
            reported = true;
            while (!release.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return 0;
        },
        nullptr);
    dialog.show();
    WaitFor([&] { return reported.load(); }, 5000);
    shooter.shoot(&dialog, QStringLiteral("CProgressDlg"), variant);
    release = true;
    WaitFor([&] { return dialog.isHidden(); }, 5000);
}

// One record of the sample data, or a made-up one when the data folder is empty.
TransmitRequest SampleRequest(const CSelectActuatorDlg& actuators) {
    TransmitRequest request;
    if (!actuators.model().listAll().empty()) {
        request.record = actuators.model().listAll().front();
    } else {
        request.record.strPartNo = "VMA10-06I";
        request.record.strModel = "VMA10";
        request.record.strController = "VC-1A";
        request.record.strSVNo = "1.10";
        request.record.strIOSpec = "NPN";
        request.record.strParamVersion = "P1.00";
    }
    return request;
}

// The transmit dialog before, during and after a real write into the virtual controller.
void ShootTransmit(Shooter& shooter, CVelmoraApp& program, bool controllerRunning) {
    CTransmittingDlg* transmit = program.transmittingDlg();
    CSelectActuatorDlg* opener = program.selectActuatorDlg();
    transmit->Open(SampleRequest(*opener), opener->writeContentsText(), opener);
    shooter.shoot(transmit, QStringLiteral("CTransmittingDlg"), QStringLiteral("confirm"));
    if (!controllerRunning) {
        shooter.skip(QStringLiteral("CTransmittingDlg-transmitting"),
                     QStringLiteral("no controller"));
        shooter.skip(QStringLiteral("CTransmittingDlg-finished"), QStringLiteral("no controller"));
        return;
    }

    CTransmittingDlg::setSleeper([](int) {});
    bool grabbed = false;
    // The completion box comes while the dialog still shows the writing layout.
    const std::string completeTitle = MessageText(kMsgTransmitCompleteTitle);
    g_onMessage = [&](const std::string& title) {
        if (!grabbed && title == completeTitle && transmit->busy()) {
            grabbed = true;
            shooter.shoot(transmit, QStringLiteral("CTransmittingDlg"),
                          QStringLiteral("transmitting"));
        }
    };
    bool finished = false;
    QObject::connect(transmit, &CTransmittingDlg::transmitFinished, transmit,
                     [&finished](int) { finished = true; });
    transmit->StartTransmit();
    if (!transmit->busy()) {
        g_onMessage = {};
        shooter.skip(QStringLiteral("CTransmittingDlg-transmitting"),
                     QStringLiteral("the write did not start"));
        shooter.skip(QStringLiteral("CTransmittingDlg-finished"),
                     QStringLiteral("the write did not start"));
        return;
    }
    WaitFor([&] { return finished; }, 120000);
    g_onMessage = {};
    if (!grabbed) {
        shooter.skip(QStringLiteral("CTransmittingDlg-transmitting"),
                     QStringLiteral("no completion message"));
    }
    shooter.shoot(transmit, QStringLiteral("CTransmittingDlg"),
                  finished ? QStringLiteral("finished") : QStringLiteral("timeout"));
    CTransmittingDlg::setSleeper({});
    transmit->hide();
}

int Run(const QString& outFolder, const QString& language, bool strict) {
    QTemporaryDir programFolder;
    if (!programFolder.isValid() ||
        !CopySystemFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/System"),
                          programFolder.filePath(QStringLiteral("System")), language)) {
        return 1;
    }
    App() = AppState{};
    App().moduleFolder = programFolder.path().toStdString() + "/";

    // The main window opens its port at once: give it a controller to talk to.
    sim::PtyController controller;
    controller.setBitRate(kControllerBitRate);
    const bool controllerRunning = controller.start();
    if (!controllerRunning) {
        std::printf("note: the virtual controller did not start; pages show no controller\n");
    }

    InstallPrintingPresenter();
    Shooter shooter(outFolder);
    Session session;
    CVelmoraApp program(session);
    LoadMessageTable(program.ui());
    ReadCommSettings(ModulePath(kCommSettingsFile), App().commSettings);
    if (controllerRunning) {
        App().commSettings.portName = controller.slavePath();
        App().commSettings.autoSelect = 0;
        App().commSettings.connectionId = kControllerStation;
        App().commSettings.bitRate = static_cast<int>(kControllerBitRate);
    }
    App().commSettings.activeStationId = kControllerStation;

    {
        CQualificationDlg disclaimer(program.ui());
        disclaimer.adjustSize();
        shooter.shoot(&disclaimer, QStringLiteral("CQualificationDlg"));
    }
    {
        CSVErrorDlg svError(program.ui());
        svError.adjustSize();
        shooter.shoot(&svError, QStringLiteral("CSVErrorDlg"));
    }

    // The settings frame as the start-up shows it (OK and Quit) and as a work dialog does.
    for (const auto& [startupMode, variant] :
         {std::pair{1, QStringLiteral("startup")}, std::pair{0, QStringLiteral("workdialog")}}) {
        App().startupComSetting = startupMode;
        CComSettingFrame* frame = program.comSettingFrame();
        frame->setOpenedHook([&shooter, variant = variant](CComSettingFrame& opened) {
            shooter.shoot(opened.window(), QStringLiteral("CComSettingFrame"), variant);
            opened.window()->reject();
        });
        frame->RunModal(nullptr);
        frame->setOpenedHook({});
    }
    App().startupComSetting = 0;
    App().commSettings.activeStationId = kControllerStation;

    program.CreateMainDialog();
    program.CreateWorkDialogs();
    CVelmoraDlg* main = program.mainDialog();
    main->adjustSize();
    const QString pages[] = {QStringLiteral("functions"), QStringLiteral("settings"),
                             QStringLiteral("version")};
    for (int page = 0; page < 3; ++page) {
        main->tabBar()->setCurrentIndex(page);
        main->ShowPage(page);
        if (page == 2 && controllerRunning) {
            main->versionPage()->controllerVersionButton()->click();
        }
        shooter.shoot(main, QStringLiteral("CVelmoraDlg"), pages[page]);
    }
    main->tabBar()->setCurrentIndex(0);
    main->hide();

    ShootProgress(shooter, CProgressDlg::kSearchAndCheck, kMsgProgressStateSearch, "\tID:12", 35,
                  QStringLiteral("search"));
    ShootProgress(shooter, CProgressDlg::kBackup, kMsgProgressBackupParameter, "", 60,
                  QStringLiteral("backup"));

    CSelectActuatorDlg* actuators = program.selectActuatorDlg();
    actuators->adjustSize();
    shooter.shoot(actuators, QStringLiteral("CSelectActuatorDlg"));
    actuators->SearchNarrowDown();
    shooter.shoot(actuators, QStringLiteral("CSelectActuatorDlg"), QStringLiteral("searched"));
    actuators->hide();

    CFileSelectDlg* files = program.fileSelectDlg();
    files->adjustSize();
    shooter.shoot(files, QStringLiteral("CFileSelectDlg"));
    files->hide();

    ShootTransmit(shooter, program, controllerRunning);

    CBackupDlg* backup = program.backupDlg();
    backup->adjustSize();
    shooter.shoot(backup, QStringLiteral("CBackupDlg"));
    backup->hide();

    // The controller against the state the write replaced, kept in Backups/.
    CCompareDlg* compare = program.compareDlg();
    const QString before = FromStd(program.transmittingDlg()->autoBackupPath());
    if (!before.isEmpty()) {
        CCompareDlg::setFileChooser([before](QWidget*) { return before; });
        compare->BrowseRightFile();
        compare->StartCompare();
        CCompareDlg::setFileChooser({});
    }
    compare->resize(compare->sizeHint().width() * 3 / 2, compare->sizeHint().height());
    shooter.shoot(compare, QStringLiteral("CCompareDlg"));
    compare->hide();

    // The service history with the jobs above in it.
    main->tabBar()->setCurrentIndex(3);
    main->ShowPage(3);
    main->show();
    main->resize(main->sizeHint().width() * 2, main->height());
    shooter.shoot(main, QStringLiteral("CVelmoraDlg"), QStringLiteral("history"));
    main->hide();
    {
        // The compare dialog's actuator chooser, after a search (last: the numbers above stay).
        CChooseActuatorDlg chooser(compare);
        chooser.findChild<QLineEdit*>(QStringLiteral("pattern"))->setText(QStringLiteral("*"));
        chooser.findChild<QPushButton*>(QStringLiteral("partNoSearch"))->click();
        shooter.shoot(&chooser, QStringLiteral("CChooseActuatorDlg"));
    }

    program.DestroyWorkDialogs();
    program.DestroyMainDialog();
    QtUi::setPresenter({});
    std::printf(
        "%d message box(es), %d tight text(s), %d control(s) unreachable by keyboard, "
        "%d picture(s) missing\n",
        g_messages, shooter.tight(), shooter.unreachable(), shooter.failed());
    if (shooter.failed() != 0) {
        return 1;
    }
    return strict && (shooter.tight() != 0 || shooter.unreachable() != 0) ? 1 : 0;
}

}  // namespace
}  // namespace velmora

namespace {

// The offscreen platform complains about every window-manager request it cannot carry out.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support")) ||
        text.startsWith(QLatin1String("QStandardPaths:"))) {
        return;
    }
    std::fprintf(stderr, "%s%s\n", type >= QtWarningMsg ? "qt: " : "", qPrintable(text));
}

// The offscreen platform's own screen is 800x600, and a window sized to its contents is held
// to two thirds of its screen: that squeezes the main window more than any real desktop would.
class OffscreenScreen {
  public:
    OffscreenScreen(int width, int height) {
        char name[] = "/tmp/velmora-screen-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) {
            return;
        }
        path_ = name;
        const std::string json =
            "{\"screens\": [{\"name\": \"Screen\", \"x\": 0, \"y\": 0, \"width\": " +
            std::to_string(width) + ", \"height\": " + std::to_string(height) +
            ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}\n";
        const bool written =
            ::write(fd, json.data(), json.size()) == static_cast<ssize_t>(json.size());
        ::close(fd);
        if (!written) {
            ::unlink(path_.c_str());
            path_.clear();
        }
    }
    ~OffscreenScreen() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    OffscreenScreen(const OffscreenScreen&) = delete;
    OffscreenScreen& operator=(const OffscreenScreen&) = delete;

    std::string platform() const {
        return path_.empty() ? "offscreen" : "offscreen:configfile=" + path_;
    }

  private:
    std::string path_;
};

// "--screen WxH" from the raw arguments: the platform is chosen before Qt parses them.
std::pair<int, int> ScreenSize(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        int width = 0;
        int height = 0;
        if (std::strcmp(argv[i], "--screen") == 0 &&
            std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2 && width > 0 && height > 0) {
            return {width, height};
        }
    }
    return {1366, 768};
}

bool HasJapanese(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x3040 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) ||
               (u >= 0xFF00 && u <= 0xFFEF);
    });
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietMessages);
    const auto [screenWidth, screenHeight] = ScreenSize(argc, argv);
    const OffscreenScreen screen(screenWidth, screenHeight);
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(screen.platform()));
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora-screenshots"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Renders every window of Velmora into PNG files."));
    parser.addHelpOption();
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Folder for the pictures."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption language(
        QStringLiteral("language"),
        QStringLiteral("Language file to use instead of System/LanguageData.ini."),
        QStringLiteral("FILE"));
    const QCommandLineOption screenOption(
        QStringLiteral("screen"),
        QStringLiteral("Size of the offscreen desktop (default 1366x768)."), QStringLiteral("WxH"));
    parser.addOption(out);
    parser.addOption(language);
    const QCommandLineOption strict(
        QStringLiteral("strict"),
        QStringLiteral(
            "Fail when a text does not fit or a control cannot be reached by keyboard."));
    parser.addOption(screenOption);
    parser.addOption(strict);
    parser.process(application);
    if (!parser.isSet(out)) {
        std::fprintf(
            stderr,
            "usage: velmora-screenshots --out DIR [--language FILE] [--screen WxH] [--strict]\n");
        return 2;
    }
    const QString languageFile = parser.value(language);
    if (!languageFile.isEmpty() && !QFileInfo::exists(languageFile)) {
        std::fprintf(stderr, "no such language file: %s\n", qPrintable(languageFile));
        return 2;
    }
    if (!QDir().mkpath(parser.value(out))) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(parser.value(out)));
        return 1;
    }

    // Japanese texts are shown in a Japanese font, as on a Japanese desktop.
    if (!languageFile.isEmpty() && HasJapanese(languageFile)) {
        const QString family = velmora::JapaneseFamily();
        if (family.isEmpty()) {
            std::printf("note: no font with Japanese glyphs (Debian package fonts-noto-cjk)\n");
        } else {
            QFont font = QApplication::font();
            font.setFamilies({family});
            QApplication::setFont(font);
        }
    }
    const QRect desktop = QApplication::primaryScreen() != nullptr
                              ? QApplication::primaryScreen()->geometry()
                              : QRect();
    std::printf("font: %s %gpt, screen %dx%d\n", qPrintable(QApplication::font().family()),
                QApplication::font().pointSizeF(), desktop.width(), desktop.height());
    return velmora::Run(parser.value(out), languageFile, parser.isSet(strict));
}
