// Damaged and hostile system files: the INI reader under all three files, the language table,
// the communication settings and the functional restriction rules.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "sysfiles/app_state.h"
#include "core/robustness_test_support.h"
#include "platform/profile.h"
#include "sysfiles/language.h"
#include "rules/restriction.h"
#include "sysfiles/settings_file.h"

namespace velmora {
namespace {

using test::TempFolder;
using test::robust::Mutator;
using test::robust::ReadWhole;
using test::robust::WriteDisk;

constexpr int kProfileVariants = 200;
constexpr int kLanguageVariants = 300;
constexpr int kSettingsVariants = 300;
constexpr int kRuleVariants = 70;

struct IniCase {
    const char* file;
    const char* section;
};
const IniCase kIniFiles[] = {{"LanguageData.ini", "APPLICATION_LANGUAGE_DATA"},
                             {"CommunicationSetting.ini", "COMMUNICATION_SETTING"},
                             {"FunctionalRestriction.ini", "FUNCTIONAL_RESTRICTION_DATA"}};

std::string SystemText(const std::string& name) {
    return ReadWhole(std::string(VELMORA_SOURCE_DIR) + "/System/" + name);
}

// The key names of the "KEY=value" lines of a text.
std::vector<std::string> KeysOf(const std::string& text) {
    std::vector<std::string> keys;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && equals > 0 && line[0] != ';') {
            keys.push_back(line.substr(0, equals));
        }
        start = end + 1;
    }
    return keys;
}

std::size_t CodePoints(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// Any value read from a damaged file is a piece of one line of it, cut to the buffer; a key
// written into it can be read back, and the keys that were there keep their values.
TEST(RobustnessProfile, DamagedIniFilesGiveBoundedValuesAndTakeWrites) {
    TempFolder folder;
    const std::string path = folder.file("file.ini");
    Mutator mutator(81);
    const std::size_t kBufferSizes[] = {1, 2, 16, 260, 4096};
    for (const IniCase& ini : kIniFiles) {
        const std::string base = SystemText(ini.file);
        const std::vector<std::string> keys = KeysOf(base);
        ASSERT_FALSE(keys.empty()) << ini.file;
        for (int variant = 0; variant < kProfileVariants; ++variant) {
            const std::string text = variant == 0 ? base : mutator(base);
            WriteDisk(path, text);
            std::vector<std::pair<std::string, std::string>> before;
            for (int n = 0; n < 6; ++n) {
                const std::string& key = keys[mutator.Pick(keys.size())];
                const std::size_t size = kBufferSizes[mutator.Pick(std::size(kBufferSizes))];
                const std::string value = ReadProfileString(path, ini.section, key, size);
                ASSERT_LE(CodePoints(value), size - 1) << ini.file << " variant " << variant;
                ASSERT_EQ(value.find('\n'), std::string::npos);
                ASSERT_NE(text.find(value), std::string::npos)
                    << ini.file << " variant " << variant;
                if (variant == 0) {
                    ASSERT_FALSE(value.empty() && size > 1) << key;
                }
                before.emplace_back(key, ReadProfileString(path, ini.section, key, 4096));
            }
            const std::string written = "v" + std::to_string(variant);
            ASSERT_TRUE(WriteProfileString(path, ini.section, "ROBUST_CHECK", written));
            ASSERT_EQ(ReadProfileString(path, ini.section, "ROBUST_CHECK", 4096), written)
                << ini.file << " variant " << variant;
            for (const auto& [key, value] : before) {
                ASSERT_EQ(ReadProfileString(path, ini.section, key, 4096), value)
                    << ini.file << " variant " << variant << " key " << key;
            }
        }
    }
}

class RobustnessSystemFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = App().moduleFolder;
        App().moduleFolder = folder.path() + "/";
        ResetLanguageStateForTesting();
    }
    void TearDown() override {
        ResetLanguageStateForTesting();
        App().moduleFolder = saved_;
    }

    TempFolder folder;
    test::ScriptedUi ui;

  private:
    std::string saved_;
};

// The table holds the texts up to the first one the damaged file lacks, and a lack is reported
// once with the fixed English box.
TEST_F(RobustnessSystemFolder, DamagedLanguageFileLoadsTheTextsUpToTheFirstGap) {
    const std::string base = SystemText("LanguageData.ini");
    Mutator mutator(82);
    for (int variant = 0; variant < kLanguageVariants; ++variant) {
        folder.write("System/LanguageData.ini", variant == 0 ? base : mutator(base));
        ResetLanguageStateForTesting();
        ui.clear();
        LoadMessageTable(ui);
        int loaded = 0;
        while (loaded < kMessageCount && !MessageText(loaded).empty()) {
            ++loaded;
        }
        for (int index = loaded; index < kMessageCount; ++index) {
            ASSERT_TRUE(MessageText(index).empty()) << "variant " << variant << " text " << index;
        }
        for (int index = 0; index < loaded; ++index) {
            ASSERT_LE(MessageText(index).size(), 4 * 4095u) << "variant " << variant;
        }
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), loaded < kMessageCount ? 1u : 0u) << "variant " << variant;
        if (!messages.empty()) {
            EXPECT_EQ(messages[0].text, "LanguageData.ini Reading Failed");
        }
        if (variant == 0) {
            ASSERT_EQ(loaded, kMessageCount);
        }
    }
}

// Settings read from a damaged file are values of their kind; written back and read again
// they stay what they were.
TEST_F(RobustnessSystemFolder, DamagedSettingsFileReadsAndWritesBack) {
    const std::string base = SystemText("CommunicationSetting.ini");
    const std::string path = folder.file("CommunicationSetting.ini");
    Mutator mutator(83);
    for (int variant = 0; variant < kSettingsVariants; ++variant) {
        WriteDisk(path, variant == 0 ? base : mutator(base));
        CommSettings settings;
        settings.portName = "unchanged";
        ReadCommSettings(path, settings);
        ASSERT_TRUE(settings.autoSelect == 0 || settings.autoSelect == 1);
        ASSERT_EQ(settings.portName.find_first_of("\t \n"), std::string::npos);
        ASSERT_LE(CodePoints(settings.portName), 259u) << "variant " << variant;
        if (variant == 0) {
            EXPECT_EQ(settings.portName, "/tmp/velmora-sim");
            EXPECT_EQ(settings.bitRate, 38400);
        }

        CommSettings chosen = settings;
        chosen.portName = "/dev/ttyUSB3";
        chosen.autoSelect = 1 - settings.autoSelect;
        chosen.bitRate = 115200;
        chosen.connectionId = 7;
        WriteCommSettings(path, chosen);
        CommSettings again = settings;
        ReadCommSettings(path, again);
        // A key the file lacks is not created, so it keeps what the first read gave.
        for (const auto& [now, first, wanted] :
             {std::tuple{again.bitRate, settings.bitRate, chosen.bitRate},
              std::tuple{again.connectionId, settings.connectionId, chosen.connectionId}}) {
            ASSERT_TRUE(now == first || now == wanted) << "variant " << variant;
        }
        ASSERT_TRUE(again.portName == settings.portName || again.portName == chosen.portName)
            << "variant " << variant << ": " << again.portName;
    }
}

class RobustnessRules : public test::robust::InProcessController {};

// The rules of a damaged file give a verdict the callers know (or none, with nothing filled
// in), texts cut to what a box holds, and never a message box but the missing-file one.
TEST_F(RobustnessRules, DamagedRuleFileGivesAKnownVerdictOrNone) {
    const std::string base = SystemText("FunctionalRestriction.ini");
    App().moduleFolder = folder.path() + "/";
    Mutator mutator(84);
    const int kSelections[] = {110, 999, -1, 100};
    for (int variant = 0; variant < kRuleVariants; ++variant) {
        folder.write("System/FunctionalRestriction.ini", variant == 0 ? base : mutator(base));
        controller.setVersion(static_cast<std::uint16_t>(mutator.Pick(2) == 0 ? 110 : 50));
        controller.setRegister(0x00EE, static_cast<std::uint16_t>(mutator.Pick(65536)));
        const int operation = variant % 4;
        ui.clear();
        RestrictionResult result;
        const int verdict = CheckFunctionalRestriction(
            link, 1, operation, kSelections[mutator.Pick(std::size(kSelections))], result, ui);
        ASSERT_TRUE(ui.messages().empty()) << "variant " << variant;
        if (verdict < kVerdictAllowed || verdict > kVerdictRefused) {
            ASSERT_TRUE(result.title.empty() && result.message.empty()) << "variant " << variant;
            continue;
        }
        // 256 bytes, and the rest of a character that starts within them.
        ASSERT_LE(result.title.size(), 256u + 3) << "variant " << variant;
        ASSERT_LE(result.message.size(), 256u + 3) << "variant " << variant;
        if (variant == 0) {
            EXPECT_EQ(verdict, kVerdictAllowed);
        }
    }
}

}  // namespace
}  // namespace velmora
