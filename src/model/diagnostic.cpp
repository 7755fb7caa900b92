#include "model/diagnostic.h"

namespace velmora {

std::string FormatDiagnostic(const Diagnostic& diagnostic) {
    if (diagnostic.line > 0) {
        return diagnostic.file + ":" + std::to_string(diagnostic.line) + ": " + diagnostic.reason;
    }
    return diagnostic.file + ": " + diagnostic.reason;
}

}  // namespace velmora
