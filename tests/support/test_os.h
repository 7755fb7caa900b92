#pragma once

#include <gtest/gtest.h>

namespace velmora::test {

// The virtual controller answers on a pseudo-terminal; Windows has none, so the tests that talk
// to it run on Linux only (the Windows serial port is tried end to end through Wine instead).
#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

}  // namespace velmora::test

// Ends the current test as skipped where no pseudo-terminal can carry the virtual controller.
#define VELMORA_SKIP_WITHOUT_PTY()                                                              \
    do {                                                                                        \
        if (::velmora::test::kOnWindows)                                                        \
            GTEST_SKIP() << "needs the virtual controller on a pseudo-terminal, which Windows " \
                            "does not have";                                                    \
    } while (false)
