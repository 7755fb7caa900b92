#pragma once

#include <string>
#include <vector>

#include "app/ui.h"
#include "sysfiles/message_ids.h"

namespace velmora {

// Where a loaded text goes. Core keeps targets abstract; the GUI supplies widgets behind them.
enum class LanguageTargetKind : int {
    WindowText = 0,
    TabItem = 1,
    ComboItem = 2,
    MessageSlot = 3,
    End = 255,
};

class LanguageTarget {
  public:
    virtual ~LanguageTarget() = default;
    virtual void setText(const std::string& text) = 0;                // WindowText
    virtual void insertItem(int index, const std::string& text) = 0;  // TabItem, ComboItem
};

struct LanguageEntry {
    std::string key;  // empty key ends the list
    LanguageTargetKind kind = LanguageTargetKind::End;
    LanguageTarget* target = nullptr;  // not owned; unused for MessageSlot
    int index = 0;  // item index (TabItem, ComboItem) or table index (MessageSlot)
};

// Applies the texts of a load list from the language file, stopping at the first missing key.
void LoadLanguageTexts(const std::vector<LanguageEntry>& list, Ui& ui);

// The language file's texts for the keys, in order, for a caller's own use (columns, words of
// a printout); a missing key leaves its text, and the ones after it, empty.
std::vector<std::string> LanguageTexts(const std::vector<std::string>& keys, Ui& ui);

// Empties the message table and fills it with the 63 texts in position order.
void LoadMessageTable(Ui& ui);

// The table's text at index; empty for an index at or past the table's end, or below zero.
std::string MessageText(int index);

// "%s\n%s\n  %s" from the alarm text, the countermeasure heading and the countermeasure text.
std::string ComposeAlarmText(int alarmIndex, int countermeasureIndex);

// Turns the file's escapes into the characters they stand for ("\n" becomes CR LF).
std::string ReplaceLanguageEscapes(const std::string& value);

// For tests: forget the table and the once-per-process warning flag.
void ResetLanguageStateForTesting();

}  // namespace velmora
