#pragma once

// The values of the controller's two register areas as one value type: what a data set or a
// backup gives, what a write sends, what a read-back or a backup read finds.

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "model/register_map.h"

namespace velmora {

class RegisterImage {
  public:
    // True for registers of the parameter area (0x0000-0x017F) or the step area
    // (0x0400-0x07FF).
    static bool InArea(std::uint16_t reg);

    // Sets a register and marks it given. False (nothing changed) outside both areas.
    bool set(std::uint16_t reg, std::uint16_t value);
    // The register's value; 0 when it was never set or lies outside both areas.
    std::uint16_t get(std::uint16_t reg) const;
    // Whether the source gave this register.
    bool given(std::uint16_t reg) const;

    // The eight unit name registers from text (Latin-1 bytes, first 16 kept, zero padded).
    void setUnitName(const std::string& bytes);
    // The unit name's bytes; zero bytes carry no character.
    std::string unitName() const;

    // Every register of one area given?
    bool parameterAreaGiven() const;
    bool stepGiven(std::size_t step) const;

    bool operator==(const RegisterImage&) const = default;

  private:
    static std::size_t Slot(std::uint16_t reg);  // index into values_, or kNoSlot

    std::array<std::uint16_t, kParameterRegCount + kStepAreaRegCount> values_{};
    std::bitset<kParameterRegCount + kStepAreaRegCount> given_;
};

// One register that read back differently from what was written.
struct RegisterDifference {
    std::uint16_t reg = 0;
    std::string key;  // the parameter's key(s); "step n, register k" in the step area
    std::uint16_t written = 0;
    std::uint16_t read = 0;
    bool operator==(const RegisterDifference&) const = default;
};

// Compares expected with actual over the registers [first, last], in register order.
std::vector<RegisterDifference> CompareImages(const RegisterImage& expected,
                                              const RegisterImage& actual, std::uint16_t first,
                                              std::uint16_t last);

// "step 3, register 10" for a step register; the parameter's name otherwise.
std::string RegisterName(std::uint16_t reg);

}  // namespace velmora
