#include "app/qt/history_page.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/job_recorder.h"
#include "app/qt/language_targets.h"
#include "app/qt/qt_ui.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

CHistoryPage::FileChooser& Chooser() {
    static CHistoryPage::FileChooser chooser;
    return chooser;
}

QString ChooseExportFile(QWidget* parent) {
    return QFileDialog::getSaveFileName(parent, QString(), QStringLiteral("history.csv"),
                                        QStringLiteral("CSV (*.csv)"));
}

}  // namespace

void CHistoryPage::setFileChooser(FileChooser chooser) {
    Chooser() = std::move(chooser);
}

CHistoryPage::CHistoryPage(QtUi& ui, QWidget* parent)
    : QWidget(parent),
      ui_(ui),
      filterLabel_(new QLabel(this)),
      filter_(new QLineEdit(this)),
      export_(new QPushButton(this)),
      unreadable_(new QLabel(this)),
      table_(new QTableWidget(this)) {
    setObjectName(QStringLiteral("CHistoryPage"));
    filter_->setObjectName(QStringLiteral("historyFilter"));
    filter_->setClearButtonEnabled(true);
    filterLabel_->setBuddy(filter_);
    export_->setObjectName(QStringLiteral("exportHistory"));
    unreadable_->setObjectName(QStringLiteral("historyUnreadable"));
    unreadable_->setVisible(false);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel_);
    top->addWidget(filter_, 1);
    top->addWidget(export_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(unreadable_);
    layout->addWidget(table_, 1);

    LanguageList()
        .text("DLG_HISTORY_FILTER", filterLabel_)
        .text("DLG_HISTORY_BUTTON_EXPORT", export_)
        .text("DLG_HISTORY_UNREADABLE", unreadable_)
        .load(ui_);
    const auto& columnKeys = HistoryPageModel::ColumnKeys();
    headings_ = LanguageTexts(std::vector<std::string>(columnKeys.begin(), columnKeys.end()), ui_);
    const std::vector<std::string> wordKeys = HistoryPageModel::WordKeys();
    const std::vector<std::string> words = LanguageTexts(wordKeys, ui_);
    std::map<std::string, std::string> wordTexts;
    for (std::size_t i = 0; i < wordKeys.size(); ++i) {
        wordTexts[wordKeys[i]] = words[i];
    }
    model_.setWords(std::move(wordTexts));
    table_->setColumnCount(static_cast<int>(headings_.size()));
    QStringList labels;
    for (const std::string& heading : headings_) {
        labels << DisplayText(heading);
    }
    table_->setHorizontalHeaderLabels(labels);

    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_.setFilter(text.toStdString());
        ShowRows();
    });
    connect(export_, &QPushButton::clicked, this, &CHistoryPage::OnExport);
    Reload();
}

void CHistoryPage::Reload() {
    const HistoryStatus status = model_.load(HistoryPath());
    unreadable_->setVisible(!status.ok());
    if (!status.ok()) {
        unreadable_->setToolTip(QString::fromStdString(status.text));
    }
    ShowRows();
}

void CHistoryPage::ShowRows() {
    const auto& rows = model_.rows();
    table_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            table_->setItem(static_cast<int>(r), static_cast<int>(c),
                            new QTableWidgetItem(QString::fromStdString(rows[r][c])));
        }
    }
    table_->resizeColumnsToContents();
}

bool CHistoryPage::ExportTo(const QString& path) {
    // Saved whole or not at all: an export cut short must not pass for the history.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const std::string text = model_.csv(headings_);
    if (file.write(text.data(), static_cast<qint64>(text.size())) !=
        static_cast<qint64>(text.size())) {
        file.cancelWriting();
    }
    return file.commit();
}

void CHistoryPage::OnExport() {
    // An empty chooser (a test that put its own back) means the dialog again.
    const FileChooser& chooser = Chooser();
    const QString path = chooser ? chooser(this) : ChooseExportFile(this);
    if (path.isEmpty()) {
        return;
    }
    if (!ExportTo(path)) {
        ui_.showMessage(
            ComposeAlarmText(kMsgFileOpenFailedContents, kMsgFileOpenFailedCountermeasure),
            MessageText(kMsgFileOpenFailedTitle), MessageIcon::Error, MessageButtons::Ok);
    }
}

}  // namespace velmora
