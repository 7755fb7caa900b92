// Where the program keeps its files: beside the executable when that copy may be written, else a
// per-user copy of the installed System folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/program_folder.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempFolder;

// The files an installation's System folder holds, with contents that tell the copies apart.
const std::map<std::string, std::string> kSystemFiles = {
    {"LanguageData.ini", "[APPLICATION_LANGUAGE_DATA]\nTITLE=Velmora\n"},
    {"CommunicationSetting.ini", "[COMMUNICATION_SETTING]\nCOM_BITRATE=38400\n"},
    {"FunctionalRestriction.ini", "[FUNCTIONAL_RESTRICTION_DATA]\n"},
    {"Data/Set/AdapterFile.vms", "list"},
    {"Data/Set/A_param.vmw", "param"},
};

EnvLookup FakeEnvironment(std::map<std::string, std::string> values) {
    return [values = std::move(values)](const std::string& name) -> std::optional<std::string> {
        const auto found = values.find(name);
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    };
}

void WriteSystem(const TempFolder& root, const std::string& systemFolder) {
    for (const auto& [name, contents] : kSystemFiles) {
        root.write(systemFolder + "/" + name, contents);
    }
}

// Every file below folder, relative to it, with its contents.
std::map<std::string, std::string> Files(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path().string());
        }
    }
    return files;
}

void ChmodTree(const std::string& folder, mode_t folderMode, mode_t fileMode) {
    std::vector<fs::path> folders{folder};
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_directory()) {
            folders.push_back(entry.path());
        } else {
            ::chmod(entry.path().c_str(), fileMode);
        }
    }
    // Folders last, deepest first, so that the walk above could still list them.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        ::chmod(it->c_str(), folderMode);
    }
}

enum class Layout {
    kPortable,          // app/velmora with a writable app/System
    kPortableReadOnly,  // the same, System and its files without write permission
    kSettingsReadOnly,  // writable System, but its settings file may not be written
    kInstalled,         // prefix/bin/velmora and prefix/share/velmora/System, read-only
};

struct Case {
    const char* name;
    Layout layout;
    std::map<std::string, std::string> env;  // "@" stands for the temporary root
    const char* expected;                    // relative to the root, ending in '/'
    const char* copiedFrom;                  // System folder copied there, or nullptr
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::string Expand(const std::string& text, const std::string& root) {
    const std::size_t at = text.find('@');
    return at == std::string::npos ? text : text.substr(0, at) + root + text.substr(at + 1);
}

class ResolveProgramFolderTest : public ::testing::TestWithParam<Case> {};

TEST_P(ResolveProgramFolderTest, PicksTheFolderAndCopiesTheSystemFolderWhenNeeded) {
    const Case& c = GetParam();
    const bool needsPermissions =
        c.layout == Layout::kPortableReadOnly || c.layout == Layout::kSettingsReadOnly;
    if (needsPermissions && ::geteuid() == 0) {
        GTEST_SKIP() << "root may write read-only files: permissions cannot be tried";
    }
    TempFolder root;
    ASSERT_TRUE(root.valid());
    std::string executableFolder;
    if (c.layout == Layout::kInstalled) {
        WriteSystem(root, "usr/share/velmora/System");
        root.write("usr/bin/velmora", "");
        ChmodTree(root.file("usr"), 0555, 0444);
        executableFolder = root.file("usr/bin/");
    } else {
        WriteSystem(root, "app/System");
        root.write("app/velmora", "");
        executableFolder = root.file("app/");
        if (c.layout == Layout::kPortableReadOnly) {
            ChmodTree(root.file("app"), 0555, 0444);
        } else if (c.layout == Layout::kSettingsReadOnly) {
            ::chmod(root.file("app/System/CommunicationSetting.ini").c_str(), 0444);
        }
    }
    std::map<std::string, std::string> env;
    for (const auto& [name, value] : c.env) {
        env[name] = Expand(value, root.path());
    }

    const std::string folder = ResolveProgramFolder(executableFolder, FakeEnvironment(env));

    EXPECT_EQ(folder, root.file(c.expected));
    if (c.copiedFrom != nullptr) {
        EXPECT_EQ(Files(folder + "System"), Files(root.file(c.copiedFrom)));
        // No half-made copy is left beside the finished one.
        EXPECT_EQ(root.names(c.expected), std::set<std::string>{"System"});
        struct stat info {};
        ASSERT_EQ(::stat((folder + "System/CommunicationSetting.ini").c_str(), &info), 0);
        EXPECT_NE(info.st_mode & S_IWUSR, 0u) << "the user's settings file must be writable";
    } else {
        EXPECT_FALSE(fs::exists(root.file("home/.local/share/velmora")));
        EXPECT_FALSE(fs::exists(root.file("xdg/velmora")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ResolveProgramFolderTest,
    ::testing::Values(
        Case{"PortableWritable", Layout::kPortable, {{"HOME", "@/home"}}, "app/", nullptr},
        Case{"PortableReadOnlyCopiesItsOwnSystem",
             Layout::kPortableReadOnly,
             {{"HOME", "@/home"}},
             "home/.local/share/velmora/",
             "app/System"},
        Case{"SettingsFileReadOnly",
             Layout::kSettingsReadOnly,
             {{"HOME", "@/home"}},
             "home/.local/share/velmora/",
             "app/System"},
        Case{"InstalledUsesXdgDataHome",
             Layout::kInstalled,
             {{"HOME", "@/home"}, {"XDG_DATA_HOME", "@/xdg"}},
             "xdg/velmora/",
             "usr/share/velmora/System"},
        Case{"InstalledWithoutXdgUsesHome",
             Layout::kInstalled,
             {{"HOME", "@/home"}},
             "home/.local/share/velmora/",
             "usr/share/velmora/System"},
        Case{"InstalledEmptyXdgUsesHome",
             Layout::kInstalled,
             {{"HOME", "@/home/"}, {"XDG_DATA_HOME", ""}},
             "home/.local/share/velmora/",
             "usr/share/velmora/System"},
        Case{"InstalledRelativeXdgIsIgnored",
             Layout::kInstalled,
             {{"HOME", "@/home"}, {"XDG_DATA_HOME", "relative/xdg"}},
             "home/.local/share/velmora/",
             "usr/share/velmora/System"},
        Case{"InstalledWithoutHomeReadsTheInstalledCopy",
             Layout::kInstalled,
             {},
             "usr/share/velmora/",
             nullptr}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

class UserCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.valid());
        WriteSystem(root, "usr/share/velmora/System");
        root.write("usr/bin/velmora", "");
        executableFolder = root.file("usr/bin/");
        env = FakeEnvironment({{"HOME", root.file("home")}});
        userFolder = root.file("home/.local/share/velmora/");
    }

    TempFolder root;
    std::string executableFolder;
    EnvLookup env;
    std::string userFolder;
};

TEST_F(UserCopyTest, IsMadeOnceThenReusedAndNeverOverwritten) {
    ASSERT_EQ(ResolveProgramFolder(executableFolder, env), userFolder);
    const std::string settings = userFolder + "System/CommunicationSetting.ini";
    const std::string installedSettings =
        root.file("usr/share/velmora/System/CommunicationSetting.ini");
    ASSERT_EQ(ReadBytes(settings), ReadBytes(installedSettings));

    // The user saves settings and removes a data set; an update changes the installed files.
    root.write("home/.local/share/velmora/System/CommunicationSetting.ini", "user's own\n");
    fs::remove_all(userFolder + "System/Data");
    root.write("usr/share/velmora/System/CommunicationSetting.ini", "newer installation\n");
    root.write("usr/share/velmora/System/Extra.ini", "new file\n");

    for (int start = 0; start < 2; ++start) {
        EXPECT_EQ(ResolveProgramFolder(executableFolder, env), userFolder);
    }
    EXPECT_EQ(ReadBytes(settings), "user's own\n");
    EXPECT_FALSE(fs::exists(userFolder + "System/Data"));
    EXPECT_FALSE(fs::exists(userFolder + "System/Extra.ini"));
    EXPECT_EQ(root.names("home/.local/share/velmora"), std::set<std::string>{"System"});
}

TEST_F(UserCopyTest, AnExistingEmptyUserFolderGetsTheCopy) {
    root.write("home/.local/share/velmora/notes.txt", "kept");
    ASSERT_EQ(ResolveProgramFolder(executableFolder, env), userFolder);
    EXPECT_EQ(Files(userFolder + "System"), Files(root.file("usr/share/velmora/System")));
    EXPECT_EQ(ReadBytes(userFolder + "notes.txt"), "kept");
}

TEST_F(UserCopyTest, AUserFolderThatCannotBeMadeFallsBackOnTheInstalledCopy) {
    // A file where the per-user folder's parent should be.
    root.write("home/.local", "not a folder");
    EXPECT_EQ(ResolveProgramFolder(executableFolder, env), root.file("usr/share/velmora/"));
}

// The per-user copy is never refreshed, so the program needs to know where its own files are.
TEST_F(UserCopyTest, TheShippedFolderIsTheInstalledOne) {
    EXPECT_EQ(ShippedProgramFolder(executableFolder), root.file("usr/share/velmora/"));
    WriteSystem(root, "usr/bin/System");  // a System beside the program comes first
    EXPECT_EQ(ShippedProgramFolder(executableFolder), executableFolder);
    EXPECT_EQ(ShippedProgramFolder(root.file("home/")), "");
    EXPECT_EQ(ShippedProgramFolder(""), "");
}

TEST(InstalledShareFolderTest, LiesBesideBinUnderThePrefix) {
    const struct {
        const char* executableFolder;
        const char* expected;
    } cases[] = {
        {"/usr/bin/", "/usr/share/velmora/"},
        {"/usr/bin", "/usr/share/velmora/"},
        {"/opt/velmora/bin/", "/opt/velmora/share/velmora/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(InstalledShareFolder(c.executableFolder), c.expected) << c.executableFolder;
    }
}

TEST(ResolveProgramFolderEdgeTest, NoExecutableFolderStaysEmpty) {
    EXPECT_EQ(ResolveProgramFolder("", FakeEnvironment({{"HOME", "/nonexistent"}})), "");
}

}  // namespace
}  // namespace velmora
