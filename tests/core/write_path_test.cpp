// The write path against the virtual controller: the requests a write, a restore and a backup
// send (compared with recorded sequences), what a verification finds, and the register maps
// they walk.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "backup/backup_run.h"
#include "link/register_ops.h"
#include "model/backup_file.h"
#include "model/register_map.h"
#include "support/transmit_support.h"
#include "support/writer_fixture.h"
#include "transmit/transmit_worker.h"
#include "transmit/write_source.h"

namespace velmora {
namespace {

// A request frame as hex bytes; the date code's value and CRC, which change with the month,
// as "??".
std::string FrameText(const std::vector<std::uint8_t>& frame) {
    const bool dateCode =
        frame.size() > 4 && frame[1] == 0x10 && frame[2] == 0x00 && frame[3] == 0xEF;
    std::string text;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", frame[i]);
        text += (i == 0 ? "" : " ") + (dateCode && i >= 7 ? std::string("??") : byte);
    }
    return text;
}

std::vector<std::string> RecordedSequence(const std::string& name) {
    std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tests/data/requests/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class WritePathTest : public test::WriterFixture {
  protected:
    void SetUp() override {
        WriterFixture::SetUp();
        StoreFile("VMA10_param.csv", test::ReadBytes(test::SamplePath("VMA10_param.csv")));
        StoreFile("VMA10_step.csv", test::ReadBytes(test::SamplePath("VMA10_step.csv")));
        hooks.sleep = [](int) {};
    }

    std::vector<std::string> Sent() {
        std::vector<std::string> frames;
        for (const auto& frame : controller().requestLog()) {
            frames.push_back(FrameText(frame));
        }
        return frames;
    }

    // Loads, validates and writes the request as the transmit dialog does.
    int Write(const TransmitRequest& request) {
        const WriteSourceLoading loading = LoadWriteSource(request);
        EXPECT_TRUE(loading.source.has_value())
            << (loading.diagnostics.empty() ? "" : FormatDiagnostic(loading.diagnostics[0]));
        if (!loading.source) {
            return -9;
        }
        TransferContext ctx = context();
        return TransmitWorker(ctx, *loading.source, hooks);
    }

    TransmitRequest FromActuator(int contents) const {
        return TransmitRequest{Record(), contents, kFromActuatorSelection};
    }

    TransmitRequest FromBackup(const std::string& path, int contents) const {
        TransmitRequest request;
        request.record.strParamFile = path;
        request.record.strStepFile = path;
        request.writeContents = contents;
        request.fromFile = kFromBackupFile;
        return request;
    }

    std::string Backup(std::uint32_t seed, const std::string& name) {
        test::SeedImage(controller(), seed, name);
        const std::string path = folder.file("seed" + std::to_string(seed) + ".bkp");
        TransferContext ctx = context();
        EXPECT_EQ(RunBackup(ctx, path), 0);
        return path;
    }

    std::uint16_t Reg(std::uint16_t reg) { return controller().getRegister(reg).value_or(0xDEAD); }

    TransmitHooks hooks;
};

// Validating first changes nothing on the line: every valid job sends, byte for byte, the
// requests it has always sent.
TEST_F(WritePathTest, ValidJobsSendTheRecordedRequests) {
    const char* const writes[] = {"write-both.txt", "write-params.txt", "write-steps.txt"};
    for (int contents = 0; contents < 3; ++contents) {
        SCOPED_TRACE(writes[contents]);
        test::SeedImage(controller(), 11, "OLD-NAME");
        controller().setRegister(0x000C, 0x0A64);
        controller().clearRequestLog();
        ASSERT_EQ(Write(FromActuator(contents)), 0);
        EXPECT_EQ(Sent(), RecordedSequence(writes[contents]));
    }

    // A backup confirms its first reading (version, name, parameters, steps) with a second one
    // that runs backwards through the parameters, then the name, then backwards through the steps.
    controller().clearRequestLog();
    const std::string backup = Backup(7, "UNIT-7");
    std::vector<std::string> backupRequests = RecordedSequence("backup.txt");
    ASSERT_EQ(backupRequests.size(), 1u + 1 + 14 + 64);
    const std::vector<std::string> first = backupRequests;
    backupRequests.insert(backupRequests.end(), first.rbegin() + 64, first.rbegin() + 78);
    backupRequests.push_back(first[1]);
    backupRequests.insert(backupRequests.end(), first.rbegin(), first.rbegin() + 64);
    EXPECT_EQ(Sent(), backupRequests);

    const char* const restores[] = {"restore-both.txt", "restore-params.txt", "restore-steps.txt"};
    for (int contents = 0; contents < 3; ++contents) {
        SCOPED_TRACE(restores[contents]);
        test::SeedImage(controller(), 12, "OTHER");
        controller().setRegister(0x000C, 0x0A64);
        controller().clearRequestLog();
        ASSERT_EQ(Write(FromBackup(backup, contents)), 0);
        EXPECT_EQ(Sent(), RecordedSequence(restores[contents]));
    }
}

// A restore copies both areas, keeps the controller in its writing mode during the write and
// leaves the unit name as the backup holds it, an empty one as zeros.
TEST_F(WritePathTest, RestoreCopiesBothAreas) {
    for (const std::string name : {"UNIT-A01", ""}) {
        SCOPED_TRACE("unit name '" + name + "'");
        const std::string backup = Backup(31, name);
        const test::RegisterValues before = [&] {
            test::RegisterValues image;
            for (unsigned reg = 0; reg <= 0x07FF; ++reg) {
                if (auto value = controller().getRegister(static_cast<std::uint16_t>(reg))) {
                    image[static_cast<std::uint16_t>(reg)] = *value;
                }
            }
            return image;
        }();
        test::SeedImage(controller(), 32, "ELSEWHERE");
        ASSERT_EQ(Write(FromBackup(backup, 0)), 0);
        for (const auto& [reg, value] : before) {
            // The mode, the check value and the date code are the write's own.
            if (reg == kModeReg || reg == 0x00EE || reg == 0x00EF) {
                continue;
            }
            ASSERT_EQ(Reg(reg), value) << "register " << reg;
        }
        EXPECT_EQ(Reg(kModeReg) & 0xFF, 1);
    }
}

// A controller that keeps another value than the one written fails the verification, which
// names the register and its key; a read that fails during the check fails it too.
TEST_F(WritePathTest, VerificationReportsWhatTheControllerHolds) {
    struct Case {
        const char* what;
        int contents;
        std::uint16_t reg;
        const char* key;
    };
    const Case cases[] = {
        {"word", 1, 0x0006, "Max speed="},
        {"byte pair", 1, 0x0000, "Controller ID= / IO patern="},
        {"dword low half", 1, 0x0003, "Stroke(+)"},
        {"step register", 2, 0x0412, "step 1, register 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        differences.clear();
        controller().changeRegisterAfterWrite(c.reg, 0x5A5A);
        EXPECT_EQ(Write(FromActuator(c.contents)), -1);
        ASSERT_EQ(differences.size(), 1u);
        EXPECT_EQ(differences[0].reg, c.reg);
        EXPECT_EQ(differences[0].key, c.key);
        EXPECT_EQ(differences[0].read, 0x5A5A);
        controller().clearFaults();
    }

    // The first read-back request of the parameter check is answered with an exception.
    differences.clear();
    controller().clearRequestLog();
    const std::size_t beforeCheck = 3 + 14 + 14;  // version, mode switch, area read, writes
    controller().stopAfterRequests(static_cast<int>(beforeCheck));
    EXPECT_EQ(Write(FromActuator(1)), -1);
    EXPECT_TRUE(differences.empty());
    controller().clearFaults();
}

// A write reply that echoes another address or count answers some other write: each of the
// single-register writes fails on it instead of reporting success.
TEST_F(WritePathTest, WrongWriteEchoFailsTheWrite) {
    const std::uint8_t check[2] = {0x00, 0x10};
    struct Case {
        const char* what;
        std::function<LinkStatus()> write;
    };
    const Case cases[] = {
        {"mode switch", [&] { return SetReg000CLow(link, 1, 200); }},
        {"date code", [&] { return WriteDateCode(link, 1); }},
        {"check value", [&] { return WriteReg00EE(link, 1, check); }},
        {"unit name", [&] { return WriteRegistersText(link, 1, kUnitNameReg, 16, "NAME"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        controller().injectNext(sim::Fault::WrongEcho, 2);  // the mode switch reads first
        EXPECT_EQ(c.write().error, LinkError::Mismatch);
        controller().clearFaults();
        EXPECT_TRUE(c.write().ok());
    }
}

// A transient line fault is ridden out by sending the request again: the write ends verified
// with the data set's image. A doubled or late reply may still cost the write, but is never
// taken for another request's answer: the write is right or it fails. A fault on every
// request, or an exception reply (never repeated), fails.
TEST_F(WritePathTest, LineFaultsAreRetriedAndPersistentOnesFail) {
    enum class Expect { Succeeds, RightOrFails, Fails };
    link.setRetries(2);
    struct Case {
        const char* what;
        sim::Fault fault;
        int every;
        Expect expect;
    };
    const Case cases[] = {
        {"dropped request", sim::Fault::DropRequest, 23, Expect::Succeeds},
        {"lost reply", sim::Fault::LoseReply, 23, Expect::Succeeds},
        {"bad CRC", sim::Fault::BadCrc, 23, Expect::Succeeds},
        {"flipped bit", sim::Fault::FlipBit, 23, Expect::Succeeds},
        {"other station", sim::Fault::WrongStation, 23, Expect::Succeeds},
        {"other function", sim::Fault::WrongFunction, 23, Expect::Succeeds},
        {"short reply", sim::Fault::ShortReply, 23, Expect::Succeeds},
        {"wrong echo", sim::Fault::WrongEcho, 23, Expect::Succeeds},
        {"doubled reply", sim::Fault::DoubleReply, 23, Expect::RightOrFails},
        {"late reply", sim::Fault::LateReply, 23, Expect::RightOrFails},
        {"lost reply every time", sim::Fault::LoseReply, 1, Expect::Fails},
        {"exception", sim::Fault::Exception, 23, Expect::Fails},
    };
    const WriteSourceLoading loading = LoadWriteSource(FromActuator(0));
    ASSERT_TRUE(loading.source.has_value());
    const auto expected = test::ExpectedParameterImage(
        test::ReadBytes(test::SamplePath("VMA10_param.csv")), "VMA10-L06", "VMA10-06I");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::SeedImage(controller(), 51, "BEFORE");
        link.resetRepeatedRequests();
        controller().injectEvery(c.fault, c.every);
        TransferContext ctx = context();
        const int result = TransmitWorker(ctx, *loading.source, hooks);
        controller().clearFaults();
        if (c.expect == Expect::Fails) {
            EXPECT_EQ(result, -1);
            continue;
        }
        if (c.expect == Expect::Succeeds) {
            EXPECT_EQ(result, 0);
            EXPECT_GT(link.repeatedRequests(), 0);
        }
        if (result != 0) {
            continue;
        }
        for (const auto& [reg, value] : expected) {
            if (reg != kModeReg && reg != 0x00EF) {  // the write's own mode and date code
                ASSERT_EQ(Reg(reg), value) << "register " << reg;
            }
        }
    }
}

// A reply sent twice or late is never taken for the answer to the next request: a backup made
// on such a line holds exactly what the controller holds, or it fails and leaves no file. Every
// 26th request is a period that divides a forward reading, so a doubled reply strikes the same
// step in both readings.
TEST_F(WritePathTest, BackupOnALineWithDoubledOrLateRepliesIsRightOrFails) {
    link.setRetries(2);
    controller().setLateReplyMs(100);
    int saved = 0;
    sim.setPacing(true);
    for (const std::uint32_t rate : {38400u, 115200u}) {
        sim.setBitRate(rate);
        ASSERT_TRUE(link.configure(rate, 1, 0).ok());
        for (const auto& [fault, every] :
             {std::pair{sim::Fault::DoubleReply, 5}, std::pair{sim::Fault::DoubleReply, 26},
              std::pair{sim::Fault::LateReply, 9}}) {
            SCOPED_TRACE(std::to_string(rate) + " bit/s, fault every " + std::to_string(every));
            test::SeedImage(controller(), rate + static_cast<std::uint32_t>(every), "LINE");
            const std::string path = folder.file("line.bkp");
            std::filesystem::remove(path);
            controller().injectEvery(fault, every);
            TransferContext ctx = context();
            const int result = RunBackup(ctx, path);
            controller().clearRequestLog();
            controller().clearFaults();
            controller().setLateReplyMs(100);
            if (result != 0) {
                EXPECT_FALSE(std::filesystem::exists(path));
                continue;
            }
            ++saved;
            const BackupReading reading = ReadBackupFile(path);
            ASSERT_TRUE(reading.backup.has_value());
            for (unsigned reg = 0; reg <= kStepLastReg; ++reg) {
                const auto address = static_cast<std::uint16_t>(reg);
                if (RegisterImage::InArea(address)) {
                    ASSERT_EQ(reading.backup->image.get(address), Reg(address)) << reg;
                }
            }
        }
    }
    RecordProperty("backups saved", saved);
}

// The maps the walks follow: keys as files store them, units where files expect them.
TEST(RegisterMap, UnitsAndKeys) {
    struct Case {
        std::uint16_t reg;
        Packing packing;
        const char* key;
        const char* secondKey;
    };
    const Case cases[] = {
        {0x0000, Packing::BytePair, "Controller ID=", "IO patern="},
        {0x0002, Packing::Dword, "Stroke(+)", ""},
        {0x000C, Packing::BytePair, "Max force=", "Para protect="},
        {0x000E, Packing::Text16, "Unit name=", ""},
        {0x008E, Packing::Dword, "Unit No.", ""},
        {0x00C6, Packing::Word, "0353=", ""},
        {0x0100, Packing::BytePair, "IN1 func(P1M0)=", "IN2 func(P1M0)="},
        {0x015F, Packing::BytePair, "OUT15 func(P3M1)=", "OUT16 func(P3M1)="},
        {0x017F, Packing::Word, "0723=0", ""},
    };
    for (const Case& c : cases) {
        const RegisterUnit* unit = ParameterUnitAt(c.reg);
        ASSERT_NE(unit, nullptr) << c.key;
        EXPECT_EQ(unit->packing, c.packing) << c.key;
        EXPECT_EQ(unit->key.view(), c.key);
        EXPECT_EQ(unit->secondKey.view(), c.secondKey);
    }
    // No unit starts inside a dword or the text, or past the area.
    for (const std::uint16_t reg : {0x0003, 0x000F, 0x0015, 0x0180}) {
        EXPECT_EQ(ParameterUnitAt(reg), nullptr) << reg;
    }
    EXPECT_EQ(StepBlock(63), (RegisterBlock{0x07F0, 16}));
}

}  // namespace
}  // namespace velmora
