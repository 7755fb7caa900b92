#pragma once

#include <string>
#include <vector>

namespace velmora {

// One fault of an input file: the file, the 1-based line of its unscrambled text (0: the file
// as a whole) and what is wrong, in words for the person who reads it.
struct Diagnostic {
    std::string file;
    int line = 0;
    std::string reason;

    bool operator==(const Diagnostic&) const = default;
};

using Diagnostics = std::vector<Diagnostic>;

// "file:line: reason", or "file: reason" for the file as a whole.
std::string FormatDiagnostic(const Diagnostic& diagnostic);

}  // namespace velmora
