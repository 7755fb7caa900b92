#include "model/image_comparison.h"

namespace velmora {

ImageComparison CompareWholeImages(const RegisterImage& left, const RegisterImage& right) {
    ImageComparison comparison;
    comparison.registers.reserve(kParameterRegCount + kStepAreaRegCount);
    auto compareArea = [&](std::uint16_t first, std::uint16_t last) {
        for (unsigned reg = first; reg <= last; ++reg) {
            const auto address = static_cast<std::uint16_t>(reg);
            ComparedRegister row{address, left.get(address), right.get(address),
                                 RegisterState::Same};
            if (!left.given(address) || !right.given(address)) {
                row.state = RegisterState::LeftOut;
                ++comparison.leftOut;
            } else if (row.left != row.right) {
                row.state = RegisterState::Differs;
                ++comparison.differing;
            }
            comparison.registers.push_back(row);
        }
    };
    compareArea(kParameterFirstReg, kParameterLastReg);
    compareArea(kStepFirstReg, kStepLastReg);
    return comparison;
}

}  // namespace velmora
