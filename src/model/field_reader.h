#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/file_ctrl.h"

namespace velmora {

// Comma-separated field access on a reading-mode CFileCtrl. Lines end with CR LF; there is no
// quoting, so every comma ends a field.

// Fields longer than this keep their first kMaxFieldBytes bytes; the rest is dropped. A field
// that grows when converted from the local code page is cut again at a character start.
inline constexpr std::size_t kMaxFieldBytes = 8192;

// Passes n CR LF pairs (a CR without LF after it ends no line). 0 with the position at the
// start of the following line, -1 when the content ends first.
int SkipLines(CFileCtrl& file, int n);

// Field index (0 = first) of the current line, converted from the locale's code set; the line
// is rescanned from its start, so fields may be read in any order. 0 on success (a missing
// field gives empty text); -1 when the content ends before the line does, -2 when it ends
// right after a CR; out is empty on failure. After a field ended by the line end the position
// is on the CR (or on a LF that ends the scan alone), still on the same line.
int GetField(std::string& out, CFileCtrl& file, int index);

// Reads from the position to the next comma or line end, byte for byte without conversion.
// 0: ended by a comma (position after it); 1: ended by the line end, not empty; -2: ended by
// the line end, empty; -1: the content ended first (out empty). After 1 or -2 the line end
// has been consumed: after a CR, the byte that follows it as well.
int GetNextField(std::string& out, CFileCtrl& file);

// The comma-separated fields of one line held in memory (no quoting: every comma ends a field).
std::vector<std::string> SplitFields(const std::string& line);

}  // namespace velmora
