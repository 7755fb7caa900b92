#include "sysfiles/language.h"

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "platform/profile.h"
#include "sysfiles/app_state.h"

namespace velmora {
namespace {

constexpr const char* kLanguageFile = "/System/LanguageData.ini";
constexpr const char* kLanguageSection = "APPLICATION_LANGUAGE_DATA";
constexpr std::size_t kLanguageBufferSize = 4096;
constexpr const char* kReadFailedText = "LanguageData.ini Reading Failed";
constexpr const char* kReadFailedTitle = "Velmora";

// Workers read the table while the user interface thread may reload it at a restart.
struct LanguageState {
    std::mutex mutex;
    std::vector<std::string> messageTable;
    bool failureShown = false;
};

LanguageState& State() {
    static LanguageState state;
    return state;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

// True for the one caller that gets to show the failure box in this process.
bool ClaimFailureMessage() {
    LanguageState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.failureShown)
        return false;
    state.failureShown = true;
    return true;
}

void StoreMessage(int index, const std::string& text) {
    if (index < 0)
        return;
    LanguageState& state = State();
    std::lock_guard lock(state.mutex);
    const auto slot = static_cast<std::size_t>(index);
    if (state.messageTable.size() <= slot)
        state.messageTable.resize(slot + 1);
    state.messageTable[slot] = text;
}

void Apply(const LanguageEntry& entry, const std::string& text) {
    switch (entry.kind) {
        case LanguageTargetKind::WindowText:
            if (entry.target != nullptr)
                entry.target->setText(text);
            break;
        case LanguageTargetKind::TabItem:
        case LanguageTargetKind::ComboItem:
            if (entry.target != nullptr)
                entry.target->insertItem(entry.index, text);
            break;
        case LanguageTargetKind::MessageSlot:
            StoreMessage(entry.index, text);
            break;
        case LanguageTargetKind::End:
            break;
    }
}

// The shipped language file, when the program runs on another one (a per-user copy made by an
// older version keeps its texts, but lacks the keys added since); empty otherwise.
std::string ShippedLanguageFile(const std::string& used) {
    const std::string& folder = App().shippedFolder;
    if (folder.empty())
        return {};
    std::string shipped = folder;
    if (shipped.back() == '/')
        shipped.pop_back();
    shipped += kLanguageFile;
    // A missing file of its own is made up for as well; a missing shipped one is no help.
    std::error_code error;
    if (!std::filesystem::exists(shipped, error) ||
        std::filesystem::equivalent(shipped, used, error))
        return {};
    return shipped;
}

}  // namespace

std::string ReplaceLanguageEscapes(const std::string& value) {
    // The order matters: "\r\n" first so that it gives one line break, not two.
    std::string text = value;
    ReplaceAll(text, "\\r\\n", "\r\n");
    ReplaceAll(text, "\\n", "\r\n");
    ReplaceAll(text, "\\r", "\r\n");
    ReplaceAll(text, "\\t", "\t");
    return text;
}

void LoadLanguageTexts(const std::vector<LanguageEntry>& list, Ui& ui) {
    const std::string path = ModulePath(kLanguageFile);
    const std::string shipped = ShippedLanguageFile(path);
    for (const LanguageEntry& entry : list) {
        if (entry.key.empty())
            break;
        std::string value =
            ReadProfileString(path, kLanguageSection, entry.key, kLanguageBufferSize);
        if (value.empty() && !shipped.empty()) {
            value = ReadProfileString(shipped, kLanguageSection, entry.key, kLanguageBufferSize);
        }
        if (value.empty()) {
            if (ClaimFailureMessage()) {
                ui.showMessage(kReadFailedText, kReadFailedTitle, MessageIcon::Warning,
                               MessageButtons::Ok);
            }
            return;
        }
        Apply(entry, ReplaceLanguageEscapes(value));
    }
}

void LoadMessageTable(Ui& ui) {
    {
        LanguageState& state = State();
        std::lock_guard lock(state.mutex);
        state.messageTable.clear();
    }
    std::vector<LanguageEntry> list;
    list.reserve(kMessageKeys.size() + 1);
    for (int index = 0; index < kMessageCount; ++index) {
        list.push_back({std::string(kMessageKeys[static_cast<std::size_t>(index)]),
                        LanguageTargetKind::MessageSlot, nullptr, index});
    }
    list.push_back({});
    LoadLanguageTexts(list, ui);
}

std::string MessageText(int index) {
    LanguageState& state = State();
    std::lock_guard lock(state.mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= state.messageTable.size())
        return {};
    return state.messageTable[static_cast<std::size_t>(index)];
}

std::string ComposeAlarmText(int alarmIndex, int countermeasureIndex) {
    return MessageText(alarmIndex) + "\n" + MessageText(kMsgAlarmCountermeasureTitle) + "\n  " +
           MessageText(countermeasureIndex);
}

void ResetLanguageStateForTesting() {
    LanguageState& state = State();
    std::lock_guard lock(state.mutex);
    state.messageTable.clear();
    state.failureShown = false;
}

namespace {

class KeptText final : public LanguageTarget {
  public:
    void setText(const std::string& text) override { text_ = text; }
    void insertItem(int, const std::string& text) override { text_ = text; }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

}  // namespace

std::vector<std::string> LanguageTexts(const std::vector<std::string>& keys, Ui& ui) {
    std::vector<KeptText> targets(keys.size());
    std::vector<LanguageEntry> list;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        list.push_back({keys[i], LanguageTargetKind::WindowText, &targets[i], 0});
    }
    list.push_back({});
    LoadLanguageTexts(list, ui);
    std::vector<std::string> texts;
    for (const KeptText& target : targets) {
        texts.push_back(target.text());
    }
    return texts;
}

}  // namespace velmora
