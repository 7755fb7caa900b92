#pragma once

#include <cstdint>
#include <string>

#include "link/rtu_master.h"
#include "platform/codepage.h"

namespace velmora {

// Registers the program addresses by number.
inline constexpr std::uint16_t kRegMode = 0x000C;
inline constexpr std::uint16_t kRegCheckValue = 0x00EE;
inline constexpr std::uint16_t kRegDateCode = 0x00EF;
inline constexpr std::uint16_t kRegVersion = 0x900C;

// Every operation runs one request cycle (two for the read-modify-write ones) on the master and
// says how it ended; outputs are set only on success. Nothing is shown: the caller turns a
// failure into words.

// Appends register 0x000C as four lower-case hex digits, high byte first.
[[nodiscard]] LinkStatus ReadReg000C(RtuMaster& link, std::uint8_t id, std::string& text);
// Copies the 2*count data bytes in wire order into destination (count 1 to 125).
[[nodiscard]] LinkStatus ReadRegisters(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                                       std::uint16_t count, std::uint8_t* destination);
// Appends the 16 bytes of eight registers as characters; a zero byte adds nothing.
[[nodiscard]] LinkStatus ReadText16(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                                    std::string& text);
// Sets text to the software version, register 0x900C / 100 with two decimals ("1.10").
[[nodiscard]] LinkStatus ReadVersion(RtuMaster& link, std::uint8_t id, std::string& text);
// Writes one register from exactly four hex characters.
[[nodiscard]] LinkStatus WriteRegisterHex(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                                          const std::string& hexText);
// Writes byteCount bytes (byteCount / 2 registers, at most 123) from data. The reply must echo
// the address and the count.
[[nodiscard]] LinkStatus WriteRegisters(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                                        const std::uint8_t* data, int byteCount);
// As WriteRegisters, one byte per character of a 1-to-200 character text, zero-padded.
[[nodiscard]] LinkStatus WriteRegistersText(RtuMaster& link, std::uint8_t id, std::uint16_t address,
                                            int byteCount, const std::string& text);
// Diagnostics echo, sent once; a reply that is not an identical echo is a Mismatch.
[[nodiscard]] LinkStatus EchoTest(RtuMaster& link, std::uint8_t id);
// Sets the low byte of register 0x000C, keeping its high byte.
[[nodiscard]] LinkStatus SetReg000CLow(RtuMaster& link, std::uint8_t id, int value);
// Reads the low byte of register 0x000C. A value other than 1, 2, 3, 100, 200 sets value to 1
// and fails with Mismatch.
[[nodiscard]] LinkStatus GetReg000CLow(RtuMaster& link, std::uint8_t id, int& value);
// Writes today's year and month (December 2026 as 0x2612) into register 0x00EF.
[[nodiscard]] LinkStatus WriteDateCode(RtuMaster& link, std::uint8_t id);
[[nodiscard]] LinkStatus WriteDateCode(RtuMaster& link, std::uint8_t id, int year, int month);
// Writes the big-endian value v of the two bytes, raised by 1000 while that stays below 10000.
[[nodiscard]] LinkStatus WriteReg00EE(RtuMaster& link, std::uint8_t id,
                                      const std::uint8_t bytes[2]);

}  // namespace velmora
