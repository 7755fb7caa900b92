// Damaged and hostile backup files against their readers: the description the file
// selection shows and the restore that writes a backup into a controller (on an in-process
// line, so a whole restore costs milliseconds).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "backup/backup_format.h"
#include "backup/backup_run.h"
#include "core/robustness_test_support.h"
#include "data/actuator_table.h"
#include "data/field_reader.h"
#include "data/file_selection.h"
#include "link/register_tables.h"
#include "support/scripted_ui.h"
#include "support/transmit_support.h"
#include "transmit/restore.h"

namespace velmora {
namespace {

using test::TempFolder;
using test::robust::Mutator;
using test::robust::ReadWhole;
using test::robust::StoreRaw;
using test::robust::WriteDisk;

constexpr int kBackupDescriptionVariants = 200;
constexpr int kRestoreVariants = 50;

// ---------------------------------------------------------------------------------------------
// Backup-file description (file selection)

class RobustnessBackupDescription : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetRegisterTablesForTesting();
        auto& parameters = ParameterTable();
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            parameters[i].readValue = static_cast<std::uint32_t>(i * 37 % 251);
        }
        const int unitRow = FindParameterRowByRegister(0x008E);
        ASSERT_GE(unitRow, 0);
        parameters[static_cast<std::size_t>(unitRow)].readValue = 0x0101;  // a QTX16
        auto& steps = StepTable();
        for (std::size_t i = 0; i < steps.size(); ++i) {
            steps[i].readValue = static_cast<std::uint32_t>(i * 101 % 65521);
        }
        text = BuildBackupText("1.10", "2014/06/09 14:05:31", kName, parameters, steps);
        ResetRegisterTablesForTesting();
        path = folder.file("unit.bkp");
    }
    void TearDown() override { ResetRegisterTablesForTesting(); }

    static constexpr const char* kName = "UNIT-A01";
    TempFolder folder;
    std::string text;
    std::string path;
};

TEST_F(RobustnessBackupDescription, DamagedBackupsGiveWholeValuesOrNone) {
    Mutator mutator(41);
    test::ScriptedUi ui;
    for (int variant = 0; variant < kBackupDescriptionVariants; ++variant) {
        const bool onDisk = variant % 5 == 4;
        if (onDisk) {
            WriteDisk(path, mutator.Small(test::robust::ScrambledForm(text)));
        } else {
            StoreRaw(path, variant == 0 ? text : mutator(text));
        }
        const std::size_t diskSize = ReadWhole(path).size();
        BackupDescription description;
        const int read = ReadBackupDescription(path, description);
        ASSERT_TRUE(read == 0 || read == -1);
        if (diskSize % 4 != 0) {
            ASSERT_EQ(read, -1) << "variant " << variant;
        }
        for (const std::string* field :
             {&description.marker, &description.controllerVersion, &description.programVersion,
              &description.timestamp, &description.unitName}) {
            ASSERT_LE(field->size(), kMaxFieldBytes);
        }
        ui.clear();
        stADP_FORMAT record;
        const int described = DescribeBackupFile(path, record, ui);
        ASSERT_EQ(described, diskSize % 4 == 0 ? 0 : -1) << "variant " << variant;
        ASSERT_EQ(ui.messages().size(), described == 0 ? 0u : 1u);
        if (described != 0) {
            continue;
        }
        ASSERT_EQ(NormaliseSvNumber(record.strSVNo), record.strSVNo);
        ASSERT_LE(record.strPartNo.size(), kMaxFieldBytes);
        if (record.strController != kNotInBackup) {
            // A damaged unit number may name another model, never a made-up one.
            const std::string suffix = "-" + record.strPartNo;
            ASSERT_GT(record.strController.size(), suffix.size());
            const std::string model =
                record.strController.substr(0, record.strController.size() - suffix.size());
            ASSERT_EQ(record.strController.substr(model.size()), suffix);
            ASSERT_TRUE(model == "QTX16" || model == "QTX1A" || model == "QTX11" ||
                        model == "QTX26")
                << "variant " << variant << ": " << record.strController;
        }
        if (variant == 0) {
            EXPECT_EQ(description.marker, kBackupMarker);
            EXPECT_EQ(description.controllerVersion, "1.10");
            EXPECT_EQ(description.unitName, kName);
            EXPECT_EQ(record.strSVNo, "1.10");
            EXPECT_EQ(record.strController, std::string("QTX16-") + kName);
        }
    }
}

// A backup cut at every length up to past the unit number row: each value is either whole or
// missing, never a cut-off piece.
TEST_F(RobustnessBackupDescription, BackupCutAtEveryLengthNeverGivesPartOfAValue) {
    const std::size_t unitNumberRow = text.find("\r\nD008e");
    ASSERT_NE(unitNumberRow, std::string::npos);
    const std::size_t nameLineEnd = text.find("\r\n", text.find("D000e")) + 2;
    const std::size_t unitNumberLineEnd = text.find("\r\n", unitNumberRow + 2) + 2;
    test::ScriptedUi ui;
    // Every length over the lines that are read, a spread over the lines passed in between.
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length < unitNumberLineEnd + 8; ++length) {
        if (length <= nameLineEnd + 2 || length + 2 >= unitNumberRow || length % 13 == 0) {
            lengths.push_back(length);
        }
    }
    for (const std::size_t length : lengths) {
        StoreRaw(path, text.substr(0, length));
        BackupDescription description;
        const int read = ReadBackupDescription(path, description);
        ASSERT_EQ(read, length == 0 ? -1 : 0) << "length " << length;
        EXPECT_TRUE(description.marker.empty() || description.marker == kBackupMarker);
        EXPECT_TRUE(description.controllerVersion.empty() ||
                    description.controllerVersion == "1.10");
        EXPECT_TRUE(description.timestamp.empty() || description.timestamp == "2014/06/09 14:05:31")
            << "length " << length;
        EXPECT_EQ(description.unitName, length >= nameLineEnd ? kName : "") << "length " << length;

        stADP_FORMAT record;
        ASSERT_EQ(DescribeBackupFile(path, record, ui), 0);
        EXPECT_TRUE(record.strPartNo.empty() || record.strPartNo == kNotInBackup ||
                    record.strPartNo == kName)
            << "length " << length;
        EXPECT_TRUE(record.strSVNo == "1.10" || record.strSVNo == ".00") << "length " << length;
        EXPECT_EQ(record.strController,
                  length >= unitNumberLineEnd ? std::string("QTX16-") + kName : kNotInBackup)
            << "length " << length;
    }
}

// ---------------------------------------------------------------------------------------------
// Restore from a backup file

// The backup comes from a second controller; the fixture's controller is the target, whose
// registers all differ from 0 so that a row the restore left out cannot verify by chance.
class RobustnessRestore : public test::robust::InProcessController {
  protected:
    void SetUp() override {
        InProcessController::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        sim::VirtualController source;
        test::SeedImage(source, 7, "UNIT-A01");
        LinkChannel sourceChannel(std::make_unique<test::robust::InProcessLine>(source));
        CComLink sourceLink(ui, sourceChannel);
        ASSERT_EQ(sourceLink.OpenPort("in-process"), 0);
        ASSERT_EQ(sourceLink.ConfigurePort(230400, 1, 0), 0);
        TransferContext sourceContext{sourceLink, 1, ui, nullptr};
        path = folder.file("unit.bkp");
        ASSERT_EQ(RunBackup(sourceContext, path), 0);
        text = test::ReadStoredText(path);
        ASSERT_FALSE(text.empty());
        sourceParameters = source.getRange(0x0000, 0x0180);
        sourceSteps = source.getRange(0x0400, 0x0400);

        test::SeedImage(controller, 99, "OTHER-UNIT");
        targetParameters = controller.getRange(0x0000, 0x0180);
        targetSteps = controller.getRange(0x0400, 0x0400);
        for (auto* area : {&targetParameters, &targetSteps}) {
            std::replace(area->begin(), area->end(), std::uint16_t{0}, std::uint16_t{1});
        }
        ResetRegisterTablesForTesting();
    }

    static constexpr int kNotRun = -2;

    // The sections into the target as it was; the results of the two routines.
    std::pair<int, int> Restore(int variant, bool parameters = true, bool steps = true) {
        controller.setRange(0x0000, targetParameters);
        controller.setRange(0x0400, targetSteps);
        controller.clearRequestLog();
        TransferContext ctx = context();
        std::pair<int, int> results = {kNotRun, kNotRun};
        if (parameters) {
            ui.clear();
            results.first = WriteParametersFromBackup(ctx, path, 100);
            ExpectMessagesFit(results.first, variant);
        }
        if (steps) {
            ui.clear();
            results.second = WriteStepsFromBackup(ctx, path, 100, 0);
            ExpectMessagesFit(results.second, variant);
        }
        return results;
    }

    std::string path;
    std::string text;
    std::vector<std::uint16_t> sourceParameters;
    std::vector<std::uint16_t> sourceSteps;
    std::vector<std::uint16_t> targetParameters;
    std::vector<std::uint16_t> targetSteps;
};

TEST_F(RobustnessRestore, DamagedBackupsAreRestoredOrRefusedWithAMessage) {
    Mutator mutator(61);
    for (int variant = 0; variant < kRestoreVariants; ++variant) {
        StoreRaw(path, variant == 0 ? text : mutator(text));
        const auto [parameters, steps] = Restore(variant);
        if (HasFatalFailure()) {
            return;
        }
        if (variant == 0) {
            ASSERT_EQ(parameters, 0);
            ASSERT_EQ(steps, 0);
            auto expected = sourceParameters;
            expected[0x000C] = static_cast<std::uint16_t>((expected[0x000C] & 0xFF00) | 200);
            EXPECT_EQ(controller.getRange(0x0000, 0x0180), expected);
            EXPECT_EQ(controller.getRange(0x0400, 0x0400), sourceSteps);
        }
    }
}

// A backup cut short restores a section only when the section is whole: a row cut off at the
// end of the file must not be written as 0 and then verify.
TEST_F(RobustnessRestore, BackupCutShortIsNeverRestoredAsWhole) {
    const std::size_t lastParameterRow = text.find("\r\nD017f,");
    ASSERT_NE(lastParameterRow, std::string::npos);
    const std::size_t parametersEnd = text.find("\r\n", lastParameterRow + 2) + 2;
    // The last line is the dashed continuation of step 63's last value; it holds no value.
    const std::size_t lastLine = text.rfind("\r\n", text.size() - 3) + 2;
    ASSERT_EQ(text.substr(lastLine, 5), ",15,-");
    const std::size_t stepsEnd = lastLine;

    Mutator mutator(62);
    std::vector<std::size_t> lengths;
    for (std::size_t at = lastParameterRow; at < parametersEnd + 3; ++at) {
        lengths.push_back(at);
    }
    for (std::size_t at = text.size() - 45; at <= text.size(); ++at) {
        lengths.push_back(at);
    }
    for (int n = 0; n < 4; ++n) {
        lengths.push_back(mutator.Pick(text.size()));
    }
    for (const std::size_t length : lengths) {
        StoreRaw(path, text.substr(0, length));
        // Near one section's end only that section is in question.
        const bool nearParametersEnd = length < parametersEnd + 3 && length >= lastParameterRow;
        const bool nearStepsEnd = length + 45 >= text.size();
        const auto [parameters, steps] =
            Restore(static_cast<int>(length), !nearStepsEnd, !nearParametersEnd);
        if (HasFatalFailure()) {
            return;
        }
        if (parameters != kNotRun) {
            EXPECT_EQ(parameters, length >= parametersEnd ? 0 : -1) << "cut at " << length;
        }
        if (steps != kNotRun) {
            EXPECT_EQ(steps, length >= stepsEnd ? 0 : -1) << "cut at " << length;
        }
    }
}

}  // namespace
}  // namespace velmora
