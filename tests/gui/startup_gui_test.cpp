#include <QKeyEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include "app/qt/velmora_app.h"
#include "app/qt/velmora_dlg.h"
#include "app/session.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "comsetup/qt/com_setting_frame.h"
#include "gui/gui_support.h"
#include "sim/pty_controller.h"

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

void PressKey(QWidget* window, Qt::Key key) {
    QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
    QTest::keyClick(target, key);
}

}  // namespace

class StartupGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void refusingTheDisclaimerEndsBeforeAnythingIsRead();
    void quittingTheFrameEndsWithoutAMainWindow();
    void searchFromTheStartupFrameOpensTheMainWindow();
};

void StartupGuiTest::refusingTheDisclaimerEndsBeforeAnythingIsRead() {
    ProgramFolder folder(SettingsFor("/dev/null", "MANUAL", 19200, 7));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};
    bool frameShown = false;
    program.comSettingFrame()->setOpenedHook([&](CComSettingFrame& frame) {
        frameShown = true;
        frame.window()->reject();
    });
    bool stillOpenAfterKeys = false;
    Script script;
    script.when(QStringLiteral("CQualificationDlg"), [&](QWidget* disclaimer) {
        // Enter and Escape do nothing: the disclaimer stays up.
        PressKey(disclaimer, Qt::Key_Return);
        PressKey(disclaimer, Qt::Key_Escape);
        PressKey(disclaimer, Qt::Key_Enter);
        stillOpenAfterKeys = disclaimer->isVisible();
        Click(disclaimer, "refuse");
    });
    program.Run();
    QVERIFY(script.done());
    QVERIFY(stillOpenAfterKeys);
    QVERIFY(!frameShown);
    QCOMPARE(program.mainDialogsCreated(), 0);
    // The settings file was never read.
    QCOMPARE(App().commSettings.bitRate, 0);
    QCOMPARE(App().commSettings.connectionId, 0);
}

void StartupGuiTest::quittingTheFrameEndsWithoutAMainWindow() {
    ProgramFolder folder(SettingsFor("/dev/null", "MANUAL", 19200, 7));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};
    Script script;
    script
        .when(QStringLiteral("CQualificationDlg"),
              [](QWidget* disclaimer) { Click(disclaimer, "agree"); })
        .when(QStringLiteral("CComSettingFrame"), [](QWidget* frame) {
            QVERIFY(Child(frame, "ok")->isVisible());
            QVERIFY(!Child(frame, "ok")->isEnabled());
            QVERIFY(!Child(frame, "okFromWorkDialog")->isVisible());
            Click(frame, "quit");
        });
    program.Run();
    QVERIFY(script.done());
    QCOMPARE(program.mainDialogsCreated(), 0);
    QCOMPARE(App().commSettings.bitRate, 19200);  // read at the pass's start
}

void StartupGuiTest::searchFromTheStartupFrameOpensTheMainWindow() {
    sim::PtyController controller;
    controller.setBitRate(9600);
    QVERIFY(controller.start());
    ProgramFolder folder(SettingsFor(controller.slavePath(), "AUTO", 38400, 1));
    ScriptedPresenter presenter;
    Session session;
    CVelmoraApp program{session};

    bool okEnabledAfterSearch = false;
    int tabAfterRefusal = -1;
    bool backupHiddenThroughout = true;
    Script script;
    script
        .when(QStringLiteral("CQualificationDlg"),
              [](QWidget* disclaimer) { Click(disclaimer, "agree"); })
        .when(QStringLiteral("CComSettingFrame"), [](QWidget* frame) { Click(frame, "check"); })
        .whenReady(
            QStringLiteral("CComSettingFrame"),
            [](QWidget* frame) { return Child(frame, "ok")->isEnabled(); },
            [&](QWidget* frame) {
                okEnabledAfterSearch = true;
                Click(frame, "ok");
            })
        .when(QStringLiteral("CVelmoraDlg"), [&](QWidget* window) {
            auto* main = static_cast<CVelmoraDlg*>(window);
            QCOMPARE(main->tabBar()->currentIndex(), 0);
            QCOMPARE(main->tabBar()->count(), 4);
            // With no identified controller the tab stays where it is.
            App().commSettings.activeStationId = -1;
            main->tabBar()->setCurrentIndex(2);
            tabAfterRefusal = main->tabBar()->currentIndex();
            // With the backup disabled its button stays hidden across tab switches.
            App().commSettings.activeStationId = 1;
            App().functionEnables.backupEnabled = 0;
            for (int tab : {1, 2, 0, 1, 0}) {
                main->tabBar()->setCurrentIndex(tab);
                if (tab == 0 && main->functionPage()->backupButton()->isVisibleTo(main)) {
                    backupHiddenThroughout = false;
                }
            }
            QVERIFY(main->functionPage()->actuatorButton()->isVisibleTo(main));
            main->close();
        });
    program.Run();
    QVERIFY2(script.done(), "not every step ran");
    QVERIFY(okEnabledAfterSearch);
    QVERIFY(presenter.sawTitle(MessageText(kMsgComsettingComsearchOkTitle)));
    QVERIFY(presenter.sawTitle(MessageText(kMsgComUnidentifiedTitle)));
    QCOMPARE(tabAfterRefusal, 0);
    QVERIFY(backupHiddenThroughout);
    QCOMPARE(program.mainDialogsCreated(), 1);
    QCOMPARE(App().commSettings.bitRate, 9600);
}

QTEST_MAIN(StartupGuiTest)
#include "startup_gui_test.moc"
