#include "version/version_page_model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sysfiles/app_state.h"
#include "support/link_fixture.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "platform/folder_utils.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::LinkFixture;
using test::ReadBytes;
using test::ScriptedUi;
using test::TempFolder;

// Every entry below folder with its bytes ("<dir>" for folders, "-> target" for links).
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> entries;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
        const std::string relative = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            entries[relative] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            entries[relative] = "<dir>";
        } else {
            entries[relative] = ReadBytes(entry.path().string());
        }
    }
    return entries;
}

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// ---- Texts and the controller version ------------------------------------------------------

class VersionPageTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = App().moduleFolder;
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        LoadMessageTable(ui);
    }
    void TearDown() override {
        ResetLanguageStateForTesting();
        App().moduleFolder = saved_;
    }
    ScriptedUi ui;

  private:
    std::string saved_;
};

TEST_F(VersionPageTextTest, OpensWithProgramVersionNoDataTextAndNoControllerVersion) {
    VersionPageModel page;
    EXPECT_EQ(page.softwareVersionText(), "Ver1.10");
    ASSERT_FALSE(MessageText(kDlgTopTab3TxtNodatafile).empty());
    EXPECT_EQ(page.referenceVersionText(), MessageText(kDlgTopTab3TxtNodatafile));
    EXPECT_EQ(page.controllerVersionText(), "---");
    page.setReferenceVersionText("V2.03");
    EXPECT_EQ(page.referenceVersionText(), "V2.03");
    page.resetReferenceVersionText();
    EXPECT_EQ(page.referenceVersionText(), MessageText(kDlgTopTab3TxtNodatafile));
}

struct ControllerVersionCase {
    const char* name;
    std::uint16_t version;
    int activeStationId;
    bool readOkFirst;
    int expectedResult;
    const char* expectedText;
};

class VersionPageControllerTest : public LinkFixture,
                                  public ::testing::WithParamInterface<ControllerVersionCase> {
  protected:
    void SetUp() override {
        savedStation_ = App().commSettings.activeStationId;
        LinkFixture::SetUp();
    }
    void TearDown() override {
        LinkFixture::TearDown();
        App().commSettings.activeStationId = savedStation_;
    }

  private:
    int savedStation_ = 0;
};

TEST_P(VersionPageControllerTest, ShowsTheSvNumberOrDashes) {
    const ControllerVersionCase& c = GetParam();
    controller().setVersion(c.version);
    VersionPageModel page;
    if (c.readOkFirst) {
        App().commSettings.activeStationId = 1;
        ASSERT_EQ(page.ReadControllerVersion(link, ui), 0);
        ASSERT_NE(page.controllerVersionText(), "---");
        ui.clear();
    }
    App().commSettings.activeStationId = c.activeStationId;
    EXPECT_EQ(page.ReadControllerVersion(link, ui), c.expectedResult);
    EXPECT_EQ(page.controllerVersionText(), c.expectedText);
    // A failed read has shown the link's time-out message; a good one shows nothing.
    EXPECT_EQ(ui.messages().size(), c.expectedResult == 0 ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionPageControllerTest,
    ::testing::Values(ControllerVersionCase{"Register210", 210, 1, false, 0, "SV 2.10"},
                      ControllerVersionCase{"Register110", 110, 1, false, 0, "SV 1.10"},
                      ControllerVersionCase{"LowByteOfStation", 305, 257, false, 0, "SV 3.05"},
                      ControllerVersionCase{"NoAnswer", 210, 7, false, -1, "---"},
                      ControllerVersionCase{"NoAnswerAfterAnAnswer", 210, 7, true, -1, "---"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Data update -------------------------------------------------------------------------------

class DataUpdateFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = App().moduleFolder;
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        LoadMessageTable(ui);
        ASSERT_FALSE(MessageText(kMsgFileOverwriteTitle).empty());
        ASSERT_TRUE(module.valid());
        ASSERT_TRUE(chosen.valid());
        App().moduleFolder = module.path() + "/";
    }
    void TearDown() override {
        ResetLanguageStateForTesting();
        App().moduleFolder = saved_;
    }

    std::string DataFolder() const { return module.file("System/Data"); }

    // A data set: the list file, a parameter file and a file one folder down, tagged.
    static void MakeSet(const TempFolder& root, const std::string& relative,
                        const std::string& tag) {
        const std::string base = relative.empty() ? "" : relative + "/";
        root.write(base + "AdapterFile.vms", "list " + tag + "\r\n");
        root.write(base + "PARAM_" + tag + ".vmw", "parameters of " + tag);
        root.write(base + "step/STEP.vmw", "steps of " + tag);
    }
    // An installed set with a file the new one does not have.
    void MakeInstalledSet(const std::string& name) const {
        module.write("System/Data/" + name + "/AdapterFile.vms", "old list of " + name);
        module.write("System/Data/" + name + "/old-only.txt", "old");
    }

    void ExpectOneMessage(int alarm, int countermeasure) {
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, ComposeAlarmText(alarm, countermeasure));
        EXPECT_EQ(messages[0].title, MessageText(kMsgFileOverwriteTitle));
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
    }

    ScriptedUi ui;
    TempFolder module;
    TempFolder chosen;

  private:
    std::string saved_;
};

struct InstallCase {
    const char* name;
    std::vector<std::string> sets;       // folders below the chosen one; "" is the chosen folder
    std::vector<std::string> installed;  // names already in the data folder; "@chosen" its name
    std::size_t expectedQuestions;
};

class DataUpdateInstallTest : public DataUpdateFixture,
                              public ::testing::WithParamInterface<InstallCase> {};

TEST_P(DataUpdateInstallTest, CopiesEverySetUnderItsOwnNameAskingAtMostOnce) {
    const InstallCase& c = GetParam();
    std::set<std::string> names;
    for (const std::string& set : c.sets) {
        MakeSet(chosen, set, set.empty() ? "self" : BaseName(set));
        names.insert(BaseName(set.empty() ? chosen.path() : set));
    }
    for (const std::string& name : c.installed) {
        const std::string installed = name == "@chosen" ? BaseName(chosen.path()) : name;
        MakeInstalledSet(installed);
        names.insert(installed);
    }
    bool reload = false;
    EXPECT_EQ(RunDataUpdate(chosen.path(), ui, reload), 0);
    EXPECT_TRUE(reload);
    // Installed sets the update does not name stay; no temporary folders are left behind.
    EXPECT_EQ(module.names("System/Data"), names);
    for (const std::string& set : c.sets) {
        const std::string source = set.empty() ? chosen.path() : chosen.file(set);
        EXPECT_EQ(Snapshot(DataFolder() + "/" + BaseName(source)), Snapshot(source)) << set;
        // The set's folder gets the mode the umask gives new folders, as a copied one would.
        fs::create_directory(module.file("plain"));
        EXPECT_EQ(fs::status(DataFolder() + "/" + BaseName(source)).permissions(),
                  fs::status(module.file("plain")).permissions());
    }
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), c.expectedQuestions + 1);
    for (std::size_t i = 0; i < c.expectedQuestions; ++i) {
        EXPECT_EQ(messages[i].text, MessageText(kMsgFileOverwriteCheckContents));
        EXPECT_EQ(messages[i].icon, MessageIcon::Question);
        EXPECT_EQ(messages[i].buttons, MessageButtons::YesNo);
    }
    EXPECT_EQ(messages.back().text, MessageText(kMsgFileOverwriteOkContents));
    EXPECT_EQ(messages.back().title, MessageText(kMsgFileOverwriteTitle));
    EXPECT_EQ(messages.back().icon, MessageIcon::Information);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, DataUpdateInstallTest,
    ::testing::Values(InstallCase{"ChosenFolderIsASet", {""}, {}, 0},
                      InstallCase{"ChosenFolderReplacesItsOldCopy", {""}, {"@chosen"}, 1},
                      InstallCase{"TwoSetsNew", {"A", "deep/B"}, {}, 0},
                      InstallCase{"TwoSetsOneExists", {"A", "deep/B"}, {"B"}, 1},
                      InstallCase{"TwoSetsBothExist", {"A", "deep/B"}, {"A", "B"}, 1},
                      InstallCase{"OtherSetsStay", {"A"}, {"KEEP"}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct DeclineCase {
    const char* name;
    std::size_t declinedSet;  // position in walk order of the set that already exists
};

class DataUpdateDeclineTest : public DataUpdateFixture,
                              public ::testing::WithParamInterface<DeclineCase> {};

TEST_P(DataUpdateDeclineTest, NoStopsAtThatSetKeepingEarlierCopiesSilently) {
    const DeclineCase& c = GetParam();
    MakeSet(chosen, "A", "A");
    MakeSet(chosen, "deep/B", "B");
    std::vector<std::string> order;
    ASSERT_EQ(FindFileInTree(chosen.path(), "AdapterFile.vms", order), 1);
    ASSERT_EQ(order.size(), 2u);
    std::vector<std::string> sources;
    for (const std::string& listFile : order) {
        sources.push_back(listFile.substr(0, listFile.find_last_of('/')));
    }
    const std::string declined = BaseName(sources[c.declinedSet]);
    MakeInstalledSet(declined);
    const auto oldSet = Snapshot(DataFolder() + "/" + declined);
    ui.queueAnswer(MessageAnswer::No);

    bool reload = true;
    EXPECT_EQ(RunDataUpdate(chosen.path(), ui, reload), 1);
    EXPECT_FALSE(reload);
    EXPECT_EQ(Snapshot(DataFolder() + "/" + declined), oldSet);
    std::set<std::string> expectedNames = {declined};
    for (std::size_t i = 0; i < c.declinedSet; ++i) {
        expectedNames.insert(BaseName(sources[i]));
        EXPECT_EQ(Snapshot(DataFolder() + "/" + BaseName(sources[i])), Snapshot(sources[i]));
    }
    EXPECT_EQ(module.names("System/Data"), expectedNames);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, MessageIcon::Question);
}

INSTANTIATE_TEST_SUITE_P(Positions, DataUpdateDeclineTest,
                         ::testing::Values(DeclineCase{"FirstSet", 0}, DeclineCase{"SecondSet", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

using DataUpdateTest = DataUpdateFixture;

TEST_F(DataUpdateTest, NoListFileShowsWrongSelectionAndChangesNothing) {
    chosen.write("A/adapterfile.vms", "wrong case");
    chosen.write("B/AdapterFile.vms.bak", "longer name");
    chosen.write("B/PARAM.vmw", "parameters");
    module.write("System/LanguageData.ini", "[APPLICATION_LANGUAGE_DATA]\r\n");
    const auto moduleBefore = Snapshot(module.path());
    const auto chosenBefore = Snapshot(chosen.path());
    bool reload = true;
    EXPECT_EQ(RunDataUpdate(chosen.path(), ui, reload), -1);
    EXPECT_FALSE(reload);
    ExpectOneMessage(kMsgFileOverwriteWrongSelectionContents,
                     kMsgFileOverwriteWrongSelectionCountermeasureContents);
    EXPECT_EQ(Snapshot(module.path()), moduleBefore);
    EXPECT_EQ(Snapshot(chosen.path()), chosenBefore);
}

struct CopyFailureCase {
    const char* name;
    bool fifo;  // else a dangling link
    bool installed;
};

class DataUpdateCopyFailureTest : public DataUpdateFixture,
                                  public ::testing::WithParamInterface<CopyFailureCase> {};

TEST_P(DataUpdateCopyFailureTest, LeavesTheOldSetExactlyAsItWas) {
    const CopyFailureCase& c = GetParam();
    MakeSet(chosen, "NEWDATA", "NEW");
    chosen.write("NEWDATA/z/more.vmw", "more");
    const std::string bad = chosen.file("NEWDATA/z/broken.vmw");
    if (c.fifo) {
        ASSERT_EQ(::mkfifo(bad.c_str(), 0644), 0);
    } else {
        fs::create_symlink(chosen.file("NEWDATA/z/gone.vmw"), bad);
    }
    if (c.installed) {
        MakeInstalledSet("NEWDATA");
    }
    fs::create_directories(DataFolder());
    const auto before = Snapshot(DataFolder());
    bool reload = true;
    EXPECT_EQ(RunDataUpdate(chosen.path(), ui, reload), -1);
    EXPECT_FALSE(reload);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), c.installed ? 2u : 1u);
    if (c.installed) {
        EXPECT_EQ(messages[0].icon, MessageIcon::Question);
    }
    EXPECT_EQ(messages.back().text, ComposeAlarmText(kMsgFileOverwriteNgContents,
                                                     kMsgFileOverwriteNgCountermeasureContents));
    EXPECT_EQ(messages.back().icon, MessageIcon::Error);
    EXPECT_EQ(Snapshot(DataFolder()), before);
    EXPECT_EQ(module.names("System/Data"),
              c.installed ? std::set<std::string>{"NEWDATA"} : std::set<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Sources, DataUpdateCopyFailureTest,
                         ::testing::Values(CopyFailureCase{"FifoOverOldSet", true, true},
                                           CopyFailureCase{"DanglingLinkOverOldSet", false, true},
                                           CopyFailureCase{"FifoNoOldSet", true, false},
                                           CopyFailureCase{"DanglingLinkNoOldSet", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct OverlapCase {
    const char* name;
    const char* chosenInModule;  // the chosen folder, relative to the module folder
    bool throughLink;
};

class DataUpdateOverlapTest : public DataUpdateFixture,
                              public ::testing::WithParamInterface<OverlapCase> {};

TEST_P(DataUpdateOverlapTest, RefusesAChoiceThatWouldReplaceItsOwnSource) {
    const OverlapCase& c = GetParam();
    MakeSet(module, "System/Data/SET", "SET");
    // A new set outside the data folder that a walk from the module folder also finds.
    MakeSet(module, "Incoming/NEW", "NEW");
    std::string folder = module.file(c.chosenInModule);
    if (c.throughLink) {
        // Under the set's own name, so the link's target is the set it would replace.
        fs::create_directory_symlink(folder, chosen.file(BaseName(folder)));
        folder = chosen.file(BaseName(folder));
    }
    const auto before = Snapshot(module.path());
    bool reload = true;
    EXPECT_EQ(RunDataUpdate(folder, ui, reload), -1);
    EXPECT_FALSE(reload);
    ExpectOneMessage(kMsgFileOverwriteNgContents, kMsgFileOverwriteNgCountermeasureContents);
    EXPECT_EQ(Snapshot(module.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, DataUpdateOverlapTest,
    ::testing::Values(OverlapCase{"InstalledSetItself", "System/Data/SET", false},
                      OverlapCase{"InstalledSetThroughLink", "System/Data/SET", true},
                      OverlapCase{"DataFolder", "System/Data", false},
                      OverlapCase{"ModuleFolder", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
