#include "compare/qt/compare_dlg.h"

#include <QBrush>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <optional>
#include <string>
#include <utility>

#include "app/job_recorder.h"
#include "app/qt/connection_strip.h"
#include "app/qt/language_targets.h"
#include "app/qt/velmora_app.h"
#include "compare/compare_sides.h"
#include "compare/qt/choose_actuator_dlg.h"
#include "comsetup/qt/progress_dlg.h"
#include "rules/restriction.h"
#include "sysfiles/language.h"

namespace velmora {

namespace {

FileChooser& CurrentChooser() {
    static FileChooser chooser;
    return chooser;
}

QString Text(MessageId id) {
    return DisplayText(MessageText(id));
}

// "{0} of {1} registers differ" with its numbers.
QString Filled(MessageId id, std::size_t first, std::size_t second = 0) {
    return Text(id)
        .replace(QStringLiteral("{0}"), QString::number(first))
        .replace(QStringLiteral("{1}"), QString::number(second));
}

QString Chosen(QWidget* parent, const QString& current) {
    const FileChooser& chooser = CurrentChooser();
    return chooser ? chooser(parent) : ChooseBackupFile(parent, current, false);
}

// The side loaded, or nothing after telling the user why it cannot be compared.
std::optional<CompareSide> Loaded(SideLoading loading, MessageId why, const std::string& what,
                                  Ui& ui) {
    if (loading.side) {
        return std::move(loading.side);
    }
    std::string details;
    for (const Diagnostic& diagnostic : loading.diagnostics) {
        details += FormatDiagnostic(diagnostic) + "\n";
    }
    ui.showDetailedMessage(MessageText(why) + "\n" + what, MessageText(kMsgCompareTitle),
                           MessageIcon::Error, MessageButtons::Ok, details);
    return std::nullopt;
}

std::optional<CompareSide> LoadFileSide(const QString& path, Ui& ui) {
    return Loaded(LoadBackupSide(ToStd(path)), kMsgCompareFileInvalid, ToStd(path), ui);
}

std::string RecordName(const stADP_FORMAT& record) {
    return record.strPartNo + "  SV " + record.strSVNo + "  IO " + record.strIOSpec;
}

}  // namespace

void CCompareDlg::setFileChooser(FileChooser chooser) {
    CurrentChooser() = std::move(chooser);
}

CCompareDlg::CCompareDlg(QWidget* parent)
    : WorkDialog(parent),
      ui_(this),
      leftController_(new QRadioButton(this)),
      leftFile_(new QRadioButton(this)),
      leftPath_(new QLineEdit(this)),
      leftBrowse_(new QPushButton(this)),
      rightFile_(new QRadioButton(this)),
      rightPath_(new QLineEdit(this)),
      rightBrowse_(new QPushButton(this)),
      rightActuator_(new QRadioButton(this)),
      rightActuatorName_(new QLineEdit(this)),
      rightChoose_(new QPushButton(this)),
      onlyDifferences_(new QCheckBox(this)),
      table_(new QTableWidget(this)),
      summary_(new QLabel(this)),
      return_(new QPushButton(this)),
      start_(new QPushButton(this)) {
    setObjectName(QStringLiteral("CCompareDlg"));
    BuildLayout();
    LoadTexts();
    leftController_->setChecked(true);
    rightFile_->setChecked(true);
    onlyDifferences_->setChecked(true);
    UpdateStart();
    connect(leftBrowse_, &QPushButton::clicked, this, &CCompareDlg::BrowseLeftFile);
    connect(rightBrowse_, &QPushButton::clicked, this, &CCompareDlg::BrowseRightFile);
    connect(rightChoose_, &QPushButton::clicked, this, &CCompareDlg::ChooseRightActuator);
    connect(leftController_, &QRadioButton::toggled, this, [this] { UpdateStart(); });
    connect(rightFile_, &QRadioButton::toggled, this, [this] { UpdateStart(); });
    connect(onlyDifferences_, &QCheckBox::toggled, this, &CCompareDlg::ShowOnlyDifferences);
    connect(return_, &QPushButton::clicked, this, &CCompareDlg::ReturnToMainWindow);
    connect(start_, &QPushButton::clicked, this, &CCompareDlg::StartCompare);
}

void CCompareDlg::BuildLayout() {
    const std::pair<QWidget*, const char*> names[] = {{leftController_, "leftController"},
                                                      {leftFile_, "leftFile"},
                                                      {leftPath_, "leftPath"},
                                                      {leftBrowse_, "leftBrowse"},
                                                      {rightFile_, "rightFile"},
                                                      {rightPath_, "rightPath"},
                                                      {rightBrowse_, "rightBrowse"},
                                                      {rightActuator_, "rightActuator"},
                                                      {rightActuatorName_, "rightActuatorName"},
                                                      {rightChoose_, "rightChoose"},
                                                      {onlyDifferences_, "onlyDifferences"},
                                                      {table_, "table"},
                                                      {summary_, "summary"},
                                                      {return_, "return"},
                                                      {start_, "start"}};
    for (const auto& [widget, name] : names) {
        widget->setObjectName(QString::fromLatin1(name));
    }
    // Four radio buttons of one parent: two groups keep each side's pair apart.
    for (auto [first, second] :
         {std::pair{leftController_, leftFile_}, std::pair{rightFile_, rightActuator_}}) {
        auto* group = new QButtonGroup(this);
        group->addButton(first);
        group->addButton(second);
    }
    for (QLineEdit* path : {leftPath_, rightPath_, rightActuatorName_}) {
        path->setReadOnly(true);
        path->setMinimumWidth(path->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
    }
    table_->setColumnCount(4);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the buttons rather than walking 5632 cells.
    table_->setTabKeyNavigation(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumHeight(table_->fontMetrics().height() * 16);
    QFont bold = summary_->font();
    bold.setBold(true);
    summary_->setFont(bold);

    auto* sides = new QGridLayout;
    sides->addWidget(leftController_, 0, 0, 1, 3);
    sides->addWidget(leftFile_, 1, 0);
    sides->addWidget(leftPath_, 1, 1);
    sides->addWidget(leftBrowse_, 1, 2);
    sides->addWidget(rightFile_, 2, 0);
    sides->addWidget(rightPath_, 2, 1);
    sides->addWidget(rightBrowse_, 2, 2);
    sides->addWidget(rightActuator_, 3, 0);
    sides->addWidget(rightActuatorName_, 3, 1);
    sides->addWidget(rightChoose_, 3, 2);
    sides->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(onlyDifferences_);
    buttons->addStretch();
    buttons->addWidget(return_);
    buttons->addWidget(start_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CConnectionStrip(this));
    layout->addLayout(sides);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
}

void CCompareDlg::LoadTexts() {
    setWindowTitle(Text(kMsgCompareTitle));
    leftController_->setText(Text(kMsgCompareLeftController));
    leftFile_->setText(Text(kMsgCompareLeftFile));
    rightFile_->setText(Text(kMsgCompareRight));
    rightActuator_->setText(Text(kMsgCompareRightActuator));
    rightChoose_->setText(Text(kMsgCompareChooseActuator));
    onlyDifferences_->setText(Text(kMsgCompareOnlyDifferences));
    start_->setText(Text(kMsgCompareTitle));
    table_->setHorizontalHeaderLabels(Text(kMsgCompareColumns).split(QLatin1Char('|')));
    LanguageList()
        .text("DLG_BACKUP_BUTTON_REFERENCE", leftBrowse_)
        .text("DLG_BACKUP_BUTTON_REFERENCE", rightBrowse_)
        .text("DLG_BACKUP_BUTTON_RETURN", return_)
        .load(ui_);
}

void CCompareDlg::UpdateStart() {
    const bool leftReady = leftController_->isChecked() || !leftPath_->text().isEmpty();
    const bool rightReady =
        rightFile_->isChecked() ? !rightPath_->text().isEmpty() : rightRecord_.has_value();
    start_->setEnabled(leftReady && rightReady);
}

void CCompareDlg::BrowseFile(QLineEdit* path, QRadioButton* side) {
    const QString chosen = Chosen(this, path->text());
    if (!chosen.isEmpty()) {
        path->setText(chosen);
        side->setChecked(true);
    }
    UpdateStart();
}

void CCompareDlg::ChooseRightActuator() {
    CChooseActuatorDlg chooser(this);
    if (chooser.exec() == QDialog::Accepted && chooser.chosen()) {
        rightRecord_ = chooser.chosen();
        rightActuatorName_->setText(FromStd(RecordName(*rightRecord_)));
        rightActuator_->setChecked(true);
    }
    UpdateStart();
}

QString CCompareDlg::summary() const {
    return summary_->text();
}

void CCompareDlg::StartCompare() {
    // Both sides' files are read whole before the controller is asked anything.
    const bool rightIsFile = rightFile_->isChecked() || !rightRecord_;
    std::optional<CompareSide> right =
        rightIsFile ? LoadFileSide(rightPath_->text(), ui_)
                    : Loaded(LoadActuatorSide(*rightRecord_), kMsgCompareDataSetInvalid,
                             RecordName(*rightRecord_), ui_);
    if (!right) {
        return;
    }
    // The history names the right side: the backup file with its digest, or the actuator.
    auto recordRight = [&](JobRecorder& recorder) {
        if (rightIsFile) {
            recorder.setBackupFile(ToStd(rightPath_->text()));
        } else {
            recorder.record().partNo = rightRecord_->strPartNo;
            recorder.record().sv = rightRecord_->strSVNo;
            recorder.record().io = rightRecord_->strIOSpec;
        }
    };
    std::optional<CompareSide> left;
    if (leftFile_->isChecked()) {
        left = LoadFileSide(leftPath_->text(), ui_);
    } else {
        CVelmoraApp* app = CVelmoraApp::instance();
        RtuMaster* link = MainLink();
        if (app == nullptr || link == nullptr) {
            return;
        }
        const std::uint8_t station = ActiveStationAddress();
        if (RunRestrictionCheck(*link, station, RestrictBackup, 0, ui_) != 0) {
            return;
        }
        CompareSide read;
        QPointer<QWidget> previous = app->mainWindow();
        app->setMainWindow(this);
        start_->setEnabled(false);
        int result = -1;
        {
            CProgressDlg progress(
                CProgressDlg::kCompare,
                [link, station, &read](Ui& ui) {
                    TransferContext context{*link, station, ui};
                    switch (ReadControllerSide(context, read)) {
                        case ControllerRead::Done:
                            return 0;
                        case ControllerRead::Failed:
                            ui.showMessage(MessageText(kMsgCompareReadFailed),
                                           MessageText(kMsgCompareTitle), MessageIcon::Error,
                                           MessageButtons::Ok);
                            return -1;
                        case ControllerRead::Cancelled:
                            break;
                    }
                    return -1;
                },
                this);
            progress.ui().setOwner(this);
            progress.exec();
            result = progress.result();
        }
        app->setMainWindow(previous);
        UpdateStart();
        if (result == 0) {
            left = std::move(read);
        } else {
            JobRecorder failed(JobKind::Compare, ui_, LineRecord(*link, station));
            recordRight(failed);
            failed.finish(JobResult::CommunicationFailed);
        }
    }
    if (!left) {
        return;
    }
    comparison_ = CompareWholeImages(left->image, right->image);
    {
        RtuMaster* link = MainLink();
        JobRecorder recorder(JobKind::Compare, ui_,
                             leftFile_->isChecked() || link == nullptr
                                 ? JobRecord{}
                                 : LineRecord(*link, ActiveStationAddress()));
        recordRight(recorder);
        for (const ComparedRegister& row : comparison_.registers) {
            if (row.state == RegisterState::Differs) {
                recorder.record().differences.push_back(
                    {row.reg, RegisterName(row.reg), row.left, row.right});
            }
        }
        recorder.finish(comparison_.equal() ? JobResult::Equal : JobResult::Differ);
    }
    const QStringList headers = Text(kMsgCompareColumns).split(QLatin1Char('|'));
    table_->setHorizontalHeaderLabels(
        {headers.value(0), headers.value(1), FromStd(left->label), FromStd(right->label)});
    QString text = Filled(kMsgCompareSummary, comparison_.differing,
                          comparison_.registers.size() - comparison_.leftOut);
    if (comparison_.leftOut > 0) {
        text += QStringLiteral("  ") + Filled(kMsgCompareLeftOut, comparison_.leftOut);
    }
    summary_->setText(text);
    FillTable();
}

void CCompareDlg::FillTable() {
    table_->setRowCount(static_cast<int>(comparison_.registers.size()));
    const QBrush differing(QColor(0xf8, 0xd7, 0xda));
    int row = 0;
    for (const ComparedRegister& compared : comparison_.registers) {
        const QString cells[] = {
            QStringLiteral("0x%1").arg(compared.reg, 4, 16, QLatin1Char('0')),
            FromStd(RegisterName(compared.reg)),
            compared.state == RegisterState::LeftOut ? QStringLiteral("-")
                                                     : QString::number(compared.left),
            compared.state == RegisterState::LeftOut ? QStringLiteral("-")
                                                     : QString::number(compared.right)};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (compared.state == RegisterState::Differs) {
                item->setBackground(differing);
            }
            table_->setItem(row, column, item);
        }
        ++row;
    }
    table_->resizeColumnsToContents();
    ShowOnlyDifferences(onlyDifferences_->isChecked());
}

void CCompareDlg::ShowOnlyDifferences(bool only) {
    if (onlyDifferences_->isChecked() != only) {
        onlyDifferences_->setChecked(only);  // comes back here through the signal
        return;
    }
    for (std::size_t i = 0; i < comparison_.registers.size(); ++i) {
        table_->setRowHidden(static_cast<int>(i),
                             only && comparison_.registers[i].state != RegisterState::Differs);
    }
}

}  // namespace velmora
