#include "model/backup_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "model/file_ctrl.h"
#include "support/backup_text.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::SplitCrLfLines;

constexpr const char* kTime = "2026/12/31 23:59:59";

RegisterImage SeededImage(unsigned seed, const std::string& name = "VMA-100") {
    std::mt19937 generator(seed);
    RegisterImage image;
    for (unsigned reg = kParameterFirstReg; reg <= kParameterLastReg; ++reg) {
        image.set(static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(generator()));
    }
    for (unsigned reg = kStepFirstReg; reg <= kStepLastReg; ++reg) {
        image.set(static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(generator()));
    }
    image.setUnitName(name);
    return image;
}

std::string Listed(const Diagnostics& diagnostics) {
    std::string text;
    for (const Diagnostic& diagnostic : diagnostics) {
        text += FormatDiagnostic(diagnostic) + "\n";
    }
    return text;
}

// The text as an older program wrote it: the header line without its check value.
std::string WithoutCheck(const std::string& text) {
    const std::size_t lineEnd = text.find("\r\n");
    return text.substr(0, text.rfind(',', lineEnd)) + text.substr(lineEnd);
}

TEST(BackupFile, ImageSurvivesTextAndBack) {
    struct Case {
        unsigned seed;
        std::string name;      // Latin-1 bytes, as the controller holds them
        std::string nameText;  // as the file writes it
    };
    const Case cases[] = {
        {1, "VMA-100", "VMA-100"},
        {20260101, "A,B\xE9", "A,B\xC3\xA9"},  // a comma does not end the name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nameText);
        const RegisterImage image = SeededImage(c.seed, c.name);
        const std::string text = FormatBackupText(image, "2.05", kTime);
        for (const bool checked : {true, false}) {
            const BackupReading reading =
                ParseBackupText(checked ? text : WithoutCheck(text), "a.bkp");
            ASSERT_TRUE(reading.backup.has_value()) << Listed(reading.diagnostics);
            const Backup& backup = *reading.backup;
            EXPECT_EQ(backup.image, image);
            EXPECT_TRUE(backup.image.parameterAreaGiven());
            for (std::size_t step = 0; step < kStepCount; ++step) {
                EXPECT_TRUE(backup.image.stepGiven(step)) << step;
            }
            EXPECT_EQ(backup.check, checked ? BackupCheck::Matches : BackupCheck::Absent);
            EXPECT_EQ(backup.controllerVersion, "2.05");
            EXPECT_EQ(backup.programVersion, "1.10");
            EXPECT_EQ(backup.timestamp, kTime);
            EXPECT_EQ(backup.unitName, c.nameText);
        }
    }
}

TEST(BackupFile, CheckValueIsTheCrc32OfTheTextWithoutIt) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32("56789", Crc32("1234")), 0xCBF43926u);
    const std::string text = FormatBackupText(SeededImage(3), "1.10", kTime);
    char field[32];
    std::snprintf(field, sizeof field, ",CRC32=%08x\r\n", Crc32(WithoutCheck(text)));
    EXPECT_EQ(text.substr(text.find("\r\n") - 15, 17), field);
}

TEST(BackupFile, WriterPrintsEachPackingAsBefore) {
    struct Case {
        const char* name;
        std::uint16_t reg;
        std::vector<std::uint16_t> values;  // the registers from reg on
        const char* lines;
    };
    const Case cases[] = {
        {"signed bytes", 0x0100, {0xFF01}, "D0100,IN1 func(P1M0)=,65535\r\n,IN2 func(P1M0)=,1\r\n"},
        {"last signed register",
         0x015F,
         {0x807F},
         "D015f,OUT15 func(P3M1)=,65408\r\n,OUT16 func(P3M1)=,127\r\n"},
        {"unsigned bytes", 0x0000, {0xFF01}, "D0000,Controller ID=,255\r\n,IO patern=,1\r\n"},
        {"dword", 0x0002, {0x0001, 0x86A0}, "D0002,Stroke(+),100000\r\n,,--------------\r\n"},
        {"largest word", 0x0006, {0xFFFF}, "D0006,Max speed=,65535\r\n"},
        {"no unit name", 0x000E, {}, "\r\nD000e,Unit name=,\r\n"},
        {"zero bytes inside the name", 0x000E, {0x4100, 0x0042}, "\r\nD000e,Unit name=,AB\r\n"},
        {"step dword", 0x07FE, {0xFFFF, 0xFFFF}, ",14,4294967295\r\n,15,--------------\r\n"},
        {"first line of a step", 0x07F0, {42}, "\r\n63,0,42\r\n,1,0\r\n,2,0\r\n,3,---"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegisterImage image;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            image.set(static_cast<std::uint16_t>(c.reg + i), c.values[i]);
        }
        EXPECT_NE(FormatBackupText(image, "1.10", kTime).find(c.lines), std::string::npos);
    }

    const auto lines = SplitCrLfLines(FormatBackupText(RegisterImage{}, "2.05", kTime));
    ASSERT_EQ(lines.size(), 1523u);
    EXPECT_EQ(lines[0].substr(0, 45), "BackupDataV001,2.05,1.10,2026/12/31 23:59:59,");
    EXPECT_EQ(lines[1], "Parameter");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 495, lines.begin() + 500),
              (std::vector<std::string>{"D017f,0723=0,0", "", "", "StepData", "0,0,0"}));
    EXPECT_EQ(lines[1522], ",15,--------------");
}

TEST(BackupFile, TimestampIsZeroPadded) {
    std::tm june{};
    june.tm_year = 114;
    june.tm_mon = 5;
    june.tm_mday = 9;
    june.tm_hour = 14;
    june.tm_min = 5;
    june.tm_sec = 31;
    EXPECT_EQ(BackupTimestamp(june), "2014/06/09 14:05:31");
}

using Damage = std::function<std::string(const std::string&)>;

Damage Replace(std::string from, std::string to) {
    return [from, to](std::string text) {
        const std::size_t at = text.find(from);
        return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
    };
}

Damage CutAfter(std::string at) {
    return [at](const std::string& text) { return text.substr(0, text.find(at) + at.size()); };
}

Damage ReplaceAll(std::string from, std::string to) {
    return [from, to](std::string text) {
        for (std::size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
        return text;
    };
}

// Values the damages below refer to.
RegisterImage KnownImage() {
    RegisterImage image = SeededImage(5);
    image.set(0x0000, 0x0102);
    image.set(0x0002, 0);
    image.set(0x0003, 15000);
    image.set(0x0006, 59984);
    image.set(0x000C, 0x0302);
    image.set(0x0100, 0x05FF);
    image.set(0x0400, 59984);
    image.set(0x0410, 7);
    image.set(0x07FE, 0);
    image.set(0x07FF, 9);
    image.setUnitName("UNIT-A01");
    return image;
}

TEST(BackupFile, DamagedTextIsRefusedNamingTheLine) {
    struct Case {
        const char* name;
        Damage damage;
        int line;
        bool checked = false;  // damage the text with its check value instead of an older one
    };
    const Case cases[] = {
        {"empty text", [](const std::string&) { return std::string(); }, 1},
        {"header only", CutAfter("\r\n"), 2},
        {"cut inside the unit name line", CutAfter("D000e,Unit"), 3},
        {"cut inside a value", CutAfter("D0002,Stroke(+),150"), 8},
        {"cut before a continuation line", CutAfter("D0002,Stroke(+),15000\r\n"), 9},
        {"cut before the step section", CutAfter("D017f,0723=0,"), 496},
        {"cut inside the steps", CutAfter("\r\n1,0,7\r\n"), 517},
        {"last line missing", CutAfter(",14,9\r\n"), 1523},
        {"CR-only line ends", ReplaceAll("\r\n", "\r"), 1},
        {"LF-only line ends", ReplaceAll("\r\n", "\n"), 1},
        {"wrong marker", Replace("BackupDataV001", "BackupDataV002"), 1},
        {"no Parameter line", Replace("\r\nParameter\r\n", "\r\n"), 2},
        {"name longer than 16", Replace("UNIT-A01", "UNIT-A01-LONGER-NAME"), 3},
        {"flipped key character", Replace("Max force=", "Max forcf="), 18},
        {"flipped register digit", Replace("\r\nD000c,", "\r\nD000d,"), 18},
        {"register cell with a stray character", Replace("\r\nD000c,", "\r\nD00c%,"), 18},
        {"missing continuation line of D000c", Replace(",Para protect=,2\r\n", ""), 19},
        {"extra row", Replace("\r\nD000c,", "\r\nD1000c,x=,4660\r\nD000c,"), 18},
        {"blank line between rows", Replace("\r\nD000c,", "\r\n\r\nD000c,"), 18},
        {"dword continuation damaged", Replace(",,--------------", ",,-------------"), 9},
        {"flipped bit in a parameter value", Replace("Max speed=,59984", "Max speed=,5998$"), 12},
        {"flipped bit in a step value", Replace("\r\n0,0,59984", "\r\n0,0<59984"), 500},
        {"byte above 255", Replace("Controller ID=,1", "Controller ID=,256"), 4},
        {"signed byte gap", Replace("IN1 func(P1M0)=,5", "IN1 func(P1M0)=,128"), 273},
        {"word above 65535", Replace("Max speed=,59984", "Max speed=,65536"), 12},
        {"dword above 32 bits", Replace("Stroke(+),15000", "Stroke(+),4294967296"), 8},
        {"huge number", Replace("Stroke(+),15000", "Stroke(+),99999999999999999999999"), 8},
        {"step word below -32768", Replace("\r\n1,0,7\r\n", "\r\n1,0,-32769\r\n"), 516},
        {"step dword above 32 bits", Replace(",14,9\r\n", ",14,4294967296\r\n"), 1522},
        {"step number out of order", Replace("\r\n1,0,7\r\n", "\r\n2,0,7\r\n"), 516},
        {"step continuation damaged", Replace(",15,--------------\r\n", ",15,--x--\r\n"), 515},
        {"StepData missing", Replace("StepData", "Stepdata"), 499},
        {"one empty line before StepData", Replace("\r\n\r\nStepData", "\r\nStepData"), 498},
        {"line after the last step", [](const std::string& text) { return text + "\r\n"; }, 1524},
        {"damaged check field", Replace(",CRC32=", ",CRC3s="), 1, true},
        {"changed after saving", Replace("Stroke(+),15000", "Stroke(+),5000"), 1, true},
        {"line ends changed after saving", ReplaceAll("\r\n", "\n"), 1, true},
    };
    const std::string text = FormatBackupText(KnownImage(), "1.10", kTime);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string damaged = c.damage(c.checked ? text : WithoutCheck(text));
        ASSERT_NE(damaged, c.checked ? text : WithoutCheck(text));
        const BackupReading reading = ParseBackupText(damaged, "unit.bkp");
        EXPECT_FALSE(reading.backup.has_value());
        ASSERT_EQ(reading.diagnostics.size(), 1u) << Listed(reading.diagnostics);
        EXPECT_EQ(reading.diagnostics[0].line, c.line) << Listed(reading.diagnostics);
        EXPECT_EQ(reading.diagnostics[0].file, "unit.bkp");
    }
}

TEST(BackupFile, ForgivingReadingsOfOlderTools) {
    struct Case {
        const char* name;
        Damage change;
        std::uint16_t reg;
        std::uint16_t value;
    };
    const Case cases[] = {
        {"negative step word", Replace("\r\n1,0,7\r\n", "\r\n1,0,-2\r\n"), 0x0410, 0xFFFE},
        {"short dashes", Replace(",15,--------------\r\n", ",15,-\r\n"), 0x0400, 59984},
        {"upper-case register digits", Replace("\r\nD000c,", "\r\nD000C,"), 0x000C, 0x0302},
    };
    const std::string text = WithoutCheck(FormatBackupText(KnownImage(), "1.10", kTime));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string changed = c.change(text);
        ASSERT_NE(changed, text);
        const BackupReading reading = ParseBackupText(changed, "unit.bkp");
        ASSERT_TRUE(reading.backup.has_value()) << Listed(reading.diagnostics);
        EXPECT_EQ(reading.backup->image.get(c.reg), c.value);
    }
}

TEST(BackupFile, StoredFileOrWhyNot) {
    test::TempFolder folder;
    ASSERT_TRUE(folder.valid());
    auto store = [&](const std::string& name, const std::string& text) {
        const std::string path = folder.file(name);
        CFileCtrl file;
        EXPECT_TRUE(file.Open(path, kFileModeWrite | kFileModeCreate));
        file.WriteText(text);
        EXPECT_EQ(file.ScrambleAndWrite(), 0);
        return path;
    };
    const std::string fifo = folder.file("fifo.bkp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        int line;  // of the one diagnostic; -1: read
    };
    const Case cases[] = {
        {"sound file", store("a.bkp", FormatBackupText(KnownImage(), "1.10", kTime)), -1},
        {"missing", folder.file("missing.bkp"), 0},
        {"folder", folder.path(), 0},
        {"FIFO", fifo, 0},
        {"not scrambled", folder.write("plain.bkp", "BackupDataV001,1.10\r\n"), 0},
        {"empty", store("empty.bkp", ""), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BackupReading reading = ReadBackupFile(c.path);
        if (c.line < 0) {
            ASSERT_TRUE(reading.backup.has_value());
            EXPECT_EQ(reading.backup->image, KnownImage());
            EXPECT_EQ(reading.backup->check, BackupCheck::Matches);
            continue;
        }
        EXPECT_FALSE(reading.backup.has_value());
        ASSERT_EQ(reading.diagnostics.size(), 1u);
        EXPECT_EQ(reading.diagnostics[0].line, c.line);
        EXPECT_EQ(reading.diagnostics[0].file, c.path);
    }
}

}  // namespace
}  // namespace velmora
