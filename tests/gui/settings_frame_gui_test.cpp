// The settings frame opened from a work dialog on a program with two controllers on two ports:
// the main link follows the port confirmed in the frame. The settings page's traffic record
// switch.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <thread>

#include "comsetup/qt/com_setting_dlg.h"
#include "data/qt/select_actuator_dlg.h"
#include "gui/work_dialog_support.h"
#include "link/register_ops.h"

using namespace velmora;
using namespace velmora::test;

namespace {

bool OpenedFromWorkDialog(QWidget* frame) {
    return Child(frame, "okFromWorkDialog")->isVisible();
}

// Types a path into the frame's port list as a user does, ending with leaving the field.
void TypePort(QWidget* frame, const std::string& path) {
    auto* port = Child<QComboBox>(frame, "port");
    port->lineEdit()->setText(QString::fromStdString(path));
    emit port->lineEdit()->editingFinished();
}

}  // namespace

class SettingsFrameGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void confirmedPortIsTheMainLinksPort_data();
    void confirmedPortIsTheMainLinksPort();
    void recordTrafficSwitchAttachesATraceToTheMaster();
    void recordThatStopsTakingLinesIsToldOnceAndSwitchedOff();
};

void SettingsFrameGuiTest::initTestCase() {
    QVERIFY2(SampleDataBuilt(), "System/Data/VMA-Series missing: build velmora_sample_data");
}

void SettingsFrameGuiTest::confirmedPortIsTheMainLinksPort_data() {
    QTest::addColumn<QString>("leaveWith");
    QTest::newRow("ok on the new port") << "okFromWorkDialog";
    QTest::newRow("close box") << "";
    QTest::newRow("cancel") << "cancelFromWorkDialog";
}

void SettingsFrameGuiTest::confirmedPortIsTheMainLinksPort() {
    QFETCH(QString, leaveWith);
    const bool confirmWithOk = leaveWith == QStringLiteral("okFromWorkDialog");
    SampleProgram run;
    run.device().setVersion(210);
    sim::PtyController other;
    other.controller().setVersion(305);
    QVERIFY(other.start());
    const std::string oldPort = run.controller.slavePath();
    const std::string newPort = other.slavePath();

    run.press("writeByActuator");
    Script script;
    script
        .whenReady(QStringLiteral("CComSettingFrame"), OpenedFromWorkDialog,
                   [&](QWidget* frame) {
                       TypePort(frame, newPort);
                       Click(frame, "check");
                   })
        .whenReady(
            QStringLiteral("CComSettingFrame"),
            [](QWidget* frame) { return Child(frame, "okFromWorkDialog")->isEnabled(); },
            [&](QWidget* frame) {
                if (leaveWith.isEmpty()) {
                    frame->close();
                } else {
                    Click(frame, qPrintable(leaveWith));
                }
            });
    Click(run.program.selectActuatorDlg(), "comSetting");
    QTRY_VERIFY_WITH_TIMEOUT(script.done(), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(FindWindow(QStringLiteral("CComSettingFrame")) == nullptr, 60000);

    const std::string expected = confirmWithOk ? newPort : oldPort;
    QCOMPARE(App().commSettings.portName, expected);
    QCOMPARE(run.session.master.portName(), expected);
    std::string version;
    QVERIFY(ReadVersion(run.session.master, 1, version).ok());
    QCOMPARE(version, std::string(confirmWithOk ? "3.05" : "2.10"));
    CComSettingDlg* mainPage = run.program.mainSettingsPage();
    QCOMPARE(mainPage->model().selectedPortPath(), expected);
    QCOMPARE(mainPage->portCombo()->currentData().toString().toStdString(), expected);
}

void SettingsFrameGuiTest::recordTrafficSwitchAttachesATraceToTheMaster() {
    SampleProgram run;
    const QString path = run.folder.path() + QStringLiteral("/traffic.txt");
    CComSettingDlg::setTraceFileChooser([&](QWidget*) { return path; });
    CComSettingDlg* page = run.program.mainSettingsPage();
    QVERIFY(!page->traceCheck()->isChecked());
    QVERIFY(run.session.master.trace() == nullptr);

    page->traceCheck()->click();
    QVERIFY(page->traceCheck()->isChecked());
    QCOMPARE(page->traceFileLabel()->text(), path);
    QVERIFY(run.session.master.trace() != nullptr);
    std::string version;
    QVERIFY(ReadVersion(run.session.master, 1, version).ok());
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().contains(" -> 01 03 90 0c 00 01 "));

    page->traceCheck()->click();
    QVERIFY(!page->traceCheck()->isChecked());
    QVERIFY(page->traceFileLabel()->text().isEmpty());
    QVERIFY(run.session.master.trace() == nullptr);
    CComSettingDlg::setTraceFileChooser({});
}

// /dev/full opens for appending and refuses the first line flushed: the record fails mid-run.
void SettingsFrameGuiTest::recordThatStopsTakingLinesIsToldOnceAndSwitchedOff() {
    if (!QFile::exists(QStringLiteral("/dev/full"))) {
        QSKIP("no /dev/full here");
    }
    SampleProgram run;
    CComSettingDlg::setTraceFileChooser([](QWidget*) { return QStringLiteral("/dev/full"); });
    CComSettingDlg* page = run.program.mainSettingsPage();
    const std::size_t shownBefore = run.presenter.shown.size();
    page->traceCheck()->click();
    CComSettingDlg::setTraceFileChooser({});
    QVERIFY(page->traceCheck()->isChecked());

    // From a worker thread, as a job reads: the GUI hears of it on its own thread.
    std::string version;
    bool read = false;
    std::thread worker([&] { read = ReadVersion(run.session.master, 1, version).ok(); });
    worker.join();
    QVERIFY(read);
    QTRY_VERIFY_WITH_TIMEOUT(!page->traceCheck()->isChecked(), 10000);
    QVERIFY(page->traceFileLabel()->text().isEmpty());
    QVERIFY(run.session.master.trace() == nullptr);
    QCOMPARE(run.presenter.shown.size(), shownBefore + 1);
    const ScriptedPresenter::Shown& told = run.presenter.shown.back();
    QCOMPARE(told.title, MessageText(kMsgTraceFileDialogTitle));
    QVERIFY(told.text.starts_with(MessageText(kMsgTraceWriteErrorContents)));
    QVERIFY(told.text.ends_with("/dev/full: " + std::string(std::strerror(ENOSPC))));

    // The line goes on without its record, and nothing more is told.
    QVERIFY(ReadVersion(run.session.master, 1, version).ok());
    QCoreApplication::processEvents();
    QCOMPARE(run.presenter.shown.size(), shownBefore + 1);
}

QTEST_MAIN(SettingsFrameGuiTest)
#include "settings_frame_gui_test.moc"
