#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/module_folder.h"

namespace velmora {
namespace {

const std::string kA = "\xE3\x81\x82";   // あ: 3 bytes in UTF-8, 2 in Shift_JIS
const std::string kI = "\xE3\x81\x84";   // い
const std::string kU = "\xE3\x81\x86";   // う
const std::string kEAcute = "\xC3\xA9";  // é: 2 bytes in UTF-8, 1 in ISO-8859-1
const std::string kEmoji = "\xF0\x9F\x98\x80";

struct ConvertCase {
    std::string from;
    std::string to;
    std::string in;
    bool ok;
    std::string out;  // when ok
};

TEST(ConvertText, ConvertsOrRefuses) {
    const std::vector<ConvertCase> cases = {
        {"UTF-8", "ISO-8859-1", "caf" + kEAcute, true, "caf\xE9"},
        {"ISO-8859-1", "UTF-8", "caf\xE9", true, "caf" + kEAcute},
        {"UTF-8", "SHIFT_JIS", kA + "1", true,
         "\x82\xA0"
         "1"},
        {"SHIFT_JIS", "UTF-8", "\x82\xA0\x82\xA2", true, kA + kI},
        {"UTF-8", "UTF-8", "", true, ""},
        {"UTF-8", "ISO-8859-1", kA, false, ""},        // no form in the target
        {"UTF-8", "ISO-8859-1", "ab\xC3", false, ""},  // incomplete sequence
        {"UTF-8", "ISO-8859-1",
         "a\xFF"
         "b",
         false, ""},  // invalid byte
        {"NO-SUCH-ENCODING", "UTF-8", "a", false, ""},
        {"UTF-8", "NO-SUCH-ENCODING", "a", false, ""},
    };
    for (const ConvertCase& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(ConvertText(c.from, c.to, c.in, out), c.ok) << c.from << "->" << c.to;
        EXPECT_EQ(out, c.ok ? c.out : "untouched") << c.from << "->" << c.to;
    }
}

TEST(ConvertText, HandlesTextsLongerThanOneBuffer) {
    std::string utf8;
    std::string latin1;
    for (int i = 0; i < 3000; ++i) {
        utf8 += kEAcute + "x";
        latin1 += "\xE9x";
    }
    std::string out;
    ASSERT_TRUE(ConvertText("UTF-8", "ISO-8859-1", utf8, out));
    EXPECT_EQ(out, latin1);
    ASSERT_TRUE(ConvertText("ISO-8859-1", "UTF-8", latin1, out));
    EXPECT_EQ(out, utf8);
}

struct ShortenCase {
    std::string text;
    std::string codeset;
    std::size_t maxBytes;
    std::string expected;
};

TEST(ShortenToBytes, KeepsTheCharactersThatBeginWithinTheLimit) {
    const std::string ascii256(256, 'a');
    const std::vector<ShortenCase> cases = {
        {"abc", "UTF-8", 3, "abc"},
        {"abcd", "UTF-8", 3, "abc"},
        {"", "UTF-8", 0, ""},
        {ascii256, "UTF-8", 256, ascii256},
        {ascii256 + "b", "UTF-8", 256, ascii256},
        // é begins at byte 1 and ends past the limit: it is kept whole.
        {"a" + kEAcute + "b", "UTF-8", 2, "a" + kEAcute},
        {"a" + kEAcute + "b", "UTF-8", 1, "a"},
        {kEmoji + kEmoji, "UTF-8", 5, kEmoji + kEmoji},
        {kEmoji + kEmoji, "UTF-8", 4, kEmoji},
        // Measured in the target encoding, not in UTF-8.
        {kEAcute + kEAcute + kEAcute, "ISO-8859-1", 3, kEAcute + kEAcute + kEAcute},
        {kEAcute + kEAcute + kEAcute, "ISO-8859-1", 2, kEAcute + kEAcute},
        {kA + kI + kU, "SHIFT_JIS", 6, kA + kI + kU},
        {kA + kI + kU, "SHIFT_JIS", 5, kA + kI + kU},
        {kA + kI + kU, "SHIFT_JIS", 4, kA + kI},
        {kA + kI + kU, "SHIFT_JIS", 3, kA + kI},
        {kA + kI + kU, "SHIFT_JIS", 2, kA},
        {"ab" + kA + kI, "SHIFT_JIS", 5, "ab" + kA + kI},
        {"ab" + kA + kI, "SHIFT_JIS", 4, "ab" + kA},
        // A character without a form counts as its one-byte substitute.
        {"a" + kA + "b", "ANSI_X3.4-1968", 3, "a" + kA + "b"},
        {"a" + kA + "bc", "ANSI_X3.4-1968", 3, "a" + kA + "b"},
        // An unknown encoding measures UTF-8 bytes.
        {"a" + kA + "b", "NO-SUCH-ENCODING", 4, "a" + kA},
        // A stray byte counts as one character.
        {"a\xFF"
         "bc",
         "UTF-8", 3,
         "a\xFF"
         "b"},
    };
    for (const ShortenCase& c : cases) {
        EXPECT_EQ(ShortenToBytesInCodeset(c.text, c.codeset, c.maxBytes), c.expected)
            << c.codeset << " " << c.maxBytes << " [" << c.text << "]";
    }
}

// Sets one environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            saved_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (saved_) {
            ::setenv(name_, saved_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(LocaleCodeset, FollowsTheNamedOrTheUsersLocale) {
    EXPECT_EQ(LocaleCodesetOf("C.UTF-8"), "UTF-8");
    EXPECT_EQ(LocaleCodesetOf("POSIX"), "ANSI_X3.4-1968");
    {
        const ScopedEnv all("LC_ALL", "C.UTF-8");
        EXPECT_EQ(LocaleCodeset(), "UTF-8");
        EXPECT_EQ(LocaleCodesetOf(""), "UTF-8");
        EXPECT_EQ(LocaleCodesetOf("Japanese_Japan.932"), "UTF-8");  // unknown here
    }
    {
        const ScopedEnv all("LC_ALL", "C");
        EXPECT_EQ(LocaleCodeset(), "ANSI_X3.4-1968");
    }
    {
        const ScopedEnv all("LC_ALL", "xx_NOWHERE.UTF-8");  // not installed
        EXPECT_EQ(LocaleCodeset(), "ANSI_X3.4-1968");
    }
}

TEST(ShortenToBytes, UsesTheNamedLocaleOrFallsBackToTheUsers) {
    const std::string text = "a" + kA + "bc";  // 6 bytes in UTF-8, 4 in ASCII with substitutes
    EXPECT_EQ(ShortenToBytes(text, "C.UTF-8", 4), "a" + kA);
    EXPECT_EQ(ShortenToBytes(text, "POSIX", 4), text);
    const ScopedEnv all("LC_ALL", "C.UTF-8");
    for (const char* name : {"", "Japanese", "xx_NOWHERE"}) {
        EXPECT_EQ(ShortenToBytes(text, name, 4), "a" + kA) << name;
        EXPECT_EQ(ShortenToBytes(text, name, 6), text) << name;
    }
}

TEST(ModuleFolder, IsTheFolderHoldingTheProgram) {
    const std::string folder = ModuleFolderOfExecutable();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_EQ(folder.back(), '/');
    // The build puts the System folder beside the binaries, as an installation does.
    struct stat info {};
    ASSERT_EQ(::stat((folder + "System").c_str(), &info), 0) << folder;
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

}  // namespace
}  // namespace velmora
