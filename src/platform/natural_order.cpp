#include <cctype>

#include "platform/serial_port.h"

namespace velmora {

bool NaturalLess(const std::string& left, const std::string& right) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < left.size() && j < right.size()) {
        const auto a = static_cast<unsigned char>(left[i]);
        const auto b = static_cast<unsigned char>(right[j]);
        if (std::isdigit(a) && std::isdigit(b)) {
            std::size_t endI = i;
            std::size_t endJ = j;
            while (endI < left.size() && std::isdigit(static_cast<unsigned char>(left[endI]))) {
                ++endI;
            }
            while (endJ < right.size() && std::isdigit(static_cast<unsigned char>(right[endJ]))) {
                ++endJ;
            }
            // Compare the runs as numbers without converting: skip leading zeros, then the
            // longer run is larger, then the digits decide.
            std::size_t startI = i;
            std::size_t startJ = j;
            while (startI + 1 < endI && left[startI] == '0') {
                ++startI;
            }
            while (startJ + 1 < endJ && right[startJ] == '0') {
                ++startJ;
            }
            const std::size_t lengthI = endI - startI;
            const std::size_t lengthJ = endJ - startJ;
            if (lengthI != lengthJ) {
                return lengthI < lengthJ;
            }
            const int order = left.compare(startI, lengthI, right, startJ, lengthJ);
            if (order != 0) {
                return order < 0;
            }
            if (endI - i != endJ - j) {
                return endI - i < endJ - j;  // fewer leading zeros first
            }
            i = endI;
            j = endJ;
            continue;
        }
        if (a != b) {
            return a < b;
        }
        ++i;
        ++j;
    }
    return left.size() - i < right.size() - j;
}

}  // namespace velmora
