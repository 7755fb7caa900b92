#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/folder_utils.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class FolderUtilsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora_folder_utils_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (const auto& entry : fs::recursive_directory_iterator(root_, ignored)) {
            if (entry.is_directory() && !entry.is_symlink()) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
            }
        }
        fs::remove_all(root_, ignored);
    }

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

    // Makes the file and any folders above it.
    void Write(const std::string& relative, const std::string& contents) const {
        const fs::path path = Path(relative);
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }

    void MakeFolder(const std::string& relative) const { fs::create_directories(Path(relative)); }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Every path below folder, relative to it, links not followed.
    static std::set<std::string> Listing(const std::string& folder) {
        std::set<std::string> paths;
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
            paths.insert(fs::relative(entry.path(), folder).string());
        }
        return paths;
    }

    std::string root_;
};

// --- FindFileInTree -------------------------------------------------------------------------

struct FindCase {
    const char* name;
    int result;
    std::vector<std::string> hits;  // relative to the searched folder
};

class FindFileInTreeTest : public FolderUtilsTest,
                           public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindFileInTreeTest, AppendsEveryExactWholeNameMatch) {
    Write("tree/a/AdapterFile.vms", "1");
    Write("tree/b/c/AdapterFile.vms", "2");
    Write("tree/b/adapterfile.vms", "3");
    Write("tree/AdapterFile.vms.bak", "4");
    Write("tree/top.txt", "5");
    MakeFolder("tree/empty");
    Write("outside/AdapterFile.vms", "6");
    fs::create_directory_symlink(Path("outside"), Path("tree/linked"));

    const FindCase& c = GetParam();
    std::vector<std::string> found = {"kept"};
    EXPECT_EQ(FindFileInTree(Path("tree"), c.name, found), c.result);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front(), "kept");
    std::multiset<std::string> expected;
    for (const auto& hit : c.hits) {
        expected.insert(Path("tree/" + hit));
    }
    EXPECT_EQ(std::multiset<std::string>(found.begin() + 1, found.end()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FindFileInTreeTest,
    ::testing::Values(FindCase{"AdapterFile.vms", 1, {"a/AdapterFile.vms", "b/c/AdapterFile.vms"}},
                      FindCase{"adapterfile.vms", 1, {"b/adapterfile.vms"}},
                      FindCase{"ADAPTERFILE.VMS", 0, {}}, FindCase{"AdapterFile", 0, {}},
                      FindCase{"top.txt", 1, {"top.txt"}}, FindCase{"empty", 0, {}},
                      FindCase{"linked", 1, {"linked"}}));

TEST_F(FolderUtilsTest, FindFileInTreeOnAMissingFolderFindsNothing) {
    std::vector<std::string> found;
    EXPECT_EQ(FindFileInTree(Path("missing"), "x", found), 0);
    EXPECT_TRUE(found.empty());
}

// --- DeleteTree -----------------------------------------------------------------------------

TEST_F(FolderUtilsTest, DeleteTreeOnAMissingFolderFailsAndDeletesNothing) {
    Write("keep/file.txt", "x");
    EXPECT_EQ(DeleteTree(Path("keep/missing")), -1);
    EXPECT_EQ(Listing(root_), (std::set<std::string>{"keep", "keep/file.txt"}));
}

TEST_F(FolderUtilsTest, DeleteTreeRemovesEverythingAndTheFolderButNotLinkTargets) {
    Write("tree/a.txt", "a");
    Write("tree/sub/b.txt", "b");
    Write("tree/sub/deeper/c.txt", "c");
    MakeFolder("tree/empty");
    Write("outside/kept.txt", "k");
    fs::create_directory_symlink(Path("outside"), Path("tree/sub/to_outside"));
    fs::create_symlink(Path("outside/kept.txt"), Path("tree/to_file"));

    EXPECT_EQ(DeleteTree(Path("tree")), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("tree"))));
    EXPECT_EQ(Listing(root_), (std::set<std::string>{"outside", "outside/kept.txt"}));
    EXPECT_EQ(Read(Path("outside/kept.txt")), "k");
}

TEST_F(FolderUtilsTest, DeleteTreeGoesOnPastAFileItCannotRemove) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    Write("tree/locked/stuck.txt", "s");
    Write("tree/free.txt", "f");
    ASSERT_EQ(chmod(Path("tree/locked").c_str(), 0555), 0);
    EXPECT_EQ(DeleteTree(Path("tree")), 0);
    EXPECT_TRUE(fs::exists(Path("tree/locked/stuck.txt")));
    EXPECT_FALSE(fs::exists(Path("tree/free.txt")));
}

// --- CopyTree -------------------------------------------------------------------------------

TEST_F(FolderUtilsTest, CopyTreeOfOnlyAnEmptySubfolderCreatesNothing) {
    MakeFolder("src/empty");
    EXPECT_EQ(CopyTree(Path("src"), Path("dst")), 0);
    EXPECT_FALSE(fs::exists(Path("dst")));
    MakeFolder("dst2");
    EXPECT_EQ(CopyTree(Path("src"), Path("dst2")), 0);
    EXPECT_TRUE(Listing(Path("dst2")).empty());
}

TEST_F(FolderUtilsTest, CopyTreeCreatesOnlyTheFoldersThatReceiveFiles) {
    Write("src/top.txt", "top");
    Write("src/sub/inner.bin", std::string("\0\x01\xff", 3));
    MakeFolder("src/empty");
    MakeFolder("src/sub/also_empty");

    EXPECT_EQ(CopyTree(Path("src"), Path("dst")), 0);
    EXPECT_EQ(Listing(Path("dst")), (std::set<std::string>{"top.txt", "sub", "sub/inner.bin"}));
    EXPECT_EQ(Read(Path("dst/top.txt")), "top");
    EXPECT_EQ(Read(Path("dst/sub/inner.bin")), std::string("\0\x01\xff", 3));
}

TEST_F(FolderUtilsTest, CopyTreeNeedsTheDestinationOfAFolderWithoutOwnFiles) {
    Write("src/sub/inner.txt", "i");
    EXPECT_EQ(CopyTree(Path("src"), Path("dst")), -1);
    EXPECT_FALSE(fs::exists(Path("dst")));

    MakeFolder("dst");
    EXPECT_EQ(CopyTree(Path("src"), Path("dst")), 0);
    EXPECT_EQ(Read(Path("dst/sub/inner.txt")), "i");
}

TEST_F(FolderUtilsTest, CopyTreeOverwritesAndKeepsPermissionBits) {
    Write("src/run.sh", "new contents");
    Write("src/private.txt", "p");
    ASSERT_EQ(chmod(Path("src/run.sh").c_str(), 0755), 0);
    ASSERT_EQ(chmod(Path("src/private.txt").c_str(), 0640), 0);
    Write("dst/run.sh", "old and longer contents");
    Write("dst/unrelated.txt", "u");

    EXPECT_EQ(CopyTree(Path("src"), Path("dst")), 0);
    EXPECT_EQ(Read(Path("dst/run.sh")), "new contents");
    EXPECT_EQ(Read(Path("dst/unrelated.txt")), "u");
    struct {
        const char* name;
        mode_t mode;
    } const cases[] = {{"dst/run.sh", 0755}, {"dst/private.txt", 0640}};
    for (const auto& c : cases) {
        struct stat info {};
        ASSERT_EQ(stat(Path(c.name).c_str(), &info), 0) << c.name;
        EXPECT_EQ(info.st_mode & 07777, c.mode) << c.name;
    }
}

TEST_F(FolderUtilsTest, CopyTreeCopiesTheContentsBehindAFileLink) {
    Write("outside/real.txt", "real");
    MakeFolder("src");
    fs::create_symlink(Path("outside/real.txt"), Path("src/link.txt"));
    EXPECT_EQ(CopyTree(Path("src"), Path("dst")), 0);
    EXPECT_FALSE(fs::is_symlink(Path("dst/link.txt")));
    EXPECT_EQ(Read(Path("dst/link.txt")), "real");
}

enum class Arrange { kNothing, kSourceWithFile, kDestinationIsAFile, kLinkToFolder, kDanglingLink };

struct CopyFailureCase {
    const char* what;
    Arrange arrange;
    const char* source;
    const char* destination;
};

class CopyTreeFailureTest : public FolderUtilsTest,
                            public ::testing::WithParamInterface<CopyFailureCase> {
  protected:
    void Prepare(Arrange arrange) const {
        switch (arrange) {
            case Arrange::kNothing:
                break;
            case Arrange::kSourceWithFile:
                Write("src/a.txt", "a");
                break;
            case Arrange::kDestinationIsAFile:
                Write("src/a.txt", "a");
                Write("dst", "plain file");
                break;
            case Arrange::kLinkToFolder:
                Write("outside/x.txt", "x");
                MakeFolder("src");
                fs::create_directory_symlink(Path("outside"), Path("src/folder_link"));
                break;
            case Arrange::kDanglingLink:
                MakeFolder("src");
                fs::create_symlink(Path("nowhere"), Path("src/dangling"));
                break;
        }
    }
};

TEST_P(CopyTreeFailureTest, StopsWithMinusOne) {
    const CopyFailureCase& c = GetParam();
    Prepare(c.arrange);
    EXPECT_EQ(CopyTree(Path(c.source), Path(c.destination)), -1) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CopyTreeFailureTest,
    ::testing::Values(
        CopyFailureCase{"missing source", Arrange::kNothing, "missing", "dst"},
        CopyFailureCase{"destination parent missing", Arrange::kSourceWithFile, "src", "no/parent"},
        CopyFailureCase{"destination is a file", Arrange::kDestinationIsAFile, "src", "dst"},
        CopyFailureCase{"link to a folder is not followed", Arrange::kLinkToFolder, "src", "dst"},
        CopyFailureCase{"dangling link", Arrange::kDanglingLink, "src", "dst"}));

TEST_F(FolderUtilsTest, CopyTreeOntoItselfLeavesTheSourceIntact) {
    Write("src/a.txt", "contents");
    EXPECT_EQ(CopyTree(Path("src"), Path("src")), -1);
    EXPECT_EQ(Read(Path("src/a.txt")), "contents");
}

// --- Sorting --------------------------------------------------------------------------------

struct SortCase {
    std::vector<std::string> input;
    std::vector<std::string> expected;
};

class SortTextListTest : public ::testing::TestWithParam<SortCase> {};

TEST_P(SortTextListTest, SortsThreeOrMoreCaseInsensitively) {
    std::vector<std::string> list = GetParam().input;
    SortTextList(list);
    EXPECT_EQ(list, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SortTextListTest,
    ::testing::Values(SortCase{{}, {}}, SortCase{{"b"}, {"b"}}, SortCase{{"b", "a"}, {"b", "a"}},
                      SortCase{{"b", "a", "c"}, {"a", "b", "c"}},
                      SortCase{{"beta", "Alpha", "alpha2"}, {"Alpha", "alpha2", "beta"}},
                      SortCase{{"b", "A", "c", "B"}, {"A", "b", "B", "c"}},
                      SortCase{{"ab", "a", "AA"}, {"a", "AA", "ab"}},
                      SortCase{{"10", "9", "100"}, {"10", "100", "9"}}));

class SortNumberListTest : public ::testing::TestWithParam<SortCase> {};

TEST_P(SortNumberListTest, SortsThreeOrMoreByLeadingFloat) {
    std::vector<std::string> list = GetParam().input;
    SortNumberList(list);
    EXPECT_EQ(list, GetParam().expected);
}

// Lists of leads and strokes are written with a point; a comma-decimal locale must not cut
// "12.5" to 12.
TEST_P(SortNumberListTest, SortsTheSameUnderACommaDecimalLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this system";
    }
    std::vector<std::string> list = GetParam().input;
    SortNumberList(list);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(list, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SortNumberListTest,
    ::testing::Values(SortCase{{"10", "9", "100"}, {"9", "10", "100"}},
                      SortCase{{"10", "9"}, {"10", "9"}}, SortCase{{"x"}, {"x"}},
                      SortCase{{"2.5", "-1", "2.25"}, {"-1", "2.25", "2.5"}},
                      SortCase{{" 7", "6", "8"}, {"6", " 7", "8"}},
                      SortCase{{"30mm", "5", "12.5mm"}, {"5", "12.5mm", "30mm"}},
                      SortCase{{"12.5", "12", "+12.25"}, {"12", "+12.25", "12.5"}},
                      // Beyond float's range: infinities, and zero for a tiny number.
                      SortCase{{"1e50", "5", "-1e50", "1e-50"}, {"-1e50", "1e-50", "5", "1e50"}},
                      // Values equal in single precision keep their order.
                      SortCase{{"16777217", "16777216", "1"}, {"1", "16777217", "16777216"}},
                      // Entries without a number come last, in case-insensitive order.
                      SortCase{{"abc", "3", "Zed", "1", "apple", "nan"},
                               {"1", "3", "abc", "apple", "nan", "Zed"}}));

}  // namespace
}  // namespace velmora
