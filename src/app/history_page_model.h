#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "history/history_store.h"

namespace velmora {

// The history page without its widgets: the jobs as rows of texts, newest first, a filter over
// every column and the CSV export.
class HistoryPageModel {
  public:
    // The language file's keys of the column headings, in column order.
    static const std::array<const char*, 21>& ColumnKeys();
    // The language key of a stored word ("written and verified" of a result ->
    // DLG_HISTORY_RESULT_WRITTEN_AND_VERIFIED); prefix is KIND, RESULT or CONTENTS.
    static std::string WordKey(const std::string& prefix, std::string_view word);
    // Every key WordKey gives for the words this program stores.
    static std::vector<std::string> WordKeys();

    // The texts of the stored words, by WordKey; a word without one is shown as stored.
    void setWords(std::map<std::string, std::string> words) { words_ = std::move(words); }

    // Reads every job of the history at path; a missing file is an empty history.
    HistoryStatus load(const std::string& path);
    void setRecords(const std::vector<JobRecord>& records);

    // Keeps the rows that hold the text in any column, ignoring the case of ASCII letters.
    void setFilter(const std::string& text);
    const std::vector<std::vector<std::string>>& rows() const { return shown_; }

    // The rows shown as CSV (RFC 4180: CR LF line ends, fields quoted where they must be),
    // the headings first.
    std::string csv(const std::vector<std::string>& headings) const;

  private:
    std::vector<std::string> RowOf(const JobRecord& record) const;
    std::string Word(const char* prefix, std::string_view word) const;

    std::map<std::string, std::string> words_;
    std::vector<std::vector<std::string>> all_;
    std::vector<std::vector<std::string>> shown_;
    std::string filter_;
};

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

}  // namespace velmora
