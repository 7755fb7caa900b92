// The comparison of two register images, and the naming and pruning of the Backups folder.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "backup/auto_backup.h"
#include "model/image_comparison.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

TEST(ImageComparison, LeavesOutWhatOneSideDoesNotGive) {
    RegisterImage controller;
    RegisterImage dataSet;
    for (unsigned reg = kParameterFirstReg; reg <= kStepLastReg; ++reg) {
        if (RegisterImage::InArea(static_cast<std::uint16_t>(reg)))
            controller.set(static_cast<std::uint16_t>(reg), 7);
    }
    // A data set of two steps, one of its values otherwise than the controller holds.
    for (unsigned reg = kStepFirstReg; reg < kStepFirstReg + 2 * kStepRegCount; ++reg) {
        dataSet.set(static_cast<std::uint16_t>(reg), reg == kStepFirstReg + 17 ? 8 : 7);
    }
    const ImageComparison comparison = CompareWholeImages(controller, dataSet);
    EXPECT_EQ(comparison.registers.size(), 1408u);
    EXPECT_EQ(comparison.leftOut, 1408u - 32u);
    EXPECT_EQ(comparison.differing, 1u);
    EXPECT_FALSE(comparison.equal());
}

TEST(AutoBackupFolder, NamesAndPrunes) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 9;
    when.tm_hour = 14;
    when.tm_min = 15;
    when.tm_sec = 3;
    const std::vector<std::pair<std::string, std::string>> names = {
        {"VMA10-06I", "VMA10-06I-20261209-141503.bkp"},
        {std::string("UNIT 7/A\0\0\0", 11), "UNIT_7_A-20261209-141503.bkp"},
        {"  ", "controller-20261209-141503.bkp"},
        {"..", "controller-20261209-141503.bkp"},
    };
    for (const auto& [unit, expected] : names) {
        EXPECT_EQ(AutoBackupFileName(unit, when), expected);
    }

    test::TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const auto start = fs::file_time_type::clock::now() - std::chrono::hours(1);
    auto make = [&](int n) {
        const std::string path = folder.file("b" + std::to_string(1000 + n) + ".bkp");
        std::ofstream(path) << n;
        fs::last_write_time(path, start + std::chrono::seconds(n));
        return path;
    };
    const std::string oldest = make(0);
    for (int n = 1; n < 6; ++n) {
        make(n);
    }
    std::ofstream(folder.file("notes.txt")) << "not a backup";
    EXPECT_EQ(PruneAutoBackups(folder.path(), 3, oldest), 3u);
    EXPECT_EQ(folder.names(),
              (std::set<std::string>{"b1000.bkp", "b1004.bkp", "b1005.bkp", "notes.txt"}));
}

}  // namespace
}  // namespace velmora
