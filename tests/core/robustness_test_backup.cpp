// Damaged and hostile backup files against the backup reader and the description the file
// selection shows. A restore reads its file with the same reader, so nothing of a refused
// backup reaches a controller.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/robustness_test_support.h"
#include "model/actuator_table.h"
#include "data/file_selection.h"
#include "model/backup_file.h"
#include "support/scripted_ui.h"

namespace velmora {
namespace {

using test::TempFolder;
using test::robust::Mutator;
using test::robust::StoreRaw;
using test::robust::WriteDisk;

constexpr int kBackupDescriptionVariants = 200;

class RobustnessBackupFile : public ::testing::Test {
  protected:
    void SetUp() override {
        for (unsigned reg = kParameterFirstReg; reg <= kParameterLastReg; ++reg) {
            image.set(static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(reg * 37 % 251));
        }
        for (unsigned i = 0; i < kStepAreaRegCount; ++i) {
            image.set(static_cast<std::uint16_t>(kStepFirstReg + i),
                      static_cast<std::uint16_t>(i * 101 % 65521));
        }
        image.setUnitName(kName);
        image.set(kUnitNumberReg, 0x0101);  // a QTX16
        text = FormatBackupText(image, "1.10", "2014/06/09 14:05:31");
        path = folder.file("unit.bkp");
    }

    static constexpr const char* kName = "UNIT-A01";
    TempFolder folder;
    RegisterImage image;
    std::string text;
    std::string path;
};

// The check value leaves no room for a damaged backup that reads: each reads exactly as it was
// written or is refused with one message.
TEST_F(RobustnessBackupFile, DamagedBackupsReadWholeOrAreRefused) {
    Mutator mutator(41);
    test::ScriptedUi ui;
    for (int variant = 0; variant < kBackupDescriptionVariants; ++variant) {
        if (variant % 5 == 4) {
            WriteDisk(path, mutator.Small(test::robust::ScrambledForm(text)));
        } else {
            StoreRaw(path, variant == 0 ? text : mutator(text));
        }
        const BackupReading reading = ReadBackupFile(path);
        ASSERT_NE(reading.backup.has_value(), !reading.diagnostics.empty()) << variant;
        ASSERT_TRUE(variant != 0 || reading.backup.has_value());
        if (reading.backup) {
            ASSERT_EQ(reading.backup->image, image) << "variant " << variant;
        }
        ui.clear();
        stADP_FORMAT record;
        const int described = DescribeBackupFile(path, record, ui);
        ASSERT_EQ(described, reading.backup ? 0 : -1) << "variant " << variant;
        ASSERT_EQ(ui.messages().size(), described == 0 ? 0u : 1u);
        if (described == 0) {
            EXPECT_EQ(record.strSVNo, "1.10");
            EXPECT_EQ(record.strController, std::string("QTX16-") + kName);
        }
    }
}

// A backup cut anywhere is refused naming a line of the text.
TEST_F(RobustnessBackupFile, BackupCutAnywhereIsRefused) {
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length < text.size(); ++length) {
        if (length < 100 || length + 40 > text.size() || length % 97 == 0) {
            lengths.push_back(length);
        }
    }
    for (const std::size_t length : lengths) {
        StoreRaw(path, text.substr(0, length));
        const BackupReading reading = ReadBackupFile(path);
        ASSERT_FALSE(reading.backup.has_value()) << "length " << length;
        ASSERT_FALSE(reading.diagnostics.empty());
        EXPECT_GE(reading.diagnostics.front().line, 1) << "length " << length;
    }
    StoreRaw(path, text);
    EXPECT_TRUE(ReadBackupFile(path).backup.has_value());
}

}  // namespace
}  // namespace velmora
