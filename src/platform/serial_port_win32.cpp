#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/serial_port.h"
#include "platform/win32_util.h"

// After windows.h (win32_util.h); initguid.h first, so that the device class GUIDs are
// defined here rather than looked for at link time.
// clang-format off
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

// A write that cannot get its bytes out (flow stopped by a broken adapter) gives up after
// this, as the POSIX port does.
constexpr DWORD kWriteTimeoutConstantMs = 30000;
constexpr DWORD kWriteTimeoutPerByteMs = 200;
constexpr DWORD kQueueBytes = 4096;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(left.count(), 0));
}

int ErrnoForOpen(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
            return ENOENT;
        // A COM port opened by another program answers "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_GEN_FAILURE:
            return ENODEV;
        default:
            return EIO;
    }
}

// One overlapped operation at a time per port, each with its own event.
struct Overlapped {
    Overlapped() : event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    OVERLAPPED* reset() {
        data = OVERLAPPED{};
        data.hEvent = event.get();
        return &data;
    }
    win32::UniqueHandle event;
    OVERLAPPED data{};
};

// The serial port through the Win32 communications API, opened for overlapped I/O so that a
// wait for input can end at its time-out.
class Win32SerialPort final : public SerialPort {
  public:
    ~Win32SerialPort() override { close(); }

    bool open(const std::string& name) override {
        close();
        openError_ = 0;
        // No sharing: a COM port has one owner at a time.
        win32::UniqueHandle port(::CreateFileW(win32::WidePath(name).c_str(),
                                               GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (!port) {
            openError_ = ErrnoForOpen(::GetLastError());
            return false;
        }
        if (!read_.event || !write_.event || !wait_.event) {
            openError_ = ENOMEM;
            return false;
        }
        ::SetupComm(port.get(), kQueueBytes, kQueueBytes);
        port_ = std::move(port);
        return true;
    }

    int lastOpenError() const override { return openError_; }

    void close() override {
        if (port_) {
            ::CancelIo(port_.get());
            port_.reset();
        }
    }

    bool isOpen() const override { return port_.valid(); }

    bool configure(std::uint32_t baudRate) override {
        if (!port_ || baudRate < 1024) {
            return false;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(port_.get(), &dcb)) {
            return false;
        }
        dcb.BaudRate = baudRate;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        // An RS-485 adapter that turns its driver on with RTS would never hear a reply: RTS
        // stays low. DTR goes up, as Linux raises it when a port opens.
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        if (!::SetCommState(port_.get(), &dcb)) {
            return false;
        }
        // Reads return at once with what is there; waiting is waitForInput's job.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutConstant = kWriteTimeoutConstantMs;
        timeouts.WriteTotalTimeoutMultiplier = kWriteTimeoutPerByteMs;
        if (!::SetCommTimeouts(port_.get(), &timeouts) || !::SetCommMask(port_.get(), EV_RXCHAR)) {
            return false;
        }
        ::PurgeComm(port_.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
        // A driver that cannot run at this rate shows it in the state read back.
        DCB applied{};
        applied.DCBlength = sizeof applied;
        return ::GetCommState(port_.get(), &applied) && applied.BaudRate == baudRate;
    }

    int bytesWaiting() override {
        if (!port_) {
            return -1;
        }
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(port_.get(), &errors, &status)) {
            return -1;
        }
        return static_cast<int>(status.cbInQue);
    }

    int read(std::uint8_t* buffer, std::size_t size) override {
        if (!port_ || buffer == nullptr) {
            return -1;
        }
        if (size == 0) {
            return 0;
        }
        // Only what is queued is asked for, so the read completes at once even under a
        // serial layer (Wine on a pseudo-terminal) that would park an empty one.
        const int waiting = bytesWaiting();
        if (waiting <= 0) {
            return waiting;
        }
        DWORD got = 0;
        const DWORD want =
            static_cast<DWORD>(std::min<std::size_t>(size, static_cast<std::size_t>(waiting)));
        if (!Finish(::ReadFile(port_.get(), buffer, want, &got, read_.reset()), read_, got)) {
            return -1;
        }
        return static_cast<int>(got);
    }

    int write(const std::uint8_t* data, std::size_t size) override {
        if (!port_ || (data == nullptr && size > 0)) {
            return -1;
        }
        if (size == 0) {
            return 0;
        }
        // The write time-outs set in configure bound this.
        DWORD put = 0;
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
        if (!Finish(::WriteFile(port_.get(), data, count, &put, write_.reset()), write_, put)) {
            return -1;
        }
        return static_cast<int>(put);
    }

    bool waitForInput(int timeoutMs) override {
        if (!port_) {
            return false;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            // The wait starts before the queue is looked at, so a byte arriving in between
            // still ends it.
            DWORD mask = 0;
            const BOOL started = ::WaitCommEvent(port_.get(), &mask, wait_.reset());
            const bool pending = !started && ::GetLastError() == ERROR_IO_PENDING;
            if (!started && !pending) {
                return LineFailed(deadline);
            }
            const int waiting = bytesWaiting();
            if (waiting != 0 || !pending) {
                EndWait(pending);
                if (waiting < 0) {
                    return LineFailed(deadline);
                }
                if (waiting > 0) {
                    return true;
                }
                if (RemainingMs(deadline) == 0) {
                    return false;
                }
                continue;  // an event for bytes already read
            }
            const DWORD result =
                ::WaitForSingleObject(wait_.event.get(), static_cast<DWORD>(RemainingMs(deadline)));
            EndWait(result != WAIT_OBJECT_0);
            if (bytesWaiting() > 0) {
                return true;
            }
            if (result != WAIT_OBJECT_0 || RemainingMs(deadline) == 0) {
                return false;
            }
        }
    }

    void discardInput() override {
        if (!port_) {
            return;
        }
        ::PurgeComm(port_.get(), PURGE_RXCLEAR | PURGE_RXABORT);
        // Bytes the driver had not yet queued when the purge ran are read away as well.
        std::uint8_t scratch[256];
        for (int round = 0; round < 64; ++round) {
            if (read(scratch, sizeof scratch) <= 0) {
                break;
            }
        }
    }

  private:
    // Completes an overlapped call; count receives the bytes it moved.
    bool Finish(BOOL started, Overlapped& operation, DWORD& count) {
        if (started) {
            return ::GetOverlappedResult(port_.get(), &operation.data, &count, FALSE) != 0;
        }
        if (::GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        return ::GetOverlappedResult(port_.get(), &operation.data, &count, TRUE) != 0;
    }

    // Ends a pending WaitCommEvent (setting the mask again completes it) and collects it, so
    // that its OVERLAPPED may be used again.
    void EndWait(bool stillPending) {
        if (stillPending) {
            ::SetCommMask(port_.get(), EV_RXCHAR);
        }
        DWORD ignored = 0;
        ::GetOverlappedResult(port_.get(), &wait_.data, &ignored, TRUE);
    }

    // A port that fails (an adapter unplugged) would end every wait at once, so the caller's
    // time-out would pass in no time. Let the time go by as a silent line would.
    static bool LineFailed(Clock::time_point deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(RemainingMs(deadline)));
        return false;
    }

    win32::UniqueHandle port_;
    Overlapped read_;
    Overlapped write_;
    Overlapped wait_;
    int openError_ = 0;
};

}  // namespace

std::unique_ptr<SerialPort> MakeSystemSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

std::string ResolvePortName(const std::string& name) {
    if (name.empty() || name.rfind("\\\\", 0) == 0) {
        return name;
    }
    // A settings file from the Linux build: /dev/ttyS0 is COM1.
    const std::string ttyS = "/dev/ttyS";
    if (name.rfind(ttyS, 0) == 0) {
        unsigned number = 0;
        const char* first = name.data() + ttyS.size();
        const char* last = name.data() + name.size();
        const auto [end, error] = std::from_chars(first, last, number);
        if (error == std::errc() && end == last) {
            return "\\\\.\\COM" + std::to_string(number + 1);
        }
    }
    // The device namespace: COM10 and above are reachable only through it.
    return "\\\\.\\" + name;
}

std::vector<std::string> ListSerialPorts() {
    std::vector<std::string> ports;
    win32::UniqueKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        key.out()) != ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = static_cast<DWORD>(std::size(valueName));
        wchar_t data[256] = {};
        DWORD dataBytes = sizeof data - sizeof(wchar_t);  // room for a terminator it may lack
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueW(key.get(), index, valueName, &nameLength, nullptr,
                                               &type, reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        const std::string port = win32::Narrow(data);
        if (!port.empty() && std::find(ports.begin(), ports.end(), port) == ports.end()) {
            ports.push_back(port);
        }
    }
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

std::map<std::string, std::string> SerialPortDescriptions() {
    std::map<std::string, std::string> descriptions;
    struct DeviceListCloser {
        void operator()(void* list) const { ::SetupDiDestroyDeviceInfoList(list); }
    };
    HDEVINFO found = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (found == INVALID_HANDLE_VALUE) {
        return descriptions;
    }
    const std::unique_ptr<void, DeviceListCloser> list(found);
    const HDEVINFO devices = list.get();
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        // The COM name is in the device's own key, the friendly name a device property.
        const HKEY opened =
            ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (opened == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
            continue;
        }
        win32::UniqueKey key;
        *key.out() = opened;
        wchar_t port[64] = {};
        DWORD portBytes = sizeof port - sizeof(wchar_t);
        DWORD type = 0;
        if (::RegQueryValueExW(key.get(), L"PortName", nullptr, &type,
                               reinterpret_cast<BYTE*>(port), &portBytes) != ERROR_SUCCESS ||
            type != REG_SZ) {
            continue;
        }
        wchar_t friendly[256] = {};
        if (::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                reinterpret_cast<BYTE*>(friendly),
                                                sizeof friendly - sizeof(wchar_t), nullptr)) {
            descriptions[win32::Narrow(port)] = win32::Narrow(friendly);
        }
    }
    return descriptions;
}

std::string SerialDeviceIdentity(const std::string&) {
    return {};
}

std::string SerialDeviceIdentityUnder(const std::string&, const std::string&) {
    return {};
}

// Windows has no device folders to look through: the registry's list stands for them.
std::vector<std::string> ListSerialPortsUnder(const std::string&, const std::string&) {
    return ListSerialPorts();
}

}  // namespace velmora
