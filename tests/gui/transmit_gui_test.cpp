// Writing by actuator through the dialogs: the actuator selection's lists, the transmit
// dialog and its worker, against a virtual controller with the sample data set.

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <mutex>
#include <vector>

#include "data/qt/select_actuator_dlg.h"
#include "gui/work_dialog_support.h"
#include "transmit/qt/transmitting_dlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr int kWriteTimeoutMs = 30000;

// The waits the worker asked for; the tests skip them.
std::mutex g_sleepsMutex;
std::vector<int> g_sleeps;

std::vector<int> TakeSleeps() {
    const std::lock_guard<std::mutex> lock(g_sleepsMutex);
    return std::exchange(g_sleeps, {});
}

// Narrows the sample list down to one record through the dialog's lists, chooses what to
// write and presses start: the transmit dialog is then shown with that record.
void StartWriteByActuator(SampleProgram& run, const QString& model, const QString& partNo,
                          const QString& sv, const QString& io, int contents,
                          CTransmittingDlg*& transmit) {
    run.press("writeByActuator");
    CSelectActuatorDlg* select = run.program.selectActuatorDlg();
    QVERIFY(select->isVisible());
    QVERIFY(Choose(Child<QComboBox>(select, "model"), model));
    Child<QPushButton>(select, "narrowDownSearch")->click();
    QVERIFY2(Choose(Child<QComboBox>(select, "narrowDownResult"), partNo), qPrintable(partNo));
    QVERIFY2(Choose(Child<QComboBox>(select, "sv"), sv), qPrintable(sv));
    QVERIFY2(Choose(Child<QComboBox>(select, "io"), io), qPrintable(io));
    Child<QComboBox>(select, "writeContents")->setCurrentIndex(contents);
    auto* start = Child<QPushButton>(select, "start");
    QVERIFY(start->isEnabled());
    start->click();
    transmit = run.program.transmittingDlg();
    QVERIFY(transmit->isVisible());
    QVERIFY(!select->isVisible());
}

// Sends and waits for the worker to end; the result the dialog reported.
void SendAndWait(CTransmittingDlg* transmit, int& result) {
    QSignalSpy finished(transmit, &CTransmittingDlg::transmitFinished);
    auto* send = Child<QPushButton>(transmit, "send");
    QVERIFY(send->isVisible() && send->isEnabled());
    send->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWriteTimeoutMs);
    result = finished.at(0).at(0).toInt();
}

QString StatusText(CTransmittingDlg* transmit) {
    return Child<QLabel>(transmit, "status")->text();
}

// The large outcome line, empty while it is hidden.
QString ResultLine(CTransmittingDlg* transmit) {
    auto* line = Child<QLabel>(transmit, "result");
    return line->isVisible() ? line->text() : QString();
}

// Index of the first box with this title and text after position from, or -1.
int FindShown(const ScriptedPresenter& presenter, MessageId title, MessageId text,
              std::size_t from = 0) {
    for (std::size_t i = from; i < presenter.shown.size(); ++i) {
        if (presenter.shown[i].title == MessageText(title) &&
            presenter.shown[i].text == MessageText(text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int FindTitle(const ScriptedPresenter& presenter, MessageId title) {
    for (std::size_t i = 0; i < presenter.shown.size(); ++i) {
        if (presenter.shown[i].title == MessageText(title)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

class TransmitGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void writeByActuatorLeavesTheDataSetOnTheController_data();
    void writeByActuatorLeavesTheDataSetOnTheController();
    void verifyFailureListsTheRowAndEndsNg();
    void lineErrorIsRepeatedAndCountedUnderTheOutcome();
    void versionZeroShowsTheSvErrorAndWritesNothing();
    void cancelledRuleWarningKeepsTheConfirmation();
};

void TransmitGuiTest::initTestCase() {
    QVERIFY2(SampleDataBuilt(), "System/Data/VMA-Series missing: build velmora_sample_data");
    CTransmittingDlg::setSleeper([](int ms) {
        const std::lock_guard<std::mutex> lock(g_sleepsMutex);
        g_sleeps.push_back(ms);
    });
}

void TransmitGuiTest::init() {
    TakeSleeps();
}

void TransmitGuiTest::cleanupTestCase() {
    CTransmittingDlg::setSleeper({});
    CTransmittingDlg::setSvErrorPresenter({});
}

void TransmitGuiTest::writeByActuatorLeavesTheDataSetOnTheController_data() {
    QTest::addColumn<int>("contents");
    QTest::addColumn<bool>("parameters");
    QTest::addColumn<bool>("steps");
    QTest::addColumn<int>("wait");  // ms the worker waits after entering the writing mode
    QTest::newRow("parameters and steps") << 0 << true << true << 1000;
    QTest::newRow("parameters only") << 1 << true << false << 1500;
    QTest::newRow("steps only") << 2 << false << true << 0;
}

void TransmitGuiTest::writeByActuatorLeavesTheDataSetOnTheController() {
    QFETCH(int, contents);
    QFETCH(bool, parameters);
    QFETCH(bool, steps);
    QFETCH(int, wait);

    SampleProgram run;
    SeedImage(run.device(), 0x5EED0 + static_cast<std::uint32_t>(contents), "OLD-UNIT");
    // A mode byte that is neither 1 nor 200, so a steps-only write must put it back.
    run.device().setRegister(0x000C, 0x4664);
    const RegisterValues parametersBefore = Snapshot(run.device(), 0x0000, 0x017F);
    const RegisterValues stepsBefore = Snapshot(run.device(), 0x0400, 0x07FF);

    CTransmittingDlg* transmit = nullptr;
    StartWriteByActuator(run, "VMA10", "VMA10-06I", "1.10", "NPN", contents, transmit);
    if (QTest::currentTestFailed()) {
        return;
    }
    const stADP_FORMAT record = transmit->request().record;
    QCOMPARE(record.strPartNo, std::string("VMA10-06I"));
    QCOMPARE(record.strSVNo, std::string("1.10"));
    QCOMPARE(record.strIOSpec, std::string("NPN"));
    QCOMPARE(transmit->writeContents(), contents);
    QCOMPARE(transmit->fromFile(), kFromActuatorSelection);
    QCOMPARE(transmit->currentLayout(), CTransmittingDlg::kConfirmationLayout);
    QCOMPARE(Child<QLineEdit>(transmit, "controller")->text(),
             QString::fromStdString(record.strController) + QStringLiteral("N-VMA10-06I"));
    QCOMPARE(Child<QLineEdit>(transmit, "writeContents")->text(),
             run.program.selectActuatorDlg()->writeContentsText());

    int result = -99;
    SendAndWait(transmit, result);
    if (QTest::currentTestFailed()) {
        return;
    }
    QCOMPARE(result, 0);
    QVERIFY(!transmit->busy());
    QCOMPARE(transmit->currentLayout(), CTransmittingDlg::kTransmittingLayout);
    QVERIFY(Child<QPushButton>(transmit, "return")->isEnabled());
    QVERIFY(!Child<QPushButton>(transmit, "send")->isEnabled());
    QVERIFY(Child<QLabel>(transmit, "caution")->isVisible());
    QCOMPARE(StatusText(transmit), Shown(kMsgProgressStateWritecomplete));
    QVERIFY(!run.presenter.shown.empty());
    const auto& last = run.presenter.shown.back();
    QCOMPARE(last.text, MessageText(kMsgTransmitCompleteContents));
    QCOMPARE(last.title, MessageText(kMsgTransmitCompleteTitle));
    QCOMPARE(last.icon, MessageIcon::Information);
    QCOMPARE(ResultLine(transmit), Shown(kMsgTransmitResultVerified));
    QCOMPARE(run.presenter.shown.size(), std::size_t{1});
    QCOMPARE(TakeSleeps(), wait > 0 ? std::vector<int>{wait} : std::vector<int>{});

    RegisterValues expectedParameters = parametersBefore;
    if (parameters) {
        const RegisterValues written = ExpectedParameterImage(
            ReadBytes(SamplePath(record.strParamFile)), record.strParamColumn, record.strPartNo);
        QVERIFY(written.size() > 300);
        for (const auto& [reg, value] : written) {
            expectedParameters[reg] = value;
        }
        // The mode byte goes back to 1 after writing; the date code is stamped.
        expectedParameters[0x000C] = static_cast<std::uint16_t>((written.at(0x000C) & 0xFF00) | 1);
        expectedParameters[0x00EF] = TodaysDateCode();
    }
    QString difference = FirstDifference(expectedParameters, run.device(), 0x0000, 0x017F);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    RegisterValues expectedSteps = stepsBefore;
    if (steps) {
        const RegisterValues written =
            ExpectedStepImage(ReadBytes(SamplePath(record.strStepFile)), record.strParamColumn);
        QCOMPARE(written.size(), std::size_t{1024});
        expectedSteps = written;
    }
    difference = FirstDifference(expectedSteps, run.device(), 0x0400, 0x07FF);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    // Back to the selection, ready for another write.
    Child<QPushButton>(transmit, "return")->click();
    QVERIFY(!transmit->isVisible());
    QVERIFY(run.program.selectActuatorDlg()->isVisible());
    QCOMPARE(transmit->currentLayout(), CTransmittingDlg::kConfirmationLayout);
}

// One lost reply in the middle of a write is sent again; the write succeeds and says under its
// outcome that a request was repeated.
void TransmitGuiTest::lineErrorIsRepeatedAndCountedUnderTheOutcome() {
    SampleProgram run;
    SeedImage(run.device(), 0x11E, "OLD-UNIT");
    CTransmittingDlg* transmit = nullptr;
    StartWriteByActuator(run, "VMA10", "VMA10-06I", "1.10", "NPN", 0, transmit);
    if (QTest::currentTestFailed()) {
        return;
    }
    // The 100th request from here lies among the step writes; the whole job stays under 200
    // without the backup before it.
    Child<QCheckBox>(transmit, "autoBackup")->setChecked(false);
    run.device().clearRequestLog();
    run.device().injectEvery(sim::Fault::LoseReply, 100);
    int result = -99;
    SendAndWait(transmit, result);
    if (QTest::currentTestFailed()) {
        return;
    }
    QCOMPARE(result, 0);
    QVERIFY(run.device().requestLog().size() < 200);
    QCOMPARE(StatusText(transmit), Shown(kMsgProgressStateWritecomplete) + QStringLiteral("\n") +
                                       Shown(kMsgLinkRequestsRepeated) + QStringLiteral(" 1"));
    TakeSleeps();
}

void TransmitGuiTest::verifyFailureListsTheRowAndEndsNg() {
    SampleProgram run;
    SeedImage(run.device(), 0xBAD, "OLD-UNIT");
    const RegisterValues stepsBefore = Snapshot(run.device(), 0x0400, 0x07FF);
    // Max speed reads back otherwise than written.
    run.device().changeRegisterAfterWrite(0x0006, 0x0BAD);

    CTransmittingDlg* transmit = nullptr;
    StartWriteByActuator(run, "VMA10", "VMA10-06I", "1.10", "NPN", 0, transmit);
    if (QTest::currentTestFailed()) {
        return;
    }
    QSignalSpy mainClosed(run.program.mainDialog(), &CVelmoraDlg::closed);
    QSignalSpy finished(transmit, &CTransmittingDlg::transmitFinished);
    Child<QPushButton>(transmit, "send")->click();
    QVERIFY(transmit->busy());
    // Closing the window while the worker runs is ignored.
    QVERIFY(!transmit->close());
    QVERIFY(transmit->isVisible());
    QVERIFY(transmit->busy());
    QCOMPARE(transmit->currentLayout(), CTransmittingDlg::kTransmittingLayout);
    QVERIFY(!Child<QPushButton>(transmit, "return")->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWriteTimeoutMs);
    QCOMPARE(finished.at(0).at(0).toInt(), -1);
    QCOMPARE(mainClosed.count(), 0);
    QVERIFY(transmit->isVisible());

    const int verify = FindTitle(run.presenter, kMsgTransmitVerifyErrorTitle);
    QVERIFY(verify >= 0);
    QCOMPARE(run.presenter.shown[verify].icon, MessageIcon::Error);
    const int ng =
        FindShown(run.presenter, kMsgTransmitCompleteTitle, kMsgTransmitNgContents, verify);
    QVERIFY2(ng == verify + 1, "the NG message follows the verify message, nothing between");
    QCOMPARE(run.presenter.shown[ng].icon, MessageIcon::Error);
    // A busy machine may make the master repeat a request; the status then says so on a
    // line of its own below the outcome.
    const QStringList status = StatusText(transmit).split(QLatin1Char('\n'));
    QCOMPARE(status.front(), Shown(kMsgProgressStateWriteNg));
    QVERIFY2(status.size() == 1 ||
                 (status.size() == 2 && status[1].startsWith(Shown(kMsgLinkRequestsRepeated))),
             qPrintable(StatusText(transmit)));
    QCOMPARE(ResultLine(transmit), Shown(kMsgTransmitResultIncomplete));
    QVERIFY(!Child<QLabel>(transmit, "caution")->isVisible());

    // The differing rows are the verification box's own details.
    const QStringList rows = QString::fromStdString(run.presenter.shown[verify].details)
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 2);  // the heading and the one row that differs
    QVERIFY2(rows[1].startsWith(QStringLiteral("D0006\t")), qPrintable(rows[1]));
    QVERIFY2(rows[1].endsWith(QStringLiteral("\t0bad")), qPrintable(rows[1]));

    // The failed parameter write leaves the writing mode on and sends no step.
    QCOMPARE(run.device().getRegister(0x000C).value_or(0) & 0xFF, 200);
    const QString difference = FirstDifference(stepsBefore, run.device(), 0x0400, 0x07FF);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TransmitGuiTest::versionZeroShowsTheSvErrorAndWritesNothing() {
    SampleProgram run;
    QList<QWidget*> svErrorParents;
    CTransmittingDlg::setSvErrorPresenter([&](QWidget* parent) { svErrorParents << parent; });
    run.device().setVersion(0);

    CTransmittingDlg* transmit = nullptr;
    StartWriteByActuator(run, "VMA10", "VMA10-06I", "1.10", "NPN", 0, transmit);
    if (QTest::currentTestFailed()) {
        return;
    }
    run.device().clearRequestLog();
    int result = -99;
    SendAndWait(transmit, result);
    if (QTest::currentTestFailed()) {
        return;
    }
    QCOMPARE(svErrorParents.size(), 1);
    QCOMPARE(svErrorParents.front(), static_cast<QWidget*>(transmit));
    QCOMPARE(result, transmit->lastResult());
    QVERIFY(result != 0);
    QVERIFY(!run.device().requestLog().empty());
    QVERIFY2(!AnyWriteRequest(run.device()), "a controller at 0.00 receives no write");
    QCOMPARE(FindShown(run.presenter, kMsgTransmitCompleteTitle, kMsgTransmitNgContents), -1);
    QCOMPARE(FindShown(run.presenter, kMsgTransmitCompleteTitle, kMsgTransmitCompleteContents), -1);
    QVERIFY(!transmit->busy());
    QVERIFY(Child<QPushButton>(transmit, "return")->isEnabled());
    QVERIFY(!Child<QLabel>(transmit, "caution")->isVisible());
    QCOMPARE(StatusText(transmit), Shown(kMsgProgressStateNothingWritten));
    QCOMPARE(ResultLine(transmit), Shown(kMsgTransmitResultNotWritten));
    QVERIFY(TakeSleeps().empty());
}

void TransmitGuiTest::cancelledRuleWarningKeepsTheConfirmation() {
    SampleProgram run([](const QString& folder) {
        QVERIFY(SetRule(folder, QStringLiteral("ACTUATOR_SVNO_OK_BKC_OK_SEL_OK"), 1));
    });
    CTransmittingDlg* transmit = nullptr;
    StartWriteByActuator(run, "VMA10", "VMA10-06I", "1.10", "NPN", 0, transmit);
    if (QTest::currentTestFailed()) {
        return;
    }
    run.device().clearRequestLog();
    QSignalSpy finished(transmit, &CTransmittingDlg::transmitFinished);
    run.presenter.answers.push_back(MessageAnswer::Cancel);
    auto* send = Child<QPushButton>(transmit, "send");
    send->click();

    QCOMPARE(run.presenter.shown.size(), std::size_t{1});
    QCOMPARE(run.presenter.shown[0].buttons, MessageButtons::OkCancelDefaultCancel);
    QCOMPARE(run.presenter.shown[0].icon, MessageIcon::Warning);
    QVERIFY(!run.presenter.shown[0].title.empty());
    QVERIFY(!transmit->busy());
    QCOMPARE(transmit->currentLayout(), CTransmittingDlg::kConfirmationLayout);
    QVERIFY(send->isVisible() && send->isEnabled());
    QVERIFY(Child<QPushButton>(transmit, "return")->isEnabled());
    QVERIFY(!Child<QWidget>(transmit, "progress")->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 0);
    QVERIFY(!AnyWriteRequest(run.device()));

    // The same warning answered OK goes on with the write.
    int result = -99;
    SendAndWait(transmit, result);
    QCOMPARE(result, 0);
    QCOMPARE(run.presenter.shown[1].buttons, MessageButtons::OkCancelDefaultCancel);
    QVERIFY(AnyWriteRequest(run.device()));
}

QTEST_MAIN(TransmitGuiTest)
#include "transmit_gui_test.moc"
