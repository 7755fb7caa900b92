#pragma once

#include <QWidget>

#include <functional>

#include "app/history_page_model.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace velmora {

class QtUi;

// The history page: every job of the service history, newest first, with a filter over all
// columns and the export as CSV.
class CHistoryPage final : public QWidget {
    Q_OBJECT
  public:
    CHistoryPage(QtUi& ui, QWidget* parent = nullptr);

    // Reads the history again (the page does so each time it is shown).
    void Reload();
    // Writes the rows shown as CSV to path; false when the file cannot be written.
    bool ExportTo(const QString& path);

    QTableWidget* table() const { return table_; }
    QLineEdit* filterEdit() const { return filter_; }
    QPushButton* exportButton() const { return export_; }

    // Where the export goes; a save-file dialog unless replaced (tests), and again once an
    // empty chooser is set. An empty path from it: cancelled.
    using FileChooser = std::function<QString(QWidget* parent)>;
    static void setFileChooser(FileChooser chooser);

  private:
    void ShowRows();
    void OnExport();

    QtUi& ui_;
    HistoryPageModel model_;
    std::vector<std::string> headings_;
    QLabel* filterLabel_;
    QLineEdit* filter_;
    QPushButton* export_;
    QLabel* unreadable_;
    QTableWidget* table_;
};

}  // namespace velmora
