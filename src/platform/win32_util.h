#pragma once

// Windows-only helpers shared by the *_win32.cpp files.

#include <windows.h>

#include <string>
#include <utility>

namespace velmora::win32 {

// Owns one kernel handle and closes it when dropped.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    // CreateFile fails with INVALID_HANDLE_VALUE, CreateEvent with null; both count as none.
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE handle = nullptr) {
        if (valid()) {
            ::CloseHandle(handle_);
        }
        handle_ = handle;
    }

  private:
    HANDLE handle_ = nullptr;
};

// Owns an open registry key.
class UniqueKey {
  public:
    UniqueKey() = default;
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    ~UniqueKey() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// Narrow text is in the thread's ANSI code page, as the C runtime and std::filesystem take
// narrow paths; a program built with the UTF-8 code page in its manifest gets UTF-8 throughout.
std::wstring Widen(const std::string& text, UINT codePage = CP_THREAD_ACP);
std::string Narrow(const std::wstring& text, UINT codePage = CP_THREAD_ACP);

// A narrow path for the wide calls.
inline std::wstring WidePath(const std::string& path) {
    return Widen(path);
}

}  // namespace velmora::win32
