#include "sysfiles/language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/profile.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "sysfiles/app_state.h"

namespace velmora {
namespace {

using test::ScriptedUi;
using test::TempFolder;

constexpr const char* kFailureText = "LanguageData.ini Reading Failed";

class RecordingTarget final : public LanguageTarget {
  public:
    void setText(const std::string& text) override { texts.push_back(text); }
    void insertItem(int index, const std::string& text) override {
        items.emplace_back(index, text);
    }
    std::vector<std::string> texts;
    std::vector<std::pair<int, std::string>> items;
};

std::string MessageKey(int index) {
    return std::string(kMessageKeys[static_cast<size_t>(index)]);
}

// Each test gets its own program folder and a fresh table and warning flag.
class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.valid());
        savedModuleFolder_ = App().moduleFolder;
        App().moduleFolder = folder_.path() + "/";
        ResetLanguageStateForTesting();
    }
    void TearDown() override {
        App().moduleFolder = savedModuleFolder_;
        ResetLanguageStateForTesting();
    }

    void WriteLanguageFile(const std::string& lines) const {
        folder_.write("System/LanguageData.ini", "[APPLICATION_LANGUAGE_DATA]\n" + lines);
    }
    // The first count message keys, each with the text "text <index>".
    static std::string MessageLines(int count) {
        std::string lines;
        for (int i = 0; i < count; ++i) {
            lines += MessageKey(i) + "=text " + std::to_string(i) + "\n";
        }
        return lines;
    }
    static int FailureBoxes(const ScriptedUi& ui) {
        const auto messages = ui.messages();
        return static_cast<int>(std::count_if(messages.begin(), messages.end(), [](const auto& m) {
            return m.text == kFailureText && m.icon == MessageIcon::Warning &&
                   m.buttons == MessageButtons::Ok;
        }));
    }

    TempFolder folder_;
    std::string savedModuleFolder_;
};

// ---- escapes ---------------------------------------------------------------------------

struct EscapeCase {
    std::string fileText;
    std::string shown;
};

TEST_F(LanguageTest, EscapesBecomeLineBreaksAndTabs) {
    const std::vector<EscapeCase> cases = {
        {"Line1\\nLine2", "Line1\r\nLine2"},
        {"A\\tB", "A\tB"},
        {"a\\r\\nb", "a\r\nb"},
        {"a\\rb", "a\r\nb"},
        {"a\\n\\nb", "a\r\n\r\nb"},
        {"\\r\\r\\n", "\r\n\r\n"},
        {"\\n\\r", "\r\n\r\n"},
        {"C:\\path\\N", "C:\\path\\N"},
        {"plain text", "plain text"},
    };
    for (const EscapeCase& c : cases) {
        EXPECT_EQ(ReplaceLanguageEscapes(c.fileText), c.shown) << c.fileText;
        WriteLanguageFile("DLG_TOP_TITLE=" + c.fileText + "\n");
        RecordingTarget window;
        ScriptedUi ui;
        LoadLanguageTexts({{"DLG_TOP_TITLE", LanguageTargetKind::WindowText, &window, 0}, {}}, ui);
        EXPECT_EQ(window.texts, std::vector<std::string>{c.shown}) << c.fileText;
        EXPECT_TRUE(ui.messages().empty());
    }
}

// ---- load lists ------------------------------------------------------------------------

TEST_F(LanguageTest, AppliesEachTextByItsKind) {
    WriteLanguageFile("CAPTION=Main\nTAB=Second tab\nCOMBO=Any\nMSG=Hello\\tthere\nLATER=x\n");
    RecordingTarget window, tabs, combo, skipped;
    ScriptedUi ui;
    LoadLanguageTexts({{"CAPTION", LanguageTargetKind::WindowText, &window, 0},
                       {"TAB", LanguageTargetKind::TabItem, &tabs, 1},
                       {"COMBO", LanguageTargetKind::ComboItem, &combo, 0},
                       {"MSG", LanguageTargetKind::MessageSlot, nullptr, 5},
                       {},
                       {"LATER", LanguageTargetKind::WindowText, &skipped, 0}},
                      ui);
    EXPECT_EQ(window.texts, std::vector<std::string>{"Main"});
    EXPECT_TRUE(window.items.empty());
    EXPECT_EQ(tabs.items, (std::vector<std::pair<int, std::string>>{{1, "Second tab"}}));
    EXPECT_EQ(combo.items, (std::vector<std::pair<int, std::string>>{{0, "Any"}}));
    EXPECT_EQ(MessageText(5), "Hello\tthere");
    for (int index = 0; index < 5; ++index) EXPECT_EQ(MessageText(index), "") << index;
    EXPECT_TRUE(skipped.texts.empty());  // after the end entry
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(LanguageTest, StopsAtTheFirstKeyWithoutText) {
    struct Case {
        const char* name;
        std::string file;  // empty: no language file at all
    };
    const std::vector<Case> cases = {
        {"MissingKey", "[APPLICATION_LANGUAGE_DATA]\nFIRST=1\nTHIRD=3\n"},
        {"EmptyValue", "[APPLICATION_LANGUAGE_DATA]\nFIRST=1\nSECOND=\nTHIRD=3\n"},
        {"BlankValue", "[APPLICATION_LANGUAGE_DATA]\nFIRST=1\nSECOND=  \t\nTHIRD=3\n"},
        {"OtherSection", "[APPLICATION_LANGUAGE_DATA]\nFIRST=1\n[OTHER]\nSECOND=2\nTHIRD=3\n"},
    };
    for (const Case& c : cases) {
        ResetLanguageStateForTesting();
        folder_.write("System/LanguageData.ini", c.file);
        RecordingTarget first, second, third;
        ScriptedUi ui;
        LoadLanguageTexts({{"FIRST", LanguageTargetKind::WindowText, &first, 0},
                           {"SECOND", LanguageTargetKind::WindowText, &second, 0},
                           {"THIRD", LanguageTargetKind::WindowText, &third, 0},
                           {}},
                          ui);
        EXPECT_EQ(first.texts, std::vector<std::string>{"1"}) << c.name;
        EXPECT_TRUE(second.texts.empty()) << c.name;
        EXPECT_TRUE(third.texts.empty()) << c.name;
        EXPECT_EQ(FailureBoxes(ui), 1) << c.name;
        EXPECT_EQ(ui.messages().size(), 1u) << c.name;
    }
}

TEST_F(LanguageTest, WarnsOnlyOncePerProcess) {
    ScriptedUi ui;
    RecordingTarget window;
    LoadMessageTable(ui);  // no language file yet
    LoadMessageTable(ui);
    LoadLanguageTexts({{"DLG_TOP_TITLE", LanguageTargetKind::WindowText, &window, 0}, {}}, ui);
    EXPECT_EQ(FailureBoxes(ui), 1);
    EXPECT_EQ(ui.messages().size(), 1u);
    EXPECT_TRUE(window.texts.empty());
    EXPECT_EQ(MessageText(0), "");
}

TEST_F(LanguageTest, TableLoadFailingAtIndexTenKeepsTenTexts) {
    WriteLanguageFile(MessageLines(10) + MessageKey(11) + "=after the gap\n");
    ScriptedUi ui;
    LoadMessageTable(ui);
    for (int index = 0; index < 10; ++index) {
        EXPECT_EQ(MessageText(index), "text " + std::to_string(index));
    }
    EXPECT_EQ(MessageText(10), "");
    EXPECT_EQ(MessageText(11), "");
    EXPECT_EQ(MessageText(40), "");
    EXPECT_EQ(FailureBoxes(ui), 1);

    LoadMessageTable(ui);  // a restart: same texts, no second box
    EXPECT_EQ(MessageText(9), "text 9");
    EXPECT_EQ(MessageText(40), "");
    EXPECT_EQ(ui.messages().size(), 1u);
}

// A per-user copy made by an older version lacks the texts added since: they come from the
// shipped file, while the user's own texts stay. Without a shipped file the gap is reported.
TEST_F(LanguageTest, TextsMissingFromAnOlderCopyComeFromTheShippedFile) {
    TempFolder shipped;
    shipped.write("System/LanguageData.ini",
                  "[APPLICATION_LANGUAGE_DATA]\n" + MessageLines(kMessageCount));
    WriteLanguageFile(MessageKey(0) + "=user's 0\n" + MessageKey(1) + "=user's 1\n");
    for (const bool withShipped : {true, false}) {
        ResetLanguageStateForTesting();
        App().shippedFolder = withShipped ? shipped.path() + "/" : std::string();
        ScriptedUi ui;
        LoadMessageTable(ui);
        App().shippedFolder.clear();
        EXPECT_EQ(MessageText(0), "user's 0") << withShipped;
        EXPECT_EQ(MessageText(1), "user's 1") << withShipped;
        const std::string last = withShipped ? "text " + std::to_string(kMessageCount - 1) : "";
        EXPECT_EQ(MessageText(kMessageCount - 1), last) << withShipped;
        EXPECT_EQ(FailureBoxes(ui), withShipped ? 0 : 1) << withShipped;
    }
}

TEST_F(LanguageTest, ReloadEmptiesTheTableFirst) {
    WriteLanguageFile(MessageLines(kMessageCount));
    ScriptedUi ui;
    LoadMessageTable(ui);
    EXPECT_EQ(MessageText(kMessageCount - 1), "text " + std::to_string(kMessageCount - 1));
    WriteLanguageFile(MessageLines(3));
    LoadMessageTable(ui);
    EXPECT_EQ(MessageText(2), "text 2");
    EXPECT_EQ(MessageText(3), "");
    EXPECT_EQ(MessageText(kMessageCount - 1), "");
}

TEST_F(LanguageTest, MessageTextOutsideTheTableIsEmpty) {
    WriteLanguageFile(MessageLines(kMessageCount));
    ScriptedUi ui;
    LoadMessageTable(ui);
    for (const int index : {-1, -100, kMessageCount, kMessageCount + 1, 1000}) {
        EXPECT_EQ(MessageText(index), "") << index;
    }
    EXPECT_EQ(MessageText(0), "text 0");
}

TEST_F(LanguageTest, ComposesAlarmTextWithPlainLineFeeds) {
    WriteLanguageFile(MessageLines(kMessageCount));
    ScriptedUi ui;
    LoadMessageTable(ui);
    EXPECT_EQ(ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                               kMsgTransmitVerifyErrorAlarmCountermeasureContents),
              "text 34\ntext 2\n  text 35");
    // An index past the table leaves its part empty but keeps the layout.
    EXPECT_EQ(ComposeAlarmText(kMessageCount, kMsgBackupErrorAlarmCountermeasureContents),
              "\ntext 2\n  text 40");
}

TEST_F(LanguageTest, ReadersSeeWholeTextsWhileTheTableReloads) {
    WriteLanguageFile(MessageLines(kMessageCount));
    ScriptedUi ui;
    LoadMessageTable(ui);
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread reader([&] {
        while (!stop) {
            for (int index = 0; index < kMessageCount; ++index) {
                const std::string text = MessageText(index);
                if (!text.empty() && text != "text " + std::to_string(index))
                    ++wrong;
            }
        }
    });
    for (int round = 0; round < 20; ++round) LoadMessageTable(ui);
    stop = true;
    reader.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(ui.messages().empty());
}

// ---- the shipped English file ----------------------------------------------------------

const std::vector<std::string> kVocabulary = {
    // main window and its pages
    "DLG_TOP_TITLE",
    "DLG_TOP_TAB1_TITLE",
    "DLG_TOP_TAB2_TITLE",
    "DLG_TOP_TAB3_TITLE",
    "DLG_TOP_TAB1_SUBTITLE",
    "DLG_TOP_TAB1_GROUP_TITLE",
    "DLG_TOP_TAB1_BUTTON_ACTUATOR",
    "DLG_TOP_TAB1_BUTTON_FILESELECT",
    "DLG_TOP_TAB1_BUTTON_BACKUP",
    "DLG_TOP_TAB3_GROUP_SOFTVER",
    "DLG_TOP_TAB3_GROUP_REFERENCEVER",
    "DLG_TOP_TAB3_GROUP_CONTROLLERVER",
    "DLG_TOP_TAB3_BUTTON_CONTROLLERVER",
    "DLG_TOP_TAB3_GROUP_DATAFILE_UPDATE",
    "DLG_TOP_TAB3_BUTTON_UPDATE",
    // communication settings page and frame
    "DLG_COMSETTING_TITLE",
    "DLG_COMSETTING_GROUP_PORTSELECT",
    "DLG_COMSETTING_PORT_TITLE",
    "DLG_COMSETTING_GROUP_COMMETHOD",
    "DLG_COMSETTING_RADIOBUTTON_AUTO",
    "DLG_COMSETTING_RADIOBUTTON_MANUAL",
    "DLG_COMSETTING_TEXT_WARN",
    "DLG_COMSETTING_MANUAL_ID",
    "DLG_COMSETTING_MANUAL_BITRATE",
    "DLG_COMSETTING_MANUAL_BUTTON_INITIALIZE",
    "DLG_COMSETTING_BUTTON_COMCHECK",
    "DLG_COMSETTING_CHECKBOX_TRACE",
    "DLG_COMSETTING_BUTTON_QUIT",
    "DLG_COMSETTING_BUTTON_OK",
    // progress dialog
    "DLG_PROGRESS_BUTTON_CANCEL",
    // actuator selection
    "DLG_ACTUATOR_TITLE",
    "DLG_ACTUATOR_GROUP_SELECTACTUATOR",
    "DLG_ACTUATOR_RADIOBUTTON_NARROWDOWN",
    "DLG_ACTUATOR_TEXT_MODEL",
    "DLG_ACTUATOR_TEXT_CONTROLLER",
    "DLG_ACTUATOR_TEXT_MOTOR",
    "DLG_ACTUATOR_TEXT_LEAD",
    "DLG_ACTUATOR_TEXT_STROKE",
    "DLG_ACTUATOR_BUTTON_SEARCHSTART1",
    "DLG_ACTUATOR_RADIOBUTTON_NO",
    "DLG_ACTUATOR_BUTTON_SEARCHSTART2",
    "DLG_ACTUATOR_GROUP_CONTROLLERMETHOD",
    "DLG_ACTUATOR_TEXT_SV",
    "DLG_ACTUATOR_TEXT_IO",
    "DLG_ACTUATOR_BUTTON_COMSETTING",
    "DLG_ACTUATOR_GROUP_WRITECONTENTS",
    "DLG_ACTUATOR_TEXT_CAUTION_TITLE",
    "DLG_ACTUATOR_TEXT_CAUTION_CONTENTS",
    "DLG_ACTUATOR_BUTTON_RETURN",
    "DLG_ACTUATOR_BUTTON_START",
    // file selection
    "DLG_FILE_TITLE",
    "DLG_FILE_GROUP_FILESELECT",
    "DLG_FILE_BUTTON_REFERENCE",
    "DLG_FILE_GROUP_COMSETTING",
    "DLG_FILE_BUTTON_COMSETTING",
    "DLG_FILE_GROUP_WRITECONTENTS",
    "DLG_FILE_TEXT_CAUTION_TITLE",
    "DLG_FILE_TEXT_CAUTION_CONTENTS",
    "DLG_FILE_BUTTON_RETURN",
    "DLG_FILE_BUTTON_START",
    // write-contents list
    "LIST_WRITECONTENTS_PARAM_AND_STEP",
    "LIST_WRITECONTENTS_PARAMONLY",
    "LIST_WRITECONTENTS_STEPONLY",
    // transmit dialog
    "DLG_TRANSMIT_TITLE",
    "DLG_TRANSMIT_TEXT_ACTUATOR",
    "DLG_TRANSMIT_TEXT_CONTROLLER",
    "DLG_TRANSMIT_TEXT_SV",
    "DLG_TRANSMIT_TEXT_PARAMETER",
    "DLG_TRANSMIT_TEXT_WRITECONTENTS",
    "DLG_TRANSMIT_TEXT_CONFIRM",
    "DLG_TRANSMIT_TEXT_CAUTION_CONTENTS",
    "DLG_TRANSMIT_BUTTON_RETURN",
    "DLG_TRANSMIT_BUTTON_START",
    // backup dialog
    "DLG_BACKUP_TITLE",
    "DLG_BACKUP_GROUP_SELECTFILE",
    "DLG_BACKUP_BUTTON_REFERENCE",
    "DLG_BACKUP_BUTTON_RETURN",
    "DLG_BACKUP_BUTTON_START",
    // disclaimer and version-error dialogs
    "DLG_QUALIFICATION_TITLE",
    "DLG_QUALIFICATION_CONTENTS",
    "DLG_QUALIFICATION_BUTTON_AGREE",
    "DLG_QUALIFICATION_BUTTON_NOTAGREE",
    "DLG_SVERR_TITLE",
    "DLG_SVERR_ALARM_CONTENTS",
    "DLG_SVERR_COUNTERMEASURE_CONTENTS",
    "DLG_SVERR_CONFIRM_1",
    "DLG_SVERR_CONFIRM_1_CONTENTS",
    "DLG_SVERR_CONFIRM_2",
    "DLG_SVERR_CONFIRM_2_CONTENTS",
    // message table
    "DLG_TOP_TAB3_TXT_NODATAFILE",
    "LIST_DLG_ACTUATOR_UNKNOWN",
    "MSG_ALARM_COUNTERMEASURE_TITLE",
    "MSG_COM_UNIDENTIFIED_TITLE",
    "MSG_COM_UNIDENTIFIED_CONTENTS",
    "MSG_COMSETTING_COMOPEN_ERROR_TITLE",
    "MSG_COMSETTING_COMOPEN_ERROR_ALARM_CONTENTS",
    "MSG_COMSETTING_COMOPEN_ERROR_COUNTERMEASURE_CONTENTS",
    "MSG_COMSETTING_COMSEARCH_OK_TITLE",
    "MSG_COMSETTING_COMSEARCH_OK_CONTENTS1",
    "MSG_COMSETTING_COMSEARCH_OK_CONTENTS2",
    "MSG_COMSETTING_COMSEARCH_OK_CONTENTS3",
    "MSG_COMSETTING_COMSEARCH_OK_CONTENTS4",
    "MSG_COMSETTING_COMSEARCH_NG_TITLE",
    "MSG_COMSETTING_COMSEARCH_NG_CONTENTS",
    "MSG_COMSETTING_COMINITIALIZE_INITIALIZED",
    "MSG_COM_TIMEOUT_TITLE",
    "MSG_COM_TIMEOUT_CONTENTS",
    "MSG_COM_TIMEOUT_COUNTERMEASURE_CONTENTS",
    "MSG_COM_ABNORMAL_RESPONSE_TITLE",
    "MSG_COM_ABNORMAL_RESPONSE_INJUSTICE_CONTENTS",
    "MSG_COM_ABNORMAL_RESPONSE_ADDRESS_CONTENTS",
    "MSG_COM_ABNORMAL_RESPONSE_ACCESS_CONTENTS",
    "MSG_COM_ABNORMAL_RESPONSE_COUNTERMEASURE_CONTENTS",
    "MSG_TRANSMIT_COMPLETE_TITLE",
    "MSG_TRANSMIT_COMPLETE_CONTENTS",
    "MSG_TRANSMIT_NG_CONTENTS",
    "MSG_TRANSMIT_FILEOPEN_ERROR_TITLE",
    "MSG_TRANSMIT_FILEOPEN_ERROR_ALARM_CONTENTS",
    "MSG_TRANSMIT_FILEOPEN_ERROR_COUNTERMEASURE_CONTENTS",
    "MSG_TRANSMIT_FORMAT_ERROR_TITLE",
    "MSG_TRANSMIT_FORMAT_ERROR_ALARM_CONTENTS",
    "MSG_TRANSMIT_FORMAT_ERROR_ALARM_COUNTERMEASURE_CONTENTS",
    "MSG_TRANSMIT_VERIFY_ERROR_TITLE",
    "MSG_TRANSMIT_VERIFY_ERROR_ALARM_CONTENTS",
    "MSG_TRANSMIT_VERIFY_ERROR_ALARM_COUNTERMEASURE_CONTENTS",
    "MSG_BACKUP_COMPLETE_TITLE",
    "MSG_BACKUP_COMPLETE_CONTENTS",
    "MSG_BACKUP_ERROR_TITLE",
    "MSG_BACKUP_ERROR_ALARM_CONTENTS",
    "MSG_BACKUP_ERROR_ALARM_COUNTERMEASURE_CONTENTS",
    "MSG_PROGRESS_STATE_SEARCH",
    "MSG_PROGRESS_STATE_PARAMETERFILE_SCANNING",
    "MSG_PROGRESS_STATE_STEPFILE_SCANNING",
    "MSG_TRANSMIT_MASKED_VALUES_TITLE",
    "MSG_TRANSMIT_MASKED_VALUES_CONTENTS",
    "MSG_TRANSMIT_BACKUP_UNCHECKED_CONTENTS",
    "MSG_LINK_REQUESTS_REPEATED",
    "MSG_TRANSMIT_RESULT_VERIFIED",
    "MSG_TRANSMIT_RESULT_NOT_WRITTEN",
    "MSG_TRANSMIT_RESULT_INCOMPLETE",
    "MSG_PROGRESS_STATE_NOTHING_WRITTEN",
    "MSG_STRIP_NOT_CHECKED",
    "MSG_STRIP_PORT",
    "MSG_STRIP_STATION",
    "MSG_STRIP_BITRATE",
    "MSG_STRIP_SV",
    "MSG_STRIP_CHECKED",
    "MSG_STRIP_VIRTUAL_CONTROLLER",
    "MSG_PORT_VIRTUAL_CONTROLLER_ENTRY",
    "MSG_AUTO_BACKUP_FAILED_TITLE",
    "MSG_AUTO_BACKUP_FAILED_CONTENTS",
    "MSG_AUTO_BACKUP_FAILED_COUNTERMEASURE",
    "MSG_AUTO_BACKUP_PROGRESS",
    "MSG_AUTO_BACKUP_SAVED",
    "MSG_UNDO_WRITE",
    "MSG_AUTO_BACKUP_SETTING",
    "MSG_WRITE_AGAIN",
    "MSG_COMPARE_TITLE",
    "MSG_COMPARE_LEFT_CONTROLLER",
    "MSG_COMPARE_LEFT_FILE",
    "MSG_COMPARE_RIGHT",
    "MSG_COMPARE_ONLY_DIFFERENCES",
    "MSG_COMPARE_SUMMARY",
    "MSG_COMPARE_LEFT_OUT",
    "MSG_COMPARE_COLUMNS",
    "MSG_COMPARE_FILE_INVALID",
    "MSG_COMPARE_READ_FAILED",
    "MSG_TRACE_FILE_DIALOG_TITLE",
    "MSG_TRACE_OPEN_ERROR_CONTENTS",
    "MSG_PROGRESS_STATE_PARAMETERWRITE",
    "MSG_PROGRESS_STATE_STEPWRITE",
    "MSG_PROGRESS_STATE_VERIFY",
    "MSG_PROGRESS_STATE_WRITECOMPLETE",
    "MSG_PROGRESS_STATE_WRITE_NG",
    "MSG_PROGRESS_BACKUP_INITIALIZE",
    "MSG_PROGRESS_BACKUP_PARAMETER",
    "MSG_PROGRESS_BACKUP_STEP",
    "MSG_FILE_OPEN_FAILED_TITLE",
    "MSG_FILE_OPEN_FAILED_CONTENTS",
    "MSG_FILE_OPEN_FAILED_COUNTERMEASURE",
    "MSG_FILE_OVERWRITE_TITLE",
    "MSG_FILE_OVERWRITE_INFOMATION",
    "MSG_FILE_OVERWRITE_CHECK_CONTENTS",
    "MSG_FILE_OVERWRITE_OK_CONTENTS",
    "MSG_FILE_OVERWRITE_NG_CONTENTS",
    "MSG_FILE_OVERWRITE_NG_COUNTERMEASURE_CONTENTS",
    "MSG_FILE_OVERWRITE_WRONG_SELECTION_CONTENTS",
    "MSG_FILE_OVERWRITE_WRONG_SELECTION_COUNTERMEASURE_CONTENTS",
    "DLG_TOP_TAB4_TITLE",
    "DLG_HISTORY_FILTER",
    "DLG_HISTORY_BUTTON_EXPORT",
    "DLG_HISTORY_UNREADABLE",
    "DLG_HISTORY_COLUMN_STARTED",
    "DLG_HISTORY_COLUMN_ENDED",
    "DLG_HISTORY_COLUMN_JOB",
    "DLG_HISTORY_COLUMN_RESULT",
    "DLG_HISTORY_COLUMN_USER",
    "DLG_HISTORY_COLUMN_HOST",
    "DLG_HISTORY_COLUMN_PORT",
    "DLG_HISTORY_COLUMN_STATION",
    "DLG_HISTORY_COLUMN_BITRATE",
    "DLG_HISTORY_COLUMN_CONTROLLER_SV",
    "DLG_HISTORY_COLUMN_NAME_BEFORE",
    "DLG_HISTORY_COLUMN_NAME_AFTER",
    "DLG_HISTORY_COLUMN_PARTNO",
    "DLG_HISTORY_COLUMN_SV",
    "DLG_HISTORY_COLUMN_IO",
    "DLG_HISTORY_COLUMN_BACKUP",
    "DLG_HISTORY_COLUMN_SHA256",
    "DLG_HISTORY_COLUMN_CONTENTS",
    "DLG_HISTORY_COLUMN_DIFFERENCES",
    "DLG_HISTORY_COLUMN_REPEATED",
    "DLG_HISTORY_COLUMN_AUTO_BACKUP",
    "DLG_HISTORY_KIND_BACKUP",
    "DLG_HISTORY_KIND_WRITE_ACTUATOR",
    "DLG_HISTORY_KIND_RESTORE",
    "DLG_HISTORY_KIND_COMPARE",
    "DLG_HISTORY_CONTENTS_BOTH",
    "DLG_HISTORY_CONTENTS_PARAMETERS",
    "DLG_HISTORY_CONTENTS_STEPS",
    "DLG_HISTORY_RESULT_INTERRUPTED",
    "DLG_HISTORY_RESULT_SAVED",
    "DLG_HISTORY_RESULT_WRITTEN_AND_VERIFIED",
    "DLG_HISTORY_RESULT_VERIFY_FAILED",
    "DLG_HISTORY_RESULT_COMMUNICATION_FAILED",
    "DLG_HISTORY_RESULT_CANCELLED",
    "DLG_HISTORY_RESULT_REFUSED",
    "DLG_HISTORY_RESULT_FAILED",
    "DLG_HISTORY_RESULT_EQUAL",
    "DLG_HISTORY_RESULT_DIFFER",
    "MSG_HISTORY_NOT_RECORDED",
    "MSG_TRACE_WRITE_ERROR_CONTENTS",
    "MSG_COMPARE_RIGHT_ACTUATOR",
    "MSG_COMPARE_CHOOSE_ACTUATOR",
    "MSG_COMPARE_DATA_SET_INVALID",
};

TEST(ShippedLanguageFile, ProvidesEveryKey) {
    ASSERT_EQ(kVocabulary.size(), 235u);
    ASSERT_EQ(std::set<std::string>(kVocabulary.begin(), kVocabulary.end()).size(), 235u);
    const std::string path = VELMORA_SOURCE_DIR "/System/LanguageData.ini";
    for (const std::string& key : kVocabulary) {
        EXPECT_NE(ReadProfileString(path, "APPLICATION_LANGUAGE_DATA", key, 4096), "") << key;
    }
    // Every message-table key is part of the vocabulary.
    for (int index = 0; index < kMessageCount; ++index) {
        EXPECT_NE(std::find(kVocabulary.begin(), kVocabulary.end(), MessageKey(index)),
                  kVocabulary.end())
            << MessageKey(index);
    }
}

TEST(ShippedLanguageFile, FillsTheWholeMessageTable) {
    const std::string saved = App().moduleFolder;
    App().moduleFolder = VELMORA_SOURCE_DIR "/";
    ResetLanguageStateForTesting();
    ScriptedUi ui;
    LoadMessageTable(ui);
    for (int index = 0; index < kMessageCount; ++index) {
        EXPECT_NE(MessageText(index), "") << MessageKey(index);
    }
    EXPECT_EQ(MessageText(kMessageCount), "");
    EXPECT_TRUE(ui.messages().empty());
    App().moduleFolder = saved;
    ResetLanguageStateForTesting();
}

}  // namespace
}  // namespace velmora
