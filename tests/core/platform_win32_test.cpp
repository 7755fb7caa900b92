// The Windows pieces of the platform layer, where they differ from the POSIX ones.

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

TEST(Win32PortNames, SettingsNamesBecomeDeviceNames) {
    const struct {
        const char* name;
        const char* device;
    } cases[] = {
        {"COM5", "\\\\.\\COM5"},        {"com12", "\\\\.\\com12"},
        {"\\\\.\\COM3", "\\\\.\\COM3"}, {"/dev/ttyS0", "\\\\.\\COM1"},
        {"/dev/ttyS9", "\\\\.\\COM10"}, {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolvePortName(c.name), c.device) << c.name;
    }
}

TEST(Win32SerialPort, OpenFailuresSayWhy) {
    auto port = MakeSystemSerialPort();
    EXPECT_FALSE(port->open(ResolvePortName("COM250")));
    EXPECT_EQ(port->lastOpenError(), ENOENT);
    EXPECT_FALSE(port->isOpen());
    EXPECT_FALSE(port->configure(38400));
    EXPECT_EQ(port->bytesWaiting(), -1);
    EXPECT_FALSE(port->waitForInput(0));
}

TEST(Win32CodePages, IconvNamesMapToCodePages) {
    const struct {
        const char* from;
        const char* to;
        std::string in;
        std::string out;  // empty: refused
    } cases[] = {
        {"UTF-8", "SHIFT_JIS", "\xE3\x81\x82", "\x82\xA0"},
        {"CP932", "UTF-8", "\x82\xA0", "\xE3\x81\x82"},
        {"ISO-8859-1", "UTF-8", "\xE9", "\xC3\xA9"},
        {"UTF-8", "WINDOWS-1252", "\xE2\x82\xAC", "\x80"},
        {"UTF-8", "ANSI_X3.4-1968", "\xC3\xA9", ""},  // no best-fit 'e'
        {"UTF-8", "NO-SUCH-CODE", "a", ""},
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        const bool converted = ConvertText(c.from, c.to, c.in, out);
        EXPECT_EQ(converted, !c.out.empty()) << c.from << " -> " << c.to;
        EXPECT_EQ(out, c.out.empty() ? "untouched" : c.out) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(LocaleCodesetOf("ja_JP.SJIS"), "CP932");
    EXPECT_EQ(LocaleCodesetOf(".65001"), "UTF-8");
    EXPECT_EQ(LocaleCodesetOf("nowhere"), LocaleCodeset());
    EXPECT_EQ(LocaleCodeset().rfind("CP", 0) == 0 || LocaleCodeset() == "UTF-8", true);
    // Two Shift-JIS bytes for the one character: it does not fit into three bytes with "ab".
    EXPECT_EQ(ShortenToBytesInCodeset("ab\xE3\x81\x82", "SHIFT_JIS", 3), "ab\xE3\x81\x82");
    EXPECT_EQ(ShortenToBytesInCodeset("ab\xE3\x81\x82z", "SHIFT_JIS", 3), "ab\xE3\x81\x82");
    EXPECT_EQ(ShortenToBytesInCodeset("abcd", "SHIFT_JIS", 2), "ab");
}

TEST(Win32ProgramFolder, PerUserFolderIsUnderLocalAppData) {
    const struct {
        std::optional<std::string> localAppData;
        std::string folder;
    } cases[] = {
        {"C:\\Users\\tech\\AppData\\Local", "C:/Users/tech/AppData/Local/Velmora/"},
        {"D:/data/", "D:/data/Velmora/"},
        {"", ""},
        {std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const EnvLookup env = [&](const std::string& name) -> std::optional<std::string> {
            return name == "LOCALAPPDATA" ? c.localAppData : std::nullopt;
        };
        EXPECT_EQ(UserProgramFolder(env), c.folder);
    }
}

// Windows locks bind every handle: a held lock keeps a conflicting open out.
TEST(Win32Files, LocksConflictAsAmongCopiesOfTheProgram) {
    test::TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = folder.file("shared.ini");
    ASSERT_TRUE(WriteFileAtomically(path, "old"));
    {
        UniqueFd reader = OpenLockedForReading(path);
        ASSERT_TRUE(reader.valid());
        EXPECT_TRUE(OpenLockedForReading(path).valid());
        EXPECT_FALSE(OpenLockedForWriting(path).valid());
    }
    UniqueFd writer = OpenLockedForWriting(path);
    ASSERT_TRUE(writer.valid());
    EXPECT_FALSE(OpenLockedForReading(path).valid());
    EXPECT_TRUE(ReplaceWholeFile(writer.get(), {'n', 'e', 'w'}));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(writer.get(), bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new");
}

// The target is replaced whole while a reader may hold it open, and only on commit.
TEST(Win32AtomicFile, ReplacesAnExistingFileOnCommitOnly) {
    test::TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = folder.file("backup.bkp");
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    {
        AtomicFile file;
        ASSERT_TRUE(file.Create(path));
        ASSERT_TRUE(file.Write("dropped"));
    }
    EXPECT_EQ(test::ReadBytes(path), "first");
    EXPECT_TRUE(WriteFileAtomically(path, "second"));
    EXPECT_EQ(test::ReadBytes(path), "second");
    EXPECT_EQ(folder.names(), (std::set<std::string>{"backup.bkp"}));  // nothing left behind
}

}  // namespace
}  // namespace velmora
