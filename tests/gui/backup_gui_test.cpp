// Backup through its dialog and the progress dialog, and writing the backup back through the
// file selection and transmit dialogs, against virtual controllers.

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

#include "backup/qt/backup_dlg.h"
#include "comsetup/qt/progress_dlg.h"
#include "data/qt/file_select_dlg.h"
#include "gui/work_dialog_support.h"
#include "model/register_map.h"
#include "transmit/qt/transmitting_dlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr int kWriteTimeoutMs = 30000;

// A response delay that gives the controller over a second per reply (the master waits it
// and ten poll intervals that include it), so a test may hold a reply back while it acts.
constexpr int kPatientDelayMs = 100;

void UsePatientTiming(const QString& programFolder) {
    QFile file(programFolder + QStringLiteral("/System/CommunicationSetting.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    QVERIFY(text.contains("COM_DELAY=0\r\n"));
    text.replace("COM_DELAY=0\r\n", "COM_DELAY=" + QByteArray::number(kPatientDelayMs) + "\r\n");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

// The second request of a backward reading of the step area: the confirming reading is under
// way in the step part. Runs on the controller's thread.
sim::PtyController::RequestTest SecondBackwardStepRead() {
    return [last = -1](const std::vector<std::uint8_t>& request) mutable {
        if (request.size() < 6 || request[1] != 0x03) {
            return false;
        }
        const int address = request[2] * 256 + request[3];
        if (address < kStepFirstReg || address > kStepLastReg) {
            return false;
        }
        const bool backward = last >= 0 && address < last;
        last = address;
        return backward;
    };
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Chooses path in the backup dialog and presses start; returns when the progress dialog has
// closed (it runs modally inside the click).
void RunBackupTo(SampleProgram& run, const QString& path) {
    CBackupDlg::setFileChooser([path](QWidget*) { return path; });
    run.press("backup");
    CBackupDlg* backup = run.program.backupDlg();
    QVERIFY(backup->isVisible());
    auto* start = Child<QPushButton>(backup, "start");
    Child<QPushButton>(backup, "browse")->click();
    QCOMPARE(backup->path(), path);
    QVERIFY(start->isEnabled());
    start->click();
    QVERIFY(FindWindow(QStringLiteral("CProgressDlg")) == nullptr);
    QVERIFY(start->isEnabled());
}

}  // namespace

class BackupGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();

    void backupWrittenBackOntoAnotherController();
    void cancelInTheStepPartLeavesNoNewFile_data();
    void cancelInTheStepPartLeavesNoNewFile();
};

void BackupGuiTest::initTestCase() {
    QVERIFY2(SampleDataBuilt(), "System/Data/VMA-Series missing: build velmora_sample_data");
    CTransmittingDlg::setSleeper([](int) {});
}

void BackupGuiTest::cleanupTestCase() {
    CTransmittingDlg::setSleeper({});
    CBackupDlg::setFileChooser({});
    CFileSelectDlg::setFileChooser({});
}

void BackupGuiTest::backupWrittenBackOntoAnotherController() {
    QTemporaryDir store;
    QVERIFY(store.isValid());
    const QString path = store.path() + QStringLiteral("/controller-a.bkp");

    RegisterValues parametersA;
    RegisterValues stepsA;
    {
        SampleProgram a;
        SeedImage(a.device(), 0xA11CE, "VMA20-12I");
        // Unit number: controller code 0x101 in bits 16 to 27.
        a.device().setRegister(0x008E, 0x0101);
        parametersA = Snapshot(a.device(), 0x0000, 0x017F);
        stepsA = Snapshot(a.device(), 0x0400, 0x07FF);
        RunBackupTo(a, path);
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(a.program.backupDlg()->lastResult(), 0);
        QVERIFY(a.presenter.sawTitle(MessageText(kMsgBackupCompleteTitle)));
        QCOMPARE(a.presenter.shown.back().text, MessageText(kMsgBackupCompleteContents));
        QVERIFY(!AnyWriteRequest(a.device()));
        // Only the finished file is left in the folder.
        QCOMPARE(QDir(store.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("controller-a.bkp")});
    }

    SampleProgram b;
    SeedImage(b.device(), 0xB0B, "OTHER-UNIT");
    QVERIFY(!FirstDifference(parametersA, b.device(), 0x0000, 0x017F).isEmpty());
    QVERIFY(!FirstDifference(stepsA, b.device(), 0x0400, 0x07FF).isEmpty());

    CFileSelectDlg::setFileChooser([path](QWidget*) { return path; });
    b.press("writeFromFile");
    CFileSelectDlg* select = b.program.fileSelectDlg();
    QVERIFY(select->isVisible());
    auto* start = Child<QPushButton>(select, "start");
    QVERIFY(!start->isEnabled());
    Child<QPushButton>(select, "browse")->click();
    QCOMPARE(Child<QLineEdit>(select, "path")->text(), path);
    QVERIFY(start->isEnabled());
    start->click();
    CTransmittingDlg* transmit = b.program.transmittingDlg();
    QVERIFY(transmit->isVisible());
    QCOMPARE(transmit->fromFile(), kFromBackupFile);
    QCOMPARE(transmit->writeContents(), 0);
    QCOMPARE(Child<QLineEdit>(transmit, "actuator")->text(), QStringLiteral("VMA20-12I"));
    QCOMPARE(Child<QLineEdit>(transmit, "controller")->text(), QStringLiteral("QTX16-VMA20-12I"));
    QCOMPARE(Child<QLineEdit>(transmit, "sv")->text(), QStringLiteral("1.10"));

    QSignalSpy finished(transmit, &CTransmittingDlg::transmitFinished);
    Child<QPushButton>(transmit, "send")->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWriteTimeoutMs);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QCOMPARE(b.presenter.shown.back().text, MessageText(kMsgTransmitCompleteContents));
    QCOMPARE(Child<QLabel>(transmit, "status")->text(), Shown(kMsgProgressStateWritecomplete));

    // The writing mode, the counter in 0x00EE and the date code are the writer's own.
    RegisterValues expected = parametersA;
    for (const std::uint16_t own : {0x000C, 0x00EE, 0x00EF}) {
        expected[own] = b.device().getRegister(own).value_or(0);
    }
    QCOMPARE(expected[0x000C] & 0xFF, 1);
    QCOMPARE(expected[0x00EF], TodaysDateCode());
    QString difference = FirstDifference(expected, b.device(), 0x0000, 0x017F);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    difference = FirstDifference(stepsA, b.device(), 0x0400, 0x07FF);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void BackupGuiTest::cancelInTheStepPartLeavesNoNewFile_data() {
    QTest::addColumn<bool>("older");
    QTest::newRow("no file before") << false;
    QTest::newRow("older file of that name") << true;
}

void BackupGuiTest::cancelInTheStepPartLeavesNoNewFile() {
    QFETCH(bool, older);
    QTemporaryDir store;
    QVERIFY(store.isValid());
    const QString path = store.path() + QStringLiteral("/BackupFile.bkp");
    const QByteArray olderBytes("an older backup\r\nwith its own bytes\x01\x02\r\n");
    if (older) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(olderBytes), olderBytes.size());
    }

    SampleProgram run(UsePatientTiming);
    // The backup stops at a known point in the step part of its second reading until the
    // script has cancelled there; no guess at how fast the machine reads.
    run.controller.holdReplyWhen(SecondBackwardStepRead());
    QString percentAtCancel;
    QString statusAtCancel;
    QString titleAtCancel;
    Script script;
    script.whenReady(
        QStringLiteral("CProgressDlg"), [&](QWidget*) { return run.controller.replyHeld(); },
        [&](QWidget* progress) {
            // Released whatever happens here, so a failed check cannot hold the backup.
            const std::unique_ptr<void, std::function<void(void*)>> release(
                &run, [&](void*) { run.controller.releaseHeldReply(); });
            // The first reading of both areas fills the bar to 50%; the second, which
            // confirms it, runs from 51% with the step status.
            auto* percent = Child<QLabel>(progress, "percent");
            auto* status = Child<QLabel>(progress, "status");
            auto shown = [percent] {
                const QString text = percent->text();
                return text.size() > 1 ? text.chopped(1).toInt() : -1;
            };
            // The labels follow the worker through queued signals.
            QTRY_VERIFY_WITH_TIMEOUT(
                shown() >= 51 && shown() < 100 && status->text() == Shown(kMsgProgressBackupStep),
                30000);
            percentAtCancel = percent->text();
            statusAtCancel = status->text();
            titleAtCancel = progress->windowTitle();
            Click(progress, "cancel");
        });
    RunBackupTo(run, path);
    QVERIFY(script.done());
    QVERIFY2(percentAtCancel.size() > 1 && percentAtCancel.chopped(1).toInt() >= 51,
             qPrintable(percentAtCancel));
    QCOMPARE(statusAtCancel, Shown(kMsgProgressBackupStep));
    // The backup's own title, not the search's.
    QCOMPARE(titleAtCancel, run.program.backupDlg()->windowTitle());
    QCOMPARE(run.program.backupDlg()->lastResult(), -1);
    QVERIFY2(run.presenter.shown.empty(), "a cancelled backup shows no message");

    const QStringList left = QDir(store.path()).entryList(QDir::Files | QDir::Hidden);
    if (older) {
        QCOMPARE(left, QStringList{QStringLiteral("BackupFile.bkp")});
        QCOMPARE(FileBytes(path), olderBytes);
    } else {
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    }
}

QTEST_MAIN(BackupGuiTest)
#include "backup_gui_test.moc"
