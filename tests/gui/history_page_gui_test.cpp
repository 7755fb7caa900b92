// The history page over a history of a few jobs: the rows it shows, the filter and the CSV
// export of what it shows.

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include "app/history_page_model.h"
#include "app/job_recorder.h"
#include "app/qt/history_page.h"
#include "gui/gui_support.h"
#include "history/history_store.h"

using namespace velmora;
using namespace velmora::test;

namespace {

JobRecord Job(JobKind kind, JobResult result, const char* started) {
    JobRecord record;
    record.kind = kind;
    record.result = result;
    record.started = started;
    record.ended = started;
    record.user = "service";
    record.host = "bench-7";
    record.port = "/dev/ttyUSB0";
    record.station = 1;
    record.bitRate = 38400;
    return record;
}

// The jobs of the history, oldest first; the last one never finished.
HistoryStatus FillHistory(const std::string& path) {
    HistoryStore store;
    if (HistoryStatus opened = store.open(path); !opened.ok()) {
        return opened;
    }
    JobRecord backup = Job(JobKind::Backup, JobResult::Saved, "2026-03-01T09:00:00");
    backup.backupPath = "/srv/backups/line 3, left.txt";
    JobRecord written =
        Job(JobKind::WriteActuator, JobResult::WrittenAndVerified, "2026-03-02T10:00:00");
    written.partNo = "VMA-200";
    written.contents = JobContents::Parameters;
    JobRecord failed = Job(JobKind::WriteActuator, JobResult::VerifyFailed, "2026-03-03T11:00:00");
    failed.differences = {{0x0400, "SPEED", 10, 12}};
    JobRecord compared = Job(JobKind::Compare, JobResult::Differ, "2026-03-04T12:00:00");
    for (JobRecord* record : {&backup, &written, &failed, &compared}) {
        if (HistoryStatus status = store.begin(*record); !status.ok()) {
            return status;
        }
        if (HistoryStatus status = store.finish(*record); !status.ok()) {
            return status;
        }
    }
    JobRecord restore = Job(JobKind::Restore, JobResult::Interrupted, "2026-03-05T13:00:00");
    restore.ended.clear();
    return store.begin(restore);
}

QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item != nullptr ? item->text() : QString();
}

}  // namespace

class HistoryPageGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void showsEveryJobNewestFirst();
    void filterNarrowsTheRows_data();
    void filterNarrowsTheRows();
    void exportWritesTheRowsShown();
    void cleanupTestCase();

  private:
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<QtUi> ui_;
    std::unique_ptr<CHistoryPage> page_;
};

void HistoryPageGuiTest::initTestCase() {
    folder_ = std::make_unique<ProgramFolder>(QString());
    const HistoryStatus filled = FillHistory(HistoryPath());
    if (filled.error == HistoryError::Unavailable) {
        QSKIP("this build records no history");
    }
    QVERIFY2(filled.ok(), filled.text.c_str());
    ui_ = std::make_unique<QtUi>();
    page_ = std::make_unique<CHistoryPage>(*ui_);
}

void HistoryPageGuiTest::cleanupTestCase() {
    page_.reset();
    ui_.reset();
    folder_.reset();
}

void HistoryPageGuiTest::showsEveryJobNewestFirst() {
    QTableWidget* table = page_->table();
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(table->columnCount(), static_cast<int>(HistoryPageModel::ColumnKeys().size()));
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Job"));
    // Started, ended, job, result: the words as the language file gives them.
    QCOMPARE(Cell(table, 0, 0), QStringLiteral("2026-03-05T13:00:00"));
    QCOMPARE(Cell(table, 0, 1), QString());
    QCOMPARE(Cell(table, 0, 2), QStringLiteral("Restore"));
    QCOMPARE(Cell(table, 0, 3), QStringLiteral("Interrupted"));
    QCOMPARE(Cell(table, 2, 3), QStringLiteral("Verify failed"));
    QCOMPARE(Cell(table, 2, 18), QStringLiteral("0x0400 SPEED: 10 / 12"));
    QCOMPARE(Cell(table, 3, 12), QStringLiteral("VMA-200"));
    QCOMPARE(Cell(table, 3, 17), QStringLiteral("Parameters"));
    QCOMPARE(Cell(table, 4, 2), QStringLiteral("Backup"));
    QCOMPARE(Cell(table, 4, 15), QStringLiteral("/srv/backups/line 3, left.txt"));
}

void HistoryPageGuiTest::filterNarrowsTheRows_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("rows");
    QTest::newRow("none") << "" << 5;
    QTest::newRow("a job, any case") << "WRITE BY ACTUATOR" << 2;
    QTest::newRow("a result") << "verified" << 1;
    QTest::newRow("a differing register") << "0x0400" << 1;
    QTest::newRow("a day") << "2026-03-04" << 1;
    QTest::newRow("in every row") << "ttyUSB0" << 5;
    QTest::newRow("nowhere") << "no such text" << 0;
}

void HistoryPageGuiTest::filterNarrowsTheRows() {
    QFETCH(QString, filter);
    QFETCH(int, rows);
    QTest::keyClicks(page_->filterEdit(), filter);
    QCOMPARE(page_->table()->rowCount(), rows);
    page_->filterEdit()->clear();
    QCOMPARE(page_->table()->rowCount(), 5);
}

void HistoryPageGuiTest::exportWritesTheRowsShown() {
    const QString path = folder_->path() + QStringLiteral("/export.csv");
    CHistoryPage::setFileChooser([&path](QWidget*) { return path; });
    page_->filterEdit()->setText(QStringLiteral("backup"));
    QTableWidget* table = page_->table();
    QCOMPARE(table->rowCount(), 1);
    page_->exportButton()->click();
    // Back to the file dialog for whatever runs after this test.
    CHistoryPage::setFileChooser({});

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    // The headings, the one row shown, and nothing after the last line end.
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith(QStringLiteral("Started,Ended,Job,Result,")));
    QStringList shown;
    for (int column = 0; column < table->columnCount(); ++column) {
        shown << QString::fromStdString(CsvField(Cell(table, 0, column).toStdString()));
    }
    QCOMPARE(lines[1], shown.join(QLatin1Char(',')));
    QVERIFY(lines[1].contains(QStringLiteral(",\"/srv/backups/line 3, left.txt\",")));
    QCOMPARE(lines[2], QString());
    page_->filterEdit()->clear();
}

QTEST_MAIN(HistoryPageGuiTest)
#include "history_page_gui_test.moc"
