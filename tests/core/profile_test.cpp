#include "platform/profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::TempFolder;

std::string Repeat(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

// ---- reading ---------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::size_t bufferSize;
    std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadTest, GivesTheWindowsValue) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const ReadCase& c = GetParam();
    const std::string path = folder.write("test.ini", c.file);
    EXPECT_EQ(ReadProfileString(path, c.section, c.key, c.bufferSize), c.expected);
}

const std::string kLong300 = Repeat("x", 300);
const std::string kTwoByte300 = Repeat("\xC3\xA9", 300);        // é
const std::string kThreeByte300 = Repeat("\xE3\x81\x82", 300);  // あ
const std::string kFourByte5000 = Repeat("\xF0\x9F\x98\x80", 5000);

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadTest,
    ::testing::Values(
        ReadCase{"Plain", "[S]\nK=value\n", "S", "K", 260, "value"},
        ReadCase{"SectionCaseInsensitive", "[Comm_Setting]\nK=1\n", "COMM_SETTING", "K", 260, "1"},
        ReadCase{"KeyCaseInsensitive", "[S]\ncom_port=COM3\n", "S", "COM_PORT", 260, "COM3"},
        ReadCase{"FirstKeyWins", "[S]\nK=first\nk=second\n", "S", "K", 260, "first"},
        ReadCase{"FirstSectionWins", "[S]\nA=1\n[s]\nA=2\nB=3\n", "S", "A", 260, "1"},
        ReadCase{"OnlyTheFirstSectionIsSearched", "[S]\nA=1\n[s]\nB=3\n", "S", "B", 260, ""},
        ReadCase{"KeyInAnotherSection", "[A]\nK=1\n[B]\nX=2\n", "B", "K", 260, ""},
        ReadCase{"KeyBeforeAnySection", "K=1\n[S]\nX=2\n", "S", "K", 260, ""},
        ReadCase{"SpacesAndTabsTrimmed", "[S]\n  K \t=  \t a b \t \n", "S", "K", 260, "a b"},
        ReadCase{"IndentedSectionHeader", "  [ S ]  \nK=1\n", "S", "K", 260, "1"},
        ReadCase{"DoubleQuotesRemoved", "[S]\nK=\" padded \"\n", "S", "K", 260, " padded "},
        ReadCase{"SingleQuotesRemoved", "[S]\nK='x'\n", "S", "K", 260, "x"},
        ReadCase{"MismatchedQuotesKept", "[S]\nK='x\"\n", "S", "K", 260, "'x\""},
        ReadCase{"LoneQuoteKept", "[S]\nK=\"\n", "S", "K", 260, "\""},
        ReadCase{"InnerQuotesKept", "[S]\nK=a\"b\"\n", "S", "K", 260, "a\"b\""},
        ReadCase{"CommentLineIgnored", "[S]\n;K=commented\nK=real\n", "S", "K", 260, "real"},
        ReadCase{"IndentedCommentIgnored", "[S]\n \t; K=x\n", "S", "K", 260, ""},
        ReadCase{"SemicolonInsideValueKept", "[S]\nK=a ; b\n", "S", "K", 260, "a ; b"},
        ReadCase{"EqualsInsideValueKept", "[S]\nK=a=b\n", "S", "K", 260, "a=b"},
        ReadCase{"EmptyValue", "[S]\nK=\n", "S", "K", 260, ""},
        ReadCase{"BlankValue", "[S]\nK=   \n", "S", "K", 260, ""},
        ReadCase{"KeyWithoutEquals", "[S]\nK\n", "S", "K", 260, ""},
        ReadCase{"MissingSection", "[A]\nK=1\n", "B", "K", 260, ""},
        ReadCase{"MissingKey", "[S]\nK=1\n", "S", "L", 260, ""},
        ReadCase{"CrLfLines", "[S]\r\nA=1\r\nK=2\r\n", "S", "K", 260, "2"},
        ReadCase{"CrLfWithoutFinalLineEnd", "[S]\r\nK=2", "S", "K", 260, "2"},
        ReadCase{"Utf8BomBeforeSection", "\xEF\xBB\xBF[S]\nK=1\n", "S", "K", 260, "1"},
        ReadCase{"Utf8Value", "[S]\nK=\xE3\x81\x82\xC3\xA9\n", "S", "K", 260,
                 "\xE3\x81\x82\xC3\xA9"},
        ReadCase{"Ascii260Truncated", "[S]\nK=" + kLong300 + "\n", "S", "K", 260,
                 kLong300.substr(0, 259)},
        ReadCase{"TwoByte260Truncated", "[S]\nK=" + kTwoByte300 + "\n", "S", "K", 260,
                 Repeat("\xC3\xA9", 259)},
        ReadCase{"ThreeByte257Truncated", "[S]\nK=" + kThreeByte300 + "\n", "S", "K", 257,
                 Repeat("\xE3\x81\x82", 256)},
        ReadCase{"FourByte4096Truncated", "[S]\nK=" + kFourByte5000 + "\n", "S", "K", 4096,
                 Repeat("\xF0\x9F\x98\x80", 4095)},
        ReadCase{"ExactlyFitsBuffer", "[S]\nK=" + Repeat("\xC3\xA9", 259) + "\n", "S", "K", 260,
                 Repeat("\xC3\xA9", 259)},
        ReadCase{"MixedWidthCutOnCharacters", "[S]\nK=a\xC3\xA9\xE3\x81\x82z\n", "S", "K", 4,
                 "a\xC3\xA9\xE3\x81\x82"},
        ReadCase{"TruncatedAfterUnquoting", "[S]\nK=\"abcdef\"\n", "S", "K", 4, "abc"},
        ReadCase{"BufferOfOneGivesNothing", "[S]\nK=abc\n", "S", "K", 1, ""}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(ProfileRead, MissingFileGivesEmptyText) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    EXPECT_EQ(ReadProfileString(folder.file("absent.ini"), "S", "K", 260), "");
    EXPECT_EQ(ReadProfileString(folder.path(), "S", "K", 260), "");  // a folder, not a file
}

// ---- writing ---------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::string before;
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteTest, ChangesOnlyTheEntry) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const WriteCase& c = GetParam();
    const std::string path = folder.write("test.ini", c.before);
    ASSERT_TRUE(WriteProfileString(path, c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(path), c.after);
    EXPECT_EQ(ReadProfileString(path, c.section, c.key, 4096), c.value);
    EXPECT_EQ(folder.names(), std::set<std::string>{"test.ini"});  // no temporary file left
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"ReplacesInPlace", "; head\n[S]\nA=1\nK=old\nB=2\n\n[T]\nK=x\n", "S", "K", "new",
                  "; head\n[S]\nA=1\nK=new\nB=2\n\n[T]\nK=x\n"},
        WriteCase{"KeepsCrLfAndComments", "[S]\r\n; note\r\nK=9600\r\nZ=1\r\n", "S", "K", "38400",
                  "[S]\r\n; note\r\nK=38400\r\nZ=1\r\n"},
        WriteCase{"KeepsSpacingBeforeValue", "[S]\nK =  old  \t\nZ=1\n", "S", "K", "v",
                  "[S]\nK =  v  \t\nZ=1\n"},
        WriteCase{"ReplacesQuotedValue", "[S]\nK=\"old\"\n", "S", "K", "new", "[S]\nK=new\n"},
        WriteCase{"KeepsBom", "\xEF\xBB\xBF[S]\nK=1\n", "S", "K", "2", "\xEF\xBB\xBF[S]\nK=2\n"},
        WriteCase{"MatchesCaseInsensitively", "[Sec]\nkey=1\n", "SEC", "KEY", "2",
                  "[Sec]\nkey=2\n"},
        WriteCase{"ReplacesOnlyTheFirstKey", "[S]\nK=1\nK=2\n", "S", "K", "3", "[S]\nK=3\nK=2\n"},
        WriteCase{"ReplacesInTheFirstSection", "[S]\nK=1\n[S]\nK=2\n", "S", "K", "3",
                  "[S]\nK=3\n[S]\nK=2\n"},
        WriteCase{"FillsAnEmptyValue", "[S]\nK=\nZ=1\n", "S", "K", "v", "[S]\nK=v\nZ=1\n"},
        WriteCase{"CompletesKeyWithoutEquals", "[S]\nK  \nZ=1\n", "S", "K", "v", "[S]\nK=v\nZ=1\n"},
        WriteCase{"ValueWithoutFinalLineEnd", "[S]\nK=1", "S", "K", "22", "[S]\nK=22"},
        WriteCase{"AppendsKeyAfterLastKeyLine", "[A]\nk1=1\n\n; c\n[B]\nx=1\n", "A", "k2", "2",
                  "[A]\nk1=1\nk2=2\n\n; c\n[B]\nx=1\n"},
        WriteCase{"AppendsKeyAtUnterminatedEnd", "[A]\nk1=1", "A", "k2", "2", "[A]\nk1=1\nk2=2"},
        WriteCase{"AppendsKeyWithCrLf", "[A]\r\nk1=1\r\n", "A", "k2", "2",
                  "[A]\r\nk1=1\r\nk2=2\r\n"},
        WriteCase{"AppendsKeyToEmptySection", "[A]\n[B]\nx=1\n", "A", "k", "v",
                  "[A]\nk=v\n[B]\nx=1\n"},
        WriteCase{"AppendsSection", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
        WriteCase{"AppendsSectionAfterUnterminatedLine", "[A]\nx=1", "B", "k", "v",
                  "[A]\nx=1\n[B]\nk=v\n"},
        WriteCase{"AppendsSectionWithCrLf", "[A]\r\nx=1\r\n", "B", "k", "v",
                  "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        WriteCase{"WritesIntoEmptyFile", "", "S", "K", "v", "[S]\nK=v\n"},
        WriteCase{"WritesEmptyValue", "[S]\nK=1\n", "S", "K", "", "[S]\nK=\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(ProfileWrite, CreatesMissingFileWithUsualPermissions) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = folder.file("new.ini");
    const mode_t saved = ::umask(022);
    const bool written = WriteProfileString(path, "COMMUNICATION_SETTING", "COM_DELAY", "5");
    ::umask(saved);
    ASSERT_TRUE(written);
    EXPECT_EQ(ReadBytes(path), "[COMMUNICATION_SETTING]\nCOM_DELAY=5\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST(ProfileWrite, KeepsThePermissionBits) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    for (const mode_t mode : {0600u, 0640u, 0664u}) {
        const std::string path = folder.write("mode.ini", "[S]\nK=1\n");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(WriteProfileString(path, "S", "K", "2"));
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
}

TEST(ProfileWrite, WritesThroughASymbolicLink) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string target = folder.write("real/settings.ini", "[S]\nK=1\n");
    const std::string link = folder.file("link.ini");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WriteProfileString(link, "S", "K", "2"));
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadBytes(target), "[S]\nK=2\n");
}

TEST(ProfileWrite, RefusesTextsThatWouldBreakTheFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string original = "[S]\nK=1\n";
    const std::string path = folder.write("test.ini", original);
    struct Bad {
        std::string section, key, value;
    };
    for (const Bad& bad : std::vector<Bad>{{"S", "K", "a\nb"},
                                           {"S", "K", "a\rb"},
                                           {"S", "K=x", "1"},
                                           {"S", "", "1"},
                                           {"", "K", "1"},
                                           {"S]", "K", "1"},
                                           {"S\n", "K", "1"}}) {
        EXPECT_FALSE(WriteProfileString(path, bad.section, bad.key, bad.value))
            << bad.section << "/" << bad.key;
        EXPECT_EQ(ReadBytes(path), original);
    }
}

TEST(ProfileWrite, FailsForAMissingFolder) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    EXPECT_FALSE(WriteProfileString(folder.file("absent/test.ini"), "S", "K", "1"));
    EXPECT_TRUE(folder.names().empty());
}

// Runs the work in a child process so that limits and a changed user stay there. The child's
// exit status is 0 when work() returned true, 1 when false, 77 when it could not be set up.
int RunInChild(const std::function<bool()>& setUp, const std::function<bool()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!setUp())
            ::_exit(77);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(ProfileWriteAtomic, ReadOnlyFolderFailsAndLeavesTheFileAlone) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string original = "[S]\r\nK=1 // keep\r\n";
    const std::string path = folder.write("ro/test.ini", original);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(folder.file("ro").c_str(), 0555), 0);
    // Root ignores folder permissions, so the child drops to an ordinary user first.
    const int result = RunInChild(
        [] {
            if (::geteuid() != 0)
                return true;
            return ::setgid(65534) == 0 && ::setuid(65534) == 0;
        },
        [&] { return WriteProfileString(path, "S", "K", "2"); });
    if (result == 77)
        GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(folder.names("ro"), std::set<std::string>{"test.ini"});
}

TEST(ProfileWriteAtomic, FailedWriteRemovesTheTemporaryFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string original = "[S]\nK=1\nOTHER=2\n";
    const std::string path = folder.write("test.ini", original);
    // The file-size limit makes the write of the temporary file fail half-way.
    const int result = RunInChild(
        [] {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit limit { 64, 64 };
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        [&] { return WriteProfileString(path, "S", "K", std::string(200, 'v')); });
    ASSERT_NE(result, 77);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(folder.names(), std::set<std::string>{"test.ini"});
}

TEST(ProfileWrite, RoundTripsValues) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = folder.file("round.ini");
    for (const std::string value :
         {"38400", "COM3", "/dev/ttyUSB0 // port", "a=b", "\xE3\x81\x82 text", "5/ms"}) {
        ASSERT_TRUE(WriteProfileString(path, "S", "K", value));
        EXPECT_EQ(ReadProfileString(path, "S", "K", 260), value);
    }
    EXPECT_EQ(ReadBytes(path), "[S]\nK=5/ms\n");
}

}  // namespace
}  // namespace velmora
