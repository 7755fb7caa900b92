// The translations under lang/ must be drop-in replacements for System/LanguageData.ini: a key
// missing from one stops loading the rest of a window's texts on a customer's machine.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSection = "APPLICATION_LANGUAGE_DATA";
// The program reads every text into this many bytes, the terminator included.
constexpr std::size_t kProgramBuffer = 4096;
constexpr std::size_t kUnlimited = std::size_t{1} << 20;

const std::string kSourceDir = VELMORA_SOURCE_DIR;
const std::string kEnglishFile = kSourceDir + "/System/LanguageData.ini";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The key names of the language section in file order, duplicates kept.
std::vector<std::string> SectionKeys(const std::string& path) {
    std::vector<std::string> keys;
    const std::string text = ReadAll(path);
    bool inSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection =
                close != std::string_view::npos && SameNoCase(line.substr(1, close - 1), kSection);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (inSection && equals != std::string_view::npos)
            keys.emplace_back(Trim(line.substr(0, equals)));
    }
    return keys;
}

std::size_t CountOf(const std::string& text, std::string_view piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

// Offset of the first byte that breaks UTF-8, or npos.
std::size_t FirstInvalidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned min = 0;
        unsigned code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, min = 0x80, code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, min = 0x800, code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, min = 0x10000, code = lead & 0x07;
        } else {
            return i;
        }
        if (i + length > text.size())
            return i;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return i;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += length;
    }
    return std::string::npos;
}

std::vector<std::string> TranslationFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kSourceDir + "/lang", error)) {
        const fs::path file = entry.path() / "LanguageData.ini";
        if (entry.is_directory() && fs::is_regular_file(file))
            files.push_back(file.string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string LanguageName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).parent_path().filename().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

// Everything that keeps a file from standing in for the English one, as "<fault>: <key>".
std::vector<std::string> FaultsOf(const std::string& path, const std::string& englishPath) {
    std::vector<std::string> faults;
    const std::vector<std::string> englishKeys = SectionKeys(englishPath);
    const std::vector<std::string> keys = SectionKeys(path);

    const std::size_t badByte = FirstInvalidUtf8(ReadAll(path));
    if (badByte != std::string::npos)
        faults.push_back("utf8: byte " + std::to_string(badByte));

    std::map<std::string, int> seen;
    for (const std::string& key : keys) ++seen[key];
    const std::set<std::string> english(englishKeys.begin(), englishKeys.end());
    for (const auto& [key, count] : seen) {
        if (count > 1)
            faults.push_back("duplicate: " + key);
        if (english.count(key) == 0)
            faults.push_back("unknown: " + key);
    }

    constexpr std::string_view kEscapes[] = {"\\n", "\\t", "\\r"};
    for (const std::string& key : englishKeys) {
        if (seen.count(key) == 0) {
            faults.push_back("missing: " + key);
            continue;
        }
        const std::string whole = ReadProfileString(path, kSection, key, kUnlimited);
        if (whole.empty())
            faults.push_back("empty: " + key);
        if (whole.size() >= kProgramBuffer)
            faults.push_back("too long: " + key);
        if (whole.find('%') != std::string::npos)
            faults.push_back("percent: " + key);
        const std::string reference = ReadProfileString(englishPath, kSection, key, kUnlimited);
        for (std::string_view escape : kEscapes) {
            if (CountOf(whole, escape) != CountOf(reference, escape)) {
                faults.push_back("escapes: " + key);
                break;
            }
        }
    }
    return faults;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

TEST(LanguageFilesReference, EnglishFileIsSoundAndTranslationsAreFound) {
    ASSERT_FALSE(SectionKeys(kEnglishFile).empty()) << kEnglishFile;
    EXPECT_TRUE(FaultsOf(kEnglishFile, kEnglishFile).empty())
        << Joined(FaultsOf(kEnglishFile, kEnglishFile));
    EXPECT_FALSE(TranslationFiles().empty()) << "no lang/*/LanguageData.ini under " << kSourceDir;
}

class LanguageFilesTest : public ::testing::TestWithParam<std::string> {};

TEST_P(LanguageFilesTest, StandsInForTheEnglishFile) {
    ASSERT_FALSE(ReadAll(GetParam()).empty()) << GetParam();
    const std::vector<std::string> faults = FaultsOf(GetParam(), kEnglishFile);
    EXPECT_TRUE(faults.empty()) << GetParam() << Joined(faults);
    EXPECT_EQ(SectionKeys(GetParam()).size(), SectionKeys(kEnglishFile).size());
}

INSTANTIATE_TEST_SUITE_P(Translations, LanguageFilesTest, ::testing::ValuesIn(TranslationFiles()),
                         LanguageName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(LanguageFilesTest);

// The checker must catch what a careless translation does to a copy of the English file.
std::string WithLine(std::string text, const std::string& key, const std::string& line) {
    const std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos)
        return text;
    const std::size_t end = text.find('\n', at + 1);
    const std::string replacement = line.empty() ? std::string() : "\n" + line;
    return text.replace(at, end - at, replacement);
}

struct BrokenCase {
    const char* name;
    std::string (*breakText)(const std::string& english);
    const char* expectedFault;
};

const BrokenCase kBrokenCases[] = {
    {"MissingKey", [](const std::string& t) { return WithLine(t, "DLG_TOP_TAB2_TITLE", ""); },
     "missing: DLG_TOP_TAB2_TITLE"},
    {"EmptyValue",
     [](const std::string& t) {
         return WithLine(t, "DLG_PROGRESS_BUTTON_CANCEL", "DLG_PROGRESS_BUTTON_CANCEL=  ");
     },
     "empty: DLG_PROGRESS_BUTTON_CANCEL"},
    {"DuplicateKey", [](const std::string& t) { return t + "DLG_TOP_TITLE=Second title\n"; },
     "duplicate: DLG_TOP_TITLE"},
    {"MisspeltKey", [](const std::string& t) { return t + "DLG_TOP_TITEL=Title\n"; },
     "unknown: DLG_TOP_TITEL"},
    {"KeyInAnotherSection",
     [](const std::string& t) {
         return WithLine(t, "DLG_BACKUP_TITLE", "") + "[OTHER]\nDLG_BACKUP_TITLE=Backup\n";
     },
     "missing: DLG_BACKUP_TITLE"},
    {"DroppedLineBreak",
     [](const std::string& t) {
         return WithLine(t, "MSG_COM_UNIDENTIFIED_CONTENTS",
                         "MSG_COM_UNIDENTIFIED_CONTENTS=No controller yet. Run the check first.");
     },
     "escapes: MSG_COM_UNIDENTIFIED_CONTENTS"},
    {"AddedTab",
     [](const std::string& t) {
         return WithLine(t, "DLG_ACTUATOR_TEXT_LEAD", "DLG_ACTUATOR_TEXT_LEAD=Lead:\\t");
     },
     "escapes: DLG_ACTUATOR_TEXT_LEAD"},
    {"LongerThanTheBuffer",
     [](const std::string& t) {
         return WithLine(t, "DLG_TOP_TITLE", "DLG_TOP_TITLE=" + std::string(4096, 'x'));
     },
     "too long: DLG_TOP_TITLE"},
    {"PercentSign",
     [](const std::string& t) {
         return WithLine(t, "MSG_PROGRESS_STATE_VERIFY", "MSG_PROGRESS_STATE_VERIFY=Verifying 50%");
     },
     "percent: MSG_PROGRESS_STATE_VERIFY"},
    {"SavedAsShiftJis",
     [](const std::string& t) {
         // "キャンセル" in Shift_JIS.
         return WithLine(t, "DLG_PROGRESS_BUTTON_CANCEL",
                         "DLG_PROGRESS_BUTTON_CANCEL=\x83L\x83\x83\x83\x93\x83Z\x83\x8B");
     },
     "utf8: byte "},
};

class LanguageFileCheckerTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(LanguageFileCheckerTest, ReportsTheFault) {
    const BrokenCase& broken = GetParam();
    test::TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string english = ReadAll(kEnglishFile);
    const std::string text = broken.breakText(english);
    ASSERT_NE(text, english) << "the case did not change the file";
    const std::string path = folder.write("lang/xx/LanguageData.ini", text);

    const std::vector<std::string> faults = FaultsOf(path, kEnglishFile);
    const std::string expected = broken.expectedFault;
    const auto found = std::find_if(faults.begin(), faults.end(), [&](const std::string& fault) {
        return fault.compare(0, expected.size(), expected) == 0;
    });
    EXPECT_NE(found, faults.end()) << "expected \"" << expected << "\", got:" << Joined(faults);
    EXPECT_EQ(faults.size(), 1u) << Joined(faults);
}

INSTANTIATE_TEST_SUITE_P(Faults, LanguageFileCheckerTest, ::testing::ValuesIn(kBrokenCases),
                         [](const ::testing::TestParamInfo<BrokenCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace velmora
