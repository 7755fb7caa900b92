#pragma once

namespace velmora {

// The width in columns of the terminal the standard error stream writes to, or fallback when
// it is no terminal or does not tell.
int TerminalColumns(int fallback);

}  // namespace velmora
