// The selection dialogs' widgets over the sample data set, the file selection's description of
// a backup file, and the main window's restart after the settings frame of a work dialog.

#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <set>

#include "comsetup/qt/com_setting_frame.h"
#include "data/qt/file_select_dlg.h"
#include "data/qt/select_actuator_dlg.h"
#include "gui/work_dialog_support.h"
#include "model/backup_file.h"
#include "model/file_ctrl.h"
#include "transmit/qt/transmitting_dlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// One variant of the plain sample list: the alternatives of columns 1 to 7 expanded.
struct Variant {
    QString partNo, model, controller, motor, lead, stroke;
};

std::vector<Variant> SampleVariants() {
    std::vector<Variant> variants;
    const auto rows = SplitCsv(ReadBytes(SamplePath("AdapterFile.vms")));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto& row = rows[i];
        if (row.size() < 12) {
            continue;
        }
        auto pieces = [&](int column) {
            return QString::fromStdString(row[column]).split(QLatin1Char('|'));
        };
        for (const QString& model : pieces(1)) {
            for (const QString& controller : pieces(2)) {
                for (const QString& motor : pieces(3)) {
                    for (const QString& lead : pieces(4)) {
                        for (const QString& stroke : pieces(5)) {
                            variants.push_back({QString::fromStdString(row[0]), model, controller,
                                                motor, lead, stroke});
                        }
                    }
                }
            }
        }
    }
    return variants;
}

template <typename Pick, typename Keep>
std::set<QString> Values(const std::vector<Variant>& variants, Pick pick, Keep keep) {
    std::set<QString> values;
    for (const Variant& v : variants) {
        if (keep(v)) {
            values.insert(pick(v));
        }
    }
    return values;
}

std::set<QString> AsSet(const QStringList& items) {
    return std::set<QString>(items.begin(), items.end());
}

// The entries after the any-entry, as a set.
std::set<QString> Offered(const QComboBox* combo) {
    const QStringList items = Items(combo);
    return std::set<QString>(items.begin() + std::min<qsizetype>(1, items.size()), items.end());
}

CSelectActuatorDlg* OpenActuatorSelection(SampleProgram& run) {
    run.press("writeByActuator");
    return run.program.selectActuatorDlg();
}

// Stores a list file of its own beside the sample set.
void StoreListFile(const QString& programFolder, const QString& set, const std::string& lines) {
    const QString folder = programFolder + QStringLiteral("/System/Data/") + set;
    QVERIFY(QDir().mkpath(folder));
    CFileCtrl file;
    QVERIFY(file.Open((folder + QStringLiteral("/AdapterFile.vms")).toStdString(),
                      kFileModeWrite | kFileModeCreate));
    file.WriteText("Part No.,Model,Controller,Motor,Lead,Stroke,SV,IO,Ver,Param,Step,Column\r\n");
    file.WriteText(lines);
    QCOMPARE(file.ScrambleAndWrite(), 0);
}

// A backup file with only its first lines, stored as the program stores one.
// A backup of a controller named VMA10-06I with the unit number given.
void StoreBackup(const QString& path, const std::string& version, std::uint32_t unitNumber) {
    RegisterImage image;
    for (unsigned reg = 0; reg <= 0x07FF; ++reg) {
        image.set(static_cast<std::uint16_t>(reg), 0);
    }
    image.setUnitName("VMA10-06I");
    image.set(kUnitNumberReg, static_cast<std::uint16_t>(unitNumber >> 16));
    image.set(kUnitNumberReg + 1, static_cast<std::uint16_t>(unitNumber & 0xFFFF));
    CFileCtrl file;
    QVERIFY(file.Open(path.toStdString(), kFileModeWrite | kFileModeCreate));
    file.WriteText(FormatBackupText(image, version, "2024/01/02 03:04:05"));
    QCOMPARE(file.ScrambleAndWrite(), 0);
}

bool InStartupMode(QWidget* frame) {
    return Child(frame, "ok")->isVisible();
}

bool OpenedFromWorkDialog(QWidget* frame) {
    return Child(frame, "okFromWorkDialog")->isVisible();
}

// The first pass up to the main window: agree, check in the start-up frame, then OK.
StateScript& ThroughFirstStartup(StateScript& script) {
    return script
        .when(
            QStringLiteral("CQualificationDlg"), [](QWidget*) { return true; },
            [](QWidget* disclaimer) { Click(disclaimer, "agree"); })
        .when(
            QStringLiteral("CComSettingFrame"),
            [](QWidget* frame) { return InStartupMode(frame) && !Child(frame, "ok")->isEnabled(); },
            [](QWidget* frame) { Click(frame, "check"); })
        .when(
            QStringLiteral("CComSettingFrame"),
            [](QWidget* frame) { return InStartupMode(frame) && Child(frame, "ok")->isEnabled(); },
            [](QWidget* frame) { Click(frame, "ok"); });
}

}  // namespace

class WorkDialogsGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();

    void anyControllerOffersTheMotorsOfEveryController();
    void strokesFollowTheAnyEntryInNumericOrder();
    void missingSvIoCombinationDisablesStart();
    void failedSecondSearchLeavesStartDisabled();
    void backupFileIsDescribedInTheTransmitDialog_data();
    void backupFileIsDescribedInTheTransmitDialog();
    void acceptedWarningRestartsAndKeepsTheStation();
    void declinedWarningRestartsAndForgetsTheStation();
    void refusedCheckInTheStartupFrameAfterARestartKeepsItOpen();
};

void WorkDialogsGuiTest::initTestCase() {
    QVERIFY2(SampleDataBuilt(), "System/Data/VMA-Series missing: build velmora_sample_data");
}

void WorkDialogsGuiTest::cleanupTestCase() {
    CFileSelectDlg::setFileChooser({});
}

void WorkDialogsGuiTest::anyControllerOffersTheMotorsOfEveryController() {
    SampleProgram run;
    CSelectActuatorDlg* select = OpenActuatorSelection(run);
    QVERIFY(select->isVisible());
    const auto variants = SampleVariants();
    auto* model = Child<QComboBox>(select, "model");
    auto* controller = Child<QComboBox>(select, "controller");
    auto* motor = Child<QComboBox>(select, "motor");
    const QString any = Shown(kListDlgActuatorUnknown);
    QVERIFY(!any.isEmpty());

    const auto models = Values(
        variants, [](const Variant& v) { return v.model; }, [](const Variant&) { return true; });
    QCOMPARE(AsSet(Items(model)), models);
    QCOMPARE(model->currentIndex(), 0);
    QVERIFY(!Items(model).contains(any));
    const QString chosenModel = model->currentText();

    QCOMPARE(controller->currentIndex(), 0);
    QCOMPARE(controller->itemText(0), any);
    QCOMPARE(motor->itemText(0), any);
    const auto everyMotor = Values(
        variants, [](const Variant& v) { return v.motor; },
        [&](const Variant& v) { return v.model == chosenModel; });
    QCOMPARE(Offered(motor), everyMotor);

    // Each controller alone offers only its own motors; the sample has one that offers fewer.
    bool someControllerOffersFewer = false;
    const auto controllers = Offered(controller);
    QVERIFY(controllers.size() >= 2);
    for (const QString& name : controllers) {
        QVERIFY(Choose(controller, name));
        const auto own = Values(
            variants, [](const Variant& v) { return v.motor; },
            [&](const Variant& v) { return v.model == chosenModel && v.controller == name; });
        QCOMPARE(Offered(motor), own);
        QCOMPARE(motor->itemText(0), any);
        someControllerOffersFewer |= own.size() < everyMotor.size();
    }
    QVERIFY(someControllerOffersFewer);
    controller->setCurrentIndex(0);
    QCOMPARE(Offered(motor), everyMotor);
    QVERIFY(!Child<QPushButton>(select, "start")->isEnabled());
}

void WorkDialogsGuiTest::strokesFollowTheAnyEntryInNumericOrder() {
    SampleProgram run;
    CSelectActuatorDlg* select = OpenActuatorSelection(run);
    const auto variants = SampleVariants();
    auto* model = Child<QComboBox>(select, "model");
    auto* stroke = Child<QComboBox>(select, "stroke");
    const QString any = Shown(kListDlgActuatorUnknown);

    bool sawTextOrderDiffer = false;
    for (const QString& name : Items(model)) {
        QVERIFY(Choose(model, name));
        const auto strokes = Values(
            variants, [](const Variant& v) { return v.stroke; },
            [&](const Variant& v) { return v.model == name; });
        QStringList numeric(strokes.begin(), strokes.end());
        std::sort(numeric.begin(), numeric.end(),
                  [](const QString& a, const QString& b) { return a.toDouble() < b.toDouble(); });
        QStringList text = numeric;
        text.sort(Qt::CaseInsensitive);
        if (numeric.size() >= 3) {
            QCOMPARE(Items(stroke), QStringList{any} + numeric);
            sawTextOrderDiffer |= numeric != text;
        }
        QCOMPARE(stroke->currentIndex(), 0);
    }
    // At least one model's strokes read differently as text (50 after 150).
    QVERIFY(sawTextOrderDiffer);
}

void WorkDialogsGuiTest::missingSvIoCombinationDisablesStart() {
    // Only (1.00, NPN) and (2.00, PNP) exist for this part number.
    SampleProgram run([](const QString& folder) {
        StoreListFile(folder, QStringLiteral("GUI-EXTRA"),
                      "GX-100,GXM,GC-1,Inline,10,100,1.00,NPN,P0.01,x.csv,y.csv,COL\r\n"
                      "GX-100,GXM,GC-1,Inline,10,100,2.00,PNP,P0.01,x.csv,y.csv,COL\r\n");
    });
    CSelectActuatorDlg* select = OpenActuatorSelection(run);
    QVERIFY(Choose(Child<QComboBox>(select, "model"), QStringLiteral("GXM")));
    Child<QPushButton>(select, "narrowDownSearch")->click();
    QCOMPARE(Items(Child<QComboBox>(select, "narrowDownResult")),
             QStringList{QStringLiteral("GX-100")});
    auto* sv = Child<QComboBox>(select, "sv");
    auto* io = Child<QComboBox>(select, "io");
    QCOMPARE(Items(sv), (QStringList{QStringLiteral("1.00"), QStringLiteral("2.00")}));
    QCOMPARE(AsSet(Items(io)), (std::set<QString>{QStringLiteral("NPN"), QStringLiteral("PNP")}));
    auto* start = Child<QPushButton>(select, "start");

    struct Case {
        const char* sv;
        const char* io;
        bool exists;
    };
    for (const Case& c :
         {Case{"1.00", "NPN", true}, Case{"1.00", "PNP", false}, Case{"2.00", "PNP", true},
          Case{"2.00", "NPN", false}, Case{"1.00", "NPN", true}}) {
        QVERIFY(Choose(sv, QString::fromLatin1(c.sv)));
        QVERIFY(Choose(io, QString::fromLatin1(c.io)));
        QVERIFY2(start->isEnabled() == c.exists, c.sv);
        QCOMPARE(select->model().listSelected().size(), c.exists ? std::size_t{1} : std::size_t{0});
    }
}

void WorkDialogsGuiTest::failedSecondSearchLeavesStartDisabled() {
    SampleProgram run;
    CSelectActuatorDlg* select = OpenActuatorSelection(run);
    auto* pattern = Child<QLineEdit>(select, "pattern");
    auto* search = Child<QPushButton>(select, "partNoSearch");
    auto* results = Child<QComboBox>(select, "partNoResult");
    auto* start = Child<QPushButton>(select, "start");
    QVERIFY(!pattern->isEnabled());
    Child<QRadioButton>(select, "partNoMode")->click();
    QVERIFY(pattern->isEnabled() && search->isEnabled());
    QVERIFY(!Child<QComboBox>(select, "model")->isEnabled());

    QTest::keyClicks(pattern, QStringLiteral("*06*i"));
    search->click();
    const auto found = Values(
        SampleVariants(), [](const Variant& v) { return v.partNo; },
        [](const Variant& v) {
            const QString upper = v.partNo.toUpper();
            return upper.contains(QStringLiteral("06")) && upper.contains(QLatin1Char('I'));
        });
    QVERIFY(!found.empty());
    QCOMPARE(AsSet(Items(results)), found);
    QVERIFY(start->isEnabled());

    pattern->clear();
    QTest::keyClicks(pattern, QStringLiteral("NO*SUCH"));
    search->click();
    QCOMPARE(results->count(), 0);
    QCOMPARE(Child<QComboBox>(select, "sv")->count(), 0);
    QCOMPARE(Child<QComboBox>(select, "io")->count(), 0);
    QVERIFY(!start->isEnabled());
}

void WorkDialogsGuiTest::backupFileIsDescribedInTheTransmitDialog_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<quint32>("unitNumber");
    QTest::addColumn<QString>("controller");
    QTest::addColumn<QString>("sv");
    // Bits 16 to 27 of the unit number name the controller; bits above them do not count.
    QTest::newRow("code 0x105") << "1.1" << quint32{0x31051234} << "QTX11-VMA10-06I"
                                << "1.10";
    QTest::newRow("code 0x102") << "1.10" << quint32{0x01020000} << "---"
                                << "1.10";
    QTest::newRow("code 0x201") << "2" << quint32{0x02010000} << "QTX26-VMA10-06I"
                                << "2.00";
    QTest::newRow("no version") << "" << quint32{0x01010000} << "QTX16-VMA10-06I"
                                << ".00";
}

void WorkDialogsGuiTest::backupFileIsDescribedInTheTransmitDialog() {
    QFETCH(QString, version);
    QFETCH(quint32, unitNumber);
    QFETCH(QString, controller);
    QFETCH(QString, sv);
    QTemporaryDir store;
    const QString path = store.path() + QStringLiteral("/described.bkp");
    StoreBackup(path, version.toStdString(), unitNumber);

    SampleProgram run;
    run.press("writeFromFile");
    CFileSelectDlg* select = run.program.fileSelectDlg();
    QVERIFY(select->isVisible());
    auto* start = Child<QPushButton>(select, "start");
    auto* shownPath = Child<QLineEdit>(select, "path");
    CFileSelectDlg::setFileChooser([path](QWidget*) { return path; });
    Child<QPushButton>(select, "browse")->click();
    QCOMPARE(shownPath->text(), path);
    QVERIFY(start->isEnabled());
    Child<QComboBox>(select, "writeContents")->setCurrentIndex(2);

    start->click();
    CTransmittingDlg* transmit = run.program.transmittingDlg();
    QVERIFY(transmit->isVisible());
    QVERIFY(!select->isVisible());
    QCOMPARE(Child<QLineEdit>(transmit, "actuator")->text(), QStringLiteral("VMA10-06I"));
    QCOMPARE(Child<QLineEdit>(transmit, "controller")->text(), controller);
    QCOMPARE(Child<QLineEdit>(transmit, "sv")->text(), sv);
    QCOMPARE(Child<QLineEdit>(transmit, "paramVersion")->text(), QStringLiteral("---"));
    QCOMPARE(Child<QLineEdit>(transmit, "writeContents")->text(), select->writeContentsText());
    QCOMPARE(transmit->writeContents(), 2);
    QCOMPARE(transmit->request().record.strParamFile, path.toStdString());
    QVERIFY(run.presenter.shown.empty());

    // Back in the file selection, a cancelled second browse keeps the file and start.
    Child<QPushButton>(transmit, "return")->click();
    QVERIFY(select->isVisible());
    CFileSelectDlg::setFileChooser([](QWidget*) { return QString(); });
    Child<QPushButton>(select, "browse")->click();
    QCOMPARE(shownPath->text(), path);
    QVERIFY(start->isEnabled());
}

void WorkDialogsGuiTest::acceptedWarningRestartsAndKeepsTheStation() {
    sim::PtyController controller;
    QVERIFY(controller.start());
    ProgramFolder folder(ManualSettings(controller.slavePath(), 38400, 1));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};

    int stationBeforeFrame = 0;
    int passesBeforeRestart = 0;
    int stationAtNextPass = 0;
    int checkStateAtNextPass = -1;
    bool okEnabledAtNextPass = false;
    int passesAtEnd = 0;
    StateScript script;
    ThroughFirstStartup(script)
        .when(
            QStringLiteral("CVelmoraDlg"), [](QWidget*) { return true; },
            [&](QWidget* main) {
                // From now on a good check ends in a warning.
                QVERIFY(SetRule(folder.path(), QStringLiteral("COMM_SVNO_OK_BKC_OK"), 1));
                passesBeforeRestart = program.mainDialogsCreated();
                Child<QPushButton>(main, "writeByActuator")->click();
                Click(program.selectActuatorDlg(), "comSetting");
            })
        .when(QStringLiteral("CComSettingFrame"), OpenedFromWorkDialog,
              [&](QWidget* frame) {
                  stationBeforeFrame = App().commSettings.activeStationId;
                  Click(frame, "check");
              })
        .when(QStringLiteral("CComSettingFrame"), InStartupMode,
              [&](QWidget* frame) {
                  stationAtNextPass = App().commSettings.activeStationId;
                  checkStateAtNextPass = App().commCheckState;
                  okEnabledAtNextPass = Child(frame, "ok")->isEnabled();
                  Click(frame, "ok");
              })
        .when(
            QStringLiteral("CVelmoraDlg"), [](QWidget*) { return true; },
            [&](QWidget* main) {
                passesAtEnd = program.mainDialogsCreated();
                main->close();
            });
    program.Run();
    QVERIFY2(script.done(), qPrintable(QString::number(script.remaining())));
    QCOMPARE(passesBeforeRestart, 1);
    QCOMPARE(passesAtEnd, 2);
    QCOMPARE(stationBeforeFrame, 1);
    QCOMPARE(checkStateAtNextPass, static_cast<int>(kCommWarningAccepted));
    QCOMPARE(stationAtNextPass, 1);
    QVERIFY(okEnabledAtNextPass);
    QCOMPARE(App().restartRequested, 0);
    const auto warning =
        std::find_if(presenter.shown.begin(), presenter.shown.end(), [](const auto& s) {
            return s.buttons == MessageButtons::OkCancel && s.icon == MessageIcon::Warning;
        });
    QVERIFY(warning != presenter.shown.end());
}

void WorkDialogsGuiTest::declinedWarningRestartsAndForgetsTheStation() {
    sim::PtyController controller;
    QVERIFY(controller.start());
    ProgramFolder folder(ManualSettings(controller.slavePath(), 38400, 1));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};

    int stationBeforeFrame = 0;
    int stationAtNextPass = 0;
    int checkStateAtNextPass = -1;
    bool okEnabledAtNextPass = true;
    StateScript script;
    ThroughFirstStartup(script)
        .when(
            QStringLiteral("CVelmoraDlg"), [](QWidget*) { return true; },
            [&](QWidget* main) {
                QVERIFY(SetRule(folder.path(), QStringLiteral("COMM_SVNO_OK_BKC_OK"), 1));
                Child<QPushButton>(main, "writeFromFile")->click();
                Click(program.fileSelectDlg(), "comSetting");
            })
        .when(QStringLiteral("CComSettingFrame"), OpenedFromWorkDialog,
              [&](QWidget* frame) {
                  stationBeforeFrame = App().commSettings.activeStationId;
                  // The found message, then the warning: declined.
                  presenter.answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
                  Click(frame, "check");
              })
        .when(QStringLiteral("CComSettingFrame"), InStartupMode, [&](QWidget* frame) {
            stationAtNextPass = App().commSettings.activeStationId;
            checkStateAtNextPass = App().commCheckState;
            okEnabledAtNextPass = Child(frame, "ok")->isEnabled();
            Click(frame, "quit");
        });
    program.Run();
    QVERIFY2(script.done(), qPrintable(QString::number(script.remaining())));
    QCOMPARE(stationBeforeFrame, 1);
    QCOMPARE(checkStateAtNextPass, static_cast<int>(kCommWarningDeclined));
    QCOMPARE(stationAtNextPass, -1);
    QVERIFY(!okEnabledAtNextPass);
    QCOMPARE(program.mainDialogsCreated(), 1);
    QVERIFY(presenter.answers.empty());
    QCOMPARE(presenter.shown.back().buttons, MessageButtons::OkCancel);
}

void WorkDialogsGuiTest::refusedCheckInTheStartupFrameAfterARestartKeepsItOpen() {
    sim::PtyController controller;
    QVERIFY(controller.start());
    ProgramFolder folder(ManualSettings(controller.slavePath(), 38400, 1));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};

    // Should the start-up frame end by itself, the pass it starts is ended here.
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (program.mainDialogsCreated() >= 2 && program.mainDialog() != nullptr) {
            program.mainDialog()->close();
        }
    });
    watchdog.start(50);

    bool frameOpenAfterCheck = false;
    bool okEnabledAfterCheck = true;
    int checkStateAfterCheck = -1;
    StateScript script;
    ThroughFirstStartup(script)
        .when(
            QStringLiteral("CVelmoraDlg"), [](QWidget*) { return true; },
            [&](QWidget* main) {
                QVERIFY(SetRule(folder.path(), QStringLiteral("COMM_SVNO_OK_BKC_OK"), 1));
                Child<QPushButton>(main, "writeByActuator")->click();
                Click(program.selectActuatorDlg(), "comSetting");
            })
        .when(QStringLiteral("CComSettingFrame"), OpenedFromWorkDialog,
              [&](QWidget* frame) {
                  presenter.answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
                  Click(frame, "check");
              })
        .when(QStringLiteral("CComSettingFrame"), InStartupMode,
              [&](QWidget* frame) {
                  // This time the controller is refused.
                  QVERIFY(SetRule(folder.path(), QStringLiteral("COMM_SVNO_OK_BKC_OK"), 2));
                  presenter.shown.clear();
                  Click(frame, "check");
              })
        .when(
            QStringLiteral("CComSettingFrame"),
            [&](QWidget* frame) {
                return InStartupMode(frame) && presenter.shown.size() >= 2 &&
                       FindWindow(QStringLiteral("CProgressDlg")) == nullptr;
            },
            [&](QWidget* frame) {
                frameOpenAfterCheck = frame->isVisible();
                okEnabledAfterCheck = Child(frame, "ok")->isEnabled();
                checkStateAfterCheck = App().commCheckState;
                Click(frame, "quit");
            });
    program.Run();
    QVERIFY2(script.done(), qPrintable(QString::number(script.remaining())));
    QVERIFY(frameOpenAfterCheck);
    QVERIFY(!okEnabledAfterCheck);
    QCOMPARE(checkStateAfterCheck, static_cast<int>(kCommRefused));
    QCOMPARE(program.mainDialogsCreated(), 1);
    QCOMPARE(presenter.shown.back().icon, MessageIcon::Error);
}

QTEST_MAIN(WorkDialogsGuiTest)
#include "work_dialogs_gui_test.moc"
