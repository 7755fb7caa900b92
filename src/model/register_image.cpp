#include "model/register_image.h"

namespace velmora {
namespace {

constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

}  // namespace

std::size_t RegisterImage::Slot(std::uint16_t reg) {
    if (reg <= kParameterLastReg) {
        return reg;
    }
    if (reg >= kStepFirstReg && reg <= kStepLastReg) {
        return kParameterRegCount + (reg - kStepFirstReg);
    }
    return kNoSlot;
}

bool RegisterImage::InArea(std::uint16_t reg) {
    return Slot(reg) != kNoSlot;
}

bool RegisterImage::set(std::uint16_t reg, std::uint16_t value) {
    const std::size_t slot = Slot(reg);
    if (slot == kNoSlot) {
        return false;
    }
    values_[slot] = value;
    given_.set(slot);
    return true;
}

std::uint16_t RegisterImage::get(std::uint16_t reg) const {
    const std::size_t slot = Slot(reg);
    return slot == kNoSlot ? 0 : values_[slot];
}

bool RegisterImage::given(std::uint16_t reg) const {
    const std::size_t slot = Slot(reg);
    return slot != kNoSlot && given_.test(slot);
}

void RegisterImage::setUnitName(const std::string& bytes) {
    for (std::size_t i = 0; i < kUnitNameBytes / 2; ++i) {
        auto byteAt = [&bytes](std::size_t index) -> std::uint16_t {
            return index < bytes.size() && index < kUnitNameBytes
                       ? static_cast<std::uint8_t>(bytes[index])
                       : 0;
        };
        set(static_cast<std::uint16_t>(kUnitNameReg + i),
            static_cast<std::uint16_t>(byteAt(2 * i) << 8 | byteAt(2 * i + 1)));
    }
}

std::string RegisterImage::unitName() const {
    std::string name;
    for (std::size_t i = 0; i < kUnitNameBytes; ++i) {
        const std::uint16_t word = get(static_cast<std::uint16_t>(kUnitNameReg + i / 2));
        const auto byte = static_cast<char>(i % 2 == 0 ? word >> 8 : word & 0xFF);
        if (byte == '\0') {
            continue;
        }
        name += byte;
    }
    return name;
}

bool RegisterImage::parameterAreaGiven() const {
    for (std::size_t slot = 0; slot < kParameterRegCount; ++slot) {
        if (!given_.test(slot)) {
            return false;
        }
    }
    return true;
}

bool RegisterImage::stepGiven(std::size_t step) const {
    if (step >= kStepCount) {
        return false;
    }
    for (std::size_t i = 0; i < kStepRegCount; ++i) {
        if (!given_.test(kParameterRegCount + step * kStepRegCount + i)) {
            return false;
        }
    }
    return true;
}

std::string RegisterName(std::uint16_t reg) {
    if (reg >= kStepFirstReg && reg <= kStepLastReg) {
        const unsigned offset = reg - kStepFirstReg;
        return "step " + std::to_string(offset / kStepRegCount) + ", register " +
               std::to_string(offset % kStepRegCount);
    }
    return ParameterRegisterName(reg);
}

std::vector<RegisterDifference> CompareImages(const RegisterImage& expected,
                                              const RegisterImage& actual, std::uint16_t first,
                                              std::uint16_t last) {
    std::vector<RegisterDifference> differences;
    for (unsigned reg = first; reg <= last; ++reg) {
        const auto address = static_cast<std::uint16_t>(reg);
        if (!RegisterImage::InArea(address)) {
            continue;
        }
        const std::uint16_t want = expected.get(address);
        const std::uint16_t got = actual.get(address);
        if (want != got) {
            differences.push_back({address, RegisterName(address), want, got});
        }
    }
    return differences;
}

}  // namespace velmora
