#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include "app/qt/velmora_app.h"
#include "app/qt/velmora_dlg.h"
#include "app/session.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "comsetup/qt/progress_dlg.h"
#include "data/qt/select_actuator_dlg.h"
#include "gui/gui_support.h"
#include "model/file_ctrl.h"
#include "sim/pty_controller.h"
#include "sysfiles/settings_file.h"
#include "version/qt/version_info_dlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QString SettingsFor(const std::string& port, const char* select, int baud, int id) {
    return QStringLiteral(
               "COM_NUM=0\r\nCOM_PORT=%1\r\nCOM_SELECT=%2\r\nCOM_BITRATE=%3\r\n"
               "COM_CONNECTION_ID=%4\r\nCOM_SILENT_INTERVAL=0\r\nCOM_DELAY=0\r\n")
        .arg(QString::fromStdString(port), QString::fromLatin1(select))
        .arg(baud)
        .arg(id);
}

// Writes a scrambled list file (a heading line and one record line) into folder.
void WriteDataSet(const QString& folder, const char* partNo) {
    QDir().mkpath(folder);
    CFileCtrl file;
    QVERIFY(
        file.Open((folder + "/AdapterFile.vms").toStdString(), kFileModeWrite | kFileModeCreate));
    file.WriteText("Part No.,Model,Controller,Motor,Lead,Stroke,SV,IO,Ver,Param,Step,Column\r\n");
    file.WriteText(std::string(partNo) + ",UPD1,C1,Inline,6,50,1.10,NPN,P9.99,p.csv,s.csv,COL\r\n");
    QCOMPARE(file.ScrambleAndWrite(), 0);
    file.Close();
}

// The program with its main window and work dialogs built, as a pass of the start-up does,
// on a virtual controller identified at station 1.
struct RunningProgram {
    explicit RunningProgram(std::uint32_t baud = 38400)
        : folder((controller.setBitRate(baud), controller.start(),
                  SettingsFor(controller.slavePath(), "MANUAL", static_cast<int>(baud), 1))) {
        LoadMessageTable(program.ui());
        ReadCommSettings(ModulePath(kCommSettingsFile), App().commSettings);
        App().commSettings.activeStationId = 1;
        program.CreateMainDialog();
        program.CreateWorkDialogs();
        program.mainDialog()->show();
    }
    ~RunningProgram() {
        program.DestroyWorkDialogs();
        program.DestroyMainDialog();
    }

    sim::PtyController controller;
    ProgramFolder folder;
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};
};

}  // namespace

class MainWindowGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void versionPageShowsTheControllersVersion();
    void vanishedStoredPortOpensNothingAndAsksForACheck();
    void cancelStopsASearchAtTheNextTestPoint();
    void dataUpdateAsksOnceCopiesBothAndReloads();
    void dataUpdateAnsweredNoStopsAtThatSet();
    void dataUpdateReloadsTheTableBeforeItsCompletionMessage();
};

void MainWindowGuiTest::versionPageShowsTheControllersVersion() {
    RunningProgram run;
    run.controller.controller().setVersion(210);
    CVersionInfoDlg* page = run.program.mainDialog()->versionPage();
    QCOMPARE(page->controllerVersionText(), QStringLiteral("---"));
    QCOMPARE(page->referenceVersionText(),
             QString::fromStdString(MessageText(kDlgTopTab3TxtNodatafile)));
    page->controllerVersionButton()->click();
    QCOMPARE(page->controllerVersionText(), QStringLiteral("SV 2.10"));

    run.controller.controller().stopAfterRequests(0);
    page->controllerVersionButton()->click();
    QCOMPARE(page->controllerVersionText(), QStringLiteral("---"));
    QCOMPARE(run.presenter.shown.size(), std::size_t{1});  // the time-out message
    QCOMPARE(run.presenter.shown[0].text, MessageText(kMsgComTimeoutCountermeasureContents));
}

void MainWindowGuiTest::vanishedStoredPortOpensNothingAndAsksForACheck() {
    // Whatever else the system lists, nothing may be opened in place of the stored port.
    const std::string gone = "/nonexistent/ttyUSB9";
    ProgramFolder folder(SettingsFor(gone, "MANUAL", 38400, 1));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};
    LoadMessageTable(program.ui());
    ReadCommSettings(ModulePath(kCommSettingsFile), App().commSettings);
    App().commSettings.activeStationId = 1;
    program.CreateMainDialog();
    program.CreateWorkDialogs();
    CVelmoraDlg* main = program.mainDialog();
    main->show();

    QVERIFY(!session.master.isOpen());
    QCOMPARE(App().commSettings.activeStationId, -1);
    QCOMPARE(App().commSettings.portName, gone);
    QCOMPARE(main->tabBar()->currentIndex(), 1);
    QVERIFY(main->settingsPage()->isVisible());
    QCOMPARE(main->settingsPage()->model().portIndex(), -1);
    QTRY_VERIFY_WITH_TIMEOUT(!presenter.shown.empty(), 30000);
    QCOMPARE(presenter.shown[0].icon, MessageIcon::Error);
    QVERIFY(presenter.shown[0].text.find(gone) != std::string::npos);
    // The work functions stay out of reach until a check succeeds.
    main->tabBar()->setCurrentIndex(0);
    QCOMPARE(main->tabBar()->currentIndex(), 1);
    QVERIFY(!main->functionPage()->isVisible());
    QCOMPARE(presenter.shown.back().text, MessageText(kMsgComUnidentifiedContents));
    QVERIFY(!session.master.isOpen());
    program.DestroyWorkDialogs();
    program.DestroyMainDialog();
}

void MainWindowGuiTest::cancelStopsASearchAtTheNextTestPoint() {
    RunningProgram run;
    // A controller the search would reach only late: station 32 at the last bit rate.
    run.controller.setBitRate(230400);
    run.controller.controller().setStationId(32);
    CVelmoraDlg* main = run.program.mainDialog();
    main->tabBar()->setCurrentIndex(1);
    CComSettingDlg* page = main->settingsPage();
    // The settings tab selects the port by its stored position; pick the controller's line.
    const int line =
        page->portCombo()->findData(QString::fromStdString(run.controller.slavePath()));
    QVERIFY(line >= 0);
    emit page->portCombo()->activated(line);
    page->automaticRadio()->click();
    int lastProgress = -1;
    Script script;
    bool cancelDisabledItself = false;
    script.whenReady(
        QStringLiteral("CProgressDlg"),
        [](QWidget* progress) {
            return Child<QLabel>(progress, "percent")->text() != QStringLiteral("0%");
        },
        [&](QWidget* progress) {
            auto* dialog = static_cast<CProgressDlg*>(progress);
            dialog->cancelButton()->click();
            cancelDisabledItself = !dialog->cancelButton()->isEnabled();
            lastProgress = Child<QLabel>(dialog, "percent")->text().chopped(1).toInt();
        });
    page->StartCheck();
    QVERIFY(script.done());
    QVERIFY(cancelDisabledItself);
    QVERIFY(lastProgress > 0 && lastProgress < 100);
    QCOMPARE(App().commSettings.activeStationId, -1);
    QVERIFY(run.presenter.shown.empty());  // cancel ends without a message
}

void MainWindowGuiTest::dataUpdateAsksOnceCopiesBothAndReloads() {
    RunningProgram run;
    QTemporaryDir source;
    WriteDataSet(source.path() + "/NEWSET-A", "UPD-A1");
    WriteDataSet(source.path() + "/deeper/NEWSET-B", "UPD-B1");
    // NEWSET-A exists already: the update asks once, then replaces without asking again.
    WriteDataSet(run.folder.path() + "/System/Data/NEWSET-A", "OLD-A1");
    WriteDataSet(run.folder.path() + "/System/Data/NEWSET-B", "OLD-B1");
    run.program.mainDialog()->versionPage()->RunUpdateFrom(source.path());

    int questions = 0;
    for (const auto& shown : run.presenter.shown) {
        questions += shown.buttons == MessageButtons::YesNo;
    }
    QCOMPARE(questions, 1);
    QVERIFY(run.presenter.sawTitle(MessageText(kMsgFileOverwriteTitle)));
    QCOMPARE(run.presenter.shown.back().text, MessageText(kMsgFileOverwriteOkContents));
    for (const char* set : {"NEWSET-A", "NEWSET-B"}) {
        CFileCtrl file;
        QVERIFY(file.Open(
            (run.folder.path() + "/System/Data/" + set + "/AdapterFile.vms").toStdString(),
            kFileModeRead));
        std::string text(file.GetLength(), '\0');
        file.Read(text.data(), text.size());
        QVERIFY2(text.find("UPD-") != std::string::npos, set);
    }
}

void MainWindowGuiTest::dataUpdateAnsweredNoStopsAtThatSet() {
    RunningProgram run;
    QTemporaryDir source;
    WriteDataSet(source.path() + "/NEWSET-A", "UPD-A1");
    WriteDataSet(run.folder.path() + "/System/Data/NEWSET-A", "OLD-A1");
    run.presenter.answers.push_back(MessageAnswer::No);
    run.program.mainDialog()->versionPage()->RunUpdateFrom(source.path());
    QCOMPARE(run.presenter.shown.size(), std::size_t{1});  // the question, nothing after it
    CFileCtrl file;
    QVERIFY(file.Open((run.folder.path() + "/System/Data/NEWSET-A/AdapterFile.vms").toStdString(),
                      kFileModeRead));
    std::string text(file.GetLength(), '\0');
    file.Read(text.data(), text.size());
    QVERIFY(text.find("OLD-A1") != std::string::npos);
}

void MainWindowGuiTest::dataUpdateReloadsTheTableBeforeItsCompletionMessage() {
    RunningProgram run;
    QTemporaryDir source;
    WriteDataSet(source.path() + "/NEWSET-C", "UPD-C1");
    auto* models = run.program.selectActuatorDlg()->findChild<QComboBox*>(QStringLiteral("model"));
    QVERIFY(models != nullptr);
    QVERIFY(models->findText(QStringLiteral("UPD1")) < 0);
    int completionMessages = 0;
    bool listedAtCompletion = false;
    QtUi::setPresenter([&](QWidget*, const std::string& text, const std::string&, MessageIcon,
                           MessageButtons, const std::string&) {
        if (text == MessageText(kMsgFileOverwriteOkContents)) {
            ++completionMessages;
            listedAtCompletion = models->findText(QStringLiteral("UPD1")) >= 0;
        }
        return MessageAnswer::Ok;
    });
    run.program.mainDialog()->versionPage()->RunUpdateFrom(source.path());
    QtUi::setPresenter({});
    QCOMPARE(completionMessages, 1);
    QVERIFY(listedAtCompletion);
}

QTEST_MAIN(MainWindowGuiTest)
#include "main_window_gui_test.moc"
