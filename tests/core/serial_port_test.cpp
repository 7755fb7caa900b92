#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>

#include "platform/serial_port.h"
#include "platform/unique_fd.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
TEST(SerialPortNames, ResolvesSettingsNamesToDevices) {
    struct Case {
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"COM1", "/dev/ttyS0"},       {"com12", "/dev/ttyS11"},
        {"Com3", "/dev/ttyS2"},       {"COM256", "/dev/ttyS255"},
        {"/dev/pts/3", "/dev/pts/3"}, {"/tmp/sim", "/tmp/sim"},
        {"ttyUSB0", "/dev/ttyUSB0"},  {"pts/4", "/dev/pts/4"},
        {"COM0", "/dev/COM0"},        {"COMx", "/dev/COMx"},
        {"COM", "/dev/COM"},          {"COM-1", "/dev/COM-1"},
        {"COM1a", "/dev/COM1a"},      {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolvePortName(c.name), c.path) << c.name;
    }
}

TEST(SerialPortNames, SortsNumbersNaturally) {
    std::vector<std::string> names = {"ttyS10", "ttyUSB0", "ttyS2", "ttyS1",
                                      "ttyS02", "ttyACM3", "ttyS",  "ttyS100"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM3", "ttyS", "ttyS1", "ttyS2", "ttyS02",
                                               "ttyS10", "ttyS100", "ttyUSB0"}));
}

class SerialPortListing : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-ports-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ + "/dev/serial/by-id");
        fs::create_directories(root_ + "/sys/drivers/serial8250");
        fs::create_directories(root_ + "/sys/drivers/port");
        fs::create_directories(root_ + "/sys/drivers/pxa2xx-uart");
    }
    void TearDown() override { fs::remove_all(root_); }

    void device(const std::string& name) { std::ofstream(root_ + "/dev/" + name) << ""; }
    // A /sys/class/tty entry with the given driver ("" for none) and type ("" for no file).
    void sysEntry(const std::string& name, const std::string& driver, const std::string& type) {
        const std::string dir = root_ + "/sys/tty/" + name;
        fs::create_directories(dir + "/device");
        if (!driver.empty()) {
            fs::create_directory_symlink(root_ + "/sys/drivers/" + driver, dir + "/device/driver");
        }
        if (!type.empty()) {
            std::ofstream(dir + "/type") << type << "\n";
        }
    }

    std::string root_;
};

TEST_F(SerialPortListing, ListsByIdThenUsbThenRealUarts) {
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0",
                             "ttyS1", "ttyS2", "ttyS3", "ttyS10", "ttySX", "ttyUSB", "tty0"}) {
        device(name);
    }
    fs::create_symlink("../../ttyUSB1", root_ + "/dev/serial/by-id/usb-FTDI_B-if00");
    fs::create_symlink("../../ttyUSB0", root_ + "/dev/serial/by-id/usb-FTDI_A-if00");
    fs::create_symlink("../../ttyUSB9", root_ + "/dev/serial/by-id/usb-unplugged-if00");
    sysEntry("ttyS0", "port", "4");         // detected 16550A
    sysEntry("ttyS1", "serial8250", "0");   // empty legacy slot
    sysEntry("ttyS2", "", "");              // no driver
    sysEntry("ttyS3", "serial8250", "");    // type unknown to the driver: a plain file here
    sysEntry("ttyS10", "pxa2xx-uart", "");  // another UART driver

    const std::string dev = root_ + "/dev";
    EXPECT_EQ(ListSerialPortsUnder(dev, root_ + "/sys/tty"),
              (std::vector<std::string>{dev + "/serial/by-id/usb-FTDI_A-if00",
                                        dev + "/serial/by-id/usb-FTDI_B-if00", dev + "/ttyUSB0",
                                        dev + "/ttyUSB1", dev + "/ttyUSB2", dev + "/ttyUSB10",
                                        dev + "/ttyACM0", dev + "/ttyS0", dev + "/ttyS10"}));
}

// An adapter is known by its by-id link, whatever ttyUSB number it was given this time.
TEST_F(SerialPortListing, IdentifiesTheAdapterBehindAName) {
    device("ttyUSB0");
    device("ttyUSB1");
    device("ttyS0");
    fs::create_symlink("../../ttyUSB1", root_ + "/dev/serial/by-id/usb-FTDI_B-if00");
    const std::string dev = root_ + "/dev";
    const struct {
        std::string name;
        std::string identity;
    } cases[] = {
        {dev + "/ttyUSB1", "usb-FTDI_B-if00"},
        {dev + "/serial/by-id/usb-FTDI_B-if00", "usb-FTDI_B-if00"},
        {dev + "/ttyUSB0", ""},  // no link leads there
        {dev + "/ttyS0", ""},
        {dev + "/ttyUSB7", ""},  // not present
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SerialDeviceIdentityUnder(dev, c.name), c.identity) << c.name;
    }
    // Plugged in the other way round: the name now leads to the other adapter.
    fs::remove(root_ + "/dev/serial/by-id/usb-FTDI_B-if00");
    fs::create_symlink("../../ttyUSB0", root_ + "/dev/serial/by-id/usb-FTDI_B-if00");
    fs::create_symlink("../../ttyUSB1", root_ + "/dev/serial/by-id/usb-FTDI_A-if00");
    EXPECT_EQ(SerialDeviceIdentityUnder(dev, dev + "/ttyUSB1"), "usb-FTDI_A-if00");
}

TEST_F(SerialPortListing, EmptyWithoutDevices) {
    EXPECT_TRUE(ListSerialPortsUnder(root_ + "/none", root_ + "/none").empty());
}

TEST(SerialPortListingSystem, ListsOnlyExistingDevices) {
    for (const std::string& path : ListSerialPorts()) {
        EXPECT_TRUE(fs::exists(path)) << path;
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
    }
}

// A bare pseudo-terminal: the test holds the master, the port under test opens the slave.
class SerialPortOnPty : public testing::Test {
  protected:
    void SetUp() override {
        master_.reset(::posix_openpt(O_RDWR | O_NOCTTY));
        ASSERT_TRUE(master_.valid());
        ASSERT_EQ(::grantpt(master_.get()), 0);
        ASSERT_EQ(::unlockpt(master_.get()), 0);
        char name[PATH_MAX];
        ASSERT_EQ(::ptsname_r(master_.get(), name, sizeof name), 0);
        slavePath_ = name;
        port_ = MakeSystemSerialPort();
    }

    termios lineSettings() const {
        termios settings{};
        EXPECT_EQ(::tcgetattr(master_.get(), &settings), 0);  // reports the slave's settings
        return settings;
    }

    UniqueFd master_;
    std::string slavePath_;
    std::unique_ptr<SerialPort> port_;
};

TEST_F(SerialPortOnPty, ConfigureMakesTheLineRaw8N1) {
    // Start from a cooked, 7E2, flow-controlled line so every setting has to change.
    termios cooked = lineSettings();
    cooked.c_iflag |= ICRNL | IXON | IXOFF;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    cooked.c_cc[VMIN] = 1;
    cfsetospeed(&cooked, B1200);
    cfsetispeed(&cooked, B1200);
    ASSERT_EQ(::tcsetattr(master_.get(), TCSANOW, &cooked), 0);

    ASSERT_TRUE(port_->open(slavePath_));
    ASSERT_TRUE(port_->configure(19200));
    const termios line = lineSettings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B19200));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(line.c_iflag & (ICRNL | IXON | IXOFF | INLCR | ISTRIP), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_cc[VMIN], 0);
    EXPECT_EQ(line.c_cc[VTIME], 0);
}

TEST_F(SerialPortOnPty, AcceptsStandardRatesOnly) {
    ASSERT_TRUE(port_->open(slavePath_));
    struct Case {
        std::uint32_t rate;
        speed_t speed;
    };
    for (const Case& c :
         {Case{1200, B1200}, Case{9600, B9600}, Case{19200, B19200}, Case{38400, B38400},
          Case{57600, B57600}, Case{115200, B115200}, Case{230400, B230400}}) {
        EXPECT_TRUE(port_->configure(c.rate)) << c.rate;
        const termios line = lineSettings();
        EXPECT_EQ(cfgetospeed(&line), c.speed) << c.rate;
    }
    // Refused rates leave the line as it was (230400 from above).
    for (const std::uint32_t rate : {0u, 300u, 600u, 1000u, 1023u, 12345u, 250000u}) {
        EXPECT_FALSE(port_->configure(rate)) << rate;
        const termios line = lineSettings();
        EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B230400)) << rate;
    }
}

// Each refusal keeps the system's reason, which the user is told.
TEST(SerialPortOpen, RefusesWhatIsNotATerminal) {
    char pattern[] = "/tmp/velmora-serial-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ofstream(dir + "/plain") << "not a tty";
    auto port = MakeSystemSerialPort();
    struct Case {
        std::string path;
        int error;
    };
    const Case cases[] = {
        {dir + "/plain", ENOTTY}, {dir, EISDIR}, {dir + "/missing", ENOENT}, {"", ENOENT}};
    for (const Case& c : cases) {
        EXPECT_FALSE(port->open(c.path)) << c.path;
        EXPECT_FALSE(port->isOpen()) << c.path;
        EXPECT_EQ(port->lastOpenError(), c.error) << c.path;
    }
    fs::remove_all(dir);
}

TEST(SerialPortOpen, ClosedPortRefusesEverything) {
    auto port = MakeSystemSerialPort();
    std::uint8_t byte = 0;
    EXPECT_FALSE(port->configure(38400));
    EXPECT_EQ(port->bytesWaiting(), -1);
    EXPECT_EQ(port->read(&byte, 1), -1);
    EXPECT_EQ(port->write(&byte, 1), -1);
    EXPECT_FALSE(port->waitForInput(10));
    port->discardInput();
    port->close();
    EXPECT_FALSE(port->isOpen());
}

}  // namespace
}  // namespace velmora
