#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempFolder;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

mode_t DefaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Prepares the folder and returns the path to write to.
using Prepare = std::function<std::string(const TempFolder&)>;

TEST(AtomicFile, CommitReplacesTheTargetAndKeepsItsPermissions) {
    struct Case {
        const char* name;
        Prepare prepare;
        const char* stored;  // where the bytes must land
        mode_t mode;         // 0: the umask's default
    };
    const Case cases[] = {
        {"new file", [](const TempFolder& f) { return f.file("a.bin"); }, "a.bin", 0},
        {"older file",
         [](const TempFolder& f) {
             const std::string path = f.write("a.bin", "old, and longer than the new bytes");
             ::chmod(path.c_str(), 0640);
             return path;
         },
         "a.bin", 0640},
        {"through a link",
         [](const TempFolder& f) {
             f.write("real/a.bin", "old");
             ::chmod(f.file("real/a.bin").c_str(), 0604);
             fs::create_symlink("real/a.bin", f.file("link.bin"));
             return f.file("link.bin");
         },
         "real/a.bin", 0604},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        ASSERT_TRUE(folder.valid());
        const std::string path = c.prepare(folder);
        const auto namesBefore = folder.names();
        ASSERT_TRUE(WriteFileAtomically(path, std::string("new\0bytes", 9)));
        const std::string stored = folder.file(c.stored);
        EXPECT_EQ(ReadBytes(stored), std::string("new\0bytes", 9));
        EXPECT_EQ(ModeOf(stored), c.mode == 0 ? DefaultMode() : c.mode);
        auto expected = namesBefore;
        expected.insert(fs::path(c.stored).begin()->string());
        EXPECT_EQ(folder.names(), expected);  // nothing left beside it
        EXPECT_EQ(fs::is_symlink(path), path != stored);
    }
}

TEST(AtomicFile, UncommittedFileLeavesTheTargetAlone) {
    for (const bool discard : {true, false}) {
        SCOPED_TRACE(discard ? "discarded" : "dropped");
        TempFolder folder;
        ASSERT_TRUE(folder.valid());
        const std::string path = folder.write("a.bin", "old");
        {
            AtomicFile file;
            ASSERT_TRUE(file.Create(path) && file.Write("new"));
            EXPECT_EQ(fs::path(file.tempPath()).parent_path(), folder.path());
            if (discard) {
                file.Discard();
                EXPECT_FALSE(file.Commit());
            }
        }
        EXPECT_EQ(ReadBytes(path), "old");
        EXPECT_EQ(folder.names(), std::set<std::string>{"a.bin"});
    }
}

TEST(AtomicFile, RefusesTargetsItCannotReplace) {
    struct Case {
        const char* name;
        Prepare prepare;
        bool needsUnprivileged;  // permission bits do not stop root
    };
    const Case cases[] = {
        {"missing folder", [](const TempFolder& f) { return f.file("missing/a.bin"); }, false},
        {"a folder",
         [](const TempFolder& f) {
             fs::create_directory(f.file("a.bin"));
             return f.file("a.bin");
         },
         false},
        {"path names a folder", [](const TempFolder& f) { return f.path() + "/"; }, false},
        {"read-only file",
         [](const TempFolder& f) {
             const std::string path = f.write("a.bin", "old");
             ::chmod(path.c_str(), 0444);
             return path;
         },
         true},
        {"read-only folder",
         [](const TempFolder& f) {
             fs::create_directory(f.file("locked"));
             ::chmod(f.file("locked").c_str(), 0555);
             return f.file("locked/a.bin");
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsUnprivileged && ::geteuid() == 0) {
            continue;
        }
        TempFolder folder;
        ASSERT_TRUE(folder.valid());
        const std::string path = c.prepare(folder);
        const auto namesBefore = folder.names();
        AtomicFile file;
        EXPECT_FALSE(file.Create(path));
        EXPECT_FALSE(WriteFileAtomically(path, "new"));
        EXPECT_EQ(folder.names(), namesBefore);
    }
}

}  // namespace
}  // namespace velmora
