#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// A serial line as the link needs it: raw 8N1 bytes, no flow control. The system
// implementation lives in a per-OS file; everything above it is OS-neutral.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens the named port exclusively. Returns false when it cannot (missing, busy, no rights).
    virtual bool open(const std::string& name) = 0;
    // Why the last open failed, as an errno value (EBUSY when another program holds the port);
    // 0 after an open that succeeded or when the port cannot tell.
    virtual int lastOpenError() const { return 0; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Raw 8N1 at the given rate. Rates below 1024 bit/s and rates the system cannot set are
    // refused.
    virtual bool configure(std::uint32_t baudRate) = 0;
    // Bytes waiting in the input queue, or -1 on error.
    virtual int bytesWaiting() = 0;
    // Reads up to size bytes without blocking; returns the count read (0 if none) or -1.
    virtual int read(std::uint8_t* buffer, std::size_t size) = 0;
    // Writes all bytes (blocking until they are handed to the driver); returns the count or -1.
    virtual int write(const std::uint8_t* data, std::size_t size) = 0;
    // Blocks until input is waiting or timeoutMs passes; true when input is waiting.
    virtual bool waitForInput(int timeoutMs) = 0;
    // Throws away whatever is waiting in the input queue.
    virtual void discardInput() = 0;
};

std::unique_ptr<SerialPort> MakeSystemSerialPort();

// Maps a port name from the settings file to a device path.
// Linux: an absolute path stays as it is, a Windows name COMn (from an older settings file)
// becomes /dev/ttyS(n-1), any other plain name is looked up under /dev.
// Windows: COMn (any other plain name as well) becomes \\.\COMn, /dev/ttyS(n-1) becomes
// \\.\COMn, a name already in the device namespace stays.
std::string ResolvePortName(const std::string& name);

// The serial devices present, for the port list.
// Linux: /dev/serial/by-id links first, then /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS*
// that have a driver behind them. Windows: the COM names in the registry's SERIALCOMM map.
std::vector<std::string> ListSerialPorts();

// What the system calls each port it can describe, by port name: on Windows the device's
// friendly name from SetupAPI ("USB Serial Port (COM5)"). Linux has none beyond the names
// under /dev/serial/by-id, which the list already gives: empty there.
std::map<std::string, std::string> SerialPortDescriptions();

// The adapter behind a port, so that a port opened again by its name can be told to be the
// same one. Linux: the /dev/serial/by-id link (USB maker, model and serial number) that leads
// to the same device; empty when none does (a built-in UART, a pseudo-terminal). Windows: empty,
// since a COM number stays with its adapter.
std::string SerialDeviceIdentity(const std::string& name);
// SerialDeviceIdentity with devDir standing for /dev.
std::string SerialDeviceIdentityUnder(const std::string& devDir, const std::string& name);

// ListSerialPorts over other roots: devDir stands for /dev, sysTtyDir for /sys/class/tty.
// Windows has no such folders and gives ListSerialPorts().
std::vector<std::string> ListSerialPortsUnder(const std::string& devDir,
                                              const std::string& sysTtyDir);

// Orders names with their digit runs compared as numbers, so ttyS2 comes before ttyS10.
bool NaturalLess(const std::string& left, const std::string& right);

}  // namespace velmora
