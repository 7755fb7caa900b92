// The compare dialog, and the undo the transmit dialog offers after a write, against the virtual
// controller.

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "app/job_recorder.h"
#include "backup/backup_run.h"
#include "compare/compare_sides.h"
#include "compare/qt/compare_dlg.h"
#include "data/actuator_selection.h"
#include "data/file_selection.h"
#include "data/qt/work_dialog_support.h"
#include "gui/work_dialog_support.h"
#include "history/history_store.h"
#include "transmit/qt/transmitting_dlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr int kWriteTimeoutMs = 30000;

// A controller state the rule file allows, seeded from seed.
void SeedAllowed(sim::VirtualController& device, std::uint32_t seed, const char* unitName) {
    SeedImage(device, seed, unitName);
    device.setRegister(0x008E, 0x0101);  // controller code in bits 16 to 27
}

// The controller's areas saved as a backup file, without asking it.
bool SaveState(sim::VirtualController& device, const std::string& path) {
    ControllerContents contents;
    contents.version = "1.10";
    for (const auto& range : {Snapshot(device, 0x0000, 0x017F), Snapshot(device, 0x0400, 0x07FF)}) {
        for (const auto& [reg, value] : range) {
            contents.image.set(reg, value);
        }
    }
    return SaveBackupFile(path, contents, "2026/12/09 09:00:00");
}

int VisibleRows(QTableWidget* table) {
    int visible = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        visible += table->isRowHidden(row) ? 0 : 1;
    }
    return visible;
}

bool StampedByAWrite(std::uint16_t reg) {
    return reg == 0x000C || reg == 0x00EE || reg == 0x00EF;
}

}  // namespace

class CompareUndoGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY2(SampleDataBuilt(), "System/Data/VMA-Series missing: build velmora_sample_data");
        CTransmittingDlg::setSleeper([](int) {});
    }
    void cleanupTestCase() {
        CTransmittingDlg::setSleeper({});
        CCompareDlg::setFileChooser({});
    }
    void writeCompareAndUndo();
    void controllerAgainstAnActuatorOfTheDataSet();
};

void CompareUndoGuiTest::writeCompareAndUndo() {
    QTemporaryDir store;
    QVERIFY(store.isValid());
    const std::string statePath = (store.path() + QStringLiteral("/state-a.bkp")).toStdString();
    SampleProgram run;
    SeedAllowed(run.device(), 0xA11CE, "VMA20-12I");
    QVERIFY(SaveState(run.device(), statePath));
    SeedAllowed(run.device(), 0xB0B, "OTHER-UNIT");
    const RegisterValues parametersB = Snapshot(run.device(), 0x0000, 0x017F);
    const RegisterValues stepsB = Snapshot(run.device(), 0x0400, 0x07FF);

    // Write state A from its file; the state before goes into Backups/ first.
    TransmitRequest request;
    request.fromFile = kFromBackupFile;
    QCOMPARE(DescribeBackupFile(statePath, request.record, run.program.ui()), 0);
    CTransmittingDlg* transmit = run.program.transmittingDlg();
    transmit->Open(request, QStringLiteral("both"), nullptr);
    QVERIFY(Child<QCheckBox>(transmit, "autoBackup")->isChecked());
    QSignalSpy finished(transmit, &CTransmittingDlg::transmitFinished);
    Child<QPushButton>(transmit, "send")->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWriteTimeoutMs);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    const std::string saved = transmit->autoBackupPath();
    QVERIFY(QFileInfo::exists(QString::fromStdString(saved)));
    QVERIFY(Child<QLabel>(transmit, "backupNote")->text().contains(QString::fromStdString(saved)));
    QVERIFY(Child<QPushButton>(transmit, "again")->isVisible());
    auto* undo = Child<QPushButton>(transmit, "undo");
    QVERIFY(undo->isVisible());

    // The controller against the file it was written from: only what a write stamps differs.
    CCompareDlg compare;
    const QString stateFile = QString::fromStdString(statePath);
    CCompareDlg::setFileChooser([stateFile](QWidget*) { return stateFile; });
    compare.BrowseRightFile();
    compare.StartCompare();
    QVERIFY(compare.comparison().registers.size() == 1408u);
    QVERIFY(compare.comparison().differing <= 3u);
    for (const ComparedRegister& row : compare.comparison().registers) {
        QVERIFY(row.state != RegisterState::Differs || StampedByAWrite(row.reg));
    }
    QVERIFY(compare.summary().startsWith(QString::number(compare.comparison().differing) +
                                         QStringLiteral(" of 1408")));

    // The file against the state before: the table shows every register or only the differing.
    const QString savedFile = QString::fromStdString(saved);
    CCompareDlg::setFileChooser([savedFile](QWidget*) { return savedFile; });
    compare.BrowseLeftFile();
    compare.StartCompare();
    const int differing = static_cast<int>(compare.comparison().differing);
    QVERIFY(differing > 100);
    QCOMPARE(VisibleRows(compare.table()), differing);
    compare.ShowOnlyDifferences(false);
    QCOMPARE(VisibleRows(compare.table()), 1408);

    // Undo writes the state before back.
    undo->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kWriteTimeoutMs);
    QCOMPARE(finished.at(1).at(0).toInt(), 0);
    for (const auto& [reg, value] : parametersB) {
        if (!StampedByAWrite(reg)) {
            QCOMPARE(run.device().getRegister(reg).value_or(0), value);
        }
    }
    const QString difference = FirstDifference(stepsB, run.device(), 0x0400, 0x07FF);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// The controller holding exactly what an actuator's data set gives: the comparison with that
// actuator, chosen in the chooser as a user does, finds no difference.
void CompareUndoGuiTest::controllerAgainstAnActuatorOfTheDataSet() {
    SampleProgram run;
    SeedAllowed(run.device(), 0xC0FFEE, "VMA20-12I");
    // What the chooser offers first for the pattern "*".
    SilentUi silent;
    ActuatorSelectionModel selection;
    selection.LoadTable(silent, TableRoot());
    selection.SetPartNoMode();
    selection.setPattern("*");
    selection.SearchPartNo();
    QVERIFY(!selection.listSelected().empty());
    const stADP_FORMAT record = selection.listSelected().front();
    const SideLoading actuator = LoadActuatorSide(record);
    QVERIFY(actuator.side.has_value());
    std::size_t given = 0;
    for (const auto& [first, last] : {std::pair{0x0000, 0x017F}, std::pair{0x0400, 0x07FF}}) {
        for (int reg = first; reg <= last; ++reg) {
            const auto address = static_cast<std::uint16_t>(reg);
            if (actuator.side->image.given(address)) {
                QVERIFY(run.device().setRegister(address, actuator.side->image.get(address)));
                ++given;
            }
        }
    }
    QVERIFY(given > 0);

    CCompareDlg compare;
    auto* start = Child<QPushButton>(&compare, "start");
    QVERIFY(!start->isEnabled());
    Script script;
    script.when(QStringLiteral("CChooseActuatorDlg"), [](QWidget* chooser) {
        Child<QLineEdit>(chooser, "pattern")->setText(QStringLiteral("*"));
        Child(chooser, "partNoSearch")->click();
        Click(chooser, "ok");
    });
    compare.ChooseRightActuator();
    QVERIFY(script.done());
    QVERIFY(Child(&compare, "rightActuator")->isChecked());
    QVERIFY(Child<QLineEdit>(&compare, "rightActuatorName")
                ->text()
                .startsWith(QString::fromStdString(record.strPartNo)));
    QVERIFY(start->isEnabled());

    compare.StartCompare();
    QCOMPARE(compare.comparison().registers.size(), std::size_t{1408});
    QCOMPARE(compare.comparison().differing, std::size_t{0});
    QCOMPARE(compare.comparison().leftOut, 1408 - given);
    QCOMPARE(compare.table()->horizontalHeaderItem(3)->text(),
             QString::fromStdString(actuator.side->label));

    // The history names the actuator the controller was compared with.
    HistoryStore history;
    QVERIFY(history.open(HistoryPath()).ok());
    std::vector<JobRecord> jobs;
    QVERIFY(history.list({1, {}}, jobs).ok());
    QCOMPARE(jobs.size(), std::size_t{1});
    QCOMPARE(jobs[0].result, JobResult::Equal);
    QCOMPARE(jobs[0].partNo, record.strPartNo);
    QCOMPARE(jobs[0].sv, record.strSVNo);
    QVERIFY(jobs[0].backupPath.empty());
}

QTEST_MAIN(CompareUndoGuiTest)
#include "compare_undo_gui_test.moc"
