#include "sysfiles/settings_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::TempFolder;

const std::string kSection = kCommSettingsSection;

std::string SettingsFile(const std::string& lines) {
    return "[" + kSection + "]\n" + lines;
}

// ---- one value ---------------------------------------------------------------------------

struct ReadValueCase {
    const char* name;
    std::string line;  // the key's line, or empty for no line at all
    int result;
    std::string value;  // expected output; "untouched" when the read fails
};

void PrintTo(const ReadValueCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadSettingValueTest : public ::testing::TestWithParam<ReadValueCase> {};

TEST_P(ReadSettingValueTest, CutsAtTheComment) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const ReadValueCase& c = GetParam();
    const std::string path = folder.write("settings.ini", SettingsFile(c.line + "\nOTHER=1\n"));
    std::string value = "untouched";
    EXPECT_EQ(ReadSettingValue(path, kSection, "COM_BITRATE", value), c.result);
    EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSettingValueTest,
    ::testing::Values(ReadValueCase{"Plain", "COM_BITRATE=9600", 0, "9600"},
                      ReadValueCase{"SlashComment", "COM_BITRATE=9600 // bit rate", 0, "9600"},
                      ReadValueCase{"SlashRightAfterValue", "COM_BITRATE=5/ms", 0, "5"},
                      ReadValueCase{"SpacesBeforeValue", "COM_BITRATE=    9600", 0, "9600"},
                      ReadValueCase{"SpaceInsideValue", "COM_BITRATE=96 00", 0, "96"},
                      ReadValueCase{"TabComment", "COM_BITRATE=9600\tbit/s", 0, "9600"},
                      ReadValueCase{"ValueStartingWithSlash", "COM_BITRATE=/9600", 0, ""},
                      ReadValueCase{"DecimalPointKept", "COM_BITRATE=1.10", 0, "1.10"},
                      ReadValueCase{"EmptyValue", "COM_BITRATE=", -1, "untouched"},
                      ReadValueCase{"MissingKey", "", -1, "untouched"}),
    [](const ::testing::TestParamInfo<ReadValueCase>& info) {
        return std::string(info.param.name);
    });

struct WriteValueCase {
    const char* name;
    std::string before;
    std::string newText;
    std::string after;
};

void PrintTo(const WriteValueCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteSettingValueTest : public ::testing::TestWithParam<WriteValueCase> {};

TEST_P(WriteSettingValueTest, KeepsTheCommentAndEveryOtherByte) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const WriteValueCase& c = GetParam();
    const std::string head = "; settings\r\n[" + kSection + "]\r\nCOM_PORT=COM3\r\n";
    const std::string tail = "\r\nCOM_DELAY=5\r\n";
    const std::string path = folder.write("settings.ini", head + c.before + tail);
    EXPECT_EQ(WriteSettingValue(path, kSection, "COM_BITRATE", c.newText), 0);
    EXPECT_EQ(ReadBytes(path), head + c.after + tail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteSettingValueTest,
    ::testing::Values(
        WriteValueCase{"SlashComment", "COM_BITRATE=9600 // bit rate", "38400",
                       "COM_BITRATE=38400 // bit rate"},
        WriteValueCase{"SlashRightAfterValue", "COM_BITRATE=5/ms", "10", "COM_BITRATE=10/ms"},
        WriteValueCase{"TabComment", "COM_BITRATE=9600\tbit/s", "19200",
                       "COM_BITRATE=19200\tbit/s"},
        WriteValueCase{"NoComment", "COM_BITRATE=9600", "115200", "COM_BITRATE=115200"},
        WriteValueCase{"SpaceInsideOldValue", "COM_BITRATE=96 00", "9600", "COM_BITRATE=9600 00"},
        WriteValueCase{"IndentedValue", "COM_BITRATE=   9600 // x", "57600",
                       "COM_BITRATE=   57600 // x"}),
    [](const ::testing::TestParamInfo<WriteValueCase>& info) {
        return std::string(info.param.name);
    });

TEST(WriteSettingValue, NeverCreatesAKeyOrAFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    struct Case {
        const char* name;
        std::string file;  // empty: no file
    };
    for (const Case& c : std::vector<Case>{{"MissingKey", SettingsFile("COM_PORT=COM3\n")},
                                           {"EmptyValue", SettingsFile("COM_BITRATE=\n")},
                                           {"OtherSection", "[OTHER]\nCOM_BITRATE=9600\n"},
                                           {"MissingFile", ""}}) {
        const std::string path = folder.file(std::string(c.name) + ".ini");
        if (!c.file.empty())
            folder.write(std::string(c.name) + ".ini", c.file);
        EXPECT_EQ(WriteSettingValue(path, kSection, "COM_BITRATE", "38400"), -1) << c.name;
        if (c.file.empty()) {
            EXPECT_EQ(::access(path.c_str(), F_OK), -1) << c.name;
        } else {
            EXPECT_EQ(ReadBytes(path), c.file) << c.name;
        }
    }
}

// ---- the whole record ----------------------------------------------------------------------

CommSettings Sentinel() {
    CommSettings s;
    s.portNumber = 11;
    s.autoSelect = 0;
    s.connectionId = 12;
    s.bitRate = 13;
    s.portName = "previous";
    s.silentInterval = 14;
    s.delay = 15;
    s.activeStationId = 16;
    return s;
}

struct ReadRecordCase {
    const char* name;
    std::string lines;
    CommSettings expected;
};

void PrintTo(const ReadRecordCase& c, std::ostream* os) {
    *os << c.name;
}

CommSettings With(const std::function<void(CommSettings&)>& change) {
    CommSettings s = Sentinel();
    change(s);
    return s;
}

class ReadCommSettingsTest : public ::testing::TestWithParam<ReadRecordCase> {};

TEST_P(ReadCommSettingsTest, FillsTheRecord) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const ReadRecordCase& c = GetParam();
    const std::string path = folder.write("settings.ini", SettingsFile(c.lines));
    CommSettings settings = Sentinel();
    ReadCommSettings(path, settings);
    EXPECT_EQ(settings.portNumber, c.expected.portNumber);
    EXPECT_EQ(settings.autoSelect, c.expected.autoSelect);
    EXPECT_EQ(settings.connectionId, c.expected.connectionId);
    EXPECT_EQ(settings.bitRate, c.expected.bitRate);
    EXPECT_EQ(settings.portName, c.expected.portName);
    EXPECT_EQ(settings.silentInterval, c.expected.silentInterval);
    EXPECT_EQ(settings.delay, c.expected.delay);
    EXPECT_EQ(settings.activeStationId, c.expected.activeStationId);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadCommSettingsTest,
    ::testing::Values(
        ReadRecordCase{"AllKeys",
                       "COM_NUM=2\nCOM_PORT=/dev/ttyUSB0 // adapter\nCOM_SELECT=MANUAL\n"
                       "COM_BITRATE=115200 // bit/s\nCOM_CONNECTION_ID=7\n"
                       "COM_SILENT_INTERVAL=3\nCOM_DELAY=5/ms\n",
                       With([](CommSettings& s) {
                           s.portNumber = 2;
                           s.portName = "/dev/ttyUSB0";
                           s.autoSelect = 0;
                           s.bitRate = 115200;
                           s.connectionId = 7;
                           s.silentInterval = 3;
                           s.delay = 5;
                       })},
        ReadRecordCase{"LowerCaseManualSelectsAuto", "COM_SELECT=manual\n",
                       With([](CommSettings& s) { s.autoSelect = 1; })},
        ReadRecordCase{"AutoSelectsAuto", "COM_SELECT=AUTO\n",
                       With([](CommSettings& s) { s.autoSelect = 1; })},
        ReadRecordCase{"OtherWordSelectsAuto", "COM_SELECT=MANUALLY\n",
                       With([](CommSettings& s) { s.autoSelect = 1; })},
        ReadRecordCase{"ManualWithComment", "COM_SELECT=MANUAL // fixed ID\n",
                       With([](CommSettings& s) { s.autoSelect = 0; })},
        ReadRecordCase{"NoKeysKeepsEverythingButMode", "",
                       With([](CommSettings& s) { s.autoSelect = 1; })},
        ReadRecordCase{"NonNumericKeepsPrevious",
                       "COM_NUM=x\nCOM_BITRATE=fast\nCOM_CONNECTION_ID=\nCOM_SILENT_INTERVAL=-\n"
                       "COM_DELAY=/5\nCOM_SELECT=MANUAL\n",
                       With([](CommSettings& s) { s.autoSelect = 0; })},
        ReadRecordCase{"ScanLikePercentD",
                       "COM_NUM=1.10\nCOM_BITRATE=96 00\nCOM_CONNECTION_ID=+4\n"
                       "COM_SILENT_INTERVAL=-2\nCOM_DELAY=12ms\nCOM_SELECT=MANUAL\n",
                       With([](CommSettings& s) {
                           s.portNumber = 1;
                           s.bitRate = 96;
                           s.connectionId = 4;
                           s.silentInterval = -2;
                           s.delay = 12;
                           s.autoSelect = 0;
                       })},
        ReadRecordCase{"OutOfRangeKeepsPrevious",
                       "COM_BITRATE=99999999999\nCOM_DELAY=+-3\nCOM_SELECT=MANUAL\n",
                       With([](CommSettings& s) { s.autoSelect = 0; })},
        ReadRecordCase{"WindowsPortName", "COM_PORT=COM3\t; first port\nCOM_SELECT=MANUAL\n",
                       With([](CommSettings& s) {
                           s.portName = "COM3";
                           s.autoSelect = 0;
                       })},
        ReadRecordCase{"EmptyPortKeepsPrevious", "COM_PORT=\nCOM_SELECT=MANUAL\n",
                       With([](CommSettings& s) { s.autoSelect = 0; })}),
    [](const ::testing::TestParamInfo<ReadRecordCase>& info) {
        return std::string(info.param.name);
    });

TEST(ReadCommSettings, MissingFileKeepsTheRecordAndSelectsAuto) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    CommSettings settings = Sentinel();
    ReadCommSettings(folder.file("absent.ini"), settings);
    EXPECT_EQ(settings.autoSelect, 1);
    EXPECT_EQ(settings.bitRate, Sentinel().bitRate);
    EXPECT_EQ(settings.portName, Sentinel().portName);
}

TEST(WriteCommSettings, RewritesEveryKeyButComNumKeepingComments) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = folder.write(
        "settings.ini",
        "; top\r\n[" + kSection +
            "]\r\nCOM_NUM=0 // list position\r\nCOM_PORT=/tmp/old-link // device\r\n"
            "COM_SELECT=AUTO // mode\r\nCOM_BITRATE=9600 // bit rate\r\nCOM_CONNECTION_ID=1\r\n"
            "COM_SILENT_INTERVAL=1\tfactor\r\nCOM_DELAY=5/ms\r\n[OTHER]\r\nCOM_DELAY=keep\r\n");
    CommSettings settings;
    settings.portNumber = 9;
    settings.portName = "/dev/ttyS1";
    settings.autoSelect = 0;
    settings.bitRate = 38400;
    settings.connectionId = 32;
    settings.silentInterval = 4;
    settings.delay = 10;
    settings.activeStationId = 5;
    WriteCommSettings(path, settings);
    EXPECT_EQ(ReadBytes(path),
              "; top\r\n[" + kSection +
                  "]\r\nCOM_NUM=0 // list position\r\nCOM_PORT=/dev/ttyS1 // device\r\n"
                  "COM_SELECT=MANUAL // mode\r\nCOM_BITRATE=38400 // bit rate\r\n"
                  "COM_CONNECTION_ID=32\r\nCOM_SILENT_INTERVAL=4\tfactor\r\nCOM_DELAY=10/ms\r\n"
                  "[OTHER]\r\nCOM_DELAY=keep\r\n");

    CommSettings readBack;
    ReadCommSettings(path, readBack);
    EXPECT_EQ(readBack.portName, settings.portName);
    EXPECT_EQ(readBack.autoSelect, settings.autoSelect);
    EXPECT_EQ(readBack.bitRate, settings.bitRate);
    EXPECT_EQ(readBack.connectionId, settings.connectionId);
    EXPECT_EQ(readBack.silentInterval, settings.silentInterval);
    EXPECT_EQ(readBack.delay, settings.delay);
    EXPECT_EQ(readBack.portNumber, 0);
}

TEST(WriteCommSettings, AutoModeAndMissingKeys) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string original = SettingsFile("COM_SELECT=MANUAL\nCOM_BITRATE=9600\n");
    const std::string path = folder.write("settings.ini", original);
    CommSettings settings;
    settings.autoSelect = 1;
    settings.bitRate = 19200;
    settings.delay = 20;
    WriteCommSettings(path, settings);
    // No COM_DELAY line before, none after: the delay is not stored.
    EXPECT_EQ(ReadBytes(path), SettingsFile("COM_SELECT=AUTO\nCOM_BITRATE=19200\n"));

    const std::string absent = folder.file("absent.ini");
    WriteCommSettings(absent, settings);
    EXPECT_EQ(::access(absent.c_str(), F_OK), -1);
}

TEST(ShippedCommunicationSettings, HoldEveryKeyAndSurviveARewrite) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string shipped = ReadBytes(VELMORA_SOURCE_DIR "/System/CommunicationSetting.ini");
    ASSERT_FALSE(shipped.empty());
    const std::string path = folder.write("CommunicationSetting.ini", shipped);
    for (const char* key : {"COM_NUM", "COM_PORT", "COM_SELECT", "COM_BITRATE", "COM_CONNECTION_ID",
                            "COM_SILENT_INTERVAL", "COM_DELAY"}) {
        std::string value;
        EXPECT_EQ(ReadSettingValue(path, kSection, key, value), 0) << key;
    }
    CommSettings settings = Sentinel();
    ReadCommSettings(path, settings);
    EXPECT_EQ(settings.portName, "/tmp/velmora-sim");
    EXPECT_EQ(settings.portNumber, 0);
    EXPECT_EQ(settings.autoSelect, 1);
    EXPECT_EQ(settings.bitRate, 38400);
    EXPECT_EQ(settings.connectionId, 1);
    EXPECT_EQ(settings.silentInterval, 1);
    EXPECT_EQ(settings.delay, 5);
    // Writing back what was read changes nothing, comments included.
    WriteCommSettings(path, settings);
    EXPECT_EQ(ReadBytes(path), shipped);
}

}  // namespace
}  // namespace velmora
