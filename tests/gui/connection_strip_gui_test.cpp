// The strip that names the controller the program talks to, on the main window and the work
// dialogs.

#include <QComboBox>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include "app/qt/connection_strip.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "data/qt/select_actuator_dlg.h"
#include "gui/work_dialog_support.h"
#include "sim/pty_controller.h"
#include "transmit/qt/transmitting_dlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

CConnectionStrip* StripOf(QWidget* window) {
    return window->findChild<CConnectionStrip*>(QStringLiteral("connectionStrip"));
}

}  // namespace

class ConnectionStripGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void searchShowsTheControllerOnTheMainWindowAndTheWorkDialogs();
    void virtualControllerIsMarkedAndItsPortIsNotSaved();
};

void ConnectionStripGuiTest::searchShowsTheControllerOnTheMainWindowAndTheWorkDialogs() {
    SampleProgram run;
    // Elsewhere than the settings say (station 1 at 38400): only a search finds it.
    run.device().setStationId(2);
    run.device().setVersion(210);
    run.controller.setBitRate(19200);
    CVelmoraDlg* main = run.program.mainDialog();
    CConnectionStrip* strip = StripOf(main);
    QVERIFY(strip != nullptr);
    QVERIFY(!strip->training());

    main->tabBar()->setCurrentIndex(1);
    CComSettingDlg* page = main->settingsPage();
    const QString port = QString::fromStdString(run.controller.slavePath());
    emit page->portCombo()->activated(page->portCombo()->findData(port));
    page->automaticRadio()->click();
    QVERIFY(strip->text().startsWith(Shown(kMsgStripNotChecked)));
    page->StartCheck();
    QCOMPARE(App().commSettings.activeStationId, 2);

    // The greyed lists show where the controller answered.
    QCOMPARE(page->idCombo()->currentText(), QStringLiteral("2"));
    QCOMPARE(page->bitRateCombo()->currentText(), QStringLiteral("19200"));
    const QString text = strip->text();
    for (const QString& part : {Shown(kMsgStripPort) + " " + port, Shown(kMsgStripStation) + " 2",
                                QStringLiteral("19200 ") + Shown(kMsgStripBitRate),
                                Shown(kMsgStripSv) + " 2.10", Shown(kMsgStripChecked) + " "}) {
        QVERIFY2(text.contains(part), qPrintable(text + " lacks " + part));
    }

    main->tabBar()->setCurrentIndex(0);
    run.press("writeByActuator");
    QWidget* selection = run.program.selectActuatorDlg();
    QTRY_VERIFY(selection->isVisible());
    QCOMPARE(StripOf(selection)->text(), text);
    QVERIFY(StripOf(run.program.transmittingDlg()) != nullptr);
}

void ConnectionStripGuiTest::virtualControllerIsMarkedAndItsPortIsNotSaved() {
    const std::string realPort = "/nonexistent/ttyUSB7";
    ProgramFolder folder(ManualSettings(realPort, 9600, 4));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};
    LoadMessageTable(program.ui());
    ReadCommSettings(ModulePath(kCommSettingsFile), App().commSettings);
    program.CreateMainDialog();
    program.CreateWorkDialogs();
    CVelmoraDlg* main = program.mainDialog();
    main->show();
    CConnectionStrip* strip = StripOf(main);
    QCOMPARE(strip->text(), Shown(kMsgStripNotChecked));

    CComSettingDlg* page = main->settingsPage();
    QComboBox* ports = page->portCombo();
    QCOMPARE(ports->itemText(ports->count() - 1), Shown(kMsgPortVirtualControllerEntry));
    emit ports->activated(ports->count() - 1);
    QVERIFY(RunningVirtualController() != nullptr);
    page->idCombo()->setCurrentIndex(0);
    page->bitRateCombo()->setCurrentText(QStringLiteral("38400"));
    page->StartCheck();
    QCOMPARE(App().commSettings.activeStationId, 1);
    QVERIFY(strip->training());
    QVERIFY(strip->text().contains(Shown(kMsgStripVirtualController)));
    QVERIFY(!strip->text().contains(QStringLiteral("/dev/pts/")));

    // The pseudo-terminal is gone after this run: the stored real port stays.
    program.DestroyWorkDialogs();
    program.DestroyMainDialog();
    CommSettings stored;
    ReadCommSettings(ModulePath(kCommSettingsFile), stored);
    QCOMPARE(stored.portName, realPort);
    QCOMPARE(stored.connectionId, 4);
    QCOMPARE(stored.bitRate, 9600);
    StopVirtualController();
}

QTEST_MAIN(ConnectionStripGuiTest)
#include "connection_strip_gui_test.moc"
