#pragma once

#include <cstdint>
#include <string>

#include "link/com_link.h"
#include "platform/codepage.h"

namespace velmora {

// Registers the program addresses by number.
inline constexpr std::uint16_t kRegMode = 0x000C;
inline constexpr std::uint16_t kRegCheckValue = 0x00EE;
inline constexpr std::uint16_t kRegDateCode = 0x00EF;
inline constexpr std::uint16_t kRegVersion = 0x900C;

// Every operation runs one request cycle (two for the read-modify-write ones) and returns 0 on
// success or -1 on time-out, exception reply, closed port or bad argument. Time-outs and
// exception replies have shown their message through the link's Ui before -1 comes back.

// Appends register 0x000C as four lower-case hex digits, high byte first.
int ReadReg000C(CComLink& link, std::uint8_t id, std::string& text);
// Copies the 2*count data bytes in wire order into destination (count 1 to 125).
int ReadRegisters(CComLink& link, std::uint8_t id, std::uint16_t address, std::uint16_t count,
                  std::uint8_t* destination);
// Appends the 16 bytes of eight registers as characters; a zero byte adds nothing.
int ReadText16(CComLink& link, std::uint8_t id, std::uint16_t address, std::string& text);
// Sets text to the software version, register 0x900C / 100 with two decimals ("1.10").
int ReadVersion(CComLink& link, std::uint8_t id, std::string& text);
// Writes one register from exactly four hex characters.
int WriteRegisterHex(CComLink& link, std::uint8_t id, std::uint16_t address,
                     const std::string& hexText);
// Writes byteCount bytes (byteCount / 2 registers) from data.
int WriteRegisters(CComLink& link, std::uint8_t id, std::uint16_t address, const std::uint8_t* data,
                   int byteCount);
// As WriteRegisters, one byte per character of a 1-to-200 character text, zero-padded.
int WriteRegistersText(CComLink& link, std::uint8_t id, std::uint16_t address, int byteCount,
                       const std::string& text);
// Diagnostics echo; succeeds only on an identical echo. Shows no message.
int EchoTest(CComLink& link, std::uint8_t id);
// Sets the low byte of register 0x000C, keeping its high byte.
int SetReg000CLow(CComLink& link, std::uint8_t id, int value);
// Reads the low byte of register 0x000C; a value other than 1, 2, 3, 100, 200 gives 1 and -1.
int GetReg000CLow(CComLink& link, std::uint8_t id, int& value);
// Writes today's year and month (December 2026 as 0x2612) into register 0x00EF.
int WriteDateCode(CComLink& link, std::uint8_t id);
int WriteDateCode(CComLink& link, std::uint8_t id, int year, int month);
// Writes the big-endian value v of the two bytes, raised by 1000 while that stays below 10000.
int WriteReg00EE(CComLink& link, std::uint8_t id, const std::uint8_t bytes[2]);

}  // namespace velmora
